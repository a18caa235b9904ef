#!/usr/bin/env bash
# tessaread-scan under memcheck over the sample frames and grids and, when
# the shared corpus lies beside the checkout (../shared/corpus/real), its
# pictures: every way the scanner reads, no memory error, no memory lost.
#
#   valgrind_scan.sh VALGRIND TESSAREAD_SCAN SOURCE_DIR
set -uo pipefail
valgrind=$1
scan=$2
source_dir=$3

memcheck=("$valgrind" -q --error-exitcode=99 --leak-check=full
          --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect)

frames=("$source_dir"/samples/frames/*.png "$source_dir"/samples/frames/*.jpg)
grids=("$source_dir"/samples/grids/*.txt)
corpus_dir=$source_dir/../shared/corpus/real
corpus=()
if compgen -G "$corpus_dir/*/*.bmp" >/dev/null; then
  corpus=("$corpus_dir"/*/*.bmp)
else
  echo "valgrind_scan: no corpus at $corpus_dir; the samples only"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
# Exit status 0 or 1 is the scanner's (decoded or not); 99 is memcheck's.
check() {
  local name=$1
  shift
  "${memcheck[@]}" "$scan" "$@" >"$work/out" 2>"$work/err"
  local status=$?
  if [ $status -eq 0 ] || [ $status -eq 1 ]; then
    echo "valgrind_scan: $name: clean ($(wc -l <"$work/out") lines)"
  else
    echo "valgrind_scan: $name: FAILED (status $status)"
    cat "$work/err"
    failed=1
  fi
}

check "frames and corpus" "${frames[@]}" "${corpus[@]}"
check "frames as a camera stream" --cycle --json "${frames[@]}"
check "grids" --grid "${grids[@]}"
check "debug run" --debug-dir "$work/debug" "${frames[0]}"
exit $failed
