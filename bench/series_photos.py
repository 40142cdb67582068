#!/usr/bin/python3
"""A series of 24-megapixel colour photographs for timing tavrin-series.

Writes, with a fixed seed, FOLDER/base.jpg and FOLDER/photo-1.jpg ... photo-5.jpg
(6000 x 4000, JPEG quality 92): scikit-image's colour photograph "coffee" enlarged ten
times and given a fine grain, each further photograph turned, scaled and shifted, and
every one with a little noise of its own, as a camera adds it. Prints the base's A and B,
two points well inside and far apart, as tavrin-match and tavrin-series take them;
FOLDER/truth.txt holds each further photograph's name and its true A' and B'.

Usage: series_photos.py FOLDER
"""
import math
import os
import sys

import numpy as np
from PIL import Image
from scipy import ndimage
from skimage import data, transform

WIDTH, HEIGHT = 6000, 4000
# degrees clockwise on the screen, scale, shift in pixels, noise (grey levels)
FURTHER = [(5, 1.0, (150, -80), 2), (-12, 0.9, (-200, 120), 3), (20, 1.1, (90, 200), 3),
           (-30, 0.8, (-120, -150), 4), (40, 1.2, (250, 60), 2)]
# The base's points: the saucer's rim against the wood and the spoon's stem at the cup's
# foot, well inside and far enough apart that both stay in every further photograph.
A, B = (1400, 1200), (3850, 2450)


def scene(rng):
    """The photograph enlarged to full size, with a fine grain of its own that every
    photograph of it shows: an enlargement alone is too smooth to match at full size,
    where a real 24-megapixel photograph has detail."""
    big = np.asarray(Image.fromarray(data.coffee()).resize((WIDTH, HEIGHT), Image.BICUBIC),
                     dtype=np.float32)
    grain = rng.standard_normal((HEIGHT, WIDTH), dtype=np.float32)
    big += (ndimage.gaussian_filter(grain, 1.5, output=grain) * 40)[..., None]
    return Image.fromarray(np.clip(big + 0.5, 0, 255).astype(np.uint8))


def photograph(view, to_photo, noise, rng):
    """The photograph whose pixel p is to_photo(p) of the view, with the sensor's noise."""
    if to_photo is not None:
        # Pillow maps the output to the input with pixel centres at half integers.
        half = transform.AffineTransform(translation=(0.5, 0.5))
        inverse = half.params @ np.linalg.inv(to_photo.params) @ np.linalg.inv(half.params)
        view = view.transform((WIDTH, HEIGHT), Image.AFFINE, tuple(inverse[:2].ravel()),
                              Image.BILINEAR)
    out = np.asarray(view, dtype=np.float32)
    out += rng.standard_normal((HEIGHT, WIDTH), dtype=np.float32)[..., None] * noise
    return Image.fromarray(np.clip(out + 0.5, 0, 255).astype(np.uint8))


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(20240611)
    view = scene(rng)
    photograph(view, None, 3, rng).save(os.path.join(folder, "base.jpg"), quality=92)
    mid = (np.array(A) + np.array(B)) / 2
    truth = []
    for k, (deg, scale, shift, noise) in enumerate(FURTHER, 1):
        # Turned and scaled about the middle of A and B, which lands at the middle of
        # the frame, shifted.
        turn = transform.SimilarityTransform(scale=scale, rotation=math.radians(deg))
        to_photo = transform.SimilarityTransform(matrix=turn.params.copy())
        to_photo.params[:2, 2] = np.array([WIDTH / 2, HEIGHT / 2]) + shift - turn(mid)[0]
        name = "photo-%d.jpg" % k
        photograph(view, to_photo, noise, rng).save(os.path.join(folder, name), quality=92)
        pa, pb = to_photo(np.array([A, B], dtype=np.float64))
        truth.append("%s %.2f,%.2f %.2f,%.2f" % (name, *pa, *pb))
    with open(os.path.join(folder, "truth.txt"), "w") as f:
        f.write("\n".join(truth) + "\n")
    print("%d,%d %d,%d" % (*A, *B))


if __name__ == "__main__":
    main()
