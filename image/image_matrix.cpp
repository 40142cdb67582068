#include "image/image.h"
#include "image/matrix.h"

#include <cmath>
#include <cstddef>

// Grey image of m against a full scale: pixel (j, i) = q = (255 * m(i, j)) / scale
// truncated toward zero, then clamped to 0..255. A NaN q gives 0, a q beyond the int
// range gives 255 above and 0 below; q is tested before any conversion to int. A zero
// scale is handled without dividing, as IEEE division would: a positive quotient is
// +infinity (255), anything else -infinity or NaN (0).
// A matrix whose rows x cols do not fit its storage gives the empty image.
IMAGE::IMAGE(mat_tpl<double>& m, double scale) : pix(nullptr), width(0), height(0)
{
    if (!m.well_formed())
        return;
    std::size_t n = static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols);
    if (n > 0)
        pix = new unsigned char[n]();
    width = m.cols;
    height = m.rows;
    if (n == 0)
        return;  // rows without columns (or the reverse): no pixel to visit

    for (int i = 0; i < m.rows; ++i) {
        for (int j = 0; j < m.cols; ++j) {
            double const product = 255.0 * m(i, j);
            unsigned char level = 0;
            if (scale == 0.0) {
                bool const positive = std::signbit(scale) ? product < 0.0 : product > 0.0;
                level = positive ? 255 : 0;
            } else {
                double const q = product / scale;
                if (q >= 255.0)
                    level = 255;
                else if (q >= 1.0)  // NaN fails both tests and stays 0
                    level = static_cast<unsigned char>(static_cast<int>(q));
            }
            *getpix(j, i) = level;
        }
    }
}
