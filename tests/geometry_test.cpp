// Two-point registration: the bearing's quadrant rules and decimal constants, the
// segment measured in single precision, and the scale, rotation and anchor.
#include "app/geometry.h"
#include "tests/support.h"

namespace {

constexpr Point kA{597.0f, 578.0f};
constexpr Point kB{2779.0f, 1846.0f};
constexpr Point kA2{162.0f, 3070.0f};
constexpr Point kB2{2955.0f, 1468.0f};

TEST(Geometry, WorkedExample)
{
    Segment const base = measureSegment(kA, kB);
    Segment const further = measureSegment(kA2, kB2);
    EXPECT_NEAR(base.bearing, 1.044376, 1e-6);
    EXPECT_NEAR(base.distance, 2523.7, 0.05);
    EXPECT_NEAR(further.bearing, 2.091560, 1e-6);
    EXPECT_NEAR(further.distance, 3219.8, 0.05);
    Transform const t =
        registerIMAGE(base.bearing, base.distance, kA2, further.bearing, further.distance);
    EXPECT_EQ(t.anchorX * 10000 + t.anchorY, 162 * 10000 + 3070);
    EXPECT_NEAR(t.scale, 0.7837941, 1e-7);
    EXPECT_NEAR(t.rotation, 1.0471842, 1e-7);
}

// From +y toward +x; a zero dy counts as 0.01; the half and full turns are the
// decimal constants 3.141592654 and 6.283185308, not pi (values worked out apart).
TEST(Geometry, BearingQuadrantsAndConstants)
{
    // clang-format off
    struct { double dx, dy, bearing; } const cases[] = {
        {3, 4, 0.6435011087932844},   {0, 4, 0},
        {3, -4, 2.498091545206716},   {0, -3, 3.141592654},
        {-3, -4, 3.7850937627932844}, {-3, 4, 5.639684199206716},
        {5, 0, 1.5687963294615568},   {4, -0.0, 1.5682963320032104},
        {-5, 0, 4.714388978538444},   {0, 0, 0},
    };
    // clang-format on
    for (auto const& c : cases)
        EXPECT_NEAR(bearingOf(c.dx, c.dy), c.bearing, 1e-13) << "dx " << c.dx << " dy " << c.dy;
}

TEST(Geometry, SegmentGoesFromFirstToSecondInSinglePrecision)
{
    Segment const up = measureSegment({2, 4}, {2, 1});
    EXPECT_NEAR(up.bearing, 3.141592654, 1e-13);
    EXPECT_EQ(up.distance, 3.0);
    EXPECT_EQ(measureSegment({1, 7}, {6, 7}).distance, 5.0);  // the true length, not 0.01's
    // 16777216 - 0.25 rounds to 16777216 in float (16777215.75 in double).
    EXPECT_EQ(measureSegment({0.25f, 0.0f}, {16777216.0f, 0.0f}).distance, 16777216.0);
}

TEST(Geometry, RegistrationIsRawQuotientDifferenceAndTruncatedAnchor)
{
    Transform const t = registerIMAGE(5.5, 10.0, {10.9f, -2.7f}, 0.25, 4.0);
    EXPECT_EQ(t.scale, 2.5);
    EXPECT_EQ(t.rotation, -5.25);  // not reduced to one turn
    EXPECT_EQ(t.anchorX, 10.0);
    EXPECT_EQ(t.anchorY, -2.0);
    Transform const far = registerIMAGE(0, 1, {3e9f, -3e9f}, 0, 1);
    EXPECT_EQ(far.anchorX, 2147483647.0);
    EXPECT_EQ(far.anchorY, -2147483648.0);
}

}  // namespace
