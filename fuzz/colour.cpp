// The palette and both colour writers on arbitrary reals, non-finite ones, a zero
// full scale, a zero largest element and matrices whose shape does not fit their
// storage among them. Checked against what palette.h, ppm.h and image.h promise:
// the colours they fix, the grey conversion, and every byte of both P6 files.
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
    size_t size;
    size_t pos = 0;

    uint8_t byte() { return pos < size ? data[pos++] : 0; }

    // A tag byte picks special[tag], a small whole number (tag - 135) or, at 255, the
    // next sizeof(T) bytes as they lie in memory: special values are one byte away.
    template <class T, size_t N> T next(T const (&special)[N])
    {
        uint8_t const tag = byte();
        if (tag != 255)
            return tag < N ? special[tag] : static_cast<T>(tag - 135);
        T value{};  // zeros past the end
        size_t const n = std::min(sizeof value, size - pos);
        std::memcpy(&value, data + pos, n);
        pos += n;
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
    if (std::isnan(v) || (n == 0 && !(v < 0)))
        fuzz::require(r == 0 && g == 0 && b == 0, "NaN or a full scale of 0 is not black");
    else if (v < 0)
        fuzz::require(
            r == 39 && g == 0 &&
                b == std::clamp(std::trunc(3.0 * v + 159.0), double{INT_MIN}, double{INT_MAX}),
            "a negative value leaves its ramp");
    else if (v == kInf && n > 0)
        fuzz::require(r == 255 && g == INT_MAX && b == INT_MAX, "+infinity is not its colour");
    else if (n == 255 && v <= 255 && v == std::trunc(v))
        fuzz::require(std::min({r, g, b}) >= 0 && std::max({r, g, b}) <= 255,
                      "a whole value of 0..255 on a full scale of 255 leaves 0..255");
}

// A P6 file as ppm.h writes it: pixel (x, y) the palette colour of value(x, y) on the
// full scale 255, three low bytes.
template <class Value> std::string p6(int width, int height, Value const& value)
{
    std::string s = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (int y = 0; y < height && width > 0; ++y)  // no element: no row to visit
        for (int x = 0; x < width; ++x) {
            int rgb[3] = {};
            HSL_to_RGB(value(x, y), 255, rgb[0], rgb[1], rgb[2]);
            for (int c : rgb)
                s += static_cast<char>(static_cast<unsigned char>(c));
        }
    return s;
}

// ppm.h: a > 0 at 255 a / M, a < 0 at 150 a / |M|, 255 (a / M) (or 150 ...) when the
// product alone overflows, anything else a itself; a zero scale as IEEE division gives.
double matrixValue(double a, double M)
{
    if (!(a < 0) && !(a > 0))
        return a;  // zero or NaN
    double const full = a < 0 ? 150.0 : 255.0;
    double const scale = a < 0 ? std::fabs(M) : M;
    return std::isinf(full * a) && std::isfinite(a) ? full * (a / scale) : full * a / scale;
}

}  // namespace

// Layout: v, n; rows and cols (0..8 each); a flag byte whose bit 0 replaces
// rows and cols by two free integers afterwards; the grey scale; the elements.
extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    static std::string const greyPath = fuzz::scratchFile("grey.ppm");
    static std::string const matrixPath = fuzz::scratchFile("matrix.ppm");

    Bytes in{data, size};
    double const v = in.next(kReals);
    int const n = in.next(kInts);
    checkPalette(v, n);

    int const rows = in.byte() % 9;
    int const cols = in.byte() % 9;
    bool const reshape = (in.byte() & 1) != 0;
    double const scale = in.next(kReals);
    mat_tpl<double> m(rows, cols);
    for (int k = 0; k < m.size; ++k)
        m.data[k] = in.next(kReals);
    if (reshape) {
        m.rows = in.next(kInts);
        m.cols = in.next(kInts);
    }
    for (int k = 0; k < m.size; ++k)
        checkPalette(m.data[k], n);
    // A matrix whose shape does not fit its storage gives the empty image and file.
    bool const shaped = m.well_formed();
    int const w = shaped ? m.cols : 0;
    int const h = shaped ? m.rows : 0;

    // image.h: element (i, j) is pixel (j, i), 255 a / scale truncated into 0..255, NaN 0.
    // The palette gives the levels 0..255 colours that all differ: the file shows the
    // grey image's size and every level.
    IMAGE grey(m, scale);
    auto const level = [&](int x, int y) {
        double const q = 255.0 * m(y, x) / scale;
        return std::isnan(q) || q < 1.0 ? 0.0 : q >= 255.0 ? 255.0 : std::trunc(q);
    };
    writeIMAGE_2(grey, greyPath.c_str());
    fuzz::require(fuzz::readBytes(greyPath) == p6(w, h, level),
                  "the grey image or its file differs from the elements");
    double const M = m.max();
    matrice_to_ColorImage(m, matrixPath.c_str());
    fuzz::require(fuzz::readBytes(matrixPath) ==
                      p6(w, h, [&](int x, int y) { return matrixValue(m(y, x), M); }),
                  "matrice_to_ColorImage wrote other bytes");

    std::remove(greyPath.c_str());
    std::remove(matrixPath.c_str());
    return 0;
}
