#!/usr/bin/python3
"""tavrin-view in headless Chromium: opens a 6000 x 4000 photograph five times, then
pans it at 1:1 and whole, and prints the medians. Needs chromium, chromium-driver
and python3-selenium (scripts/test installs them).

Usage: bench/view_bench.py
"""
import os, shutil, sys, tempfile

VIEW = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "view")
sys.path.insert(0, VIEW)
from view_test import Page, browser  # noqa: E402


def main():
    """Opens a 6000 x 4000 photograph five times, then pans it at 1:1 and whole; prints medians."""
    tmp = tempfile.mkdtemp()
    path = os.path.join(tmp, "24mp.pgm")
    with open(path, "wb") as f:
        f.write(b"P5\n6000 4000\n255\n" + os.urandom(6000 * 4000))
    d = browser(tmp)
    try:
        opens = []
        for _ in range(5):
            p = Page(d, "file://" + os.path.join(VIEW, "tavrin-view.html"))
            p.choose("points-base", path)
            opens.append(p.js("return TV.lastOpen"))
        for key in ("read", "decode", "upload", "total"):
            print("open, %-6s median %7.1f ms" % (key, sorted(o[key] for o in opens)[2]))
        for view in ("actual", "fit"):
            p.press(view)
            ms = p.js("var v = TV.viewer, t = performance.now();"
                      "for (var i = 0; i < 50; ++i) { v.tx += 7; v.draw(); v.ctx.getImageData(0, 0, 1, 1); }"
                      "return (performance.now() - t) / 50")
            print("pan at %s: %.1f ms a frame" % (view, ms))
    finally:
        d.quit()
        shutil.rmtree(tmp)



if __name__ == "__main__":
    main()
