#include "colour/palette.h"

#include <climits>
#include <cmath>
#include <limits>

// The channels are single precision on purpose: rounding them to float after each stage
// decides results (v = 183, n = 255 gives green 228, where double would give 227).
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "the palette's results are defined on IEEE arithmetic");

namespace {

// Truncation toward zero, with the range tested before the conversion.
int truncated(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= 2147483648.0)
        return INT_MAX;
    if (x <= -2147483649.0)
        return INT_MIN;
    return static_cast<int>(x);
}

// Hue on a wheel of 240: six bands of 40, each open below and closed above (the first
// also takes 0). Past 240 the channels stay black.
void hueToChannels(double H, float& R, float& G, float& B)
{
    if (H <= 40.0) {
        R = 255.0f;
        G = static_cast<float>(255.0 * H / 40.0);
    } else if (H <= 80.0) {
        R = static_cast<float>(-255.0 * H / 40.0 + 510.0);
        G = 255.0f;
    } else if (H <= 120.0) {
        G = 255.0f;
        B = static_cast<float>(255.0 * H / 40.0 - 510.0);
    } else if (H <= 160.0) {
        G = static_cast<float>(-255.0 * H / 40.0 + 1020.0);
        B = 255.0f;
    } else if (H <= 200.0) {
        R = static_cast<float>(255.0 * H / 40.0 - 1020.0);
        B = 255.0f;
    } else if (H <= 240.0) {
        R = 255.0f;
        B = static_cast<float>(-255.0 * H / 40.0 + 1530.0);
    }
}

// Blends towards the grey 159 as S falls below 255; at S = 255 X comes back unchanged.
float saturated(float X, double S)
{
    float offset = X - 159.0f;  // a single-precision difference, widened afterwards
    return static_cast<float>(offset * S / 255.0 + 159.0);
}

// L above 128 blends towards white (reached at 256); L up to 128 darkens towards black.
float lit(float X, double L)
{
    if (L > 128.0) {
        float gap = 255.0f - X;  // single precision, widened afterwards
        if (gap == 0.0f)
            return X;  // already white: adding 0 changes nothing, and 0 * infinity is not
        return static_cast<float>(X + gap * (L - 128.0) / 128.0);
    }
    return static_cast<float>(X * L / 128.0);
}

}  // namespace

void HSL_to_RGB(double v, int n, int& red, int& green, int& blue)
{
    // Negative values have a ramp of their own that ignores the full scale.
    if (v < 0) {
        red = 39;
        green = 0;
        blue = truncated(3.0 * v + 159.0);
        return;
    }
    if (std::isnan(v) || n == 0) {
        red = green = blue = 0;
        return;
    }

    double const scale = n;
    double s = 255.0 * v / scale;
    if (s > 255.0)
        s = 255.0;
    double H = (255.0 - s) / 1.5;
    double const S = 255.0;
    double const L = 48.0 * v / scale + 80.0;
    if (H > 240.0)
        H = H - 240.0;  // once: only a negative full scale gets here

    float R = 0.0f;
    float G = 0.0f;
    float B = 0.0f;
    hueToChannels(H, R, G, B);
    R = lit(saturated(R, S), L);
    G = lit(saturated(G, S), L);
    B = lit(saturated(B, S), L);

    red = truncated(R);
    green = truncated(G);
    blue = truncated(B);
}
