#!/usr/bin/python3
"""tavrin-series' own choice of A and B against good interior points, on series of real
photographs.

Each series is one of scikit-image's photographs (none of them in the tests) as the
base, then five views of it, each turned, scaled, shifted off the base's centre and cut
to the base's frame, with noise and a change of exposure: the first two show the
base's right part, the next three its left, so that only a band is shown by all, and
the first photographs are the hardest to choose on. The default gesture
(`tavrin-series FOLDER`) is run beside the same series given good interior points
(`--points`: two strong corners of that band, far apart). For each, what tavrin
rectified is read from reponses.txt (its machine form, never the French): how many
photographs, and how far each A' and B' lies from the truth the views were made by.

Usage: series_pick.py BUILD_DIR WORK_DIR [PHOTO...]   (default: the ten below)
"""
import math
import os
import shutil
import subprocess
import sys

import numpy as np
from scipy import ndimage
from skimage import feature, io

from photos import grey, write_pgm

BUILD, WORK = sys.argv[1], sys.argv[2]
PHOTOS = sys.argv[3:] or [
    "camera", "astronaut", "coffee", "chelsea", "rocket", "brick", "moon", "immunohistochemistry", "hubble_deep_field",
    "retina"]
# degrees clockwise, scale, shift of the base's centre as a share of the width
VIEWS = [(8, 1.0, 0.28), (-14, 0.9, 0.24), (20, 1.1, -0.22), (-6, 0.95, -0.26), (12, 1.05, -0.2)]


def view(scene, deg, s, shift, rng):
    """The view q = m p + t, cut to the base's frame, and m and t."""
    h, w = scene.shape
    m = s * complex(math.cos(math.radians(deg)), math.sin(math.radians(deg)))
    t = complex(w / 2 - shift * w, h / 2) - m * complex(w / 2, h / 2)
    qy, qx = np.mgrid[0:h, 0:w].astype(np.float64)
    p = (qx + 1j * qy - t) / m
    out = ndimage.map_coordinates(scene, [p.imag, p.real], order=3, cval=0.0)
    out = out * rng.uniform(0.85, 1.15) + rng.uniform(-10, 10) + rng.normal(0, 2, out.shape)
    return np.clip(np.floor(out + 0.5), 0, 255).astype(np.uint8), m, t


def interior_points(scene, views, folder):
    """Good interior points, as an operator would give them: of strong corners that every
    view shows 80 pixels inside its frame, taken by strength, the pair at least a third
    of the diagonal apart (a fourth, a sixth, where the band is narrower) that
    tavrin-match finds in most views, of the first ten tried."""
    h, w = scene.shape
    peaks = feature.corner_peaks(feature.corner_harris(ndimage.gaussian_filter(scene, 1)),
                                 min_distance=10, num_peaks=400, exclude_border=80)
    inside = [(int(c), int(r)) for r, c in peaks
              if all(80 <= (m * complex(c, r) + t).real <= w - 81 and 80 <= (m * complex(c, r) + t).imag <= h - 81
                     for m, t in views)]
    pairs = [(a, b) for part in (3, 4, 6) for k, a in enumerate(inside) for b in inside[k + 1:]
             if math.hypot(w, h) / part <= math.dist(a, b) < math.hypot(w, h) / (part - 1 if part > 3 else 1)]
    best, most = None, -1
    for a, b in pairs[:10]:
        p = subprocess.run([os.path.join(BUILD, "tavrin-match"), "0-base.pgm", "%d,%d" % a, "%d,%d" % b,
                            *("%d-view.pgm" % (k + 1) for k in range(len(views)))],
                           cwd=folder, capture_output=True, encoding="latin-1")
        found = (len(p.stdout.split("\n")) - 5) // 3  # the answers: base, A, B, 3 lines a photograph, the end
        if found > most:
            best, most = (a, b), found
    return best


def rectified(folder, truths):
    """From reponses.txt: A and B, and for each photograph rectified the larger of its
    A' and B' errors against the truth."""
    path = os.path.join(folder, "Redressement", "pgm", "reponses.txt")
    if not os.path.exists(path):  # no two points found: nothing rectified
        return (0, 0), {}
    lines = open(path, encoding="utf-8").read().split("\n")
    point = lambda s: complex(*map(float, s.split(",")))
    a, b = point(lines[1]), point(lines[2])
    errors = {}
    for k in range(3, len(lines) - 2, 3):
        name = lines[k].strip('"')
        if name in truths:
            m, t = truths[name]
            errors[name] = max(abs(point(lines[k + 1]) - (m * a + t)), abs(point(lines[k + 2]) - (m * b + t)))
    return (a, b), errors


def main():
    print("| series | default: rectified, worst error (px), A and B "
          "| given interior points: rectified, worst error (px), A and B |")
    print("|---|---|---|")
    total = {"default": [0, 0.0], "given": [0, 0.0]}
    for name in PHOTOS:
        rng = np.random.default_rng(sum(map(ord, name)))
        scene = grey(name)
        folder = os.path.join(WORK, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        trials = folder + "-pgm"  # the same photographs as P5, for tavrin-match alone
        shutil.rmtree(trials, ignore_errors=True)
        os.makedirs(trials)
        write = lambda stem, im: (io.imsave(os.path.join(folder, stem + ".png"), im, check_contrast=False),
                                  write_pgm(os.path.join(trials, stem + ".pgm"), im))
        write("0-base", np.clip(np.floor(scene + 0.5), 0, 255).astype(np.uint8))
        truths, kept = {}, []
        for k, (deg, s, shift) in enumerate(VIEWS):
            im, m, t = view(scene, deg, s, shift, rng)
            write("%d-view" % (k + 1), im)
            truths["%d-view.pgm" % (k + 1)] = (m, t)
            kept.append((m, t))
        a, b = interior_points(scene, kept, trials)
        row = [name]
        env = {k: v for k, v in os.environ.items() if "DISPLAY" not in k}
        for way, extra in (("default", []), ("given", ["--points", "%d,%d" % a, "%d,%d" % b])):
            shutil.rmtree(os.path.join(folder, "Redressement"), ignore_errors=True)
            subprocess.run([os.path.join(BUILD, "tavrin-series"), *extra, folder], capture_output=True, env=env)
            (pa, pb), errors = rectified(folder, truths)
            worst = max(errors.values(), default=0.0)
            total[way][0] += len(errors)
            total[way][1] = max(total[way][1], worst)
            row.append("%d of 5, %.2f, A %.0f,%.0f B %.0f,%.0f" % (
                len(errors), worst, pa.real, pa.imag, pb.real, pb.imag))
        print("| " + " | ".join(row) + " |")
    print("| all | %d of %d, %.2f | %d of %d, %.2f |" % (total["default"][0], 5 * len(PHOTOS), total["default"][1],
                                                        total["given"][0], 5 * len(PHOTOS), total["given"][1]))


if __name__ == "__main__":
    main()
