// The palette and both colour writers on arbitrary reals, non-finite ones, a zero
// full scale, a zero largest element and matrices whose shape does not fit their
// storage among them. Checked against what palette.h, ppm.h and image.h promise, never
// against a copy of their formulas: the colours they fix, the files' shape, each pixel
// showing its own element, and the grey levels' order.
#include "colour/palette.h"
#include "colour/ppm.h"
#include "fuzz/fuzz_support.h"
#include "image/image.h"
#include "image/matrix.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

double const kInf = std::numeric_limits<double>::infinity();
double const kNaN = std::numeric_limits<double>::quiet_NaN();
double const kTiny = std::numeric_limits<double>::denorm_min();
double const kMax = std::numeric_limits<double>::max();
double const kReals[] = {0.0,   -0.0,  kNaN,  kInf, -kInf, kTiny, -kTiny, kMax,
                         -kMax, 255.0, 935.0, 0.5,  -53.0, 1e300, -1e300, 2147483648.0};
int const kInts[] = {0, 1, -1, 255, INT_MAX, INT_MIN, 256, -255};

// Reads the input front to back; past its end every byte is 0.
struct Bytes {
    uint8_t const* data;
    size_t size, pos = 0;

    uint8_t byte() { return pos < size ? data[pos++] : 0; }

    // A tag byte picks special[tag], a small whole number (tag - 135) or, at 255, the
    // next sizeof(T) bytes as they lie in memory: special values are one byte away.
    template <class T, size_t N> T next(T const (&special)[N])
    {
        uint8_t const tag = byte();
        if (tag != 255)
            return tag < N ? special[tag] : static_cast<T>(tag - 135);
        T value{};  // zeros past the end
        std::memcpy(&value, data + pos, std::min(sizeof value, size - pos));
        pos = std::min(pos + sizeof value, size);
        return value;
    }
};

// The colours palette.h fixes: NaN, and a full scale of 0, black; a negative value
// on its ramp, 3v + 159 truncated and saturated; +infinity (255, INT_MAX, INT_MAX);
// a whole value of 0..255 on the full scale 255 within 0..255.
void checkPalette(double v, int n)
{
    int r = 0, g = 0, b = 0;
    HSL_to_RGB(v, n, r, g, b);
    double const ramp = std::clamp(std::trunc(3.0 * v + 159.0), double{INT_MIN}, double{INT_MAX});
    if (std::isnan(v) || (n == 0 && !(v < 0)))
        fuzz::require(r == 0 && g == 0 && b == 0, "NaN or a full scale of 0 is not black");
    else if (v < 0)
        fuzz::require(r == 39 && g == 0 && b == ramp, "a negative value leaves its ramp");
    else if (v == kInf && n > 0)
        fuzz::require(r == 255 && g == INT_MAX && b == INT_MAX, "+infinity is not its colour");
    else if (n == 255 && v <= 255 && v == std::trunc(v))
        fuzz::require(std::min({r, g, b}) >= 0 && std::max({r, g, b}) <= 255,
                      "a whole value of 0..255 on a full scale of 255 leaves 0..255");
}

// The file at path, read and removed, is a P6 of w x h pixels, its header then three
// bytes a pixel, or `what` fails; pixel(x, y, rgb) checks each pixel's bytes.
template <class Check> void p6(std::string const& path, int w, int h, char const* what, Check pixel)
{
    std::string const file = fuzz::readBytes(path);
    std::remove(path.c_str());
    std::string const header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    size_t const count = static_cast<size_t>(w) * h;
    fuzz::require(file.rfind(header, 0) == 0 && file.size() == header.size() + 3 * count, what);
    auto const* bytes = reinterpret_cast<unsigned char const*>(file.data() + header.size());
    for (size_t k = 0; k < count; ++k)  // no pixel: no division by a width of 0
        pixel(static_cast<int>(k % w), static_cast<int>(k / w), bytes + 3 * k);
}

bool is(unsigned char const* rgb, int r, int g, int b)
{
    return rgb[0] == r && rgb[1] == g && rgb[2] == b;
}

// The grey level 0..255 whose palette colour on the full scale 255 the bytes are; the
// 256 colours all differ. -1 for none.
int levelOf(unsigned char const* rgb)
{
    for (int level = 0; level < 256; ++level) {
        int c[3] = {};
        HSL_to_RGB(level, 255, c[0], c[1], c[2]);
        if (is(rgb, c[0] & 255, c[1] & 255, c[2] & 255))
            return level;
    }
    return -1;
}

}  // namespace

// Layout: v, n; rows and cols (0..8 each); a flag byte whose bit 0 replaces
// rows and cols by two free integers afterwards; the grey scale; the elements.
extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    static std::string const path = fuzz::scratchFile("colour.ppm");

    Bytes in{data, size};
    double const v = in.next(kReals);
    int const n = in.next(kInts);
    checkPalette(v, n);
    int const rows = in.byte() % 9, cols = in.byte() % 9;  // read in this order
    bool const reshape = (in.byte() & 1) != 0;
    double const scale = in.next(kReals);
    mat_tpl<double> m(rows, cols);
    for (int k = 0; k < m.size; ++k)
        checkPalette(m.data[k] = in.next(kReals), n);
    if (reshape)
        m.rows = in.next(kInts), m.cols = in.next(kInts);
    // A matrix whose shape does not fit its storage gives the empty image and file.
    int const w = m.well_formed() ? m.cols : 0, h = m.well_formed() ? m.rows : 0;

    // image.h: element (i, j) is pixel (j, i) at a level of 0..255 that grows with the
    // element over a positive scale: 0 at or below 0 and for NaN, 255 past the scale.
    std::vector<int> levels(static_cast<size_t>(w) * h);
    auto const grey = [&](int x, int y, unsigned char const* rgb) {
        int const level = levels[static_cast<size_t>(y) * w + x] = levelOf(rgb);
        double const a = m(y, x), q = 255.0 * a / scale;
        fuzz::require(level >= 0, "a grey pixel is no level's colour");
        if (std::isnan(a) || (scale > 0 && a <= 0))
            fuzz::require(level == 0, "NaN or a value at most 0 is not 0");
        if (q >= 1 && q < 255)  // as image.h says: 255 a / scale truncated
            fuzz::require(level <= q && q < level + 1, "a level is not 255 a / scale truncated");
        if (scale > 0 && a > 1.001 * scale)  // past the rounding of 255 a / scale
            fuzz::require(level == 255, "a value at the scale is not 255");
    };
    writeIMAGE_2(IMAGE(m, scale), path.c_str());
    p6(path, w, h, "the grey image's file has another shape than the matrix", grey);
    for (int k = 0; k < w * h; ++k)
        for (int j = 0; j < w * h; ++j)
            if (scale > 0 && m(k / w, k % w) <= m(j / w, j % w))
                fuzz::require(levels[k] <= levels[j], "a larger element has a lower level");

    // ppm.h: pixel (x, y) shows element (y, x) as matrixColour gives it for the largest
    // element M; M itself, positive and finite, pure red; 0 the scale's foot; NaN black;
    // a negative element on the ramp below the foot.
    double const M = m.max();
    auto const coloured = [&](int x, int y, unsigned char const* rgb) {
        double const a = m(y, x);
        unsigned char colour[3];
        matrixColour(a, M, colour);
        fuzz::require(is(rgb, colour[0], colour[1], colour[2]),
                      "a pixel is not its element's colour");
        if (a == M && M > 0 && std::isfinite(M))
            fuzz::require(is(rgb, 255, 0, 0), "the largest element is not red");
        if (a == 0 && std::isfinite(M))
            fuzz::require(is(rgb, 39, 0, 159), "0 is not the scale's foot");
        if (std::isnan(a))
            fuzz::require(is(rgb, 0, 0, 0), "NaN is not black");
        if (a < 0 && std::isfinite(M))
            fuzz::require(rgb[0] == 39 && rgb[1] == 0, "a negative element is off its ramp");
    };
    matrice_to_ColorImage(m, path.c_str());
    p6(path, w, h, "matrice_to_ColorImage wrote another shape than the matrix", coloured);
    return 0;
}
