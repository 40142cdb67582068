// HSL_to_RGB: colours band by band on a full scale of 255, both sides of every band
// edge, other and negative full scales, the negative ramp and the documented
// colours of inputs without one of their own.
#include "colour/palette.h"
#include "tests/support.h"

namespace {

TEST(Palette, GivesTheExpectedColours)
{
    // clang-format off
    struct { double v; int n, red, green, blue; } const cases[] = {
        // Band by band (the bands meet without a step), and beyond the full scale.
        {0, 255, 39, 0, 159}, {183, 255, 182, 228, 0}, {255, 255, 255, 0, 0},
        {510, 255, 255, 95, 95}, {1000, 255, 255, 279, 279},
        // Both sides of each band edge, and the lightness reaching white.
        {14, 255, 2, 0, 164}, {16, 255, 0, 2, 165}, {74, 255, 0, 184, 187},
        {76, 255, 0, 187, 184}, {134, 255, 0, 209, 3}, {136, 255, 3, 210, 0},
        {194, 255, 228, 232, 0}, {196, 255, 232, 228, 0}, {254, 255, 254, 4, 0},
        {256, 255, 255, 0, 0}, {934, 255, 255, 254, 254}, {935, 255, 255, 255, 255},
        // Other full scales; a negative one wraps the hue once only.
        {1, 1, 255, 0, 0}, {1, 2, 0, 207, 25}, {1, -1, 0, 63, 31}, {0.5, -1, 111, 41, 0},
        {15, -255, 76, 0, 153}, {105, -255, 120, 0, 0}, {106, -255, 119, 1, 0}, {2, -1, 0, 0, 0},
        // The negative ramp ignores n, truncates toward zero, is not clamped.
        {-10, 0, 39, 0, 129}, {-53.2, 255, 39, 0, 0}, {-53.5, 255, 39, 0, -1},
        {-150, 255, 39, 0, -291}, {-715827935, 255, 39, 0, -2147483646},
        // No colour of their own.
        {5, 0, 0, 0, 0}, {kNaN, 255, 0, 0, 0}, {kInf, 255, 255, INT_MAX, INT_MAX},
        {1e308, 1, 255, INT_MAX, INT_MAX}, {kInf, -1, 0, 0, 0}, {-kInf, 255, 39, 0, INT_MIN},
        {-715827936, 255, 39, 0, INT_MIN}};
    // clang-format on
    for (auto const& c : cases) {
        int rgb[3] = {-7, -7, -7};
        HSL_to_RGB(c.v, c.n, rgb[0], rgb[1], rgb[2]);
        EXPECT_EQ(std::vector<int>(rgb, rgb + 3), (std::vector<int>{c.red, c.green, c.blue}))
            << "v " << c.v << ", n " << c.n;
    }
}

}  // namespace
