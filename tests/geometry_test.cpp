// Two-point registration: the bearing's quadrant rules and decimal constants, the
// segment measured in single precision, and the scale, rotation and anchor. The
// worked example's figures and pixels are checked end to end by the run's tests.
#include "app/geometry.h"
#include "tests/support.h"

namespace {

// The bearing goes from +y toward +x; a zero dy counts as 0.01; the half and full turns
// are the decimal constants 3.141592654 and 6.283185308, not pi (values worked out apart).
// The segment is measured in single precision; the registration gives anchor x, anchor y,
// scale and rotation, the rotation not reduced to one turn.
TEST(Geometry, BearingSegmentAndRegistration)
{
    // clang-format off
    struct { double dx, dy, bearing; } const cases[] = {
        {0, 4, 0},                    {3, -4, 2.498091545206716},
        {-3, -4, 3.7850937627932844}, {-3, 4, 5.639684199206716},
        {5, 0, 1.5687963294615568},   {4, -0.0, 1.5682963320032104},
    };
    // clang-format on
    for (auto const& c : cases)
        EXPECT_NEAR(bearingOf(c.dx, c.dy), c.bearing, 1e-13) << "dx " << c.dx << " dy " << c.dy;
    EXPECT_EQ(measureSegment({1, 7}, {6, 7}).distance, 5.0);  // the true length, not 0.01's
    // 16777216 - 0.25 rounds to 16777216 in float (16777215.75 in double).
    EXPECT_EQ(measureSegment({0.25f, 0.0f}, {16777216.0f, 0.0f}).distance, 16777216.0);
    auto const fields = [](Transform t) {
        return std::vector<double>{t.anchorX, t.anchorY, t.scale, t.rotation};
    };
    EXPECT_EQ(fields(registerIMAGE(5.5, 10.0, {10.9f, -2.7f}, 0.25, 4.0)),
              (std::vector<double>{10, -2, 2.5, -5.25}));
    EXPECT_EQ(fields(registerIMAGE(0, 1, {3e9f, -3e9f}, 0, 1)),
              (std::vector<double>{2147483647.0, -2147483648.0, 1, 0}));
}

}  // namespace
