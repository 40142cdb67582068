#!/usr/bin/python3
"""tavrin-view in headless Chromium, as installed; --screenshots DIR: the README's two there."""
import argparse, base64, ctypes, os, pathlib, re, sys, tempfile, time, unittest
from subprocess import DEVNULL, run
from selenium import webdriver
from selenium.webdriver import ActionChains, Keys

ANSWERS = b"base.pgm\n412,357\n1236,842\nrotated.pgm\n1115,435\n365,913\nfin\n"
# Read off the page without its help: the texts each canvas drew in its last frame, the decodes, the last canvas made.
WATCH = """window.drawn = {}; window.decoded = [];
var proto = CanvasRenderingContext2D.prototype, clear = proto.clearRect, text = proto.fillText;
proto.clearRect = function () { drawn[this.canvas.id] = []; return clear.apply(this, arguments); };  // a new frame
proto.fillText = function (t, x, y) { drawn[this.canvas.id].push([t, x, y]); return text.apply(this, arguments); };
var decode = TV.decodePNM, offscreen = TV.offscreen;
TV.decodePNM = function (b, name) { decoded.push(name); return decode(b, name); };
TV.offscreen = function (p) { return window.lastCanvas = offscreen(p); };"""
# What closing the page would do: true, ask first.
LEAVING = "var e = new Event('beforeunload', {cancelable: true}); dispatchEvent(e); return e.defaultPrevented"


def numbers(text):  # the figures of a line, as a French or an English one writes them
    return [float(n.replace(",", ".")) for n in re.findall(r"\d+(?:[.,]\d+)?", text.replace("\u202f", ""))]


def browser(folder, picker=False):
    """Debian's Chromium, headless, its profile and downloads in folder; wide enough for two panes at 1:1.
    Without picker, it lacks the save dialog of the File System Access API, as Firefox does: the page downloads."""
    opts = webdriver.ChromeOptions()
    opts.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-sync",
                 "--disable-background-networking", "--disable-component-update", "--force-device-scale-factor=1",
                 "--window-size=3600,1400", "--user-data-dir=" + folder + "/chromium",
                 *(() if picker else ("--disable-blink-features=FileSystemAccessLocal",))):
        opts.add_argument(flag)
    opts.add_experimental_option("prefs", {"download.default_directory": folder + "/downloads"})
    return webdriver.Chrome(options=opts)


class ViewTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        t = cls.enterClassContext(tempfile.TemporaryDirectory())
        prefix = t + "/prefix/d\u00e9j\u00e0 vu #1?%"  # every test opens the page by the URL the launcher prints
        run([ARGS.cmake, "--install", ARGS.build, "--prefix", prefix], check=True, stdout=DEVNULL)
        cls.url = "file://" + t + "/prefix/d%C3%A9j%C3%A0%20vu%20%231%3F%25/share/tavrin/view/tavrin-view.html"
        assert run([prefix + "/bin/tavrin-view", "--where"], capture_output=True, text=True).stdout == cls.url + "\n"
        cls.series = s = pathlib.Path(t, "series")
        run([ARGS.sample, s], check=True, stdout=DEVNULL)
        run([os.path.abspath(ARGS.tavrin)], cwd=s, stdout=DEVNULL,
            input=ANSWERS.replace(b"fin", b"enlarged.pgm\n123,338\n1458,863\nfin"))
        cls.rotated = (s / "rotated.pgm").read_bytes()
        cls.downloads = pathlib.Path(t, "downloads")
        cls.d = cls.enterClassContext(browser(t))

    def setUp(self):
        self.d.set_window_size(3600, 1400)
        self.d.get(self.url)
        self.js("localStorage.clear()")  # the work kept by the case before
        self.d.get(self.url)
        self.js(WATCH)

    def tearDown(self):
        self.assertEqual([e["message"] for e in ViewTest.d.get_log("browser") if e["level"] == "SEVERE"], [])

    def js(self, *args):  # in the browser that self.d drives
        return self.d.execute_script(*args)

    def wait(self, done=None):  # until done(), by default until the page is idle, for up to 30 s; -> the message
        done = done or (lambda: self.js("return !document.body.hasAttribute('aria-busy')"))
        self.assertTrue(any(time.sleep(0.05) or done() for _ in range(600)), "waited in vain for " + str(done))
        return self.text("message")

    def choose(self, input_id, *paths):  # in the series, unless absolute; -> the message once the page has them
        self.js("window.taken = false; document.getElementById(arguments[0]).addEventListener("
                "'change', () => window.taken = true, {once: true})", input_id)  # after the page's own handler
        self.d.find_element("id", input_id).send_keys("\n".join(os.path.join(self.series, p) for p in paths))
        return self.wait(lambda: self.js("return window.taken && !document.body.hasAttribute('aria-busy')"))

    def press(self, *css):  # each in turn; -> the message the page shows then
        for c in css:
            self.d.find_element("css selector", c).click()
            message = self.wait()
        return message

    def text(self, element_id):
        return self.d.find_element("id", element_id).text

    def values(self, css):  # of the inputs there
        return self.js("return Array.from(document.querySelectorAll(arguments[0]), i => i.value)", css)

    def open(self, *further, answers=ANSWERS, actual=False):  # the base, these photographs, the answers; actual: 1:1
        self.choose("points-base", "base.pgm")
        further and self.choose("points-further", *further)
        answers and self.choose("answers-file", self.file("reponses.txt", answers))
        actual and self.press("#actual")

    def diff(self, name, ppm, *further):  # -> what tavrin-diff prints
        return run([os.path.abspath(ARGS.diff), "base.pgm", "Redressement/" + name, ppm, *further], cwd=self.series,
                   check=True, capture_output=True, encoding="cp1252").stdout

    def pointer(self, canvas, *points, wheel=0, press=True, up=True):  # at points of the canvas, by default its middle
        r = self.js("return document.getElementById(arguments[0]).getBoundingClientRect()", canvas)
        a = ActionChains(self.d)
        (x, y), *rest = [(r["x"] + sx, r["y"] + sy) for sx, sy in points or [(r["width"] / 2, r["height"] / 2)]]
        if wheel:  # turned at the first: -100 a notch, each zooming in by 2
            a.w3c_actions.wheel_action.scroll(int(x), int(y), 0, wheel)
        else:  # moved to the first; with press, pressed there, moved through the rest, let go unless not up
            p = a.w3c_actions.pointer_action.move_to_location(x, y)
            press and p.pointer_down()
            for x, y in rest:
                p.move_to_location(x, y)
            press and up and p.pointer_up()
        a.perform()
        return self.wait()

    def under(self, pane, caption, cursor, label=None):  # the pane's caption, its middle pixel, a label it draws
        self.pointer(pane + "-view", press=False)
        self.assertEqual((self.text(pane + "-caption"), self.text("cursor").split(" gris")[0]), (caption, cursor))
        if label:
            self.assertIn(label, self.labels(pane + "-view"))

    def key(self, keys, modifier=None):  # each of keys, with the modifier held
        a = ActionChains(self.d)
        (a.key_down(modifier).send_keys(keys).key_up(modifier) if modifier else a.send_keys(keys)).perform()
        return self.wait()

    def labels(self, canvas):
        return [t[0] for t in self.js("return drawn[arguments[0]]", canvas)]

    def type(self, field, values):  # into the point table from field on ("1-0-x": A' x), as A x, A y, B x ... B' y
        fields = ["point-%d-%d-%s" % (side, k, c) for side in (0, 1) for k in (0, 1) for c in "xy"]
        for f, value in zip(fields[fields.index("point-" + field):], values.split()):
            self.d.find_element("id", f).send_keys(Keys.CONTROL, "a", Keys.NULL, value, Keys.TAB)
        self.js("document.activeElement.blur()")  # for the keys

    def save(self, confirm=None, name="reponses.txt", keep=False):  # -> the answers saved; keep: those saved before
        for f in () if keep else self.downloads.glob("reponses*.txt"):  # those saved before, a failed case's too
            f.unlink()
        self.d.find_element("id", "save").click()
        if confirm:  # the question asked first, answered yes
            self.assertEqual(self.d.switch_to.alert.text, confirm + "\n\nEnregistrer les réponses malgré tout ?")
            self.d.switch_to.alert.accept()
        path = self.downloads / name
        self.wait(lambda: path.exists() and path.stat().st_size)  # written: answers are never empty
        return path.read_bytes()

    def file(self, name, data):  # -> its path, in the temporary folder
        (self.downloads.parent / name).write_bytes(data)
        return str(self.downloads.parent / name)

    def agrees(self, shown, head, name, ppm, *further, canvas="lastCanvas"):  # shown: head, then the figures
        # The figures and the map drawn as tavrin-diff makes them.
        self.assertTrue(shown.startswith(head), shown)
        self.assertEqual(numbers(shown[len(head):]), numbers(self.diff(name, ppm, *further).split(": ", 1)[1]))
        self.assertEqual(self.map(canvas), (self.series / ppm).read_bytes()[-3 * 1920000:], ppm)

    def map(self, canvas="lastCanvas"):  # its RGB bytes; by default the last canvas made: the last difference map
        return base64.b64decode(self.js("var c = " + canvas + ", d = c.getContext('2d').getImageData(0, 0, c.width, "
                                        "c.height).data, s = ''; for (var i = 0; i < d.length; i += 4) "
                                        "s += String.fromCharCode(d[i], d[i + 1], d[i + 2]); return btoa(s)"))

    def shot(self, name, canvas, *css):  # at the size of the operators' smallest screens, these pressed
        if ARGS.screenshots:
            os.makedirs(ARGS.screenshots, exist_ok=True)
            self.d.set_window_size(1366, 768)
            self.press(*css, "#fit")
            self.pointer(canvas, press=False)
            self.d.save_screenshot(os.path.join(ARGS.screenshots, name))
            self.d.set_window_size(3600, 1400)

    def test_points_side_by_side_at_two_zooms_under_the_loupe_typed_undone_and_checked_save_tavrin_s_answers(self):
        # 1:1 from the top-left: screen (412, 357) is the top-left corner of pixel (412, 357).
        self.open("rotated.pgm", answers=None, actual=True)
        for canvas, w, data in (("base-view", 1600, (self.series / "base.pgm").read_bytes()[-1920000:]),
                                ("photo-view", 1500, photo := self.rotated[-1500 * 1350:])):
            self.pointer(canvas, (300, 200), press=False)
            self.js("window.frame = drawn[arguments[0]]", canvas)
            self.pointer(canvas, (301, 201), press=False)  # pixel (301, 201), 10 screen pixels each, from (5, 5)
            self.assertEqual(self.js(  # its text, pixels, place beside the pointer (right or below); the pane not drawn
                "var l = document.getElementById('loupe'), r = l.getBoundingClientRect(), c = document.getElementById("
                "arguments[0]).getBoundingClientRect(); return [drawn.loupe.map(t => t[0]), arguments[1].map(p => l."
                "getContext('2d').getImageData(p, p, 1, 1).data[0]), r.left - c.left > 301 || r.top - c.top > 201, "
                "drawn[arguments[0]] === frame]", canvas, [71, 79, 65, 85]),
                [["301,201"], [data[301 + d + (201 + d) * w] for d in (0, 0, -1, 1)], True, True], canvas)
        self.pointer("base-view", (412, 357))
        self.pointer("base-view", (1230, 850), wheel=-400)  # at 16:1, pixel (1235, 842) spans x 1310..1326, y 722..738
        self.pointer("base-view", (1311, 737))  # B one pixel off, then moved home by the arrow key
        self.key(Keys.ARROW_RIGHT)
        self.pointer("photo-view", (1115, 435))
        self.assertIn("B' à l'échelle 1 est sur ce cercle", self.labels("photo-view"))
        self.pointer("photo-view", (1, 1), wheel=100)  # half a screen pixel a pixel: screen x -> 2 x - 1
        self.pointer("photo-view", (183, 457))  # the four points: their facts here, the answers saved below
        self.assertEqual([e.text for e in self.d.find_elements("css selector", "#point-table .facts")],
                         ["A\u2013B 956,1 px", "A'\u2013B' 889,4 px : tournée de 117,01° dans le sens horaire, "
                          "échelle 0,930"])
        self.type("1-0-x", "1116")  # typed, undone, redone; Shift+arrow by ten; deleted; Move, a click in the gap
        self.key("zy", Keys.CONTROL)
        self.press("#undo", "#point-0-0 th")  # A chosen
        self.key(Keys.ARROW_LEFT, Keys.SHIFT)
        self.press("#point-1-1-delete", "#point-1-0-move")
        for at in (300, 300), (200, 200):
            self.pointer("photo-view", at)
        self.assertEqual(self.values("#point-table input"), "402 357 1236 842 599 599 399 399".split())
        self.key("zzzz", Keys.CONTROL)  # all undone
        self.press("#point-1-1-zoom")
        self.pointer("photo-view", press=False)
        self.assertEqual(self.text("cursor"), "rotated.pgm x 365 y 913 gris %d" % photo[365 + 913 * 1500])
        self.press("#point-1-1-delete")
        self.shot("points.png", "photo-view")
        self.d.find_element("id", "loupe-on").click()  # the loupe turned off
        self.pointer("photo-view", (20, 20), press=False)
        self.assertFalse(self.js("return document.getElementById('loupe').checkVisibility()"))
        self.key("z", Keys.CONTROL)  # B' back; a check point C, C' as tavrin-diff tells it, kept, out of the answers
        self.press("#actual")  # 1:1 from the top-left in both panes
        self.assertTrue(self.pointer("base-view", (1100, 500)).startswith("A et B sont placés sur base.pgm"))  # no C
        self.press("#point-0-2-move")
        self.pointer("base-view", (1100, 500))
        self.key("p")  # from C to C', armed
        self.pointer("photo-view", (706, 945))  # the sample's similarity puts C at (705.87, 944.76): nearer B' than A'
        self.type("1-1-x", "368")  # B' 3 pixels off: tavrin-diff tells to move B' 3 pixels, to (365, 913)
        shown = self.text("check-line")
        self.assertEqual(shown, self.diff("rotated.pgm", "check.ppm", "rotated.pgm", "412,357", "1236,842", "1115,435",
                                          "368,913", "1100,500", "706,945").split("\n")[1])
        # C's label drawn once, 12 px right of and 23 px below the ring's middle.
        [(x, y)] = [t[1:] for t in self.js("return drawn['photo-view']") if t[0] == "C d'après A et B"]
        self.assertTrue(abs(x - numbers(shown)[0] - 12.5) < 0.006 and abs(y - numbers(shown)[1] - 23.5) < 0.006, (x, y))
        self.key("z", Keys.CONTROL)
        self.assertEqual(self.save(), ANSWERS)
        self.d.get(self.url)  # taken back: C and C' with the rest
        self.press("#warnings button")
        self.assertEqual(self.values("#check-table input"), ["1100", "500", "706", "945"])
        self.press("#point-1-2-delete")  # nothing shown without C'
        self.assertEqual(self.text("check-line"), "")

    def test_loaded_answers_are_kept_saved_back_as_typed_and_compared_as_tavrin_diff_does_at_any_contrast(self):
        typed = b"base.pgm\n412.5,357\n1236, 842\nrotated.pgm\n1115,435\n365,913\nreduced.pgm\n412,186\n712,676\nfin\n"
        self.open("rotated.pgm", answers=typed, actual=True)
        self.assertEqual(self.js("return [drawn['base-view'], Array.from(document.getElementById('base-view')"
                                 ".getContext('2d').getImageData(421, 357, 1, 1).data)]"),  # the A mark's right tick
                         [[["A 412.5,357", 429, 343.5], ["B 1236,842", 1252.5, 828.5]],  # covers its pixel's row,
                          [0xff, 0xd4, 0x00, 0xff]])  # 8 screen pixels along
        self.assertEqual(self.text("photo-list").split("\n")[2], "reduced.pgm A' 412,186 B' 712,676 à choisir")
        self.pointer("photo-view", (700, 700))  # Fault 2: a click where A' and B' are placed moved A' there
        self.assertEqual(self.save(), typed.replace(b", ", b","))
        self.press("input[value=compare]")
        self.choose("compare-base", "base.pgm")
        self.choose("compare-results", "Redressement/rotated.pgm", "Redressement/enlarged.pgm")
        # Fault 7: each file decoded once, whichever mode opened it.
        self.assertEqual(self.js("return decoded"), ["base.pgm", "rotated.pgm", "rotated.pgm"])
        self.agrees(self.text("figures"), "rotated.pgm : ", "rotated.pgm", "rotated.pgm.ppm", "rotated.pgm",
                    "412.5,357", "1236,842", "1115,435", "365,913")  # the covered part
        # Fault 7: a Space flip was kept for the next result; Shift+B and (last) Shift+F did nothing.
        for key, label in (" ", "base.pgm (base)"), (Keys.PAGE_DOWN, "enlarged.pgm"):
            self.key(key)
            self.assertEqual(self.labels("compare-view"), [label])
        self.agrees(self.text("figures"), "enlarged.pgm : ", "enlarged.pgm", "enlarged.pgm.ppm")
        self.key("B", Keys.SHIFT)
        self.assertEqual(self.text("blink"), "Arrêter")
        self.press("input[value=difference]")
        base, result = [(self.series / f).read_bytes()[-1920000:] for f in ("base.pgm", "Redressement/enlarged.pgm")]
        errors, ppm = [abs(a - b) for a, b in zip(result, base)], self.map()  # tavrin-diff's, as agrees() found it
        largest, colour = max(errors), {e: ppm[3 * i:3 * i + 3] for i, e in enumerate(errors)}  # at the gain 1
        for gain, keys in (1, ""), (4, Keys.ARROW_RIGHT * 2), (1, Keys.ARROW_LEFT * 2):  # back to tavrin-diff's map
            self.d.find_element("id", "gain").send_keys(keys)
            self.wait(lambda: self.text("gain-text") == "×%d" % gain)
            tick = self.js("var r = id => document.getElementById(id).getBoundingClientRect(), b = r('legend-bar'), "
                           "t = r('legend-tolerance'); return ((t.left + t.right) / 2 - b.left) / b.width")
            self.assertAlmostEqual(tick, 8 * gain / largest, delta=0.01)
            top = ("%g" % round(largest / gain, 2)).replace(".", ",")
            self.assertEqual(self.text("legend-max"), top + " niveaux de gris" + (" et plus" if gain > 1 else ""))
            shown = self.map()  # each difference e coloured as e times the gain is at the gain 1
            self.assertFalse([i for i, e in enumerate(errors) if shown[3 * i:3 * i + 3] !=
                              colour.get(min(e * gain, largest), shown[3 * i:3 * i + 3])][:5])
        self.pointer("compare-view", (1000, 400), wheel=-100)  # 2:1 about another point, kept for the next result
        self.pointer("compare-view", (1600, 600))
        x, y = map(int, (at := self.text("cursor")).split()[1:4:2])
        self.assertIn("|écart| %d" % abs(result[x + 1600 * y] - base[x + 1600 * y]), at)
        self.key(Keys.PAGE_UP)
        self.pointer("compare-view", (1600, 600))  # on rotated.pgm, the same pixel
        self.assertEqual(self.text("cursor").split("base")[0], at.split("base")[0])
        self.key("BF", Keys.SHIFT)  # the blink stopped, the view fitted again
        self.assertEqual(self.text("compare-caption"), "rotated.pgm \u00b7 1:1")
        self.press("input[value=side]")  # side by side, the base and the result pan and zoom together
        self.pointer("compare-base-view", (300, 200), wheel=-200)
        self.pointer("compare-view", (400, 400), (300, 330))
        (bl, bz, bu), (rl, rz, ru) = [(self.labels(c + "-view"), self.text(c + "-caption").split(" \u00b7 ")[1],
                                       self.pointer(c + "-view", (250, 180), press=False) or self.text("cursor"))
                                      for c in ("compare-base", "compare")]
        self.assertEqual((bl, rl, bz, rz, bu), (["base.pgm (base)"], ["rotated.pgm"], "4:1", "4:1", ru))
        self.assertRegex(ru, r"^x \d+ y \d+ base \d+ résultat \d+ \|écart\| \d+$")
        self.shot("compare.png", "compare-view", "input[value=difference]")
        self.js("TV.MEMORY = 1 << 20")  # what either mode shows stays decoded: only the result left goes
        self.key(Keys.PAGE_DOWN)
        self.assertEqual(self.text("warnings"), "Mémoire : pour rester sous 1 Mo, la page ne garde plus rotated.pgm "
                         "décodée ; elle sera relue en y revenant, ce qui prend quelques instants. Masquer")

    def test_the_work_kept_is_offered_back_its_points_return_with_the_photographs_and_no_fault_loses_work(self):
        self.choose("points-further", "rotated.pgm")  # 1: opened before the base, a photograph was lost
        self.open(actual=True)
        self.pointer("base-view", (700, 500), wheel=-100)
        self.pointer("photo-view", (1, 1), wheel=100)  # B' at 1:2 is at screen (183.25, 457.25)
        self.pointer("photo-view", (189, 457), (190, 458))  # 3: a tremor of a pixel moved the mark
        self.pointer("photo-view", (189, 457), (199, 452), (209, 447))  # 3: a drag jumped it; kept at once, as a crash
        first, view = self.d.current_window_handle, self.text("base-caption")
        self.d.switch_to.new_window("tab")  # that page unloaded by nothing
        self.d.get(self.url)
        self.assertRegex(self.text("warnings"), r"^Travail retrouvé, du \d\d/\d\d/\d{4} à \d\d:\d\d : base.pgm et 1 "
                                                r"photographie suivante, 4 points placés. .* Reprendre Ne pas "
                                                r"reprendre$")
        self.assertEqual(self.press("#warnings button"), "Travail repris. Le navigateur ne peut pas rouvrir un "
                         "fichier de lui-même : choisissez à nouveau base.pgm, rotated.pgm ; chacune retrouve ses "
                         "points dès qu'elle est choisie sous le même nom.")
        self.assertEqual((self.choose("points-further", "rotated.pgm", "base.pgm"), self.text("base-caption")),
                         ("", view))
        self.assertEqual((self.js(LEAVING), self.save(), self.js(LEAVING)),  # closing the page
                         (True, ANSWERS.replace(b"365,913", b"405,893"), False))  # asks first: points changed, unsaved
        self.type("0-1-x", "415 357")  # 5: A and B 3 pixels apart, saved once the operator says so
        close = ("A et B de base.pgm sont à 3,0 pixels l'un de l'autre : la rotation et l'échelle qu'ils donnent "
                 "sont peu sûres.")
        saved = ANSWERS.replace(b"1236,842", b"415,357").replace(b"365,913", b"405,893")
        self.assertEqual(self.save(close), saved)
        # 6: a photograph of the series named fin ended the series; names with a blank or a quote.
        self.choose("points-further", self.file("fin", self.rotated), self.file("mes photos.pgm", self.rotated))
        self.assertEqual(self.text("warnings"), close + " Masquer\nSans leurs deux points, hors des réponses : "
                                                "fin (A' B'), mes photos.pgm (A' B'). Masquer")
        self.press("#warnings li:first-child button")
        for points in "1 2 30 40", "5 6 70 80":
            self.key(Keys.PAGE_DOWN)
            self.type("1-0-x", points)
        self.assertEqual(self.save(close),
                         saved.replace(b"fin\n", b'fin\n1,2\n30,40\n"mes photos.pgm"\n5,6\n70,80\nfin-2\n'))
        for name, message in (('le "bon".pgm', "un nom qui contient un guillemet ne peut pas s'écrire dans les "
                                               "réponses"),
                              ("\u00e9" * 115 + ".pgm", "tavrin lit les noms de 233 octets au plus")):  # 234 bytes
            self.choose("points-further", self.file(name, self.rotated))
            self.key(Keys.PAGE_DOWN)
            self.type("1-0-x", "5 6 70 80")
            self.assertEqual(self.press("#save"), name + " : " + message + " ; renommez le fichier.")
            self.press("#point-1-0-delete")
        self.d.close()
        self.d.switch_to.window(first)
        for offered in True, True, False:  # the other page's work, and this one's, offered in turn, each declined
            self.d.get(self.url)
            self.assertRegex(self.text("warnings"), " Reprendre Ne pas reprendre$" if offered else "^$")
            offered and self.press("#warnings button:last-child")

    def test_a_truncated_photograph_is_told_until_dismissed_in_both_modes(self):
        self.open(self.file("rotated.pgm", self.rotated[:-1000]))
        told = ("rotated.pgm s'arrête 1000 octets trop tôt : cette partie est dessinée en noir, et tavrin et les "
                "chiffres la comptent en noir.")
        self.press("input[value=compare]")
        result = (self.series / "Redressement/rotated.pgm").read_bytes()[:-2000]
        self.choose("compare-results", self.file("prefix/rotated.pgm", result))  # another folder
        self.assertEqual(self.text("warnings"), told + " Masquer\n" + told.replace("1000", "2000") + " Masquer")
        self.assertIn("rotated.pgm s'arrête 2000 octets trop tôt : ce qui manque compte ici en noir.",
                      self.text("figures-note"))
        self.press("input[value=points]")
        self.assertEqual(self.save("rotated.pgm s'arrête 1000 octets trop tôt : tavrin compte en noir ce qui "
                                   "manque."), ANSWERS)
        self.press("#warnings button", "#warnings button")
        self.assertEqual(self.text("warnings"), "")

    def test_files_it_cannot_read_are_refused_with_their_reason_never_as_the_base_and_headers_read_as_tavrin_does(self):
        self.choose("points-base", "base.pgm")
        convert = " : la page et tavrin lisent les PGM binaires (P5) ; tavrin-series la convertit"
        kept = ". La photographie de base reste base.pgm."  # after a base refused
        for name, data, message in (
                ("plain.pgm", b"P2\n2 1\n255\n0 255\n", "plain.pgm est un PGM en texte (P2)" + convert + kept),
                ("photo.png", b"\x89PNG\r\n\x1a\n" + bytes(64), "photo.png est une image PNG" + convert + kept),
                ("cut.pgm", b"P5\n1600", "cut.pgm : taille illisible ; tavrin la lit sur la ligne qui suit « P5 » et "
                 "ses commentaires : la largeur puis la hauteur, en nombres entiers" + kept),
                ("huge.pgm", b"P5\n70000 70000\n255\n",
                 "huge.pgm : 70\u202f000 × 70\u202f000 n'est pas une taille d'image que tavrin lit" + kept),
                ("hollow.pgm", b"P5\n16000 16000\n255\n" + bytes(1024),
                 "hollow.pgm annonce 16\u202f000 × 16\u202f000 pixels (256\u202f000\u202f000 octets) et n'en contient "
                 "que 1024 : refusé, un fichier doit contenir au moins la moitié de ce que son en-tête "
                 "annonce" + kept),
                ("short.txt", b"base.pgm\n412,357\n",
                 "short.txt : base.pgm n'a qu'un point ; il en faut deux, écrits x,y."),
                ("shifted.txt", b"412,357\nbase.pgm\n",
                 "shifted.txt : la réponse 1 est un point (412,357) là où doit venir le nom d'une photographie.")):
            self.assertEqual((self.choose("answers-file" if name.endswith(".txt") else "points-base", self.file(
                name, data)), self.text("photo-list")), (message, "base.pgm (base) A ? B ?"))
        self.assertEqual(self.choose("points-further", self.file("photo.png", b"\x89PNG"), "rotated.pgm"),
                         "photo.png est une image PNG" + convert + ".")  # the others join, as decoded below
        self.assertEqual(self.js("return decoded"), ["base.pgm", "rotated.pgm"])
        # A byte-order mark, CR LF and a quoted name, as Notepad and Explorer leave them.
        self.choose("answers-file", self.file("notepad.txt", b'\xef\xbb\xbf"my base.pgm"\r\n1,2\r\n30,40\r\nfin\r\n'))
        self.assertEqual(self.save("Sans leurs deux points, hors des réponses : rotated.pgm (A' B')."),
                         b'"my base.pgm"\n1,2\n30,40\nfin\n')
        # More than 8 bits: taken as tavrin takes it, one byte a pixel, and said.
        self.choose("points-further", self.file("deep.pgm", b"P5\n2 1\n65535\n" + bytes(4)))
        self.key(Keys.PAGE_DOWN)  # decoded once it is the photograph shown
        self.assertIn("deep.pgm annonce une valeur maximale de 65\u202f535 : une image de plus de 8 bits",
                      self.text("warnings"))
        # Each shape of P5 header, a row of tests/p5_headers.txt, its quoted fields with C escapes.
        rows = [r.split(b"\t") for r in pathlib.Path(ARGS.headers).read_bytes().splitlines() if r and r[:1] != b"#"]
        unescaped = [re.sub(rb"\\(x..|.)", lambda m: bytes([int(m[1][1:], 16)]) if m[1][:1] == b"x" else {
            b"n": b"\n", b"r": b"\r", b"t": b"\t", b"0": b"\0"}.get(m[1], m[1]), f[1:-1]) for r in rows for f in r[1:]]
        shown = self.js("return arguments[0].map(function (f) { try { var i = TV.decodePNM(new Uint8Array(f).buffer, "
                        "'in.pgm'); return i.grey ? [i.width, i.height, Array.from(i.grey.slice(0, 6)), i.missing] : "
                        "'format'; } catch (e) { return e.message == \"in.pgm n'est pas une image PGM binaire (P5) ni "
                        "PPM (P6)\" ? 'format' : /^in.pgm : (taille illisible|.* n'est pas une taille d'image que "
                        "tavrin lit$)/.test(e.message) ? 'size' : e.message; } })",  # a P6 is no photograph to the page
                        [list(f) for f in unescaped[::2]])
        self.assertEqual(dict(zip((r[0].decode() for r in rows), shown)), {  # width, height, the 6 samples (as 0
            r[0].decode(): [3, 2, list(p.ljust(6, b"\0")), 6 - len(p)] if r[2][:1] == b'"' else r[2].decode()  # those
            for r, p in zip(rows, unescaped[1::2])})  # the file lacks) and how many it lacks; or the refusal
        self.assertTrue(rows)

    def test_a_message_goes_with_its_cause_a_press_takes_a_mark_within_12_px_x_y_fills_both_boxes_saves_are_named(self):
        self.assertEqual(self.pointer("base-view"), "Ouvrez d'abord la photographie de base.")
        self.open(actual=True)  # A's middle at (412.5, 357.5)
        for make, cure, message in (
                (lambda: self.type("0-1-x", "412 357") or self.press("#save"), lambda: self.key("z", Keys.CONTROL),
                 "A et B de base.pgm sont le même pixel : tavrin ne peut pas en tirer la rotation ni l'échelle ; "
                 "déplacez l'un des deux."),
                (lambda: self.key("zz", Keys.CONTROL), lambda: self.key("y", Keys.CONTROL),  # B's x, the answers
                 "Annulé : le chargement de reponses.txt ; 4 points sur 2 photographies sont revenus à ce qu'ils "
                 "étaient avant. « Rétablir » (Ctrl+Y) les remet."),
                (lambda: self.key("zzz", Keys.CONTROL), lambda: self.key("y", Keys.CONTROL), "Rien à annuler."),
                (lambda: self.press("#point-0-0-move"), lambda: self.pointer("base-view"),
                 "Cliquez sur base.pgm là où va A.")):
            self.assertEqual(make(), message)
            self.assertEqual(cure(), "")
        self.key("z", Keys.CONTROL)
        for start in 423, 447:  # 10.5 screen pixels right of A's middle: A dragged; 14.5 right of it then: a pan
            self.pointer("base-view", (start, 357), (start + 10, 357), (start + 20, 357))
            self.assertEqual(self.values("#point-0-0-x"), ["432"])
        self.key("z", Keys.CONTROL)
        for field, typed, both in (("1-0-x", "500,420", "500 420"), ("1-0-y", "501, 421", "501 421"),
                                   ("1-1-x", "502;422", "502 422"), ("1-1-y", "12,5;30", "12.5 30")):
            self.d.find_element("id", "point-" + field).send_keys(Keys.CONTROL, "a", Keys.NULL, typed, Keys.TAB)
            self.assertEqual(" ".join(self.values("#point-%s input" % field[:3])), both, typed)
        saved = [self.save(), self.save(name="reponses (1).txt", keep=True)]  # the page tells the name given
        self.assertEqual(saved, [ANSWERS.replace(b"1115,435\n365,913", b"501,421\n12.5,30")] * 2)
        self.assertIn("il s'y appelle sans doute reponses (1).txt, ou plus. Vérifiez son nom, et mettez-le sous le "
                      "nom reponses.txt dans le dossier des photographies : tavrin < reponses.txt.",
                      self.text("message"))
        with tempfile.TemporaryDirectory() as t, browser(t, picker=True) as self.d:  # a browser that lets one choose
            self.d.get(self.url)
            self.choose("answers-file", self.file("reponses.txt", ANSWERS))
            self.assertEqual(self.press("#save"), "Réponses non enregistrées : aucun fichier choisi.")  # headless:
            self.assertFalse(os.path.exists(t + "/downloads"))  # the dialog at once as if cancelled

    def test_at_1366x768_p_and_the_likely_next_point_come_in_sight_views_are_kept_or_linked_and_nothing_moves(self):
        self.d.set_window_size(1366, 768)  # the operators' smallest screens: save and B' in sight, and staying there
        self.open("rotated.pgm", "enlarged.pgm", "reduced.pgm")
        seen = ("var e = document.querySelector(arguments[0]), r = e.getBoundingClientRect(); return scrollY == 0 "
                "&& r.bottom <= innerHeight && r.right <= innerWidth && e.contains(document.elementFromPoint("
                "(r.left + r.right) / 2, (r.top + r.bottom) / 2)) && [r.top, r.left]")
        self.assertTrue(all(where := [self.js(seen, css) for css in ("#save", "#point-1-1")]), where)
        self.assertEqual(self.text("warnings"), "Sans leurs deux points, hors des réponses : enlarged.pgm (A' B'), "
                                                "reduced.pgm (A' B'). Masquer")
        self.press("#warnings button")
        self.assertEqual([self.key(k, m) or self.js("return document.querySelector('#point-table tr.selected').id")
                          for k, m in (("p", None),) * 4 + (("P", Keys.SHIFT),)],  # from A, chosen by the answers
                         ["point-0-1", "point-1-0", "point-1-1", "point-0-0", "point-1-1"])
        self.press("#point-1-1-zoom")  # rotated.pgm at 8:1 about B' (365,913)
        self.pointer("photo-view", press=False)  # at rest over B'
        self.key(Keys.PAGE_DOWN)  # enlarged.pgm: A' where rotated.pgm has it, its pixel told and magnified at once
        grey = (self.series / "enlarged.pgm").read_bytes()[-1920000:][1115 + 435 * 1600]
        self.assertEqual((self.text("cursor"), self.labels("loupe"), self.js(
            "return document.getElementById('loupe').getContext('2d').getImageData(75, 75, 1, 1).data[0]")),
            ("enlarged.pgm x 1115 y 435 gris %d" % grey, ["1115,435"], grey))
        self.under("photo", "enlarged.pgm \u00b7 8:1", "enlarged.pgm x 1115 y 435", "A' d'après rotated.pgm")
        # From nothing chosen, the last: B' of enlarged.pgm, missing, armed.
        self.assertEqual(self.key("P", Keys.SHIFT), "Cliquez sur enlarged.pgm là où va B'.")
        self.pointer("photo-view")
        self.assertRegex(self.text("photo-list").split("\n")[2], r"^enlarged.pgm A' \? B' \d+,\d+$")
        self.key("z", Keys.CONTROL)
        r = self.js("return document.getElementById('photo-view').getBoundingClientRect()")
        self.pointer("photo-view", (r["width"] / 2 + 16, r["height"] / 2 + 8))  # A' at (1117, 436)
        # B' in sight, where rotated.pgm's turn and scale put it.
        self.under("photo", "enlarged.pgm \u00b7 8:1", "enlarged.pgm x 367 y 914", "B' d'après rotated.pgm")
        for key, view in ((Keys.PAGE_UP, "rotated.pgm x 365 y 913"), (Keys.PAGE_DOWN, "enlarged.pgm x 367 y 914")):
            self.key(key)
            self.under("photo", view.split()[0] + " \u00b7 8:1", view)
        self.key(Keys.PAGE_UP)  # linked views follow through the points, or else at the same zoom and relative place
        self.press("#linked", "#point-0-0-zoom")  # A at the middle, at 8:1; A' there too, at 8 / 0,930
        self.under("photo", "rotated.pgm \u00b7 8.6:1", "rotated.pgm x 1115 y 435")
        self.pointer("photo-view", wheel=-100)  # the photograph leads
        self.under("base", "base.pgm (base) \u00b7 16:1", "base.pgm x 412 y 357")
        self.key(Keys.PAGE_DOWN)  # without B': 412,5 / 1600 of the base's width, 357,5 / 1200 of its height
        w, h = map(int, (self.series / "enlarged.pgm").read_bytes().split(b"\n")[1].split())
        self.under("photo", "enlarged.pgm \u00b7 16:1", "enlarged.pgm x %d y %d" % (412.5 * w / 1600, 357.5 * h / 1200))
        self.key(Keys.PAGE_DOWN + Keys.PAGE_UP * 2)  # each decoded once: the decodes below come after these four
        self.js("TV.MEMORY = 1 << 20")  # nothing but the two photographs shown
        self.key(Keys.PAGE_DOWN)
        self.assertEqual(self.text("warnings"), "Mémoire : pour rester sous 1 Mo, la page ne garde plus rotated.pgm, "
                         "reduced.pgm décodées ; elles seront relues en y revenant, ce qui prend quelques instants. "
                         "Masquer")
        self.key(Keys.PAGE_UP)
        self.assertEqual(self.js("return decoded.slice(4)"), ["rotated.pgm"])
        self.assertIn("ne garde plus reduced.pgm, enlarged.pgm décodées", self.text("warnings"))
        self.press("#warnings button")
        for photo in range(2):  # B' and the facts of enlarged.pgm, A' of reduced.pgm
            self.key(Keys.PAGE_DOWN)
            self.pointer("photo-view", (200, 200))
        self.assertEqual(self.text("warnings"), "")  # the same photograph still left out
        self.assertEqual([self.js(seen, css) for css in ("#save", "#point-1-1")], where)
        self.choose("points-further", self.file("late.pgm", self.rotated))  # another one is
        self.assertEqual(self.text("warnings"), "Sans leurs deux points, hors des réponses : reduced.pgm (B'), "
                                                "late.pgm (A' B'). Masquer")

    def test_a_namesake_from_another_folder_is_asked_about_never_put_in_place_a_result_chosen_again_listed_once(self):
        self.open("rotated.pgm")
        listed, other = self.text("photo-list"), self.downloads.parent / "ailleurs"
        other.mkdir(exist_ok=True)
        (other / "rotated.pgm").write_bytes((self.series / "reduced.pgm").read_bytes())  # another photograph
        self.choose("points-further", str(other / "rotated.pgm"))
        self.assertEqual((self.text("warnings"), self.text("photo-list")), (
            "rotated.pgm : une photographie de la série porte déjà ce nom, mais vient d'un autre fichier "
            "(d'un autre dossier, ou modifié depuis) ; A' et B' y sont placés. Remplacer celle de la série par "
            "celle-ci, qui prend ses points, ou garder les deux, celle-ci sous le nom rotated-2.pgm ? Remplacer "
            "Garder les deux Ne pas l'ajouter", listed))
        self.assertEqual(self.press("#warnings button:nth-of-type(2)"),
                         "rotated.pgm est dans la série sous le nom rotated-2.pgm, et ainsi dans les réponses : "
                         "donnez ce nom au fichier avant de lancer tavrin.")
        self.assertEqual((self.text("photo-list"), self.text("warnings")),
                         (listed + "\nrotated-2.pgm A' ? B' ?",
                          "Sans leurs deux points, hors des réponses : rotated-2.pgm (A' B'). Masquer"))
        self.choose("points-further", "enlarged.pgm")  # the namesake, sent again with it, is in the series already
        self.assertEqual(self.text("photo-list").split("\n")[2:], ["rotated-2.pgm A' ? B' ?", "enlarged.pgm A' ? B' ?"])
        # The series' rotated.pgm compared as its own file, as tavrin-diff counts it with its points.
        self.press("input[value=compare]")
        self.choose("compare-results", "Redressement/rotated.pgm", "Redressement/enlarged.pgm")
        self.agrees(self.text("figures"), "rotated.pgm : ", "rotated.pgm", "namesake.ppm", "rotated.pgm",
                    "412,357", "1236,842", "1115,435", "365,913")
        self.key(Keys.PAGE_DOWN)
        self.choose("compare-results", "Redressement/rotated.pgm")  # listed once, and shown
        self.assertEqual((self.text("result-list"), self.text("compare-caption").split(" \u00b7 ")[0]),
                         ("rotated.pgm\nenlarged.pgm", "rotated.pgm"))
        # The base's namesake, replacing it: its pixels shown, A and B kept.
        self.press("input[value=points]")
        (other / "base.pgm").write_bytes(enlarged := (self.series / "enlarged.pgm").read_bytes())
        self.choose("points-further", str(other / "base.pgm"))
        self.assertEqual(self.text("warnings").split("\n")[-1].split(" Remplacer celle")[0],
                         "base.pgm : la photographie de base porte déjà ce nom, mais vient d'un autre fichier (d'un "
                         "autre dossier, ou modifié depuis) ; A et B y sont placés.")
        self.press("#warnings li:last-child button")  # Remplacer
        self.pointer("base-view", (300, 200), press=False)
        x, y, grey = numbers(self.text("cursor"))
        self.assertEqual((self.text("cursor").split()[0], grey, self.text("photo-list").split("\n")[0]),
                         ("base.pgm", enlarged[-1920000:][int(x + 1600 * y)], listed.split("\n")[0]))

    def preview(self, whole=True):  # -> the grey bytes of the preview on show once current; by default whole
        self.wait(lambda: self.js("var s = TV.preview.shown(); return !!s && s.current && (s.whole || !arguments[0])",
                                  whole))
        return self.map("TV.preview.shown().canvas")[::3]  # as drawn

    def rectified(self, answers):  # tavrin's rotated.pgm from these answers, run in a folder of its own
        with tempfile.TemporaryDirectory() as t:
            for f in ("base.pgm", "rotated.pgm"):
                pathlib.Path(t, f).write_bytes((self.series / f).read_bytes())
            run([os.path.abspath(ARGS.tavrin)], cwd=t, input=answers, stdout=DEVNULL)
            return pathlib.Path(t, "Redressement/rotated.pgm").read_bytes()[-1920000:]

    def test_the_preview_is_tavrin_s_result_to_the_byte_in_part_while_a_mark_is_held_whole_once_let_go_or_nothing(self):
        self.open("rotated.pgm")
        self.press("input[value=preview-difference]")  # tavrin-diff's figures and map, counted where rotated.pgm covers
        self.preview()  # a map of the preview's differences: tavrin's result to the byte
        self.agrees(self.text("preview-state").split(" ; ", 1)[1], "", "rotated.pgm", "apercu.ppm", "rotated.pgm",
                    "412,357", "1236,842", "1115,435", "365,913", canvas="TV.preview.shown().canvas")
        # B' held 40 screen pixels right, 80 pixels at 1:2: every step-th pixel of the base's pane, then the whole.
        self.press("input[value=preview]")
        x, y = self.js("var s = TV.place.panes[1].viewer.toScreen(365.5, 913.5); return [s.x, s.y]")
        self.pointer("photo-view", (x, y), (x + 20, y), (x + 40, y), up=False)
        grey = self.preview(whole=False)
        whole, g = self.js("var s = TV.preview.shown(); return [s.whole, s.grid]")
        moved, s = self.rectified(ANSWERS.replace(b"365,913", b"445,913")), g["step"]
        part = b"".join(moved[(g["k0"] + j * s) * 1600 + g["l0"]:][:g["cols"] * s:s] for j in range(g["rows"]))
        self.assertEqual((whole, s > 1, grey == part), (False, True, True))
        ActionChains(self.d).release().perform()
        self.assertEqual((self.preview() == moved, self.text("preview-state")),
                         (True, "Aperçu de rotated.pgm : tout le cadre, 1600 × 1200 pixels."))
        self.press("#actual")  # the base's pane shows it in the base's stead, and says so
        row = self.js("var c = document.getElementById('base-view'), w = Math.min(c.width, 1600); return Array.from("
                      "c.getContext('2d').getImageData(0, 600, w, 1).data.filter((v, i) => i % 4 == 0))")
        self.assertEqual((bytes(row), self.labels("base-view")[0]),
                         (moved[960000:][:len(row)], "Aperçu de rotated.pgm"))
        # Decimals as tavrin reads them: both x differences need a rounding in single precision; 435.6 is truncated.
        typed = b"base.pgm\n412.4,357.25\n1236,842.75\nrotated.pgm\n1115.00,435.6\n365.6,913.1\nfin\n"
        self.choose("answers-file", self.file("typed.txt", typed))
        self.press("input[value=preview-swipe]")
        self.assertEqual(self.preview(), self.rectified(typed))
        # The C library's own reading of a float, which rounds once.
        strtof = ctypes.CFUNCTYPE(ctypes.c_float, ctypes.c_char_p, ctypes.c_void_p)(("strtof", ctypes.CDLL(None)))
        texts = ["435.6", "1115.00", "1e3", ".5", "16777217", "1.0000000596046447753906250001",
                 "1.0000001788139343261718749999", "-1.0000000596046447753906250001"]  # the last three: near a tie
        self.assertEqual(self.js("return arguments[0].map(TV.floatOf)", texts),
                         [strtof(t.encode(), None) for t in texts])
        self.type("1-0-x", "365.6 913.1")  # A' onto B': no preview, told under the choice only
        self.assertEqual((self.text("preview-state"), self.js("return TV.preview.shown()"), self.text("message")),
                         ("Pas d'aperçu : A' et B' de rotated.pgm sont le même pixel.", None, ""))
        # The scale 2 and no turn put u or v on a half wherever l - 100 or k - 100 is odd, below A and right of it
        # (1500 x 1099 pixels, less 750 x 549), and v on A's column above it (50); elsewhere tavrin's decimal
        # half and full turns keep them off it. Those are told, tavrin's C library deciding there.
        self.type("0-0-x", "100 100 100 300 100 100 100 200")
        self.preview()
        self.assertIn("1600 × 1200 pixels. 1\u202f236\u202f800 pixels tombent presque exactement entre deux pixels de "
                      "rotated.pgm : tavrin peut y prendre", self.text("preview-state"))


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    for opt in ("--cmake", "--build", "--tavrin", "--sample", "--diff", "--screenshots", "--headers"):
        ap.add_argument(opt)
    ARGS, rest = ap.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
