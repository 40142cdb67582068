// The palette and both colour writers on arbitrary reals, non-finite ones, a zero
// full scale, a zero largest element and matrices whose shape does not fit their
// storage among them. Checked against what palette.h, ppm.h and image.h promise:
// the special colours, the grey conversion, and every byte of both P6 files.
#include "colour/palette.h"
#include "colour/ppm.h"
#include "fuzz/fuzz_support.h"
#include "image/image.h"
#include "image/matrix.h"

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

// Reads the input front to back; past its end every byte is 0.
class Bytes {
public:
    Bytes(uint8_t const* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // The next sizeof(T) bytes, the first the lowest (T of at most eight bytes).
    template <class T> T raw()
    {
        std::uint64_t bits = 0;
        for (size_t k = 0; k < sizeof(T); ++k)
            bits |= std::uint64_t{byte()} << (8 * k);
        T value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // A tag byte picks a value that matters, a small whole number, or (tag 255)
    // the next eight bytes as they are: special values are then one byte away.
    double real()
    {
        static double const special[] = {0.0,
                                         -0.0,
                                         kNaN,
                                         kInf,
                                         -kInf,
                                         std::numeric_limits<double>::denorm_min(),
                                         -std::numeric_limits<double>::denorm_min(),
                                         std::numeric_limits<double>::max(),
                                         std::numeric_limits<double>::lowest(),
                                         255.0,
                                         935.0,
                                         0.5,
                                         -53.0,
                                         1e300,
                                         -1e300,
                                         2147483648.0};
        uint8_t tag = byte();
        if (tag < 16)
            return special[tag];
        if (tag == 255)
            return raw<double>();
        return tag - 135.0;
    }

    int integer()
    {
        static int const special[] = {0, 1, -1, 255, INT_MAX, INT_MIN, 256, -255};
        uint8_t tag = byte();
        if (tag < 8)
            return special[tag];
        if (tag == 255)
            return raw<int32_t>();
        return tag - 135;
    }

private:
    uint8_t const* data_;
    size_t size_;
    size_t pos_ = 0;
};

struct Rgb {
    int red;
    int green;
    int blue;
};

Rgb palette(double v, int n)
{
    Rgb c{};
    HSL_to_RGB(v, n, c.red, c.green, c.blue);
    return c;
}

bool is(Rgb c, int red, int green, int blue)
{
    return c.red == red && c.green == green && c.blue == blue;
}

// 3v + 159 truncated toward zero, saturated to the int range.
int negativeRampBlue(double v)
{
    double x = std::trunc(3.0 * v + 159.0);
    if (x > INT_MAX)
        return INT_MAX;
    if (x < INT_MIN)
        return INT_MIN;
    return static_cast<int>(x);
}

void checkPalette(double v, int n)
{
    Rgb c = palette(v, n);
    if (std::isnan(v)) {
        fuzz::require(is(c, 0, 0, 0), "a NaN value is not black");
    } else if (v < 0) {
        fuzz::require(is(c, 39, 0, negativeRampBlue(v)), "a negative value leaves its ramp");
    } else if (n == 0) {
        fuzz::require(is(c, 0, 0, 0), "a full scale of 0 does not give black");
    } else if (v == kInf && n > 0) {
        fuzz::require(is(c, 255, INT_MAX, INT_MAX), "+infinity is not (255, INT_MAX, INT_MAX)");
    } else if (n == 255 && v <= 255 && v == std::trunc(v)) {
        fuzz::require(c.red >= 0 && c.red <= 255 && c.green >= 0 && c.green <= 255 && c.blue >= 0 &&
                          c.blue <= 255,
                      "a whole value of 0..255 on a full scale of 255 leaves 0..255");
    }
}

std::string colourBytes(double v)
{
    Rgb c = palette(v, 255);
    return {static_cast<char>(static_cast<unsigned char>(c.red)),
            static_cast<char>(static_cast<unsigned char>(c.green)),
            static_cast<char>(static_cast<unsigned char>(c.blue))};
}

std::string p6Header(int width, int height)
{
    return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
}

// The grey level image.h promises for element a against the full scale.
unsigned char greyLevel(double a, double scale)
{
    double const product = 255.0 * a;
    double q;
    if (scale != 0.0)
        q = product / scale;
    else if (product == 0.0 || std::isnan(product))
        q = kNaN;
    else
        q = std::signbit(product) == std::signbit(scale) ? kInf : -kInf;
    if (std::isnan(q) || q < 1.0)
        return 0;
    if (q >= 255.0)
        return 255;
    return static_cast<unsigned char>(std::trunc(q));
}

// The palette value ppm.h promises for element a, M being the largest element.
double matrixValue(double a, double M)
{
    if (!(a < 0) && !(a > 0))
        return a;  // zero or NaN
    double const full = a < 0 ? 150.0 : 255.0;
    double const scale = a < 0 ? std::fabs(M) : M;
    if (scale == 0.0)
        return a < 0 ? -kInf : kInf;
    if (std::isinf(full * a) && std::isfinite(a))
        return full * (a / scale);
    return full * a / scale;
}

void checkGreyImage(IMAGE const& im, mat_tpl<double> const& m, bool shaped, double scale)
{
    fuzz::require(im.width == (shaped ? m.cols : 0) && im.height == (shaped ? m.rows : 0),
                  "the grey image has another size than its matrix");
    if (!shaped || m.cols == 0)
        return;  // no element: nothing to visit, however many rows
    for (int i = 0; i < m.rows; ++i)
        for (int j = 0; j < m.cols; ++j)
            fuzz::require(*im.getpix(j, i) == greyLevel(m(i, j), scale),
                          "a grey level differs from the matrix element against the scale");
}

void checkGreyFile(std::string const& file, IMAGE const& im)
{
    std::string expected = p6Header(im.width, im.height);
    if (im.pix != nullptr)
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x)
                expected += colourBytes(*im.getpix(x, y));
    fuzz::require(file.size() == expected.size(), "writeIMAGE_2 wrote a file of another size");
    fuzz::require(file == expected, "writeIMAGE_2 wrote other bytes");
}

void checkMatrixFile(std::string const& file, mat_tpl<double> const& m, bool shaped)
{
    int const width = shaped ? m.cols : 0;
    int const height = shaped ? m.rows : 0;
    std::string expected = p6Header(width, height);
    if (width > 0 && height > 0) {
        double const M = m.max();
        for (int i = 0; i < height; ++i) {
            for (int j = 0; j < width; ++j) {
                double const a = m(i, j);
                std::string const c = colourBytes(matrixValue(a, M));
                std::string const black(3, '\0');
                std::string const darkest("\x27\0\0", 3);  // (39, 0, 0)
                std::string const zero("\x27\0\x9F", 3);   // (39, 0, 159)
                if (std::isnan(a) || (std::isnan(M) && a != 0) || (std::isinf(a) && M == kInf))
                    fuzz::require(c == black, "a documented black is not black");
                if (M == 0 && a < 0)
                    fuzz::require(c == darkest, "with M = 0 a negative element is not (39, 0, 0)");
                if (std::isfinite(M) && a == -kInf)
                    fuzz::require(c == darkest, "with a finite M, -infinity is not (39, 0, 0)");
                if (M == kInf && std::isfinite(a))
                    fuzz::require(c == zero, "with M = +infinity a finite element is not 0");
                expected += c;
            }
        }
    }
    fuzz::require(file.size() == expected.size(),
                  "matrice_to_ColorImage wrote a file of another size");
    fuzz::require(file == expected, "matrice_to_ColorImage wrote other bytes");
}

}  // namespace

// Layout: v, n; rows and cols (0..8 each); a flag byte whose bit 0 replaces
// rows and cols by two free integers afterwards; the grey scale; the elements.
extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    static fuzz::ScratchDir scratch;
    static std::string const greyPath = scratch.file("grey.ppm");
    static std::string const matrixPath = scratch.file("matrix.ppm");

    Bytes in(data, size);
    double const v = in.real();
    int const n = in.integer();
    checkPalette(v, n);

    int const rows = in.byte() % 9;
    int const cols = in.byte() % 9;
    bool const reshape = (in.byte() & 1) != 0;
    double const scale = in.real();
    mat_tpl<double> m(rows, cols);
    for (int k = 0; k < m.size; ++k)
        m.data[k] = in.real();
    if (reshape) {
        m.rows = in.integer();
        m.cols = in.integer();
    }
    for (int k = 0; k < m.size; ++k)
        checkPalette(m.data[k], n);
    bool const shaped = m.well_formed();

    IMAGE grey(m, scale);
    checkGreyImage(grey, m, shaped, scale);

    writeIMAGE_2(grey, greyPath.c_str());
    checkGreyFile(fuzz::readBytes(greyPath), grey);
    matrice_to_ColorImage(m, matrixPath.c_str());
    checkMatrixFile(fuzz::readBytes(matrixPath), m, shaped);

    std::remove(greyPath.c_str());
    std::remove(matrixPath.c_str());
    return 0;
}
