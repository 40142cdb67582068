"""One row of sessions.txt, typed at tavrin.exe under Wine and at the native program:
the same exit status, the native stdout and stderr as Windows writes them, and every
file and folder written the same, byte for byte.

Usage: sessions.py NAME --native BIN --native-switch BIN --exe EXE --exe-switch EXE
                        --hold EXE --prefix PREFIX --work DIR
"""
import argparse
import codecs
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ left in the checkout
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def lines(mark):  # the lines that begin with mark, or else the rows
    with open(os.path.join(HERE, "sessions.txt"), encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f if line[0] == mark or mark == "" and line[0].islower()]


def folders():
    """NAME -> the shell commands that make the folder."""
    return {name: commands.strip() for name, _, commands in (line[1:].partition(" ") for line in lines("@"))}


def rows():
    """NAME -> (program, folder, check, input bytes)."""
    found = {}
    for line in lines(""):
        name, program, folder, check, *typed = line.split(None, 4) + [""]
        typed = codecs.escape_decode(typed[0].encode())[0]
        if typed.startswith(b"utf16le:"):  # a byte-order mark, then UTF-16 LE
            typed = b"\xff\xfe" + typed[8:].decode("utf-8").encode("utf-16-le")
        found[name] = (program, folder, check, typed)
    return found


# ---- the images: repeatable, position-dependent and without symmetry, so that a flip, a
# transpose or an off-by-one in the resampling changes the bytes.
def pgm(width, height, seed):
    pixels = bytearray()
    for y in range(height):
        for x in range(width):
            v = (x * x // 7 + 3 * y + x * y // 11 + 53 * seed) & 255
            if x < width // 5 and y < height // 3:  # a bright block near the top-left
                v = 250 - (x + 2 * y) % 40
            pixels.append(v)
    return b"P5\n%d %d\n255\n" % (width, height) + bytes(pixels)


IMAGES = {"base.pgm": pgm(320, 240, 0), "further1.pgm": pgm(300, 280, 1), "further2.pgm": pgm(260, 340, 2),
          "plain.pgm": b"P2\n3 2\n255\n1 2 3\n4 5 6\n"}  # a text PGM: not P5


def images(d):
    os.makedirs(d, exist_ok=True)
    for name, data in IMAGES.items():
        Path(d, name).write_bytes(data)


# ---- the working folders, each made twice, once for each side: the images, then the
# folder's shell commands (the lines of sessions.txt that begin with @)
def make_folder(name, d):
    images(d)
    subprocess.run(["sh", "-c", folders()[name].encode()], cwd=d, check=True)


def files_held(d, options):
    # Another program holds an earlier result and an input open, sharing them with no one,
    # until a file named release appears.
    make_folder("files-held", d)
    with open(os.path.join(d, "hold.out"), "wb") as out:
        subprocess.Popen(["wine", options.hold, "further1.pgm", "Redressement\\further2.pgm"], cwd=d,
                         stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                         env=wine.environment(options.prefix))
    for _ in range(1500):
        if os.path.getsize(os.path.join(d, "hold.out")):
            return
        time.sleep(0.02)
    sys.exit("hold.exe never said it holds the files")


# ---- what the comparison with the native run cannot show: each returns a reason or None
def inputs_kept(d, out, err):
    for name in ["base.pgm", "further1.pgm", "further2.pgm", "plain.pgm", "photos/further1.pgm"]:
        path = os.path.join(d, name)
        if os.path.exists(path) and Path(path).read_bytes() != IMAGES[os.path.basename(name)]:
            return name + " was changed"


def says(out, *texts):
    for text in texts:
        if text not in out:
            return "stdout lacks %r" % text


CHECKS = {
    "backslash-refused": lambda d, out, err: (
        err.count(b"sortirait du dossier Redressement") != 2 and "%d refusals on stderr" % err.count(b"sortirait")
        or inputs_kept(d, out, err)
        or os.listdir(os.path.join(d, "Redressement")) != ["base.pgm"] and "Redressement holds more than base.pgm"),
    "folder-refused": lambda d, out, err: (
        says(out, b"Impossible d'\xe9crire dans le dossier Redressement : Redressement est un fichier\r\n"
                  b"Press any key") or b"Coordonnes" in out and "points were asked"),
    "in-use-said": lambda d, out, err: (
        says(out, b"Redressement\\further2.pgm (utilis\xe9e par un autre programme)\r\n\r\n",
             b"Aucun r\xe9sultat pour l'image 1\r\n",
             b"further1.pgm\r\n en lecture\r\nL'image est utilis\xe9e par un autre programme\r\n")
        or Path(d, "Redressement", "further2.pgm").read_bytes() != b"an earlier result"
        and "the earlier result was replaced"),
}


# ---- the comparison
def windows_text(native):
    # Paths take the backslash, the pause is cmd's own (LANG=C.UTF-8), and the C runtime
    # writes the standard streams in text mode: every line feed comes out as CR LF.
    text = native.replace(b"Redressement/", b"Redressement\\")
    text = text.replace(b"Appuyez sur une touche pour continuer...\n", b"Press any key to continue... ")
    return text.replace(b"\n", b"\r\n")


def first_difference(a, b):
    i = next((k for k in range(min(len(a), len(b))) if a[k] != b[k]), min(len(a), len(b)))
    return "at byte %d: expected %r, got %r (lengths %d, %d)" % (i, a[max(0, i - 12):i + 12],
                                                                 b[max(0, i - 12):i + 12], len(a), len(b))


def same_files(native_dir, windows_dir):
    a = wine.tree(native_dir)
    left = [p for p in a if p.endswith("-test.tmp") or ".tavrin-" in p]
    return wine.differ(a, wine.tree(windows_dir)) or left and "temporary file left behind: %s" % left


def session(name, options):
    program, folder, check, typed = rows()[name]
    windows_dir = os.path.join(options.work, "windows")
    files_held(windows_dir, options) if folder == "files-held" else make_folder(folder, windows_dir)
    exe = options.exe_switch if program == "switch" else options.exe
    status, out, err = wine.run(options.prefix, exe, cwd=windows_dir, stdin=typed)
    if program == "windows-only":
        if folder == "files-held":
            Path(windows_dir, "release").write_bytes(b"")
        return status != 1 and "exit status %s, 1 expected" % status or CHECKS[check](windows_dir, out, err)
    native_dir = os.path.join(options.work, "native")
    make_folder(folder, native_dir)
    binary = options.native_switch if program == "switch" else options.native
    native_status, native_out, native_err = wine.run_native([binary], native_dir, typed)
    if status != native_status:
        return "exit status %s, native %s" % (status, native_status)
    if out != windows_text(native_out):
        return "stdout " + first_difference(windows_text(native_out), out)
    if err != windows_text(native_err):
        return "stderr " + first_difference(windows_text(native_err), err)
    return same_files(native_dir, windows_dir) or check != "-" and CHECKS[check](windows_dir, out, err) or None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("name", choices=sorted(rows()))
    for option in ["native", "native-switch", "exe", "exe-switch", "hold", "prefix", "work"]:
        parser.add_argument("--" + option, required=True)
    options = parser.parse_args()
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)
    reason = session(options.name, options)
    if reason:
        sys.exit("%s: %s" % (options.name, reason))
    print("%s: as it should be on Windows" % options.name)


if __name__ == "__main__":
    main()
