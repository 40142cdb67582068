#!/usr/bin/python3
"""tavrin-series' report in headless Chromium: no script error, every image shown, each linked to its full-size PNG,
a refused photograph's advice."""
import argparse, os, pathlib, shutil, sys, tempfile, unittest, urllib.parse
from subprocess import DEVNULL, run
from selenium import webdriver


class ReportTest(unittest.TestCase):
    def test_the_report_shows_every_image(self):
        with tempfile.TemporaryDirectory() as t:
            photos = pathlib.Path(t, "s\u00e9rie #1")
            run([ARGS.sample, photos], check=True, stdout=DEVNULL)
            (photos / "landmarks.txt").unlink()
            (photos / "zz-noise.pgm").write_bytes(b"P5\n300 200\n255\n" + bytes((k * 7919) % 251 for k in range(60000)))
            # No browser shown: no display.
            quiet = {k: v for k, v in os.environ.items() if "DISPLAY" not in k}
            done = run([ARGS.series, "--points", "412,357", "1236,842", photos], capture_output=True, env=quiet)
            self.assertEqual(done.returncode, 1, done.stdout + done.stderr)  # the noise is refused
            opts = webdriver.ChromeOptions()
            opts.binary_location = "/usr/bin/chromium"
            for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                         "--user-data-dir=" + t + "/c"):
                opts.add_argument(flag)
            d = webdriver.Chrome(options=opts)
            try:
                d.get("file://" + urllib.parse.quote(str(photos / "Redressement" / "rapport.html")))
                shown = d.execute_script(
                    "return [...document.images].map(i => [i.getAttribute('src'), i.complete && i.naturalWidth > 0])")
                self.assertEqual(len(shown), 1 + 3 * 3)
                self.assertEqual([s for s, ok in shown if not ok], [])
                # The base's and each result's thumbnail open the full-size PNG.
                links = d.execute_async_script(
                    "Promise.all([...document.links].map(a => new Promise(r => { const i = new Image();"
                    " i.onload = i.onerror = () => r([a.getAttribute('href'), i.naturalWidth]); i.src = a.href; })))"
                    ".then(arguments[0]);")
                self.assertEqual(sorted(h for h, w in links if w == 1600),
                                 ["png/base.png", "png/enlarged.png", "png/reduced.png", "png/rotated.png"])
                self.assertEqual(d.execute_script("return document.documentElement.lang"), "fr")
                text = d.find_element("tag name", "body").text
                self.assertIn("zz-noise.pgm", text)
                self.assertIn("Que faire : placez ses points dans la page", text)
                self.assertIn("tourn\u00e9e de 117,0\u00b0", text)
                self.assertEqual([e["message"] for e in d.get_log("browser") if e["level"] == "SEVERE"], [])
            finally:
                d.quit()


if __name__ == "__main__":
    p = argparse.ArgumentParser()
    p.add_argument("--series", required=True)
    p.add_argument("--sample", required=True)
    ARGS, rest = p.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
