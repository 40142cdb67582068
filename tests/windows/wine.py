"""The one Wine set-up of the Windows checks: a prefix of their own (never the user's
~/.wine) made once by the fixture test windows/wine-start, used by every session and kit
check, and stopped by windows/wine-stop; the runs, each with a time limit; and the
comparison of what two runs wrote.

Usage: wine.py start PREFIX | stop PREFIX
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from pathlib import Path

LIMIT = 300  # seconds for one program's run; it is then killed


def environment(prefix, lang="C.UTF-8"):
    """Wine's environment. LANG picks the code pages: C.UTF-8 gives cmd's English PAUSE,
    fr_FR.UTF-8 the French operator's ANSI code page 1252 and console code page 850."""
    return dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", LANG=lang, LC_ALL=lang)


def start(prefix):
    # Wine takes its code pages from the locale, which must exist for the kit's checks.
    have = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if "fr_FR.utf8" not in have:
        subprocess.run(["localedef", "-i", "fr_FR", "-f", "UTF-8", "fr_FR.UTF-8"], check=True)
    stop(prefix)
    os.makedirs(prefix)
    env = environment(prefix)
    # The server is kept up (-p) before the prefix is made, so that every run uses this one;
    # wineboot prints lines that WINEDEBUG cannot silence.
    # What stays up (the server, the services wineboot starts) must not hold CTest's output
    # open, or CTest would wait for it; wineboot's own lines go to a log.
    quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], check=True, **quiet)
    log = os.path.join(prefix, "wineboot.log")
    with open(log, "wb") as out:
        status = subprocess.run(["wineboot", "-i"], timeout=LIMIT, **dict(quiet, stdout=out, stderr=out)).returncode
    if status != 0:
        with open(log, errors="replace") as f:
            sys.exit("wineboot failed:\n" + f.read())


def stop(prefix):
    """Stops only this prefix's server, then deletes the prefix."""
    if os.path.isdir(prefix):
        env = environment(prefix)
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix)


def run(prefix, program, args=(), cwd=None, stdin=b"", lang="C.UTF-8"):
    """Runs a Windows program; returns (status, stdout, stderr). The input is given as a
    file: cmd's PAUSE waits forever on an open pipe, but returns at the end of a file."""
    return run_native(["wine", program, *args], cwd, stdin, environment(prefix, lang))


def run_native(command, cwd=None, stdin=b"", env=None):
    """Runs a command with the input typed from a file; returns (status, stdout, stderr).
    The output goes to files too: a process the program leaves behind cannot hold it open."""
    with tempfile.TemporaryFile() as typed, tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        typed.write(stdin)
        typed.seek(0)
        try:
            status = subprocess.run(command, cwd=cwd, stdin=typed, stdout=out, stderr=err, env=env,
                                    timeout=LIMIT).returncode
        except subprocess.TimeoutExpired:
            status = "timeout"
        out.seek(0)
        err.seek(0)
        return status, out.read(), err.read()


def tree(top, blind="$^"):
    """Every folder (None) and file (its bytes, b"" if its path matches blind) under top, by relative path."""
    return {name: None if p.is_dir() else b"" if re.fullmatch(blind, name) else p.read_bytes()
            for p in Path(top).rglob("*") for name in [str(p.relative_to(top))]}


def differ(one, two):
    """What tells two trees apart, or "" when they hold the same names and bytes."""
    return "; ".join(what + ", ".join(sorted(names)) for what, names in [
        ("only native: ", one.keys() - two.keys()), ("only Windows: ", two.keys() - one.keys()),
        ("differ: ", {k for k in one.keys() & two.keys() if one[k] != two[k]})] if names)


if __name__ == "__main__":
    {"start": start, "stop": stop}[sys.argv[1]](sys.argv[2])
