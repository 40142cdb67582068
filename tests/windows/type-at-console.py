#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal and types at it as an operator would.

Usage: type-at-console.py PROMPT PAUSE LINE... -- COMMAND [ARG...]

Each LINE is typed, followed by Enter, once the terminal has shown PROMPT since the
line before; one key is then pressed once it has shown PAUSE. What the terminal
showed is printed, with cursor moves to the right as spaces and other control
sequences taken out; the exit status is the command's. Lines are typed in UTF-8, as
a terminal of this system sends them.
"""
import os
import pty
import re
import select
import sys
import time

LIMIT = 60  # seconds for a whole session; the command is then killed


def screen(raw):
    text = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m.group(1) or 1), raw)
    return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07|\r", b"", text)


def main():
    split = sys.argv.index("--")
    prompt, pause = sys.argv[1].encode(), sys.argv[2].encode()
    lines, command = sys.argv[3:split], sys.argv[split + 1:]
    pid, terminal = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    shown = bytearray()
    deadline = time.time() + LIMIT

    def read_until(text):
        start = len(shown)
        while time.time() < deadline:
            if text is not None and text in screen(bytes(shown[start:])):
                time.sleep(0.2)  # the program has printed its prompt: now it reads
                return True
            ready, _, _ = select.select([terminal], [], [], 0.1)
            if not ready:
                continue
            try:
                chunk = os.read(terminal, 4096)
            except OSError:
                return False  # the command has ended
            if not chunk:
                return False
            shown.extend(chunk)
        return False

    typed = [(prompt, line.encode("utf-8") + b"\r") for line in lines] + [(pause, b"k")]
    for awaited, keys in typed:
        if not read_until(awaited):
            break
        os.write(terminal, keys)
    read_until(None)
    if time.time() >= deadline:
        os.kill(pid, 9)
    _, status = os.waitpid(pid, 0)
    sys.stdout.write(screen(bytes(shown)).decode("utf-8", "replace"))
    sys.exit(os.waitstatus_to_exitcode(status))


main()
