#!/usr/bin/python3
"""tavrin-match beside its peers on pairs that one similarity does not describe.

Makes, with fixed seeds, pairs of real photographs (Debian's python3-skimage data set)
whose truth is known point by point: a repetitive pattern shifted (a chessboard and a
brick wall, each against a crop of itself), a planar scene seen from another angle (a
known homography), a pair with depth (the motorcycle stereo pair and its disparity
map), a blur of sigma 3 (with a small turn), and a panorama (a camera turned about its
centre, a known homography). For several pairs of points A, B on each, it asks
tavrin-match, OpenCV's plain pipeline (bench/match_plain: SIFT, ratio test, RANSAC,
a similarity or a homography) and Hugin's cpfind (its control points, a homography
fitted by RANSAC) where A and B are, and prints, per kind of pair and overall: the
share of points answered, the share within 0.5, 1 and 2 pixels, the number of answers
more than 2 pixels off, and the median time per photograph.

Usage: match_truth.py BUILD_DIR WORK_DIR [EARLIER_TAVRIN_MATCH]
  EARLIER_TAVRIN_MATCH: another tavrin-match (an earlier build) measured beside.
"""
import math
import os
import re
import subprocess
import sys
import time

import numpy as np
from scipy import ndimage
from skimage import data, feature

import photos
from photos import grey

BUILD, WORK = sys.argv[1], sys.argv[2]
EARLIER = sys.argv[3] if len(sys.argv) > 3 else None
DATA = os.path.dirname(data.__file__)
METHODS = ["tavrin-match", "plain SIFT, similarity", "plain SIFT, homography", "cpfind, homography"]
METHODS += ["tavrin-match, earlier build"] if EARLIER else []


def write_pgm(path, im):
    photos.write_pgm(path, im, png=True)  # cpfind reads the PNG copy


def homography(src, dst):
    """The 3 x 3 matrix carrying four or more points src onto dst (least squares)."""
    rows = []
    for (x, y), (u, v) in zip(src, dst):
        rows.append([x, y, 1, 0, 0, 0, -u * x, -u * y, -u])
        rows.append([0, 0, 0, x, y, 1, -v * x, -v * y, -v])
    h = np.linalg.svd(np.asarray(rows, float))[2][-1]
    return (h / h[-1]).reshape(3, 3)


def through(h, p):
    q = h @ np.array([p[0], p[1], 1.0])
    return (q[0] / q[2], q[1] / q[2])


def warp(scene, back, shape, fill=0.0):
    """The photograph whose pixel q shows scene at back(q), back a homography."""
    qy, qx = np.mgrid[0:shape[0], 0:shape[1]].astype(np.float64)
    p = back @ np.stack([qx.ravel(), qy.ravel(), np.ones(qx.size)])
    return ndimage.map_coordinates(scene, [p[1] / p[2], p[0] / p[2]], order=3, cval=fill).reshape(shape)


def exposed(im, rng, noise=2.0, gain=1.0, offset=0.0, gamma=1.0):
    im = 255 * (np.clip(im, 0, 255) / 255) ** gamma * gain + offset
    return im + rng.normal(0, noise, im.shape)


def shifted_crop(folder, name, scene, zoom, rng):
    """A repetitive pattern: the scene, and a crop of it shifted by 31, 23 pixels."""
    scene = ndimage.zoom(scene, zoom, order=3) if zoom != 1 else scene
    h, w = scene.shape
    write_pgm(os.path.join(folder, "base.pgm"), exposed(scene, rng, 1))
    write_pgm(os.path.join(folder, name), exposed(scene[23:h - 40, 31:w - 50], rng, 1))
    return lambda p: (p[0] - 31, p[1] - 23), (h - 63, w - 81)


def perspective(folder, name, scene, tilt, rng):
    """The planar scene seen from another angle: its far side shrunk by tilt."""
    h, w = scene.shape
    corners = [(0, 0), (w, 0), (w, h), (0, h)]
    seen = [(0, 0), (w * (1 - tilt / 2), h * tilt / 2), (w * (1 - tilt / 2), h * (1 - tilt / 2)), (0, h)]
    hm = homography(corners, seen)
    write_pgm(os.path.join(folder, "base.pgm"), exposed(scene, rng, 1))
    write_pgm(os.path.join(folder, name),
              exposed(warp(scene, np.linalg.inv(hm), (h, w)), rng, 3, 0.85, 12, 1.15))
    return lambda p: through(hm, p), (h, w)


def panorama(folder, name, left, right, turn, rng):
    """Two views of one flat scene (two photographs side by side) from a camera turned
    by turn degrees about its centre; the base shows the left part."""
    right = ndimage.zoom(right, left.shape[0] / right.shape[0], order=3)[:left.shape[0]]
    scene = np.hstack([left, right])
    h, w = left.shape[0], left.shape[1]
    f = 0.9 * w
    k = np.array([[f, 0, w / 2], [0, f, h / 2], [0, 0, 1.0]])
    t = math.radians(turn)
    r = np.array([[math.cos(t), 0, math.sin(t)], [0, 1, 0], [-math.sin(t), 0, math.cos(t)]])
    view = k @ r @ np.linalg.inv(k)  # a pixel of the turned view, in the base view
    write_pgm(os.path.join(folder, "base.pgm"), exposed(scene[:, :w], rng, 1))
    write_pgm(os.path.join(folder, name), exposed(warp(scene, view, (h, w)), rng, 2, 1.1, -5))
    inverse = np.linalg.inv(view)
    return lambda p: through(inverse, p), (h, w)


def blurred(folder, name, scene, rng):
    """The scene turned 8 degrees, scaled 0.9, shifted, blurred by a Gaussian of 3 pixels."""
    h, w = scene.shape
    m = 0.9 * complex(math.cos(math.radians(8)), math.sin(math.radians(8)))
    t = complex(w / 2, h / 2) - m * complex(w / 2, h / 2) + complex(7.3, -4.6)
    fwd = np.array([[m.real, -m.imag, t.real], [m.imag, m.real, t.imag], [0, 0, 1]])
    write_pgm(os.path.join(folder, "base.pgm"), exposed(scene, rng, 1))
    photo = ndimage.gaussian_filter(warp(scene, np.linalg.inv(fwd), (h, w)), 3)
    write_pgm(os.path.join(folder, name), exposed(photo, rng, 1.5, 0.9, 10))
    return lambda p: through(fwd, p), (h, w)


def stereo(folder, name, rng):
    """The motorcycle stereo pair: a left point (x, y) is at (x - d, y) on the right."""
    disparity = np.load(os.path.join(DATA, "motorcycle_disp.npz"))["arr_0"]
    write_pgm(os.path.join(folder, "base.pgm"), grey("motorcycle_left.png"))
    write_pgm(os.path.join(folder, name), grey("motorcycle_right.png"))
    smooth = ndimage.maximum_filter(disparity, 15) - ndimage.minimum_filter(disparity, 15) < 1
    truth = lambda p: (p[0] - disparity[int(p[1]), int(p[0])], p[1])  # noqa: E731
    return truth, disparity.shape, smooth


PAIRS = [  # group, folder, maker
    ("repetitive, shifted", "chessboard", lambda f, n, r: shifted_crop(f, n, grey("chessboard_GRAY.png"), 4, r)),
    ("repetitive, shifted", "brick", lambda f, n, r: shifted_crop(f, n, grey("brick"), 1, r)),
    ("perspective", "camera", lambda f, n, r: perspective(f, n, grey("camera"), 0.3, r)),
    ("perspective", "astronaut", lambda f, n, r: perspective(f, n, grey("astronaut"), 0.2, r)),
    ("perspective", "rocket", lambda f, n, r: perspective(f, n, grey("rocket"), 0.3, r)),
    ("perspective", "gravel", lambda f, n, r: perspective(f, n, grey("gravel"), 0.2, r)),
    ("depth (stereo)", "motorcycle", lambda f, n, r: stereo(f, n, r)),
    ("blur, sigma 3", "coffee", lambda f, n, r: blurred(f, n, grey("coffee"), r)),
    ("blur, sigma 3", "chelsea", lambda f, n, r: blurred(f, n, grey("chelsea"), r)),
    ("blur, sigma 3", "camera-blur", lambda f, n, r: blurred(f, n, grey("camera"), r)),
    ("panorama", "astronaut-coffee", lambda f, n, r: panorama(f, n, grey("astronaut"), grey("coffee"), 20, r)),
    ("panorama", "rocket-chelsea", lambda f, n, r: panorama(f, n, grey("rocket"), grey("chelsea"), 15, r)),
]


def point_pairs(base, truth, shape, valid, count=4):
    """Pairs of strong corners of the base, at least a third of the diagonal apart,
    whose truth lies 40 pixels inside the photograph."""
    h, w = base.shape
    peaks = feature.corner_peaks(feature.corner_harris(ndimage.gaussian_filter(base, 1)),
                                 min_distance=12, num_peaks=300, exclude_border=40)
    pts = []
    for r, c in peaks:
        q = truth((int(c), int(r)))
        if valid[r, c] and 40 <= q[0] <= shape[1] - 41 and 40 <= q[1] <= shape[0] - 41:
            pts.append((int(c), int(r)))
    pairs, used = [], set()
    for a in pts:
        b = next((p for p in pts if p not in used and p != a and math.dist(a, p) >= math.hypot(w, h) / 3), None)
        if a not in used and b:
            pairs.append((a, b))
            used.update((a, b))
        if len(pairs) == count:
            break
    return pairs


def timed(args, cwd):
    start = time.perf_counter()
    p = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
    return p, time.perf_counter() - start


def tavrin_match(folder, name, a, b, program=f"{BUILD}/tavrin-match"):
    p, secs = timed([program, "base.pgm", "%d,%d" % a, "%d,%d" % b, name], folder)
    m = re.search(re.escape(name) + r": A' ([-\d.]+),([-\d.]+) B' ([-\d.]+),([-\d.]+)", p.stderr)
    found = ((float(m[1]), float(m[2])), (float(m[3]), float(m[4]))) if m else None
    line = next((l for l in p.stderr.splitlines() if l.startswith(name + ":")), p.stderr.strip())
    return found, secs, line


def plain(folder, name, a, b, kind):
    p, secs = timed([f"{BUILD}/bench/match_plain", kind, "base.pgm", "%d,%d" % a, "%d,%d" % b, name], folder)
    v = p.stdout.split()
    found = None if not v or v[0] == "refused" else ((float(v[0]), float(v[1])), (float(v[2]), float(v[3])))
    return found, secs


def ransac_homography(src, dst, rng, tolerance=3.0, rounds=2000):
    """The homography most control points agree with, refitted on them; None with fewer
    than 8."""
    src, dst = np.asarray(src, float), np.asarray(dst, float)
    if len(src) < 8:
        return None
    best = np.zeros(len(src), bool)
    for _ in range(rounds):
        pick = rng.choice(len(src), 4, replace=False)
        hm = homography(src[pick], dst[pick])
        q = hm @ np.vstack([src.T, np.ones(len(src))])
        err = np.hypot(q[0] / q[2] - dst[:, 0], q[1] / q[2] - dst[:, 1])
        if (err < tolerance).sum() > best.sum():
            best = err < tolerance
    return homography(src[best], dst[best]) if best.sum() >= 8 else None


def cpfind(folder, name, sizes, rng):
    """Hugin's control points between the two photographs, and a homography fitted to them;
    sizes: the base's and the photograph's, rows by columns."""
    lens = ("f0 v50 Ra0 Rb0 Rc0 Rd0 Re0 Eev0 Er1 Eb1 r0 p0 y0 TrX0 TrY0 TrZ0 "
            "j0 a0 b0 c0 d0 e0 g0 t0 Va1 Vb0 Vc0 Vd0 Vx0 Vy0")
    with open(os.path.join(folder, "pair.pto"), "w") as f:
        f.write('p f0 w3000 h1500 v360 n"TIFF"\nm i0\n')
        for im, (h, w) in zip(("base.png", name[:-4] + ".png"), sizes):
            f.write('i w%d h%d %s n"%s"\n' % (w, h, lens, im))
    p, secs = timed(["cpfind", "-q", "--ncores=1", "--ransacmode=hom", "-o", "found.pto", "pair.pto"], folder)
    src, dst = [], []
    if os.path.exists(os.path.join(folder, "found.pto")):
        for line in open(os.path.join(folder, "found.pto")):
            m = re.match(r"c n(\d) N(\d) x([-\d.e]+) y([-\d.e]+) X([-\d.e]+) Y([-\d.e]+)", line)
            if m:
                pa, pb = (float(m[3]), float(m[4])), (float(m[5]), float(m[6]))
                src.append(pa if m[1] == "0" else pb)
                dst.append(pb if m[1] == "0" else pa)
        os.remove(os.path.join(folder, "found.pto"))
    return ransac_homography(src, dst, rng), secs


def collect():
    rng = np.random.default_rng(20)
    results = []  # group, method, errors of the points asked (None: refused), seconds, line
    for group, folder_name, make in PAIRS:
        folder = os.path.join(WORK, folder_name)
        os.makedirs(folder, exist_ok=True)
        made = make(folder, "photo.pgm", rng)
        truth, shape = made[0], made[1]
        base = grey(os.path.join(folder, "base.png"))
        valid = made[2] if len(made) > 2 else np.ones(base.shape, bool)
        hm, cp_secs = cpfind(folder, "photo.pgm", (base.shape, shape), rng)
        for a, b in point_pairs(base, truth, shape, valid):
            ta, tb = truth(a), truth(b)
            found, secs, line = tavrin_match(folder, "photo.pgm", a, b)
            answers = {"tavrin-match": (found, secs),
                       "plain SIFT, similarity": plain(folder, "photo.pgm", a, b, "sift"),
                       "plain SIFT, homography": plain(folder, "photo.pgm", a, b, "sift-homography"),
                       "cpfind, homography": ((through(hm, a), through(hm, b)) if hm is not None else None, cp_secs)}
            if EARLIER:
                answers["tavrin-match, earlier build"] = tavrin_match(folder, "photo.pgm", a, b, EARLIER)[:2]
            for method, (got, t) in answers.items():
                errs = [math.dist(got[0], ta), math.dist(got[1], tb)] if got else [None, None]
                results.append((group, folder_name, method, errs, t, line if method == "tavrin-match" else ""))
    return results


def report(results):
    groups = list(dict.fromkeys(r[0] for r in results)) + ["all"]
    print("| pairs | method | points answered | within 0.5 / 1 / 2 px | more than 2 px off "
          "| median time per photograph |")
    print("|---|---|---|---|---|---|")
    for g in groups:
        for method in METHODS:
            rs = [r for r in results if r[2] == method and g in ("all", r[0])]
            errs = [e for r in rs for e in r[3]]
            got = [e for e in errs if e is not None]
            share = lambda limit: 100.0 * sum(e <= limit for e in got) / len(errs)  # noqa: E731
            print("| %s | %s | %d/%d | %.0f / %.0f / %.0f %% | %d | %.2f s |" % (
                g, method, len(got), len(errs), share(0.5), share(1), share(2),
                sum(e > 2 for e in got), np.median([r[4] for r in rs])))
    print()
    for group, folder, method, errs, t, line in results:
        if method == "tavrin-match":
            state = "refused" if errs[0] is None else "errors %.2f, %.2f px" % tuple(errs)
            print("  %s / %s: %s -- %s" % (group, folder, state, line))


if __name__ == "__main__":
    os.makedirs(WORK, exist_ok=True)
    report(collect())
