#!/usr/bin/python3
"""tavrin-view in headless Chromium, as installed; --screenshots DIR: the README's two there."""
import argparse, base64, os, pathlib, shutil, subprocess, sys, tempfile, time, unittest
from selenium import webdriver
from selenium.webdriver import ActionChains, Keys

ARGS = None
ANSWERS = b"base.pgm\n412,357\n1236,842\nrotated.pgm\n1115,435\n365,913\nfin\n"
# What the test reads off the page without the page's help: the texts each canvas drew in
# its last frame, and the decodes done.
WATCH = """
window.drawn = {}; window.decoded = [];
var clear = CanvasRenderingContext2D.prototype.clearRect, text = CanvasRenderingContext2D.prototype.fillText;
CanvasRenderingContext2D.prototype.clearRect = function () {
  drawn[this.canvas.id] = []; return clear.apply(this, arguments); };
CanvasRenderingContext2D.prototype.fillText = function (t, x, y) {
  (drawn[this.canvas.id] = drawn[this.canvas.id] || []).push([t, x, y]); return text.apply(this, arguments); };
var decode = TV.decodePNM, offscreen = TV.offscreen;
TV.decodePNM = function (b, name) { decoded.push(name); return decode(b, name); };
TV.offscreen = function (p) { return window.lastCanvas = offscreen(p); };
"""


def browser(tmp):
    """Headless Debian Chromium, its downloads in tmp/downloads; wide enough for two panes at 1:1."""
    opts = webdriver.ChromeOptions()
    opts.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--force-device-scale-factor=1", "--window-size=3600,1400", "--user-data-dir=" + tmp + "/chromium"):
        opts.add_argument(flag)
    opts.add_experimental_option("prefs", {"download.default_directory": tmp + "/downloads",
                                           "download.prompt_for_download": False})
    return webdriver.Chrome(options=opts)


def grey(path, x, y):
    """The sample at column x, row y of a P5 file without comments."""
    data = pathlib.Path(path).read_bytes()
    width, height = [int(v) for v in data.split()[1:3]]
    return data[len(data) - width * height + x + y * width]


class ViewTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = t = tempfile.mkdtemp()
        cls.addClassCleanup(shutil.rmtree, t)
        subprocess.run([ARGS.cmake, "--install", ARGS.build, "--prefix", t + "/prefix"], check=True,
                       stdout=subprocess.DEVNULL)
        cls.url = subprocess.run([t + "/prefix/bin/tavrin-view", "--where"], check=True, capture_output=True,
                                 text=True).stdout.strip()
        assert cls.url == "file://" + t + "/prefix/share/tavrin/view/tavrin-view.html", cls.url
        cls.series = s = t + "/series"
        subprocess.run([ARGS.sample, s], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([os.path.abspath(ARGS.tavrin)], cwd=s, stdout=subprocess.DEVNULL,
                       input=ANSWERS.replace(b"fin", b"enlarged.pgm\n123,338\n1458,863\nfin"))
        cls.downloads = pathlib.Path(t, "downloads")
        cls.d = browser(t)
        cls.js = cls.d.execute_script
        cls.addClassCleanup(cls.d.quit)

    def setUp(self):
        pathlib.Path(self.downloads, "answers.txt").unlink(missing_ok=True)  # a failed case's
        self.d.get(self.url)
        self.js(WATCH)

    def tearDown(self):
        self.assertEqual([e["message"] for e in self.d.get_log("browser") if e["level"] == "SEVERE"], [])

    def until(self, done):  # for up to 30 s
        self.assertTrue(any(done() or time.sleep(0.05) for _ in range(600)), "waited in vain for " + str(done))

    def wait(self):
        time.sleep(0.05)
        self.until(lambda: self.js("return !document.body.hasAttribute('aria-busy')"))

    def choose(self, input_id, *paths):
        """Chooses the files in the input, once the page has taken them (its own handler runs first)."""
        self.js("window.taken = false; document.getElementById(arguments[0]).addEventListener("
                "'change', () => window.taken = true, {once: true})", input_id)
        self.d.find_element("id", input_id).send_keys("\n".join(paths))
        self.until(lambda: self.js("return window.taken"))
        self.wait()

    def press(self, css):
        self.d.find_element("css selector", css).click()
        self.wait()

    def text(self, element_id):
        return self.d.find_element("id", element_id).text

    def pointer(self, canvas, *points, wheel=0, press=True):
        """Presses at the first of points on the canvas, moves through the rest and lets go; with
        wheel, turns a mouse wheel there instead: -100 a notch, each zooming in by 2; without
        press, only moves there."""
        r = self.js("return document.getElementById(arguments[0]).getBoundingClientRect()", canvas)
        a = ActionChains(self.d)
        (x, y), *rest = [(r["x"] + sx, r["y"] + sy) for sx, sy in points]
        if wheel:
            a.w3c_actions.wheel_action.scroll(int(x), int(y), 0, wheel)
        elif not press:
            a.w3c_actions.pointer_action.move_to_location(x, y)
        else:
            a.w3c_actions.pointer_action.move_to_location(x, y).pointer_down()
            for x, y in rest:
                a.w3c_actions.pointer_action.move_to_location(x, y)
            a.w3c_actions.pointer_action.pointer_up()
        a.perform()
        self.wait()

    def key(self, key, modifier=None):
        a = ActionChains(self.d)
        (a.key_down(modifier).send_keys(key).key_up(modifier) if modifier else a.send_keys(key)).perform()
        self.wait()

    def labels(self, canvas):
        return [t[0] for t in self.js("return drawn[arguments[0]]", canvas)]

    def table(self):
        return self.js("return Array.from(document.querySelectorAll('#point-table input'), i => i.value).join(' ')")

    def type(self, input_id, value):
        field = self.d.find_element("id", input_id)
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(value + Keys.TAB)
        self.js("document.activeElement.blur()")
        self.wait()

    def save(self, confirm=None):
        """The answers saved; confirm: the question the page must ask first, answered yes."""
        self.d.find_element("id", "save").click()
        if confirm:
            alert = self.d.switch_to.alert
            self.assertEqual(alert.text, confirm + "\n\nSave the answers all the same?")
            alert.accept()
        path = self.downloads / "answers.txt"
        self.until(path.exists)
        data = path.read_bytes()
        path.unlink()
        return data

    def file(self, name, data):
        (self.downloads.parent / name).write_bytes(data)
        return str(self.downloads.parent / name)

    def shot(self, name, canvas):
        if ARGS.screenshots:
            os.makedirs(ARGS.screenshots, exist_ok=True)
            self.d.set_window_size(1600, 900)
            self.press("#fit")
            r = self.js("return document.getElementById(arguments[0]).getBoundingClientRect()", canvas)
            self.pointer(canvas, (r["width"] / 2, r["height"] / 2), press=False)
            self.d.save_screenshot(os.path.join(ARGS.screenshots, name))
            self.d.set_window_size(3600, 1400)

    def test_points_side_by_side_at_two_zooms_typed_undone_and_nudged_save_the_answers_tavrin_reads(self):
        self.choose("points-base", self.series + "/base.pgm")
        self.choose("points-further", self.series + "/rotated.pgm")
        # At 1:1 from the top-left, screen point (412, 357) is the top-left corner of pixel (412, 357).
        self.press("#actual")
        self.pointer("base-view", (412, 357))
        # At 16 screen pixels a pixel about (1230, 850), pixel (1235, 842) spans screen x 1310..1326
        # and y 722..738: B placed there, one pixel off, then moved home by the arrow key.
        self.pointer("base-view", (1230, 850), wheel=-400)
        self.assertEqual(self.text("base-caption"), "base.pgm (base) \u00b7 16:1")
        self.pointer("base-view", (1311, 737))
        self.key(Keys.ARROW_RIGHT)
        self.pointer("photo-view", (1115, 435))
        self.assertIn("B' at the scale 1 is on this circle", self.labels("photo-view"))
        self.pointer("photo-view", (1, 1), wheel=100)  # half a screen pixel a pixel: screen x -> 2 x - 1
        self.pointer("photo-view", (183, 457))
        self.assertEqual(self.save(), ANSWERS)
        self.assertEqual(self.labels("photo-view"), ["A' 1115,435", "B' 365,913"])
        self.assertEqual(self.table(), "412 357 1236 842 1115 435 365 913")
        self.assertEqual([e.text for e in self.d.find_elements("css selector", "#point-table .facts")],
                         ["A\u2013B 956.1 px", "A'\u2013B' 889.4 px: turned 117.01 degrees clockwise, scale 0.930"])
        # Typed, undone, redone; deleted, placed again by a click, both undone; Shift+arrow by ten.
        self.type("point-1-0-x", "1116")
        self.assertEqual(self.save(), ANSWERS.replace(b"1115", b"1116"))
        self.key("z", Keys.CONTROL)
        self.key("y", Keys.CONTROL)
        self.assertEqual(self.table(), "412 357 1236 842 1116 435 365 913")
        self.press("#undo")
        self.press("#point-1-1-delete")
        self.pointer("photo-view", (300, 300))
        self.assertEqual(self.table(), "412 357 1236 842 1115 435 599 599")
        self.key("z", Keys.CONTROL)
        self.key("z", Keys.CONTROL)
        self.press("#point-0-0 th")  # A chosen
        self.key(Keys.ARROW_LEFT, Keys.SHIFT)
        self.assertEqual(self.table(), "402 357 1236 842 1115 435 365 913")
        self.key(Keys.ARROW_RIGHT)
        self.key("z", Keys.CONTROL)
        self.key("z", Keys.CONTROL)
        self.press("#point-1-0-move")
        self.pointer("photo-view", (300, 300))
        self.assertEqual(self.table(), "412 357 1236 842 599 599 365 913")
        self.key("z", Keys.CONTROL)
        self.assertEqual(self.save(), ANSWERS)
        self.press("#point-1-1-zoom")
        self.assertEqual(self.text("photo-caption"), "rotated.pgm \u00b7 8:1")
        r = self.js("return document.getElementById('photo-view').getBoundingClientRect()")
        self.pointer("photo-view", (r["width"] / 2, r["height"] / 2), press=False)
        self.assertEqual(self.text("cursor"),
                         "rotated.pgm x 365 y 913 grey %d" % grey(self.series + "/rotated.pgm", 365, 913))
        self.press("#fit")
        self.press("#point-1-1-delete")
        self.shot("points.png", "photo-view")

    def test_loaded_answers_are_kept_saved_back_as_typed_and_compared_as_tavrin_diff_does(self):
        s = self.series
        typed = b"base.pgm\n412.5,357\n1236, 842\nrotated.pgm\n1115,435\n365,913\nreduced.pgm\n412,186\n712,676\nfin\n"
        self.choose("points-base", s + "/base.pgm")
        self.choose("points-further", s + "/rotated.pgm")
        self.choose("answers-file", self.file("typed.txt", typed))
        self.press("#actual")
        self.assertEqual(self.js("return drawn['base-view']"),
                         [["A 412.5,357", 429, 343.5], ["B 1236,842", 1252.5, 828.5]])
        # The A mark's right tick covers the row of its pixel, 8 screen pixels along.
        self.assertEqual(self.js("return Array.from(document.getElementById('base-view').getContext('2d')"
                                 ".getImageData(421, 357, 1, 1).data)"), [0xff, 0xd4, 0x00, 0xff])
        self.assertEqual(self.js("return document.querySelectorAll('#photo-list li')[2].textContent"),
                         "reduced.pgm  A' 412,186  B' 712,676 not opened")
        # Fault 2: a click on a photograph whose points are placed moved A' to it.
        self.pointer("photo-view", (700, 700))
        self.assertEqual(self.labels("photo-view"), ["A' 1115,435", "B' 365,913"])
        self.assertEqual(self.save(), typed.replace(b", ", b","))
        # rotated.pgm's true points, so that only the part it covers is counted.
        self.choose("answers-file", self.file("answers.txt", ANSWERS))
        self.press("input[value=compare]")
        self.choose("compare-base", s + "/base.pgm")
        self.choose("compare-results", s + "/Redressement/rotated.pgm", s + "/Redressement/enlarged.pgm")
        # Fault 7: each file decoded once, whichever mode opened it.
        self.assertEqual(self.js("return decoded"), ["base.pgm", "rotated.pgm", "rotated.pgm"])
        self.press("input[value=difference]")
        base = pathlib.Path(s, "base.pgm").read_bytes()[-1600 * 1200:]
        for name, further in (("rotated.pgm", ["rotated.pgm", "412,357", "1236,842", "1115,435", "365,913"]),
                              ("enlarged.pgm", [])):
            if further == []:
                self.pointer("compare-view", (1600, 600))
                at = self.text("cursor")
                self.key(Keys.PAGE_DOWN)
                self.pointer("compare-view", (1600, 600))  # the view stays where it was
                self.assertEqual(self.text("cursor").split("base")[0], at.split("base")[0])
                result = pathlib.Path(s, "Redressement", name).read_bytes()[-1600 * 1200:]
                x, y = [int(v) for v in at.split()[1:4:2]]
                self.assertIn("|difference| %d" % abs(result[x + 1600 * y] - base[x + 1600 * y]), self.text("cursor"))
                self.assertEqual(self.text("legend-max"),
                                 "%d grey levels" % max(abs(a - b) for a, b in zip(result, base)))
            out = subprocess.run([os.path.abspath(ARGS.diff), "base.pgm", "Redressement/" + name, name + ".ppm"] +
                                 further, cwd=s, check=True, capture_output=True, text=True).stdout
            self.assertEqual(self.text("figures"), out.strip().replace("Redressement/", ""))
            rgb = base64.b64decode(self.js(
                "var c = lastCanvas, d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data, s = '';"
                "for (var i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);"
                "return btoa(s)"))
            self.assertEqual(rgb, pathlib.Path(s, name + ".ppm").read_bytes()[len(b"P6\n1600 1200\n255\n"):], name)
        # Fault 7: a Space flip was kept for the next result; Shift+F and Shift+B did nothing.
        self.press("input[value=blink]")
        self.key(Keys.PAGE_UP)
        self.key(" ")
        self.assertEqual(self.labels("compare-view"), ["base.pgm (base)"])
        self.key(Keys.PAGE_DOWN)
        self.assertEqual(self.labels("compare-view"), ["enlarged.pgm"])
        self.key("B", Keys.SHIFT)
        self.assertEqual(self.text("blink"), "Stop")
        self.key("B", Keys.SHIFT)
        self.key("F", Keys.SHIFT)
        self.assertEqual(self.text("compare-caption"), "enlarged.pgm \u00b7 1:1")
        self.press("input[value=difference]")
        self.key(Keys.PAGE_UP)  # back to rotated.pgm
        self.shot("compare.png", "compare-view")

    def test_faults_that_lost_work_are_gone(self):
        s = self.series
        # 1: the further photographs opened before the base lost one of them.
        self.choose("points-further", s + "/rotated.pgm")
        self.choose("points-base", s + "/base.pgm")
        for field, value in zip(("0-0-x", "0-0-y", "0-1-x", "0-1-y", "1-0-x", "1-0-y", "1-1-x", "1-1-y"),
                                ("412", "357", "1236", "842", "1115", "435", "365", "913")):
            self.type("point-" + field, value)
        self.assertEqual(self.save(), ANSWERS)
        # 3: a drag jumped the mark to the pointer; a tremor of a pixel moved it.
        self.press("#actual")
        self.pointer("photo-view", (1, 1), wheel=100)  # B' at 1:2 is at screen (183.25, 457.25)
        self.pointer("photo-view", (189, 457), (190, 458))
        self.pointer("photo-view", (189, 457), (199, 452), (209, 447))
        # Points changed since the last save make closing the page ask first.
        leaving = "var e = new Event('beforeunload', {cancelable: true}); dispatchEvent(e); return e.defaultPrevented"
        self.assertTrue(self.js(leaving))
        self.assertEqual(self.save(), ANSWERS.replace(b"365,913", b"405,893"))
        self.assertFalse(self.js(leaving))
        # 5: A = B was saved; A and B 3 pixels apart are saved once the operator says so.
        self.type("point-0-1-x", "412")
        self.type("point-0-1-y", "357")
        self.d.find_element("id", "save").click()
        self.assertEqual(self.text("message"), "A and B of base.pgm are the same point: tavrin cannot turn or scale "
                                               "the photograph by them; move one")
        self.type("point-0-1-x", "415")
        close = "A and B of base.pgm are 3.0 pixels apart: the turn and the scale they give are unreliable."
        self.assertEqual(self.text("warnings"), close + "\nDismiss")
        self.assertEqual(self.save(close), ANSWERS.replace(b"1236,842", b"415,357").replace(b"365,913", b"405,893"))
        # 6: a photograph of the series named fin ended the series; names with a blank or a quote.
        self.choose("points-further", self.file("fin", pathlib.Path(s, "rotated.pgm").read_bytes()),
                    self.file("mes photos.pgm", pathlib.Path(s, "rotated.pgm").read_bytes()))
        self.assertEqual(self.text("warnings"), close + "\nDismiss\nWithout both points, left out of the answers: "
                                                "fin (A' B'), mes photos.pgm (A' B').\nDismiss")
        self.press("#warnings li:first-child button")
        self.key(Keys.PAGE_DOWN)
        for field, value in zip(("1-0-x", "1-0-y", "1-1-x", "1-1-y"), ("1", "2", "30", "40")):
            self.type("point-" + field, value)
        self.key(Keys.PAGE_DOWN)
        for field, value in zip(("1-0-x", "1-0-y", "1-1-x", "1-1-y"), ("5", "6", "70", "80")):
            self.type("point-" + field, value)
        self.assertEqual(self.save(close), ANSWERS.replace(b"1236,842", b"415,357").replace(b"365,913", b"405,893")
                         .replace(b"fin\n", b'fin\n1,2\n30,40\n"mes photos.pgm"\n5,6\n70,80\nfin-2\n'))
        for name, message in (('le "bon".pgm', "a name holding a double quote cannot be written in the answers"),
                              ("\u00e9" * 115 + ".pgm", "tavrin reads names of at most 233 bytes")):  # 234 bytes
            self.choose("points-further", self.file(name, pathlib.Path(s, "rotated.pgm").read_bytes()))
            self.key(Keys.PAGE_DOWN)
            for field, value in zip(("1-0-x", "1-0-y", "1-1-x", "1-1-y"), ("5", "6", "70", "80")):
                self.type("point-" + field, value)
            self.d.find_element("id", "save").click()
            self.assertEqual(self.text("message"), name + ": " + message + "; rename the file")
            self.press("#point-1-0-delete")

    def test_a_truncated_photograph_is_told_until_dismissed_in_both_modes(self):
        s = self.series
        short = self.file("rotated.pgm", pathlib.Path(s, "rotated.pgm").read_bytes()[:-1000])
        os.makedirs(self.tmp + "/cut", exist_ok=True)
        result = self.file("cut/rotated.pgm", pathlib.Path(s, "Redressement/rotated.pgm").read_bytes()[:-2000])
        self.choose("points-base", s + "/base.pgm")
        self.choose("points-further", short)
        self.choose("answers-file", self.file("answers.txt", ANSWERS))
        told = ("rotated.pgm ends 1000 bytes short: that part is drawn black, and tavrin and the figures count it "
                "as black.")
        self.pointer("photo-view", (10, 10))
        self.assertEqual(self.text("warnings"), told + "\nDismiss")
        self.press("input[value=compare]")
        self.choose("compare-results", result)
        self.assertEqual(self.text("warnings"), told + "\nDismiss\n" + told.replace("1000", "2000") + "\nDismiss")
        self.assertIn("rotated.pgm ends 2000 bytes short: that part counts as black here.", self.text("figures-note"))
        self.press("input[value=points]")
        self.assertEqual(self.save("rotated.pgm ends 1000 bytes short: tavrin counts that part as black."), ANSWERS)
        self.press("#warnings button")
        self.press("#warnings button")
        self.assertEqual(self.text("warnings"), "")

    def test_files_it_cannot_read_are_told_on_the_page(self):
        for input_id, name, data, message in (
                ("points-base", "plain.pgm", b"P2\n2 1\n255\n0 255\n",
                 "plain.pgm is not a binary PGM (P5) or PPM (P6) image"),
                ("points-base", "deep.pgm", b"P5\n1 1\n65535\n\0\0",
                 "deep.pgm: maximum value 65535; only 8-bit samples (up to 255) are read"),
                ("points-base", "huge.pgm", b"P5\n70000 70000\n255\n",
                 "huge.pgm: 70000 x 70000 is not an image size tavrin reads"),
                ("points-base", "hollow.pgm", b"P5\n16000 16000\n255\n" + bytes(1024),
                 "hollow.pgm declares 16000 x 16000 pixels (256000000 bytes) and holds 1024 bytes of them: refused, "
                 "a file must hold at least half of what its header declares"),
                ("answers-file", "short.txt", b"base.pgm\n412,357\n", "base.pgm has one point; it needs two, as x,y"),
                ("answers-file", "shifted.txt", b"412,357\nbase.pgm\n",
                 "answer 1 is a point (412,357) where a photograph's name should be")):
            self.choose(input_id, self.file(name, data))
            self.assertEqual(self.text("message"), message)
        self.assertEqual(self.js("return decoded"), [])
        # A byte-order mark, CR LF and a quoted name, as Notepad and Explorer leave them.
        self.choose("answers-file", self.file("notepad.txt", b'\xef\xbb\xbf"my base.pgm"\r\n1,2\r\n30,40\r\nfin\r\n'))
        self.assertEqual(self.save(), b'"my base.pgm"\n1,2\n30,40\nfin\n')


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    for opt in ("--cmake", "--build", "--tavrin", "--sample", "--diff", "--screenshots"):
        ap.add_argument(opt)
    ARGS, rest = ap.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
