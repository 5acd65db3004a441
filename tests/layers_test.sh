#!/usr/bin/env bash
# Layers point down. The core (every folder of src/ but src/run, the dialog) includes no front
# end (src/run, import/, map/, python/); the front ends import/, map/ and python/ include nothing
# of the dialog. An #include "X" is resolved as the build resolves it: src/X when that exists
# (the core's folders, the engines, the dialog), else X from the top of the tree (the tools'
# own folders). Prints each include that breaks the rule; fails when there is one.
# Usage: layers_test.sh SOURCE_DIR
set -euo pipefail
cd "$1"

# The folder an include of `path` reaches: src/FOLDER, or a top folder.
reached() {
  if [ -e "src/$1" ]; then echo "src/${1%%/*}"; elif [ -e "$1" ]; then echo "${1%%/*}"; fi
}

broken=0
while IFS=: read -r file _ include; do
  path=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<< "$include")
  target=$(reached "$path")
  case $file in
    src/run/*) continue ;;
    src/*) forbidden='^(src/run|import|map|python)$' ;;
    import/* | map/* | python/*) forbidden='^src/run$' ;;
    *) continue ;;
  esac
  if [[ $target =~ $forbidden ]]; then
    echo "$file includes $path ($target): layers point down"
    broken=1
  fi
done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
  src import map python)
if [ $broken = 0 ]; then echo "no include points up"; fi
exit $broken
