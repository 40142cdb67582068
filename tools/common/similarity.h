// The similarity (a turn, a uniform scale and a shift) that two points and their
// images fix: q = to + m (p - from), m the complex factor re + i im. Every tool takes
// it from here; tavrin-match carries it over OpenCV's types (tools/match/locate.h).
#ifndef TAVRIN_TOOLS_COMMON_SIMILARITY_H
#define TAVRIN_TOOLS_COMMON_SIMILARITY_H

#include <cmath>

namespace plane {

// A place in a photograph, in pixels: x to the right, y down.
struct Place {
    double x;
    double y;
};

struct Similarity {
    Place from;
    Place to;
    double re;
    double im;

    Place apply(Place p) const
    {
        double const dx = p.x - from.x;
        double const dy = p.y - from.y;
        return {to.x + re * dx - im * dy, to.y + im * dx + re * dy};
    }

    Similarity inverse() const
    {
        double const n = re * re + im * im;
        return {to, from, re / n, -im / n};
    }

    double scale() const { return std::hypot(re, im); }

    // The turn in degrees, clockwise on screen when positive (y points down).
    double degrees() const { return std::atan2(im, re) * 57.29577951308232; }
};

// The similarity that takes a to aImage and b to bImage; a and b must differ.
inline Similarity similarityOf(Place a, Place b, Place aImage, Place bImage)
{
    double const bx = b.x - a.x;
    double const by = b.y - a.y;
    double const px = bImage.x - aImage.x;
    double const py = bImage.y - aImage.y;
    double const n = bx * bx + by * by;
    return {a, aImage, (px * bx + py * by) / n, (py * bx - px * by) / n};
}

}  // namespace plane

#endif
