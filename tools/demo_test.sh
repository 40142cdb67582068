#!/usr/bin/env bash
# The demo, run on the programs of this build, must show the whole dialogue, find
# with tavrin-match every A' and B' within half a pixel of the true landmark, write
# every file it lists and align the sample series: for each rectified photograph a
# mean absolute difference from the base of at most 3.2 grey levels, and at least 95 %
# of the covered pixels within 8. The grain of the two photographs and the nearest-
# neighbour lookup give 2.48 to 2.69 and 98.4 % to 99.0 %; a misplacement of 2 base
# pixels already crosses a bound, and the last check makes sure a point 4 pixels off does.
# Usage: demo_test.sh SOURCE_DIR PROGRAM_DIR
set -euo pipefail
src=$1
bin=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-demo-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# bounds LINE: the line's mean difference and share within 8 levels, as "MEAN SHARE".
bounds() { sed -n 's/.*difference \([0-9.]*\), \([0-9.]*\)% within.*/\1 \2/p' <<<"$1"; }
within() { awk '{ exit !($1 <= 3.2 && $2 >= 95.0) }' <<<"$(bounds "$1")"; }

out=$work/demo-out
TAVRIN_PROGRAMS=$bin "$src/scripts/demo" "$out" >"$work/demo.txt" 2>&1 ||
  { cat "$work/demo.txt"; echo "FAIL: scripts/demo did not end with status 0"; exit 1; }
for text in "Entrez le nom de l'image de Base avec l'extention" \
  "Entrez le nom de l'image 3 avec l'extention" "Redressement/reduced.pgm" \
  "Impossible d'ouvrir le fichier :" "Appuyez sur une touche pour continuer..."; do
  grep -qF -- "$text" "$work/demo.txt" || fail "the dialogue lacks: $text"
done
# Found beside true: the line's two distances, in pixels, are fields 6 and 12.
for name in rotated enlarged reduced; do
  line=$(grep -E "^  $name.pgm +A' " "$work/demo.txt" || true)
  awk '{ exit !($6 + 0 <= 0.5 && $12 + 0 <= 0.5 && $7 == "px") }' <<<"$line" ||
    fail "tavrin-match's points for $name.pgm are not within half a pixel: $line"
  line=$(grep "^Redressement/$name.pgm: mean abs difference" "$work/demo.txt" || true)
  if [[ -n $line ]] && within "$line"; then echo "ok $line"; else fail "$name.pgm: $line"; fi
  # A P6 map of the base frame: 17 header bytes and 3 x 1600 x 1200 pixel bytes.
  [[ $(wc -c <"$out/$name-diff.ppm") == 5760017 ]] || fail "$name-diff.ppm is not 5760017 bytes"
done
for f in base rotated enlarged reduced; do
  [[ $(wc -c <"$out/Redressement/$f.pgm") == 1920017 ]] || fail "$f.pgm is not 1920017 bytes"
  grep -qE "^  Redressement/$f.pgm +1920017 bytes$" "$work/demo.txt" || fail "$f.pgm is not listed"
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
if awk '{ exit !($1 > 3.2 && $2 < 95.0) }' <<<"$(bounds "$line")"; then
  echo "ok off by 4 pixels, out of bounds: $line"
else
  fail "B' 4 pixels off is still within bounds: $line"
fi
((failures == 0))
