#!/usr/bin/env bash
# A long fuzzing session of the whole program (CI runs a short one). Builds the fuzz target with
# clang, then fuzzes for the given time on every core, growing a corpus kept in the work folder
# (outside the repository's seed corpus). Every input that breaks a property is kept in
# <work>/artifacts; the script ends with status 1 when there is any.
#
#   fuzz/run_long.sh [seconds, default 3600] [work folder, default build-fuzz/long]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-3600}"
work="${2:-build-fuzz/long}"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSCABROSIMETER_FUZZ=ON -DSCABROSIMETER_TESTS=OFF
cmake --build build-fuzz --target scabrosimeter_fuzz
mkdir -p "$work/corpus" "$work/artifacts"

build-fuzz/scabrosimeter_fuzz -max_total_time="$seconds" -timeout=10 -fork="$(nproc)" \
  -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -dict=fuzz/scabrosimeter.dict \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 "$work/corpus" fuzz/corpus

found=$(find "$work/artifacts" -type f | wc -l)
echo "Inputs that broke a property: $found (in $work/artifacts)"
[ "$found" -eq 0 ]
