"""The photographs the benchmarks make their pairs from: scikit-image's data set, in
grey levels, and how they are written as tavrin reads them."""
import os

import numpy as np
from skimage import color, data, io


def grey(name):
    """A photograph by scikit-image's name for it, or a file of its data folder."""
    if "." in name:
        im = io.imread(os.path.join(os.path.dirname(data.__file__), name))
    else:
        im = getattr(data, name)()
    if im.ndim == 3:
        im = color.rgb2gray(im[..., :3]) * 255
    return im.astype(np.float64)


def write_pgm(path, im, png=False):
    """An 8-bit binary PGM, each level rounded; with png, a PNG copy beside it."""
    im = np.clip(np.floor(im + 0.5), 0, 255).astype(np.uint8)
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (im.shape[1], im.shape[0]) + im.tobytes())
    if png:
        io.imsave(path[:-4] + ".png", im, check_contrast=False)
