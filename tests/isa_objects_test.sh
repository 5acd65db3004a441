#!/usr/bin/env bash
# The AVX2 copy of the kernels holds AVX instructions in its own functions only (those named in
# scab::isa_avx2, arith/isa.h). Any other function compiled there, the standard library's inline
# code and templates above all, may be the copy the linker keeps for the whole program, which
# must run on any x86-64: none of them may use an AVX instruction.
# Usage: isa_objects_test.sh "OBJECT;OBJECT;..."
set -euo pipefail
IFS=';' read -ra objects <<< "$1"
objdump -d --no-show-raw-insn -C "${objects[@]}" | awk '
  /^[0-9a-f]+ <.*>:$/ { name = $0; own = index(name, "isa_avx2") > 0; next }
  /:\tv[a-z]|%ymm/ { if (own) { own_count++ } else if (!(name in outside)) { outside[name] = 1; bad++ } }
  END {
    for (n in outside) print "AVX instruction outside the AVX2 kernels: " n
    if (own_count == 0) { print "no AVX instruction in the AVX2 kernels: not compiled for AVX2?"; exit 1 }
    printf "%d AVX instructions, all in the AVX2 kernels\n", own_count
    exit bad > 0
  }'
