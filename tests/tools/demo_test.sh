#!/usr/bin/env bash
# The demo, run on this build's programs, must show tavrin's whole dialogue, find with tavrin-match every A' and B'
# within half a pixel of the true landmark, list every file it writes and align the sample series: for each rectified
# photograph a mean absolute difference from the base of at most 3.2 grey levels and at least 95 % of the covered
# pixels within 8. The photographs' grain and the nearest-neighbour lookup give 2.48 to 2.69 and 98.4 % to 99.0 %;
# a misplacement of 2 base pixels already crosses a bound, and the last check makes sure a point 4 pixels off does.
# Usage: demo_test.sh SOURCE_DIR PROGRAM_DIR
set -euo pipefail
export LC_ALL=C  # tavrin-diff speaks French in Windows-1252 bytes
src=$1
bin=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-demo-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }  # the first fault ends the test; CTest counts it

# bounds LINE: the line's mean difference and share within 8 levels, as "MEAN SHARE".
bounds() { sed -n 's/.* absolu \([0-9]*\),\([0-9]*\), \([0-9]*\),\([0-9]*\) % .*/\1.\2 \3.\4/p' <<<"$1"; }
within() { awk '{ exit !($1 <= 3.2 && $2 >= 95.0) }' <<<"$(bounds "$1")"; }

out=$work/demo-out
TAVRIN_PROGRAMS=$bin "$src/scripts/demo" "$out" >"$work/demo.txt" 2>&1 ||
  { cat "$work/demo.txt"; echo "FAIL: scripts/demo did not end with status 0"; exit 1; }
grep -qF "Entrez le nom de l'image de Base avec l'extention" "$work/demo.txt" || fail "the dialogue lacks its start"
grep -qF "Appuyez sur une touche pour continuer..." "$work/demo.txt" || fail "the dialogue lacks its end"
# Found beside true: the line's two distances, in pixels, are fields 6 and 12.
for name in rotated enlarged reduced; do
  line=$(grep -E "^  $name.pgm +A' " "$work/demo.txt" || true)
  awk '{ exit !($6 + 0 <= 0.5 && $12 + 0 <= 0.5 && $7 == "px") }' <<<"$line" ||
    fail "tavrin-match's points for $name.pgm are not within half a pixel: $line"
  line=$(grep -a "^Redressement/$name.pgm : .cart moyen absolu" "$work/demo.txt" || true)
  if [[ -n $line ]] && within "$line"; then echo "ok $line"; else fail "$name.pgm: $line"; fi
done
# Listed at their sizes: photographs in the base's 1600 x 1200 frame after a 17-byte header; P6 maps, 3 bytes a pixel
# after a 31-byte header that marks them as tavrin-diff's.
for f in Redressement/{base,rotated,enlarged,reduced}.pgm:1920017 {rotated,enlarged,reduced}-diff.ppm:5760031; do
  grep -qE "^  ${f%:*} +${f#*:} bytes$" "$work/demo.txt" || fail "${f%:*} is not listed with ${f#*:} bytes"
done

# The same series again, byte for byte.
"$bin/tavrin-sample" "$work/again" >/dev/null
for f in base.pgm rotated.pgm enlarged.pgm reduced.pgm landmarks.txt; do
  cmp -s "$out/$f" "$work/again/$f" || fail "a second tavrin-sample run writes another $f"
done

# B' of the turned photograph 4 pixels to the right: a turn 0.14 degree and a scale
# 0.4 % off, up to 6.5 base pixels astray at the far corners. Both bounds must fail.
off=$work/off
mkdir "$off"
cp "$out/base.pgm" "$out/rotated.pgm" "$off/"
printf 'base.pgm\n412,357\n1236,842\nrotated.pgm\n1115,435\n369,913\n' | (cd "$off" && "$bin/tavrin" >/dev/null) || true
line=$(cd "$off" && "$bin/tavrin-diff" base.pgm Redressement/rotated.pgm map.ppm rotated.pgm \
  412,357 1236,842 1115,435 365,913)
awk '{ exit !($1 > 3.2 && $2 < 95.0) }' <<<"$(bounds "$line")" || fail "B' 4 pixels off is still within bounds: $line"
