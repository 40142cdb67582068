#include "colour/ppm.h"

#include "colour/palette.h"
#include "image/whole_file.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

void paletteColour(double v, unsigned char (&rgb)[3])
{
    int red = 0;
    int green = 0;
    int blue = 0;
    HSL_to_RGB(v, 255, red, green, blue);
    rgb[0] = static_cast<unsigned char>(red);
    rgb[1] = static_cast<unsigned char>(green);
    rgb[2] = static_cast<unsigned char>(blue);
}

// One pixel: the palette's colour of v on a full scale of 255, low eight bits each.
bool putColour(FILE* f, double v)
{
    unsigned char bytes[3];
    paletteColour(v, bytes);
    return std::fwrite(bytes, 1, 3, f) == 3;
}

bool putHeader(FILE* f, int width, int height)
{
    std::string const header = p6Header(width, height);
    return std::fwrite(header.data(), 1, header.size(), f) == header.size();
}

bool encodeGrey(FILE* f, IMAGE const& im)
{
    bool ok = putHeader(f, im.width, im.height);
    if (im.pix == nullptr)
        return ok;
    for (int y = 0; y < im.height && ok; ++y)
        for (int x = 0; x < im.width && ok; ++x)
            ok = putColour(f, *im.getpix(x, y));
    return ok;
}

// full * a / M, the product first, for a non-zero a; a product that overflows on its
// own is taken as full * (a / M) instead, since |a| <= |M| keeps the quotient within
// full scale. M = 0 is not divided by: the result is the infinity of a's sign.
double scaled(double full, double a, double M)
{
    if (M == 0.0)
        return a < 0.0 ? -std::numeric_limits<double>::infinity()
                       : std::numeric_limits<double>::infinity();
    double const product = full * a;
    if (std::isinf(product) && std::isfinite(a))
        return full * (a / M);
    return product / M;
}

bool encodeMatrix(FILE* f, mat_tpl<double> const& m)
{
    bool const shaped = m.well_formed();
    int const width = shaped ? m.cols : 0;
    int const height = shaped ? m.rows : 0;
    bool ok = putHeader(f, width, height);
    if (width == 0 || height == 0)
        return ok;  // no element, so no largest one to ask for

    double const M = m.max();
    for (int i = 0; i < height && ok; ++i) {
        for (int j = 0; j < width && ok; ++j) {
            unsigned char bytes[3];
            matrixColour(m(i, j), M, bytes);
            ok = std::fwrite(bytes, 1, 3, f) == 3;
        }
    }
    return ok;
}

}  // namespace

void matrixColour(double a, double M, unsigned char (&rgb)[3])
{
    double v = a;  // zero, and NaN, stay as they are
    if (a < 0)
        v = scaled(150.0, a, std::fabs(M));
    else if (a > 0)
        v = scaled(255.0, a, M);
    paletteColour(v, rgb);
}

bool writeIMAGE_2(IMAGE const& im, char const* path)
{
    return writeWholeFile(path, [&im](FILE* f) { return encodeGrey(f, im); });
}

bool matrice_to_ColorImage(mat_tpl<double> const& m, char const* path)
{
    return writeWholeFile(path, [&m](FILE* f) { return encodeMatrix(f, m); });
}
