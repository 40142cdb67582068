#!/usr/bin/env bash
# The demo, run as a newcomer runs it but on the programs of this build, must show the
# whole dialogue, find with tavrin-match every A' and B' within half a pixel of the
# true landmark, write every file it lists, and align the sample series: for each
# rectified photograph the mean absolute difference from the base photograph is at
# most 3.2 grey levels and at least 95 % of the covered pixels lie within 8.
#
# Why these bounds hold, and what they catch. With the landmarks typed exactly, what
# is left is the grain of the two photographs (about 2 levels each, so a difference of
# about 2.8 spread: 2.3 on average, 99.5 % within 8) and the nearest-neighbour lookup,
# which shows each base pixel the landscape up to half a further pixel away (0.8 of a
# base pixel for the reduced photograph): a few tenths more on the ground, and large
# differences only along sharp edges, about 1 % of the pixels. Measured: 2.48 to 2.69
# and 98.4 % to 99.0 %. The program's numbers are fixed to the bit and the series is
# made with plain arithmetic, so only a last-bit difference in a C library's sine or
# cosine could move a pixel, far too few to cross a bound. A misplacement of about 2
# base pixels already crosses one (A' typed 2 pixels off: 3.42 for the turned
# photograph, 4.61 and 91.6 % for the reduced one), and a wrong turn or scale is
# tens of levels off; the last check below makes sure a point 4 pixels off fails.
#
# Usage: demo_test.sh SOURCE_DIR PROGRAM_DIR
set -euo pipefail
src=$1
bin=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-demo-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# within_bounds LINE: the line's figures meet both bounds.
within_bounds() {
  awk '{
    if (match($0, /mean abs difference [0-9.]+/) == 0) exit 1
    mean = substr($0, RSTART + 20, RLENGTH - 20) + 0
    if (match($0, /, [0-9.]+% within 8 grey levels/) == 0) exit 1
    share = substr($0, RSTART + 2) + 0
    exit !(mean <= 3.2 && share >= 95.0)
  }' <<<"$1"
}

# ---------------------------------------------------------------- the demo

out=$work/demo-out
if ! TAVRIN_PROGRAMS=$bin "$src/scripts/demo" "$out" >"$work/demo.txt" 2>&1; then
  cat "$work/demo.txt"
  echo "FAIL: scripts/demo did not end with status 0"
  exit 1
fi

for text in "Entrez le nom de l'image de Base avec l'extention" \
  "Entrez le nom de l'image 3 avec l'extention" "Redressement/reduced.pgm" \
  "Impossible d'ouvrir le fichier :" "Appuyez sur une touche pour continuer..."; do
  grep -qF -- "$text" "$work/demo.txt" || fail "the dialogue lacks: $text"
done

# Found beside true: the line's two distances, in pixels, are fields 6 and 12.
for name in rotated enlarged reduced; do
  line=$(grep -E "^  $name.pgm +A' " "$work/demo.txt" || true)
  if [[ -n $line ]] && awk '{ exit !($6 + 0 <= 0.5 && $12 + 0 <= 0.5 && $7 == "px") }' <<<"$line"; then
    echo "ok$line"
  else
    fail "tavrin-match's points for $name.pgm are not within half a pixel: $line"
  fi
done

for name in rotated enlarged reduced; do
  line=$(grep "^Redressement/$name.pgm: mean abs difference" "$work/demo.txt" || true)
  if [[ -z $line ]]; then
    fail "no alignment line for $name.pgm"
  elif within_bounds "$line"; then
    echo "ok $line"
  else
    fail "$line"
  fi
  # A P6 map of the base frame: 17 header bytes and 3 x 1600 x 1200 pixel bytes.
  size=$(wc -c <"$out/$name-diff.ppm" 2>/dev/null || echo 0)
  ((size == 5760017)) || fail "$name-diff.ppm holds $size bytes, not 5760017"
done

for f in base.pgm rotated.pgm enlarged.pgm reduced.pgm; do
  size=$(wc -c <"$out/Redressement/$f" 2>/dev/null || echo 0)
  ((size == 1920017)) || fail "Redressement/$f holds $size bytes, not 1920017"
  grep -qE "^  Redressement/$f +1920017 bytes$" "$work/demo.txt" || fail "$f is not listed"
done

# ---------------------------------------------------------------- the same series again

"$bin/tavrin-sample" "$work/again" >/dev/null
for f in base.pgm rotated.pgm enlarged.pgm reduced.pgm landmarks.txt; do
  cmp -s "$out/$f" "$work/again/$f" || fail "a second tavrin-sample run writes another $f"
done

# ---------------------------------------------------------------- a point typed wrong

# B' of the turned photograph 4 pixels to the right: a turn 0.14 degree and a scale
# 0.4 % off, up to 6.5 base pixels astray at the far corners. Both bounds must fail.
off=$work/off
mkdir "$off"
cp "$out/base.pgm" "$out/rotated.pgm" "$off/"
printf 'base.pgm\n412,357\n1236,842\nrotated.pgm\n1115,435\n369,913\nfin.pgm\n' >"$off/answers.txt"
(cd "$off" && "$bin/tavrin" <answers.txt >/dev/null) || true
line=$(cd "$off" && "$bin/tavrin-diff" base.pgm Redressement/rotated.pgm map.ppm rotated.pgm \
  412,357 1236,842 1115,435 365,913)
if awk '{ exit !(match($0, /difference [0-9.]+/) && substr($0, RSTART + 11) + 0 > 3.2 &&
          match($0, /, [0-9.]+% within/) && substr($0, RSTART + 2) + 0 < 95.0) }' <<<"$line"; then
  echo "ok off by 4 pixels, out of bounds: $line"
else
  fail "B' 4 pixels off is still within bounds: $line"
fi

((failures == 0))
