#!/usr/bin/env bash
# A wider copy of the kernels (avx2, avx512) holds wide instructions in its own functions only
# (those named in scab::isa_COPY, arith/isa.h). Any other function compiled there, the standard
# library's inline code and templates above all, may be the copy the linker keeps for the whole
# program, which must run on any x86-64: none of them may use an AVX instruction. The avx512
# copy must use AVX-512 registers somewhere, where the compiler vectorizes (not in a build
# without optimization, where only the loops marked "omp simd" are).
# Usage: isa_objects_test.sh COPY "OBJECT;OBJECT;..." [unoptimized]
set -euo pipefail
copy=$1
IFS=';' read -ra objects <<< "$2"
want_zmm=0
if [ "$copy" = avx512 ] && [ "${3:-}" != unoptimized ]; then want_zmm=1; fi
objdump -d --no-show-raw-insn -C "${objects[@]}" | awk -v copy="isa_$copy" -v want_zmm="$want_zmm" '
  /^[0-9a-f]+ <.*>:$/ { name = $0; own = index(name, copy "::") > 0; next }
  /:\tv[a-z]|%[xyz]mm(1[6-9]|2[0-9]|3[01])|%ymm|%zmm|%k[0-7]/ {
    if (own) { own_count++; if ($0 ~ /%zmm|%k[0-7]/) zmm_count++ }
    else if (!(name in outside)) { outside[name] = 1; bad++ }
  }
  END {
    for (n in outside) print "wide instruction outside the " copy " kernels: " n
    if (own_count == 0) { print "no AVX instruction in the " copy " kernels: not compiled for it?"; exit 1 }
    if (want_zmm && zmm_count == 0) { print "no AVX-512 register in the " copy " kernels"; exit 1 }
    printf "%d AVX instructions (%d on AVX-512 registers), all in the %s kernels\n", own_count, zmm_count, copy
    exit bad > 0
  }'
