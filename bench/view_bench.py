#!/usr/bin/python3
"""tavrin-view in headless Chromium: opens a 6000 x 4000 photograph five times, then
pans it at 1:1 and whole, times the live preview of a pair of them, and prints the
medians. The timings are taken by wrapping the browser's and the page's functions
from here; the page carries no timing code.
Needs chromium, chromium-driver and python3-selenium (scripts/test installs them).

Usage: bench/view_bench.py
"""
import os, shutil, sys, tempfile, time

VIEW = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "view")
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

# The live preview on a 24 MP pair (one photograph twice, turned 237 degrees by the
# points): from B' let go to the whole frame on show, grey and as the difference map;
# then B' held and moved once a frame for two seconds, as the browser sends the moves,
# at the fit and at 1:1: the frames a second, each showing the preview for the points
# of its moment, and what a frame's move and its preview take.
POINTS = "base.pgm\n1545,1189\n4635,2804\nphoto.pgm\n4181,1448\n1369,3040\nfin\n"
PRESS = """
if (arguments.length > 1 && arguments[0] === "1:1") {  // both panes at 1:1 about B and B'
  [0, 1].forEach(function (i) {
    var p = TV.place.panes[i], q = p.photo().points[1];
    p.viewer.centreAt(q.x + 0.5, q.y + 0.5, 1);
  });
}
var c = document.getElementById("photo-view"), r = c.getBoundingClientRect(), v = TV.place.panes[1].viewer;
var b = TV.place.current().points[1], at = v.toScreen(b.x + 0.5, b.y + 0.5);
window.send = function (type, dx) {
  c.dispatchEvent(new PointerEvent(type, { bubbles: true, pointerId: 1, button: 0, isPrimary: true,
                                           clientX: r.left + at.x + dx, clientY: r.top + at.y }));
};
window.whole = function (done) {
  (function look() {
    var s = TV.preview.shown();
    if (s && s.whole && s.current) return done();
    requestAnimationFrame(look);
  })();
};
send("pointerdown", 0);
"""
RELEASE = PRESS + """
var done = arguments[arguments.length - 1], to = 20 * arguments[0];
send("pointermove", to / 2); send("pointermove", to);
setTimeout(function () {
  var t0 = performance.now();
  send("pointerup", to);
  whole(function () { done(performance.now() - t0); });
}, 200);
"""
DRAG = PRESS + """
var done = arguments[arguments.length - 1], t0 = performance.now(), frames = 0, shown = 0, moving = 0, seen = "";
var step = TV.Rectifier.prototype.rows, computing = 0;
TV.Rectifier.prototype.rows = function () {
  var t = performance.now(), r = step.apply(this, arguments); computing += performance.now() - t; return r;
};
(function frame() {  // what the last frame showed; then this frame's move
  var now = performance.now(), s = TV.preview.shown(), key = s && JSON.stringify(s.points);
  if (s && s.current && key !== seen) { seen = key; ++shown; }
  if (now - t0 > 2000) {
    TV.Rectifier.prototype.rows = step;
    send("pointerup", 0);
    return whole(function () { done([frames, shown, moving, computing]); });
  }
  ++frames;
  var m = performance.now();
  send("pointermove", 5 + 40 * Math.sin((now - t0) / 300));
  moving += performance.now() - m;
  requestAnimationFrame(frame);
})();
"""


def preview(d, tmp, page):
    d.set_script_timeout(60)
    with open(os.path.join(tmp, "reponses.txt"), "w") as f:
        f.write(POINTS)
    shutil.copy(os.path.join(tmp, "24mp.pgm"), os.path.join(tmp, "base.pgm"))
    shutil.copy(os.path.join(tmp, "24mp.pgm"), os.path.join(tmp, "photo.pgm"))
    d.get(page)
    for field, name in (("points-base", "base.pgm"), ("points-further", "photo.pgm"), ("answers-file", "reponses.txt")):
        d.find_element("id", field).send_keys(os.path.join(tmp, name))
        for _ in range(600):
            if d.execute_script("return !document.body.hasAttribute('aria-busy') && !!TV.place.panes[1].entry"):
                break
            time.sleep(0.05)
    for look in ("preview", "preview-difference"):
        d.find_element("css selector", "input[value=%s]" % look).click()
        releases = [d.execute_async_script(RELEASE, (-1) ** i) for i in range(5)]
        print("preview, %-10s B' let go -> whole frame: median %6.1f ms" % (look[8:] or "grey", sorted(releases)[2]))
    d.find_element("css selector", "input[name=preview][value=preview]").click()
    for view in ("fit", "1:1"):
        frames, shown, moving, computing = d.execute_async_script(DRAG, view)
        print("preview, B' held and moved at %s: %.1f frames a second, %d previews in %d frames; a frame's move "
              "%.1f ms, its preview %.1f ms" % (view, frames / 2, shown, frames, moving / frames,
                                                computing / max(1, shown)))


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
        preview(d, tmp, "file://" + os.path.abspath(os.path.join(VIEW, "tavrin-view.html")))
    finally:
        d.quit()
        shutil.rmtree(tmp)


if __name__ == "__main__":
    main()
