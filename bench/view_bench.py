#!/usr/bin/python3
"""tavrin-view in headless Chromium: opens a 6000 x 4000 photograph five times, then
pans it at 1:1 and whole, and prints the medians. The timings are taken by wrapping
the browser's and the page's functions from here; the page carries no timing code.
Needs chromium, chromium-driver and python3-selenium (scripts/test installs them).

Usage: bench/view_bench.py
"""
import os, shutil, sys, tempfile, time

VIEW = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "view")
sys.path.insert(0, VIEW)
sys.dont_write_bytecode = True  # no __pycache__ left in view/
from view_test import browser  # noqa: E402

# From the file chosen to the first frame drawn on the base pane, with its parts: the
# file read whole, decoded, drawn into its own canvas. One pixel read back waits for
# the drawing to be done.
TIMING = """
var t = window.timing = {}, now = performance.now.bind(performance);
document.addEventListener("change", function () { t.start = now(); }, true);
var read = Blob.prototype.arrayBuffer;
Blob.prototype.arrayBuffer = function () {
  if (!(this instanceof File)) return read.call(this);
  var t0 = now();
  return read.call(this).then(function (b) { t.read = now() - t0; return b; });
};
var decode = TV.decodePNM, offscreen = TV.offscreen, made = null;
TV.decodePNM = function (b, n) { var t0 = now(), r = decode(b, n); t.decode = now() - t0; return r; };
TV.offscreen = function (p) { var t0 = now(); made = offscreen(p); t.upload = now() - t0; return made; };
var draw = CanvasRenderingContext2D.prototype.drawImage;
CanvasRenderingContext2D.prototype.drawImage = function (image) {
  draw.apply(this, arguments);
  if (image === made && this.canvas.id === "base-view" && !t.total) {
    this.getImageData(0, 0, 1, 1);
    t.total = now() - t.start;
  }
};
"""

# 50 frames of a drag across the base pane, each read back; milliseconds a frame.
PAN = """
var c = document.getElementById("base-view"), r = c.getBoundingClientRect(), ctx = c.getContext("2d");
function send(type, x) {
  c.dispatchEvent(new PointerEvent(type, { bubbles: true, pointerId: 1, button: 0, isPrimary: true,
                                           clientX: r.left + x, clientY: r.top + 200 }));
}
send("pointerdown", 100);
var t0 = performance.now();
for (var i = 1; i <= 50; ++i) { send("pointermove", 100 + 7 * i); ctx.getImageData(0, 0, 1, 1); }
var ms = (performance.now() - t0) / 50;
send("pointerup", 450);
return ms;
"""


def main():
    tmp = tempfile.mkdtemp()
    path = os.path.join(tmp, "24mp.pgm")
    with open(path, "wb") as f:
        f.write(b"P5\n6000 4000\n255\n" + os.urandom(6000 * 4000))
    d = browser(tmp)
    d.set_window_size(1900, 1400)
    try:
        opens = []
        for _ in range(5):
            d.get("file://" + os.path.abspath(os.path.join(VIEW, "tavrin-view.html")))
            d.execute_script(TIMING)
            d.find_element("id", "points-base").send_keys(path)
            for _ in range(600):
                if d.execute_script("return window.timing.total"):
                    break
                time.sleep(0.05)
            opens.append(d.execute_script("return window.timing"))
        for key in ("read", "decode", "upload", "total"):
            print("open, %-6s median %7.1f ms" % (key, sorted(o[key] for o in opens)[2]))
        for view in ("actual", "fit"):
            d.find_element("id", view).click()
            print("pan at %s: %.1f ms a frame" % (view, d.execute_script(PAN)))
    finally:
        d.quit()
        shutil.rmtree(tmp)


if __name__ == "__main__":
    main()
