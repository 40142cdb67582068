#include "colour/palette.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <ostream>

namespace {

struct Case {
    double v;
    int n;
    int red, green, blue;
};

std::ostream& operator<<(std::ostream& os, Case const& c)
{
    return os << "v=" << c.v << " n=" << c.n << " -> (" << c.red << ", " << c.green << ", "
              << c.blue << ")";
}

class PaletteCase : public ::testing::TestWithParam<Case> {};

TEST_P(PaletteCase, GivesTheExpectedColour)
{
    Case const c = GetParam();
    int red = -7, green = -7, blue = -7;
    HSL_to_RGB(c.v, c.n, red, green, blue);
    EXPECT_EQ(red, c.red);
    EXPECT_EQ(green, c.green);
    EXPECT_EQ(blue, c.blue);
}

double const inf = std::numeric_limits<double>::infinity();
double const nan = std::numeric_limits<double>::quiet_NaN();

// The worked table on a full scale of 255.
INSTANTIATE_TEST_SUITE_P(WorkedTable, PaletteCase,
                         ::testing::Values(Case{0, 255, 39, 0, 159},   // H = 170, L = 80
                                           Case{15, 255, 0, 0, 165},   // H = 160, band edge
                                           Case{64, 255, 0, 149, 183}, //
                                           Case{75, 255, 0, 187, 187}, // H = 120
                                           Case{128, 255, 0, 207, 24}, //
                                           Case{135, 255, 0, 210, 0},  // H = 80
                                           Case{183, 255, 182, 228, 0}, // float rounding: 228
                                           Case{195, 255, 232, 232, 0}, // H = 40
                                           Case{255, 255, 255, 0, 0},   // H = 0, L = 128
                                           Case{510, 255, 255, 95, 95}, // L = 176
                                           Case{1000, 255, 255, 279, 279}, // no clamp
                                           Case{-10, 255, 39, 0, 129},
                                           Case{-53, 255, 39, 0, 0},
                                           Case{-60, 255, 39, 0, -21}));

// Both sides of each band edge of the full scale 255, and its two ends.
INSTANTIATE_TEST_SUITE_P(BandEdges, PaletteCase,
                         ::testing::Values(Case{14, 255, 2, 0, 164}, Case{16, 255, 0, 2, 165},
                                           Case{74, 255, 0, 184, 187}, Case{76, 255, 0, 187, 184},
                                           Case{134, 255, 0, 209, 3}, Case{136, 255, 3, 210, 0},
                                           Case{194, 255, 228, 232, 0}, Case{196, 255, 232, 228, 0},
                                           Case{254, 255, 254, 4, 0}, Case{256, 255, 255, 0, 0},
                                           Case{934, 255, 255, 254, 254},
                                           Case{935, 255, 255, 255, 255}, // L = 256: white
                                           Case{936, 255, 255, 255, 255}));

// Other full scales: the value is measured against n.
INSTANTIATE_TEST_SUITE_P(FullScale, PaletteCase,
                         ::testing::Values(Case{1, 1, 255, 0, 0}, Case{1, 2, 0, 207, 25},
                                           Case{50, 100, 0, 207, 25}, Case{0, 7, 39, 0, 159},
                                           Case{0, -7, 39, 0, 159}));

// A negative full scale pushes the hue past 240; it wraps once only.
INSTANTIATE_TEST_SUITE_P(NegativeFullScale, PaletteCase,
                         ::testing::Values(Case{1, -1, 0, 63, 31},    // H = 340 -> 100, L = 32
                                           Case{0.5, -1, 111, 41, 0}, //
                                           Case{15, -255, 76, 0, 153}, // H = 180
                                           Case{45, -255, 142, 0, 142}, // H = 200
                                           Case{75, -255, 131, 0, 65},  // H = 220
                                           Case{105, -255, 120, 0, 0},  // H = 240, no wrap
                                           Case{106, -255, 119, 1, 0},  // wrapped to 0.67
                                           Case{2, -1, 0, 0, 0},        // 510 -> 270: black
                                           Case{3, -1, 0, 0, 0}));

// Negative values ignore n and are not clamped; truncation is toward zero.
INSTANTIATE_TEST_SUITE_P(NegativeRamp, PaletteCase,
                         ::testing::Values(Case{-10, 1, 39, 0, 129}, Case{-10, -7, 39, 0, 129},
                                           Case{-10, 0, 39, 0, 129}, Case{-1, 255, 39, 0, 156},
                                           Case{-53.2, 255, 39, 0, 0}, // -0.6 -> 0
                                           Case{-53.5, 255, 39, 0, -1},
                                           Case{-150, 255, 39, 0, -291},
                                           Case{-715827935, 255, 39, 0, -2147483646}));

// Inputs without a colour of their own: the documented choices.
INSTANTIATE_TEST_SUITE_P(OpenCases, PaletteCase,
                         ::testing::Values(Case{0, 0, 0, 0, 0}, Case{5, 0, 0, 0, 0},
                                           Case{nan, 255, 0, 0, 0}, Case{nan, 0, 0, 0, 0},
                                           Case{-nan, -1, 0, 0, 0},
                                           Case{inf, 255, 255, INT_MAX, INT_MAX},
                                           Case{1e12, 255, 255, INT_MAX, INT_MAX},
                                           Case{1e308, 1, 255, INT_MAX, INT_MAX}, // L = inf
                                           Case{inf, -1, 0, 0, 0},
                                           Case{-inf, 255, 39, 0, INT_MIN},
                                           Case{-1e300, 255, 39, 0, INT_MIN},
                                           Case{-715827936, 255, 39, 0, INT_MIN}));

TEST(Palette, NegativeZeroIsNotNegative)
{
    int red = -7, green = -7, blue = -7;
    HSL_to_RGB(-0.0, 255, red, green, blue);
    EXPECT_EQ(red, 39);
    EXPECT_EQ(green, 0);
    EXPECT_EQ(blue, 159);
}

TEST(Palette, EveryGreyLevelStaysWithinAByte)
{
    for (int level = 0; level <= 255; ++level) {
        int channels[3] = {-1, -1, -1};
        HSL_to_RGB(level, 255, channels[0], channels[1], channels[2]);
        for (int c : channels) {
            EXPECT_GE(c, 0) << "level " << level;
            EXPECT_LE(c, 255) << "level " << level;
        }
    }
}

}  // namespace
