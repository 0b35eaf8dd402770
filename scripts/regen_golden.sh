#!/usr/bin/env bash
# Regenerates the golden crops of the finished picture that the render tests
# compare with: run it after an intended change to the picture, look at the
# new tests/data/golden/*.png, and commit them with the change.
#
# Each line of tests/data/golden/crops.txt is "name x y w h margin" (picture
# pixels from the top-left corner). The crops are rendered with all 128
# samples but with a sample margin of a few pixels instead of the 240 that
# the bloom can reach, which keeps the tests fast; so they lack the bloom
# that light from farther out adds to the whole picture, and they are not
# pixel-exact cuts of docs/intro.png.
#
# Usage: scripts/regen_golden.sh [build directory, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1-}" in
  -h|--help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;;
  -*) echo "regen_golden: unknown option \"$1\" (see --help)" >&2; exit 2 ;;
esac
(($# <= 1)) || { echo "regen_golden: one build directory at most, not \"$*\" (see --help)" >&2; exit 2; }
build=${1:-build}
[[ -x "$build/host/intro-render" || -f "$build/CMakeCache.txt" ]] ||
  { echo "regen_golden: \"$build\" is no build directory (see --help)" >&2; exit 2; }
cmake --build "$build" --target intro-render -j 2 >&2
render="$build/host/intro-render"
while read -r name x y w h margin; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  echo "regen_golden: $name ($x,$y ${w}x$h)" >&2
  "$render" --samples 128 --margin "$margin" --crop "$x,$y,$w,$h" --output "tests/data/golden/$name.png"
done < tests/data/golden/crops.txt
