#!/usr/bin/env python3
"""scripts/check-windows' helper: the sessions' images, what the Windows build must
print (derived from the native run), and the byte-for-byte comparisons.

Usage: windows-sessions.py images FOLDER
       windows-sessions.py expect NATIVE_OUT NATIVE_ERR OUT ERR
       windows-sessions.py same-bytes EXPECTED GOT
       windows-sessions.py same-files NATIVE_DIR WINDOWS_DIR RECTIFIED,...
"""
import os
import sys

# ---- images: deterministic, position-dependent and without symmetry, so that a
# flip, a transpose or an off-by-one in the resampling changes the bytes.
def pgm(path, width, height, seed):
    rows = bytearray()
    for y in range(height):
        for x in range(width):
            v = (x * x // 7 + 3 * y + x * y // 11 + 53 * seed) & 255
            if x < width // 5 and y < height // 3:  # a bright block near the top-left
                v = 250 - (x + 2 * y) % 40
            rows.append(v)
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (width, height) + bytes(rows))

def images(folder):
    pgm(os.path.join(folder, "base.pgm"), 320, 240, 0)
    pgm(os.path.join(folder, "further1.pgm"), 300, 280, 1)
    pgm(os.path.join(folder, "further2.pgm"), 260, 340, 2)
    with open(os.path.join(folder, "plain.pgm"), "wb") as f:  # text PGM: not P5
        f.write(b"P2\n3 2\n255\n1 2 3\n4 5 6\n")

# ---- what the Windows build must print, derived from the native run
NATIVE_PAUSE = b"Appuyez sur une touche pour continuer...\n"
WINE_PAUSE = b"Press any key to continue... "  # cmd's PAUSE under LANG=C.UTF-8

def windows_text(native):
    # Paths take the backslash, the pause is cmd's own, and the C runtime writes
    # the standard streams in text mode: every line feed comes out as CR LF.
    text = native.replace(b"Redressement/", b"Redressement\\")
    text = text.replace(NATIVE_PAUSE, WINE_PAUSE)
    return text.replace(b"\n", b"\r\n")

def expect(native_out, native_err, out_path, err_path):
    with open(native_out, "rb") as f:
        out = windows_text(f.read())
    with open(native_err, "rb") as f:
        err = windows_text(f.read())
    with open(out_path, "wb") as f:
        f.write(out)
    with open(err_path, "wb") as f:
        f.write(err)

# ---- comparisons: each prints one short hint and exits 1 on a difference
def first_difference(a, b):
    n = min(len(a), len(b))
    i = next((k for k in range(n) if a[k] != b[k]), n)
    return "at byte %d: expected %r, got %r (lengths %d, %d)" % (
        i, a[max(0, i - 12):i + 12], b[max(0, i - 12):i + 12], len(a), len(b))

def same_bytes(expected, got):
    a = open(expected, "rb").read()
    b = open(got, "rb").read()
    if a != b:
        print(first_difference(a, b))
        sys.exit(1)

def tree(folder):
    found = {}
    for here, dirs, files in os.walk(folder):
        for d in dirs:
            found[os.path.relpath(os.path.join(here, d), folder) + "/"] = None
        for name in files:
            path = os.path.join(here, name)
            found[os.path.relpath(path, folder)] = path
    return found

def same_files(native_dir, windows_dir, rectified):
    # Every file and folder the same, byte for byte; the rectified files are named
    # in the report.
    rectified = set(rectified.split(",")) if rectified else set()
    a, b = tree(native_dir), tree(windows_dir)
    if sorted(a) != sorted(b):
        print("files: native %s, windows %s" % (sorted(a), sorted(b)))
        sys.exit(1)
    left = [p for p in a if p.endswith("-test.tmp") or ".tavrin-" in p]
    if left:
        print("temporary file left behind: %s" % left)
        sys.exit(1)
    notes = []
    for rel, path in sorted(a.items()):
        if path is None:
            continue
        x = open(path, "rb").read()
        y = open(b[rel], "rb").read()
        if x != y:
            print("%s: %s" % (rel, first_difference(x, y)))
            sys.exit(1)
        if rel in rectified:
            notes.append("%s identical" % rel)
    if notes:
        print("; ".join(notes))

commands = {"images": images, "expect": expect, "same-bytes": same_bytes,
            "same-files": same_files}
commands[sys.argv[1]](*sys.argv[2:])
