#include "app/geometry.h"

#include "app/debugmode.h"

#include <cmath>
#include <cstdio>

namespace {

// A' truncated toward zero, with no undefined conversion for any float.
double anchorOf(float coordinate)
{
    double c = coordinate;
    if (std::isnan(c))
        return c;
    if (c >= 2147483648.0)
        return 2147483647.0;
    if (c < -2147483648.0)
        return -2147483648.0;
    return static_cast<double>(static_cast<int>(c));
}

// floor(0.5 + value) as an int position; false when it is not finite or does
// not fit an int, which counts as outside the further image.
bool roundToIndex(double value, int& index)
{
    double whole = std::floor(0.5 + value);
    if (!(whole >= -2147483648.0 && whole <= 2147483647.0))
        return false;
    index = static_cast<int>(whole);
    return true;
}

}  // namespace

double bearingOf(double dx, double dy)
{
    if (dy == 0)
        dy = 0.01;
    double t = std::atan(std::fabs(dx) / std::fabs(dy));
    if (dx >= 0 && dy >= 0)
        return t;
    if (dx > 0 && dy <= 0)
        return kHalfTurn - t;
    if (dx <= 0 && dy < 0)
        return t + kHalfTurn;
    if (dx < 0 && dy >= 0)
        return kFullTurn - t;
    return t;  // only a NaN offset reaches here, and t is NaN then
}

Segment measureSegment(Point p, Point q)
{
    // Subtracted in single precision, as typed, and only then widened.
    float fdx = q.x - p.x;
    float fdy = q.y - p.y;
    double dx = fdx;
    double dy = fdy;
    Segment s;
    s.distance = std::sqrt(dx * dx + dy * dy);
    s.bearing = bearingOf(dx, dy);
    return s;
}

Transform registerIMAGE(double baseBearing, double baseDistance, Point aPrime, double bearing,
                        double distance)
{
    Transform t;
    t.anchorX = anchorOf(aPrime.x);
    t.anchorY = anchorOf(aPrime.y);
    t.scale = baseDistance / distance;
    t.rotation = bearing - baseBearing;
    if (debugmode) {
        std::printf("\n- - - - - - - - - - - - - - - - - - - - - -");
        std::printf("\n- - - - - - - - - - - - - - - - - - - - - -");
        std::printf("\n\tAngle %.1f \xB0", 180 * t.rotation / 3.14159);
        std::printf("\n\techelle %.1f ", t.scale);
    }
    return t;
}

SourcePixel sourceOf(int l, int k, double ax, double ay, Transform const& t)
{
    // Each output pixel is mapped back into the further image: from base A at
    // radius r and bearing phi, to the anchor at r / scale and phi + rotation.
    double dx = l - ax;
    double dy = k - ay;
    double r = std::sqrt(dx * dx + dy * dy) / t.scale;
    double psi = bearingOf(dx, dy) + t.rotation;
    double u = t.anchorX + std::sin(psi) * r;
    double v = t.anchorY + std::cos(psi) * r;
    SourcePixel s{false, 0, 0};
    s.found = roundToIndex(u, s.x) && roundToIndex(v, s.y);
    return s;
}

std::unique_ptr<IMAGE> resampleIMAGELiteral(IMAGE const& further, double ax, double ay, int w,
                                            int h, Transform const& t)
{
    auto out = std::make_unique<IMAGE>(w, h);
    if (further.pix == nullptr || further.width <= 0 || further.height <= 0)
        return out;  // no first pixel to fall back on: the canvas stays 0
    unsigned char const fallback = *further.getpix(0, 0);
    for (int k = 0; k < out->height; ++k) {
        for (int l = 0; l < out->width; ++l) {
            SourcePixel s = sourceOf(l, k, ax, ay, t);
            *out->getpix(l, k) = s.found ? *further.getpix(s.x, s.y) : fallback;
        }
    }
    return out;
}
