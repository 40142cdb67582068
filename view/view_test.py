#!/usr/bin/python3
"""tavrin-view in headless Chromium, as installed; --screenshots DIR: the README's two there."""
import argparse, base64, os, pathlib, shutil, subprocess, sys, tempfile, time, unittest
from selenium import webdriver
from selenium.webdriver import ActionChains, Keys

ARGS = None
ANSWERS = b"base.pgm\n412,357\n1236,842\nrotated.pgm\n1115,435\n365,913\nfin\n"


class ViewTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        t = tempfile.mkdtemp()
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
        opts = webdriver.ChromeOptions()
        opts.binary_location = "/usr/bin/chromium"
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--force-device-scale-factor=1", "--window-size=1900,1400", "--user-data-dir=" + t + "/chromium"):
            opts.add_argument(flag)
        opts.add_experimental_option("prefs", {"download.default_directory": str(cls.downloads),
                                               "download.prompt_for_download": False})
        cls.d = webdriver.Chrome(options=opts)
        cls.js = cls.d.execute_script
        cls.addClassCleanup(cls.d.quit)

    def setUp(self):
        self.d.get(self.url)
        self.wait()

    def tearDown(self):
        self.assertEqual([e["message"] for e in self.d.get_log("browser") if e["level"] == "SEVERE"], [])

    def until(self, done):  # for up to 30 s
        self.assertTrue(any(done() or time.sleep(0.05) for _ in range(600)), "waited in vain for " + str(done))

    def wait(self):
        self.until(lambda: self.js("return TV.busy === 0"))

    def choose(self, input_id, *paths):
        self.d.find_element("id", input_id).send_keys("\n".join(paths))
        time.sleep(0.05)
        self.wait()

    def press(self, css):
        self.d.find_element("css selector", css).click()
        self.wait()

    def pointer(self, *points, wheel=0):
        """Presses at the first of points on the canvas, moves through the rest and lets go; with
        wheel, turns a mouse wheel there instead: -100 a notch, each zooming in by 2."""
        r = self.js("return document.getElementById('view').getBoundingClientRect()")
        a = ActionChains(self.d)
        (x, y), *rest = [(r["x"] + sx, r["y"] + sy) for sx, sy in points]
        if wheel:
            a.w3c_actions.wheel_action.scroll(int(x), int(y), 0, wheel)
        else:
            a.w3c_actions.pointer_action.move_to_location(x, y).pointer_down()
            for x, y in rest:
                a.w3c_actions.pointer_action.move_to_location(x, y)
            a.w3c_actions.pointer_action.pointer_up()
        a.perform()
        self.wait()

    def key(self, key):
        ActionChains(self.d).send_keys(key).perform()
        self.wait()

    def save(self):
        self.press("#save")
        path = self.downloads / "answers.txt"
        self.until(path.exists)
        data = path.read_bytes()
        path.unlink()
        return data

    def shot(self, name):
        if ARGS.screenshots:
            self.d.set_window_size(1280, 800)
            self.press("#fit")
            self.d.save_screenshot(os.path.join(ARGS.screenshots, name))
            self.d.set_window_size(1900, 1400)

    def test_points_placed_by_clicks_at_two_zooms_save_the_answers_tavrin_reads(self):
        self.choose("points-base", self.series + "/base.pgm")
        self.choose("points-further", self.series + "/rotated.pgm")
        # At 1:1 from the top-left, screen point (412, 357) is the top-left corner of pixel (412, 357).
        self.press("#actual")
        self.pointer((412, 357))
        # At 16 screen pixels a pixel about (1230, 850), pixel (1235, 842) spans screen x 1310..1326
        # and y 722..738. B placed there, one pixel off, then dragged home.
        self.pointer((1230, 850), wheel=-400)
        self.assertEqual(self.js("return TV.viewer.scale"), 16)
        self.pointer((1311, 737))
        self.pointer((1321, 730), (1341, 723))
        self.key(Keys.PAGE_DOWN)  # the further photograph, at the same zoom
        self.press("#actual")
        self.pointer((1115, 435))
        self.pointer((1, 1), wheel=100)  # half a screen pixel a pixel: screen x -> 2 x - 1
        self.pointer((183, 457))
        self.assertEqual(self.save(), ANSWERS)
        self.assertEqual(self.js("return TV.marks.map(m => m.label)"), ["A' 1115,435", "B' 365,913"])
        self.shot("points.png")

    def test_loaded_answers_are_drawn_saved_back_as_typed_and_compared_as_tavrin_diff_does(self):
        s = self.series
        typed = b"base.pgm\n412.5,357\n1236, 842\nrotated.pgm\n1115,435\n365,913\nreduced.pgm\n412,186\n712,676\nfin\n"
        self.choose("points-base", s + "/base.pgm")
        self.choose("points-further", s + "/rotated.pgm")
        self.choose("answers-file", self.file("typed.txt", typed))
        self.press("#actual")
        self.assertEqual(self.js("return TV.marks.map(m => [m.label, m.x, m.y])"),
                         [["A 412.5,357", 413.0, 357.5], ["B 1236,842", 1236.5, 842.5]])
        # The A mark's right tick covers the row of its pixel, 8 screen pixels along.
        self.assertEqual(self.js("return Array.from(document.getElementById('view').getContext('2d')"
                                 ".getImageData(421, 357, 1, 1).data)"), [0xff, 0xd4, 0x00, 0xff])
        self.assertEqual(self.js("return document.querySelectorAll('#photo-list li')[2].textContent"),
                         "reduced.pgm  A' 412,186  B' 712,676 not opened")
        self.key(Keys.PAGE_DOWN)
        self.assertEqual(self.js("return TV.marks.map(m => [m.label, m.x, m.y])"),
                         [["A' 1115,435", 1115.5, 435.5], ["B' 365,913", 365.5, 913.5]])
        self.assertEqual(self.save(), typed.replace(b", ", b","))
        # rotated.pgm's true points, so that only the part it covers is counted.
        self.choose("answers-file", self.file("answers.txt", ANSWERS))
        self.press("input[value=compare]")
        self.choose("compare-base", s + "/base.pgm")
        self.choose("compare-results", s + "/Redressement/rotated.pgm", s + "/Redressement/enlarged.pgm")
        self.press("input[value=difference]")
        for name, further in (("rotated.pgm", ["rotated.pgm", "412,357", "1236,842", "1115,435", "365,913"]),
                              ("enlarged.pgm", [])):
            if further == []:
                view = self.js("return [TV.viewer.scale, TV.viewer.tx, TV.viewer.ty]")
                self.key(Keys.PAGE_DOWN)
                self.assertEqual(self.js("return [TV.viewer.scale, TV.viewer.tx, TV.viewer.ty]"), view)
            out = subprocess.run([os.path.abspath(ARGS.diff), "base.pgm", "Redressement/" + name, name + ".ppm"] + further,
                                 cwd=s, check=True, capture_output=True, text=True).stdout
            self.assertEqual(self.d.find_element("id", "figures").text, out.strip().replace("Redressement/", ""))
            rgb = base64.b64decode(self.js(
                "var c = TV.state.compare.diff.canvas, d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
                "var s = '';"
                "for (var i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);"
                "return btoa(s)"))
            self.assertEqual(rgb, pathlib.Path(s, name + ".ppm").read_bytes()[len(b"P6\n1600 1200\n255\n"):], name)
        self.press("input[value=swipe]")
        self.key(Keys.PAGE_UP)  # back to rotated.pgm
        self.shot("compare.png")

    def file(self, name, data):
        (self.downloads.parent / name).write_bytes(data)
        return str(self.downloads.parent / name)

    def test_files_it_cannot_read_are_told_on_the_page(self):
        for input_id, name, data, message in (
                ("points-base", "plain.pgm", b"P2\n2 1\n255\n0 255\n", "plain.pgm is not a binary PGM (P5) or PPM (P6) image"),
                ("points-base", "deep.pgm", b"P5\n1 1\n65535\n\0\0",
                 "deep.pgm: maximum value 65535; only 8-bit samples (up to 255) are read"),
                ("points-base", "huge.pgm", b"P5\n70000 70000\n255\n", "huge.pgm: 70000 x 70000 is not an image size tavrin reads"),
                ("answers-file", "short.txt", b"base.pgm\n412,357\n", "base.pgm has one point; it needs two, as x,y"),
                ("answers-file", "shifted.txt", b"412,357\nbase.pgm\n",
                 "answer 1 is a point (412,357) where a photograph's name should be")):
            self.choose(input_id, self.file(name, data))
            self.assertEqual(self.d.find_element("id", "message").text, message)
        self.press("#save")
        self.assertEqual(self.d.find_element("id", "message").text, "place A on huge.pgm first")


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    for opt in ("--cmake", "--build", "--tavrin", "--sample", "--diff", "--screenshots"):
        ap.add_argument(opt)
    ARGS, rest = ap.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
