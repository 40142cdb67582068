#!/usr/bin/python3
"""The Windows kit as a French operator uses it, under Wine in French (ANSI code page 1252, console code page
850), unzipped into a folder whose name holds a space and an accent; what it writes is compared byte for byte
with the native build's. One check per run: prints each fault and exits 1, or what held.

Usage: kit.py CHECK --zip ZIP|FOLDER --native DIR --prefix PREFIX --work DIR --view-files "a;b"
              --switch-exe EXE  (tavrin.exe with its test switch set, for the imports)
CHECK: files, imports, lisezmoi, chain, sample, series, console, hold. PREFIX is started by `wine.py start`.
A FOLDER holds one zip: the kit that CPack made last.
"""
import argparse, re, shutil, subprocess, sys, zipfile
from collections import Counter
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ left in the checkout
sys.path.insert(0, str(Path(__file__).resolve().parent))
import wine  # noqa: E402
from wine import differ, tree  # noqa: E402

PROGRAMS = ["tavrin", "tavrin-diff", "tavrin-match", "tavrin-sample", "tavrin-series"]
LICENCES = ["libjpeg-turbo", "libpng", "libtiff", "opencv", "zlib"]
SYSTEM_DLLS = {"KERNEL32.dll", "msvcrt.dll", "ADVAPI32.dll", "USER32.dll", "SHELL32.dll", "OLE32.dll"}
EGLISE, REDUIT, POINTS, BOM = "église.pgm", "réduit.pgm", ["412,357", "1236,842"], b"\xef\xbb\xbf"
failed = []


def expect(ok, reason):
    if not ok:
        failed.append(reason)


def winpath(path):
    return "Z:" + str(path).replace("/", "\\")  # Wine shows the root folder as drive Z:


def tail(data, lines=4):
    return " | ".join(data.replace(b"\r", b"").decode("utf-8", "backslashreplace").splitlines()[-lines:])


def run(side, name, args=(), cwd=None, stdin=b""):
    """A program of the unzipped kit under Wine, or of the native build: (status, stdout, stderr)."""
    if side == "windows":
        return wine.run(opts.prefix, str(kit / (name + ".exe")), args, cwd, stdin, lang="fr_FR.UTF-8")
    return wine.run_native([str(opts.native / name), *map(str, args)], cwd, stdin)


def reference():
    """The native tavrin-sample's series, in this check's own folder."""
    (folder := work / "reference").mkdir()
    status, _, err = run("linux", "tavrin-sample", [folder])
    expect(status == 0, "native tavrin-sample: status %s: %s" % (status, tail(err)))
    return folder


def check_files():
    listed = zipfile.ZipFile(opts.zip).namelist()
    wanted = ["LISEZMOI.txt", "page/", "licences/", *("page/" + f for f in re.split("[;,]", opts.view_files)),
              *("licences/%s.txt" % n for n in LICENCES), *(p + ".exe" for p in PROGRAMS)]
    for what, names in [("lacks", Counter(wanted) - Counter(listed)), ("has also", Counter(listed) - Counter(wanted))]:
        expect(not names, "the zip %s %s" % (what, ", ".join(sorted(names.elements()))))
    return "the zip holds exactly the programs, the licences, LISEZMOI.txt and the page's files"


def check_imports():
    # tavrin.exe, in the kit and with its test switch set, uses no third-party library at all.
    for program, exe in [(p, kit / (p + ".exe")) for p in PROGRAMS] + [("tavrin", opts.switch_exe)]:
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True)
        expect(dump.returncode == 0, "objdump cannot read %s: %s" % (exe, tail(dump.stderr)))
        allowed = {"KERNEL32.dll", "msvcrt.dll"} if program == "tavrin" else SYSTEM_DLLS
        for dll in re.findall(rb"^\s*DLL Name: (\S+)", dump.stdout, re.M):
            expect(dll.decode() in allowed, "%s imports %s, which Windows lacks" % (exe, dll.decode()))
    return "the programs import only DLLs every Windows has, tavrin.exe KERNEL32.dll and msvcrt.dll alone"


def check_lisezmoi():
    # UTF-8 with a byte-order mark, every line ended by CR LF: every Notepad shows it right.
    data = (kit / "LISEZMOI.txt").read_bytes()
    expect(data.startswith(BOM), "LISEZMOI.txt has no UTF-8 byte-order mark")
    expect(data.decode("utf-8", "ignore").encode() == data, "LISEZMOI.txt is not UTF-8")
    lines = data[len(BOM):].split(b"\r\n")
    bad = [n for n, line in enumerate(lines, 1) if re.search(b"[\r\n]", line) or n == len(lines) and line]
    expect(not bad, "LISEZMOI.txt: lines %s do not end in CR LF" % bad[:10])
    return "LISEZMOI.txt is UTF-8 with a byte-order mark, every line ended by CR LF"


def chain(side):
    """The series made and kept in an accented name, a sub-folder and a far folder given by its full path, its
    points found, the answers saved by Notepad (UTF-8 with a byte-order mark, CR LF) fed to tavrin, one result
    compared with the base. Returns the folder and {program: (status, stdout)}."""
    (folder := work / side).mkdir()
    sep, ran = "\\" if side == "windows" else "/", {}

    def step(name, args, cwd=folder, stdin=b""):
        status, out, err = run(side, name, args, cwd, stdin)
        (work / ("%s %s.log" % (cwd.name, name))).write_bytes(out + err)
        ran[name if cwd == folder else "ansi"] = status, out
        return out

    step("tavrin-sample", ["."])
    for old, new in [("rotated.pgm", EGLISE), ("enlarged.pgm", "photos/agrandi.pgm"),
                     ("reduced.pgm", "mes photos/" + REDUIT)]:
        (folder / new).parent.mkdir(exist_ok=True)
        (folder / old).rename(folder / new)
    far = folder / "mes photos" / REDUIT
    answers = step("tavrin-match", ["base.pgm", *POINTS, EGLISE, "photos%sagrandi.pgm" % sep,
                                    winpath(far) if side == "windows" else far])
    step("tavrin", [], stdin=BOM + b"".join(line + b"\r\n" for line in answers.replace(b"\r", b"").splitlines()))
    if side == "windows":  # the same answers saved as ANSI (Windows-1252), run in a folder of their own
        (work / "ansi").mkdir()
        for name in [p.name for p in folder.glob("*.pgm")] + ["photos", "mes photos"]:
            (shutil.copytree if (folder / name).is_dir() else shutil.copy)(folder / name, work / "ansi" / name)
        step("tavrin", [], work / "ansi", answers.decode("utf-8", "replace").encode("cp1252", "replace"))
    step("tavrin-diff", ["base.pgm", "Redressement%s%s" % (sep, EGLISE), "carte église.ppm"])
    return folder, ran


def check_chain():
    (l, lran), (w, wran) = chain("linux"), chain("windows")
    for who, ran in [("native", lran), ("Windows", wran)]:
        statuses = {name: status for name, (status, _) in ran.items() if status != 0 and name != "ansi"}
        expect(statuses == {"tavrin": 1}, "%s exit statuses %s, not tavrin's 1 alone" % (who, statuses))
    lanswers, wanswers = (ran["tavrin-match"][1].replace(b"\r", b"").split(b"\n") for ran in (lran, wran))
    names = [n.encode() for n in [EGLISE, "photos\\agrandi.pgm", '"%s"' % winpath(w / "mes photos" / REDUIT), "fin"]]
    expect(wanswers[3:13:3] == names, "tavrin-match.exe names %s, not %s" % (wanswers[3:13:3], names))
    lpoints, wpoints = ([x for n, x in enumerate(a) if n % 3 or n == 0] for a in (lanswers, wanswers))  # names out
    expect(lpoints == wpoints, "tavrin-match.exe answers %s, not %s" % (wpoints, lpoints))
    expect(not (files := differ(ltree := tree(l), tree(w))) and len(ltree) > 10, "the chain's files: " + files)
    ansi = differ(tree(w / "Redressement"), tree(work / "ansi" / "Redressement"))
    expect(not ansi, "answers saved as ANSI give other files than UTF-8 answers: " + ansi)
    report = wran["tavrin"][1]
    written = sum(b"Fichier creer" in line for line in report.splitlines())
    expect(written == 4, "tavrin.exe reports %d files written, not 4: %s" % (written, tail(report)))
    expect(("Redressement\\" + REDUIT).encode() in report, "tavrin.exe names no Redressement\\" + REDUIT)
    ldiff, wdiff = lran["tavrin-diff"][1], wran["tavrin-diff"][1]
    expect(wdiff.replace(b"\r", b"").replace(b"\\", b"/") == ldiff, "tavrin-diff.exe prints %r, not %r" % (
        wdiff, ldiff))
    # The map named like the photograph as taken, an easy slip: refused, nothing replaced.
    status, _, err = run("windows", "tavrin-diff", ["base.pgm", "Redressement\\" + EGLISE, EGLISE], w)
    expect(status == 1 and b"remplacerait" in err, "tavrin-diff.exe told to write its map over a photograph: "
           "status %s: %s" % (status, tail(err)))
    expect((w / EGLISE).read_bytes() == (l / EGLISE).read_bytes(), "tavrin-diff.exe changed " + EGLISE)
    return "the chain writes the native files and answers, ANSI answers too, reports 4 files, no map over a photo"


def check_sample():
    # Double-clicked where the operator keeps a base.pgm of their own: the series goes into serie-essai.
    ref, folder, own = reference(), work / "double-click", b"the operator's photograph\n"
    folder.mkdir()
    (folder / "base.pgm").write_bytes(own)
    status, out, err = run("windows", "tavrin-sample", [], folder)
    expect(status == 0, "tavrin-sample.exe: status %s: %s" % (status, tail(out + err)))
    expect((folder / "base.pgm").read_bytes() == own, "tavrin-sample.exe replaced the operator's base.pgm")
    expect(not (series := differ(tree(ref), tree(folder / "serie-essai"))), "serie-essai: " + series)
    expect(re.search(rb"S\xe9rie d.essai \xe9crite dans le dossier .*serie-essai", out),
           "tavrin-sample.exe says not where it wrote: " + tail(out, 1))
    return "tavrin-sample.exe given no folder writes the native series in serie-essai, keeps base.pgm"


def check_series():
    # As Explorer passes a dropped folder: its full path, the working folder elsewhere; JPEG, PNG, 16-bit TIFF, named
    # as operators name them, Ł outside Windows-1252. Windows ends reponses.txt's lines in CR LF, for Notepad.
    from PIL import Image
    ref, trees, answers = reference(), {}, "Redressement/pgm/reponses.txt"
    for side, cwd in [("linux", work), ("windows", kit)]:
        (folder := work / ("series-" + side) / "photos de l'été").mkdir(parents=True)
        Image.open(ref / "base.pgm").save(folder / "01 façade à l'aube.png")
        Image.open(ref / "enlarged.pgm").convert("RGB").save(folder / "02 œil élargi.jpg", quality=95)
        Image.open(ref / "rotated.pgm").point(lambda v: v * 257, "I").convert("I;16").save(folder / "03 lumière.tif")
        Image.open(ref / "reduced.pgm").save(folder / "Łódź.jpg", quality=95)
        status, out, err = run(side, "tavrin-series", ["--points", *POINTS, winpath(folder) if side == "windows"
                                                       else folder], cwd)
        expect(status == 0, "tavrin-series on %s: status %s: %s" % (side, status, tail(out + err)))
        trees[side] = tree(folder, r"Redressement/rapport\.html")  # the report holds the time taken
    crlf = trees["windows"].get(answers) or b""
    expect(crlf.count(b"\n") == crlf.count(b"\r\n") > 12, "%s's lines do not all end in CR LF: %r" % (answers, crlf))
    trees["windows"][answers] = crlf.replace(b"\r\n", b"\n")
    series = differ(trees["linux"], trees["windows"])
    expect(not series and sum(v is not None for v in trees["windows"].values()) > 25, "the series: " + series)
    return "tavrin-series.exe on a dropped folder of accented names writes the native files, reponses.txt in CR LF"


def check_console():
    # An accented name typed at a console in code page 850, then a name too long, whose message has an
    # accent: both shown as typed, the file written, the console's code page the same after the run.
    ref, folder = reference(), work / "console"
    folder.mkdir()
    shutil.copy(ref / "base.pgm", folder / EGLISE)
    shutil.copy(kit / "tavrin.exe", folder)
    typed = ["-> ", "continuer", EGLISE, "1,1", "5,5", "0" * 234, "--", "wine", "cmd", "/c", "chcp & tavrin.exe & chcp"]
    _, out, err = wine.run_native([sys.executable, Path(__file__).parent / "type-at-console.py", *typed], folder, b"",
                                  wine.environment(opts.prefix, "fr_FR.UTF-8"))
    (work / "console.log").write_bytes(shown := out + err)
    pages = sum(bool(re.search(rb"Page de code.* 850", line)) for line in shown.splitlines())
    expect(pages == 2, "code page 850 shown %d times, not before and after: %s" % (pages, tail(shown)))
    for text in ["Redressement\\" + EGLISE, "233 octets au plus"]:
        expect(text.encode() in shown, "the console shows no %s: %s" % (text, tail(shown)))
    expect((folder / "Redressement" / EGLISE).read_bytes() == (ref / "base.pgm").read_bytes(),
           "tavrin.exe wrote Redressement\\%s other than the native base.pgm" % EGLISE)
    return "an accented name typed at a code page 850 console is written, accented messages show"


def check_hold():
    # Double-clicked, alone in the window it opened, a tool holds it after its last line until a key is pressed, at
    # every end; started from a command prompt, whose window stays, it does not.
    folder = work / "hold"
    folder.mkdir()
    for program in ["tavrin-sample", "tavrin-diff"]:
        shutil.copy(kit / (program + ".exe"), folder)
    runs = [(["tavrin-sample.exe"], 0, True), (["tavrin-diff.exe"], 2, True),
            (["cmd", "/c", "tavrin-diff.exe"], 2, False)]
    for command, wanted, held in runs:
        status, out, err = wine.run_native([sys.executable, Path(__file__).parent / "type-at-console.py", "-> ",
                                            "fermer cette fen", "--", "wine", *command], folder, b"",
                                           wine.environment(opts.prefix, "fr_FR.UTF-8"))
        shown = out + err
        expect(status == wanted, "%s at a console: status %s, not %s: %s" % (command, status, wanted, tail(shown)))
        expect((b"Appuyez sur une touche pour fermer cette fen" in shown) == held,
               "%s at a console %s its window: %s" % (command, "holds not" if held else "holds", tail(shown)))
    return "tavrin-sample.exe and tavrin-diff.exe hold the window they opened, at success and a usage error, not cmd's"


CHECKS = {"files": check_files, "imports": check_imports, "lisezmoi": check_lisezmoi, "chain": check_chain,
          "sample": check_sample, "series": check_series, "console": check_console,
          "hold": check_hold}

if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("check", choices=CHECKS)
    for option in ("--zip", "--native", "--prefix", "--work", "--switch-exe"):
        parser.add_argument(option, required=True, type=lambda p: Path(p).absolute())
    parser.add_argument("--view-files", required=True)
    opts = parser.parse_args()
    work, kit = opts.work, opts.work / "Mes outils de redressement, été"
    shutil.rmtree(work, ignore_errors=True)
    zips = sorted(opts.zip.glob("*.zip")) if opts.zip.is_dir() else [opts.zip]
    if len(zips) != 1:
        sys.exit("FAIL %s: %s holds %d zips, not one" % (opts.check, opts.zip, len(zips)))
    opts.zip = zips[0]
    zipfile.ZipFile(opts.zip).extractall(kit)
    try:
        done = CHECKS[opts.check]()
    except OSError as e:  # a file the kit should have written, missing
        failed.append(str(e))
    print("\n".join("FAIL %s: %s" % (opts.check, reason) for reason in failed) or "ok %s: %s" % (opts.check, done))
    sys.exit(1 if failed else 0)
