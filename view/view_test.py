#!/usr/bin/python3
"""tavrin-view in headless Chromium, on the page as `cmake --install` lays it out:
points placed by clicks at known screen positions at two zooms and saved byte for
byte; an answers file loaded and its marks drawn; the difference map and figures
against tavrin-diff's; clear messages for files it cannot read. Takes the README's
two screenshots.

Usage: view_test.py --cmake CMAKE --build DIR --tavrin BIN --sample BIN --diff BIN
                    [--screenshots DIR]
"""
import argparse, base64, os, shutil, subprocess, sys, tempfile, time, unittest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
from selenium.webdriver.common.by import By

ARGS = None
ANSWERS = b"base.pgm\n412,357\n1236,842\nrotated.pgm\n1115,435\n365,913\nfin\n"


def browser(downloads):
    opts = webdriver.ChromeOptions()
    opts.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--force-device-scale-factor=1", "--window-size=1900,1400",
                 "--user-data-dir=" + tempfile.mkdtemp(dir=downloads)):
        opts.add_argument(flag)
    opts.add_experimental_option("prefs", {"download.default_directory": downloads,
                                           "download.prompt_for_download": False})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=opts)


class Page:
    """One fresh load of the page, with the moves a test makes on it."""

    def __init__(self, driver, url):
        self.d = driver
        driver.get(url)
        self.wait()

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def wait(self, until="return TV.busy === 0"):
        for _ in range(600):
            if self.js(until):
                return
            time.sleep(0.05)
        raise AssertionError("the page did not settle: " + until)

    def choose(self, input_id, *paths):
        self.d.find_element(By.ID, input_id).send_keys("\n".join(paths))
        time.sleep(0.05)
        self.wait()

    def press(self, *ids):
        for i in ids:
            self.d.find_element(By.ID, i).click()
        self.wait()

    def key(self, key):
        ActionChains(self.d).send_keys(key).perform()
        self.wait()

    def origin(self):
        r = self.js("return document.getElementById('view').getBoundingClientRect()")
        return r["x"], r["y"]

    def click(self, sx, sy):
        """A click at (sx, sy) in canvas coordinates."""
        ox, oy = self.origin()
        a = ActionBuilder(self.d)
        a.pointer_action.move_to_location(ox + sx, oy + sy).click()
        a.perform()

    def drag(self, frm, to):
        ox, oy = self.origin()
        a = ActionBuilder(self.d)
        a.pointer_action.move_to_location(ox + frm[0], oy + frm[1]).pointer_down() \
            .move_to_location(ox + to[0], oy + to[1]).pointer_up()
        a.perform()

    def wheel(self, sx, sy, notches):
        """Zoom by 2 ** notches about (sx, sy): one notch of a mouse wheel each."""
        ox, oy = self.origin()
        for _ in range(abs(notches)):
            ActionChains(self.d).scroll_from_origin(ScrollOrigin.from_viewport(int(ox + sx), int(oy + sy)),
                                                    0, -100 if notches > 0 else 100).perform()

    def save(self, downloads):
        """The answers file the Save button downloads, taken out of the download folder."""
        self.press("save")
        path = os.path.join(downloads, "answers.txt")
        for _ in range(100):
            if os.path.exists(path):
                break
            time.sleep(0.05)
        with open(path, "rb") as f:
            data = f.read()
        os.remove(path)
        return data

    def message(self):
        return self.d.find_element(By.ID, "message").text

    def shot(self, name):
        if ARGS.screenshots:
            os.makedirs(ARGS.screenshots, exist_ok=True)
            self.d.set_window_size(1280, 800)
            self.press("fit")
            self.d.save_screenshot(os.path.join(ARGS.screenshots, name))
            self.d.set_window_size(1900, 1400)


class ViewTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        t = cls.tmp.name
        subprocess.run([ARGS.cmake, "--install", ARGS.build, "--prefix", t + "/prefix"],
                       check=True, stdout=subprocess.DEVNULL)
        where = subprocess.run([t + "/prefix/bin/tavrin-view", "--where"], check=True,
                               capture_output=True, text=True).stdout.strip()
        assert where == "file://" + t + "/prefix/share/tavrin/view/tavrin-view.html", where
        cls.url = where
        cls.series = s = t + "/series"
        subprocess.run([ARGS.sample, s], check=True, stdout=subprocess.DEVNULL)
        with open(s + "/answers.txt", "wb") as f:
            f.write(ANSWERS.replace(b"fin", b"enlarged.pgm\n123,338\n1458,863\nfin"))
        with open(s + "/answers.txt", "rb") as answers:  # tavrin ends every series with status 1
            subprocess.run([os.path.abspath(ARGS.tavrin)], cwd=s, stdin=answers, stdout=subprocess.DEVNULL)
        cls.downloads = t + "/downloads"
        os.makedirs(cls.downloads)
        cls.driver = browser(cls.downloads)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.tmp.cleanup()

    def tearDown(self):
        errors = [e["message"] for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]
        self.assertEqual(errors, [])

    def page(self):
        return Page(self.driver, self.url)

    def file(self, name, data):
        path = os.path.join(self.tmp.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_points_placed_by_clicks_at_two_zooms_save_the_answers_tavrin_reads(self):
        p = self.page()
        s = self.series
        p.choose("points-base", s + "/base.pgm")
        p.choose("points-further", s + "/rotated.pgm")
        # The driver moves the pointer to whole screen pixels. At 1:1 from the top-left the
        # screen point (412, 357) is the top-left corner of pixel (412, 357).
        p.press("actual")
        p.click(412, 357)
        # 16 screen pixels a pixel about (1230, 850): pixel (1235, 842) spans screen x
        # 1310..1326 and y 722..738. B placed there, one pixel off, then dragged home.
        p.wheel(1230, 850, 4)
        self.assertEqual(p.js("return TV.viewer.scale"), 16)
        p.click(1311, 737)
        p.drag((1321, 730), (1341, 723))
        p.key("\ue00f")  # PageDown: the further photograph, at the same zoom
        p.press("actual")
        p.click(1115, 435)
        p.wheel(1, 1, -1)  # half a screen pixel a pixel: screen x -> 2 x - 1
        p.click(183, 457)
        self.assertEqual(p.save(self.downloads), ANSWERS)
        self.assertEqual(p.js("return TV.marks.map(function (m) { return m.label; })"),
                         ["A' 1115,435", "B' 365,913"])
        p.shot("points.png")

    def test_loaded_answers_are_drawn_and_saved_back_as_typed(self):
        p = self.page()
        s = self.series
        answers = self.file("typed.txt", b"base.pgm\n412.5,357\n1236, 842\nrotated.pgm\n1115,435\n"
                                         b"365,913\nreduced.pgm\n412,186\n712,676\nfin\n")
        p.choose("points-base", s + "/base.pgm")
        p.choose("points-further", s + "/rotated.pgm")
        p.choose("answers-file", answers)
        p.press("actual")
        marks = p.js("return TV.marks")
        self.assertEqual([(m["label"], m["x"], m["y"]) for m in marks],
                         [("A 412.5,357", 413.0, 357.5), ("B 1236,842", 1236.5, 842.5)])
        # The A mark's right tick covers the row of its pixel, 8 screen pixels along.
        rgba = p.js("return Array.from(document.getElementById('view').getContext('2d')"
                    ".getImageData(421, 357, 1, 1).data)")
        self.assertEqual(rgba, [0xff, 0xd4, 0x00, 0xff])
        rows = p.js("return Array.from(document.querySelectorAll('#photo-list li'), e => e.textContent)")
        self.assertEqual(rows[2], "reduced.pgm  A' 412,186  B' 712,676 not opened")
        p.key("\ue00f")
        self.assertEqual(p.js("return TV.marks.map(m => [m.label, m.x, m.y])"),
                         [["A' 1115,435", 1115.5, 435.5], ["B' 365,913", 365.5, 913.5]])
        self.assertEqual(p.save(self.downloads), b"base.pgm\n412.5,357\n1236,842\nrotated.pgm\n1115,435\n"
                                                 b"365,913\nreduced.pgm\n412,186\n712,676\nfin\n")

    def test_compare_mode_draws_tavrin_diffs_map_and_figures(self):
        p = self.page()
        s = self.series
        # Places rotated.pgm's points, so that only the part it covers is counted.
        p.choose("points-base", s + "/base.pgm")
        p.choose("points-further", s + "/rotated.pgm")
        p.choose("answers-file", s + "/answers.txt")
        p.d.find_element(By.CSS_SELECTOR, "input[value=compare]").click()
        p.choose("compare-base", s + "/base.pgm")
        p.choose("compare-results", s + "/Redressement/rotated.pgm", s + "/Redressement/enlarged.pgm")
        p.d.find_element(By.CSS_SELECTOR, "input[value=difference]").click()
        rows = [("rotated.pgm", ["rotated.pgm", "412,357", "1236,842", "1115,435", "365,913"]),
                ("enlarged.pgm", [])]
        for n, (name, further) in enumerate(rows):
            view = p.js("return [TV.viewer.scale, TV.viewer.tx, TV.viewer.ty]")
            if n:
                p.key("\ue00f")
                self.assertEqual(p.js("return [TV.viewer.scale, TV.viewer.tx, TV.viewer.ty]"), view)
            out = subprocess.run([os.path.abspath(ARGS.diff), "base.pgm", "Redressement/" + name, name + ".ppm"] + further,
                                 cwd=s, check=True, capture_output=True, text=True).stdout
            self.assertEqual(p.d.find_element(By.ID, "figures").text, out.strip().replace("Redressement/", ""))
            rgb = base64.b64decode(p.js(
                "var c = TV.state.compare.diff.canvas, d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
                "var rgb = new Uint8Array(d.length / 4 * 3), s = '';"
                "for (var i = 0, j = 0; i < d.length; i += 4) { rgb[j++] = d[i]; rgb[j++] = d[i + 1]; rgb[j++] = d[i + 2]; }"
                "for (var k = 0; k < rgb.length; k += 65536) s += String.fromCharCode.apply(null, rgb.subarray(k, k + 65536));"
                "return btoa(s)"))
            with open(os.path.join(s, name + ".ppm"), "rb") as f:
                self.assertEqual(rgb, f.read()[len(b"P6\n1600 1200\n255\n"):], name)
        p.d.find_element(By.CSS_SELECTOR, "input[value=swipe]").click()
        p.key("\ue00e")  # PageUp: back to rotated.pgm
        p.shot("compare.png")

    def test_files_it_cannot_read_are_told_on_the_page(self):
        p = self.page()
        cases = [("points-base", "plain.pgm", b"P2\n2 1\n255\n0 255\n",
                  "plain.pgm is not a binary PGM (P5) or PPM (P6) image"),
                 ("points-base", "notes.pgm", b"hello\n", "notes.pgm is not a binary PGM (P5) or PPM (P6) image"),
                 ("points-base", "deep.pgm", b"P5\n1 1\n65535\n\0\0",
                  "deep.pgm: maximum value 65535; only 8-bit samples (up to 255) are read"),
                 ("points-base", "huge.pgm", b"P5\n70000 70000\n255\n",
                  "huge.pgm: 70000 x 70000 is not an image size tavrin reads"),
                 ("answers-file", "short.txt", b"base.pgm\n412,357\n", "base.pgm has one point; it needs two, as x,y"),
                 ("answers-file", "shifted.txt", b"412,357\nbase.pgm\n",
                  "answer 1 is a point (412,357) where a photograph's name should be")]
        for input_id, name, data, message in cases:
            p.choose(input_id, self.file(name, data))
            self.assertEqual(p.message(), message)
        p.press("save")
        self.assertEqual(p.message(), "place A on huge.pgm first")


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    for opt in ("--cmake", "--build", "--tavrin", "--sample", "--diff", "--screenshots"):
        ap.add_argument(opt)
    ARGS, rest = ap.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
