#!/usr/bin/env bash
# Layers point down (README: "The code"). The core's folders come in an order, each including
# only itself and those before it: arith, dataset, raster, analysis, report, dispatch (which
# also holds the engines' tables of kernels). The exact engine may include the core (its
# figures are printed as the model's are); the maps' engine the core's arithmetic at most (its
# instruction-set copies). Nothing of the core or the engines includes a
# front end (src/run, import/, map/, python/), and no front end but the program includes the
# dialog (src/run). An #include "X" is resolved as the build resolves it: src/X when that
# exists, else X from the top of the tree (the tools' own folders). Prints each include that
# breaks the rule; fails when there is one.
# Usage: layers_test.sh SOURCE_DIR
set -euo pipefail
cd "$1"

core=(src/arith src/dataset src/raster src/analysis src/report src/dispatch)

# The folder an include of `path` reaches: src/FOLDER, or a top folder.
reached() {
  if [ -e "src/$1" ]; then echo "src/${1%%/*}"; elif [ -e "$1" ]; then echo "${1%%/*}"; fi
}

# Whether a file in `folder` may include one in `target`.
may_include() {
  local folder=$1 target=$2 k
  case $folder in
    src/exact) [[ $target != src/run && $target != src/map && $target != src/dispatch &&
      $target == src/* ]]; return ;;
    src/map) [[ $target == src/arith || $target == src/map ]]; return ;;
    src/run) [[ $target == src/* ]]; return ;;
    import | map | python) [[ $target != src/run ]]; return ;;
  esac
  [[ $folder == src/dispatch && ($target == src/exact || $target == src/map) ]] && return 0
  for k in "${!core[@]}"; do
    [[ ${core[$k]} == "$target" ]] && return 0  # before the including folder, or itself
    [[ ${core[$k]} == "$folder" ]] && return 1
  done
  return 1  # a folder this rule does not know: it must be added here
}

broken=0
while IFS=: read -r file _ include; do
  path=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<< "$include")
  target=$(reached "$path")
  [ -n "$target" ] || continue  # a file beside the includer, or not in the tree
  if [[ $file == src/* ]]; then folder=$(cut -d/ -f1-2 <<< "$file"); else folder=${file%%/*}; fi
  if ! may_include "$folder" "$target"; then
    echo "$file includes $path ($target): layers point down"
    broken=1
  fi
done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
  src import map python)
if [ $broken = 0 ]; then echo "no include points up"; fi
exit $broken
