// Two-point registration: segment measure, bearing rules, registration and the
// nearest-neighbour resampling of a further image into the base frame.
#include "app/debugmode.h"
#include "app/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

namespace {

// Position-dependent grey values: neighbours differ by 7 or 13, so a lookup one
// pixel off shows, and the first pixel (5) differs from a canvas left at 0.
unsigned char patternAt(int x, int y)
{
    return static_cast<unsigned char>((x * 7 + y * 13 + 5) % 251);
}

std::unique_ptr<IMAGE> patterned(int w, int h)
{
    auto im = std::make_unique<IMAGE>(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            *im->getpix(x, y) = patternAt(x, y);
    return im;
}

// The worked example's control points.
constexpr Point kA{597.0f, 578.0f};
constexpr Point kB{2779.0f, 1846.0f};
constexpr Point kA2{162.0f, 3070.0f};
constexpr Point kB2{2955.0f, 1468.0f};

// Registration of a further image on the base image from the four points.
Transform registerPoints(Point a, Point b, Point a2, Point b2)
{
    Segment base = measureSegment(a, b);
    Segment further = measureSegment(a2, b2);
    return registerIMAGE(base.bearing, base.distance, a2, further.bearing, further.distance);
}

std::unique_ptr<IMAGE> rectify(IMAGE const& further, Point a, Point b, Point a2, Point b2, int w, int h)
{
    return resampleIMAGE(further, a.x, a.y, w, h, registerPoints(a, b, a2, b2));
}

// Every output pixel must hold the same value.
void expectUniform(IMAGE const& out, unsigned char value)
{
    for (int k = 0; k < out.height; ++k)
        for (int l = 0; l < out.width; ++l)
            ASSERT_EQ(*out.getpix(l, k), value) << "output " << l << "," << k;
}

// ---------------------------------------------------------------- segment measure

TEST(MeasureSegment, WorkedExample)
{
    Segment base = measureSegment(kA, kB);
    EXPECT_NEAR(base.bearing, 1.044376, 1e-6);
    EXPECT_NEAR(base.distance, 2523.7, 0.05);

    Segment further = measureSegment(kA2, kB2);
    EXPECT_NEAR(further.bearing, 2.091560, 1e-6);
    EXPECT_NEAR(further.distance, 3219.8, 0.05);
}

TEST(MeasureSegment, GoesFromTheFirstPointToTheSecond)
{
    Segment down = measureSegment({2, 1}, {2, 4});
    EXPECT_EQ(down.bearing, 0.0);
    EXPECT_EQ(down.distance, 3.0);
    Segment up = measureSegment({2, 4}, {2, 1});
    EXPECT_EQ(up.bearing, 3.141592654);
    Segment right = measureSegment({1, 7}, {6, 7});  // dy = 0 counts as 0.01
    EXPECT_EQ(right.bearing, std::atan(5 / 0.01));
    EXPECT_EQ(right.distance, 5.0);  // the true length, not the 0.01 one
}

// The differences are taken in single precision and widened afterwards:
// 16777216 - 0.25 is 16777215.75 in double but rounds to 16777216 in float,
// where the spacing of values just below 2^24 is one whole unit.
TEST(MeasureSegment, SubtractsInSinglePrecision)
{
    Segment flat = measureSegment({0.25f, 0.0f}, {16777216.0f, 0.0f});
    EXPECT_EQ(flat.distance, 16777216.0);  // double subtraction would give 16777215.75

    // dx and dy both become 16777216 in float, so the bearing is exactly atan(1).
    Segment diagonal = measureSegment({0.25f, 0.0f}, {16777216.0f, 16777216.0f});
    EXPECT_EQ(diagonal.bearing, std::atan(1.0));
    EXPECT_EQ(diagonal.distance, std::sqrt(562949953421312.0));  // sqrt(2 * 2^48)
}

// ---------------------------------------------------------------- bearing rules

struct BearingCase {
    double dx;
    double dy;
    double expected;
};

// One-argument arctangent of |dx| / |dy|, the four quadrant rules, the 0.01
// replacement of a zero dy, and the decimal constants rather than the library's pi.
TEST(BearingOf, QuadrantRulesAndDecimalConstants)
{
    BearingCase const cases[] = {
        {3, 4, std::atan(3.0 / 4.0)},                       // rule 1
        {0, 4, 0.0},                                        // straight down
        {-0.0, 4, 0.0},
        {5, 0, std::atan(5 / 0.01)},                        // rule 1 with dy = 0.01
        {4, -0.0, std::atan(4 / 0.01)},                     // negative zero is zero
        {3, -4, 3.141592654 - std::atan(3.0 / 4.0)},        // rule 2
        {0, -3, 0 + 3.141592654},                           // rule 3, straight up
        {-3, -4, std::atan(3.0 / 4.0) + 3.141592654},       // rule 3
        {-3, 4, 6.283185308 - std::atan(3.0 / 4.0)},        // rule 4
        {-5, 0, 6.283185308 - std::atan(5 / 0.01)},         // rule 4 with dy = 0.01
        {0, 0, 0.0},
    };
    for (BearingCase const& c : cases)
        EXPECT_EQ(bearingOf(c.dx, c.dy), c.expected) << "dx " << c.dx << " dy " << c.dy;

    EXPECT_EQ(bearingOf(0, -1), 3.141592654);
    EXPECT_NE(bearingOf(0, -1), 3.141592653589793);
    EXPECT_EQ(bearingOf(-1, 1), 6.283185308 - std::atan(1.0));
    EXPECT_NE(bearingOf(-1, 1), 6.283185307179586 - std::atan(1.0));
}

// ---------------------------------------------------------------- registration

TEST(RegisterIMAGE, WorkedExample)
{
    Transform t = registerPoints(kA, kB, kA2, kB2);
    EXPECT_EQ(t.anchorX, 162.0);
    EXPECT_EQ(t.anchorY, 3070.0);
    EXPECT_NEAR(t.scale, 0.7837941, 1e-7);
    EXPECT_NEAR(t.rotation, 1.0471842, 1e-7);
}

TEST(RegisterIMAGE, ScaleAndRotationAreTheRawQuotientAndDifference)
{
    // Not reduced to one turn: 0.25 - 5.5 stays -5.25.
    Transform t = registerIMAGE(5.5, 10.0, {1.0f, 2.0f}, 0.25, 4.0);
    EXPECT_EQ(t.scale, 2.5);
    EXPECT_EQ(t.rotation, -5.25);
}

TEST(RegisterIMAGE, AnchorTruncatesTowardZero)
{
    struct { Point a2; double x, y; } const cases[] = {
        {{162.9f, 3070.9f}, 162, 3070},
        {{10.9f, -2.7f}, 10, -2},
        {{-0.5f, 0.99f}, 0, 0},
    };
    for (auto const& c : cases) {
        Transform t = registerIMAGE(0, 1, c.a2, 0, 1);
        EXPECT_EQ(t.anchorX, c.x) << c.a2.x;
        EXPECT_EQ(t.anchorY, c.y) << c.a2.y;
    }
}

TEST(RegisterIMAGE, DebugLinesOnlyUnderTheSwitch)
{
    Segment base = measureSegment(kA, kB);
    Segment further = measureSegment(kA2, kB2);

    std::fflush(stdout);
    testing::internal::CaptureStdout();
    registerIMAGE(base.bearing, base.distance, kA2, further.bearing, further.distance);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    bool const saved = debugmode;
    debugmode = true;
    testing::internal::CaptureStdout();
    registerIMAGE(base.bearing, base.distance, kA2, further.bearing, further.distance);
    std::fflush(stdout);
    std::string const printed = testing::internal::GetCapturedStdout();
    debugmode = saved;
    EXPECT_EQ(printed,
              "\n- - - - - - - - - - - - - - - - - - - - - -"
              "\n- - - - - - - - - - - - - - - - - - - - - -"
              "\n\tAngle 60.0 \xB0"
              "\n\techelle 0.8 ");
}

// ---------------------------------------------------------------- source positions

TEST(SourceOf, WorkedPixels)
{
    Transform t = registerPoints(kA, kB, kA2, kB2);
    struct { int l, k, x, y; } const cases[] = {
        {597, 578, 162, 3070},    // base A lands on the anchor
        {2779, 1846, 2955, 1468}, // base B lands on B'
        {1000, 578, 419, 2625},   // the row of A: dy = 0.01, true radius
        {0, 0, -857, 3361},       // found, but outside the further image
    };
    for (auto const& c : cases) {
        SourcePixel s = sourceOf(c.l, c.k, 597.0, 578.0, t);
        EXPECT_TRUE(s.found) << c.l << "," << c.k;
        EXPECT_EQ(s.x, c.x) << c.l << "," << c.k;
        EXPECT_EQ(s.y, c.y) << c.l << "," << c.k;
    }
}

// ---------------------------------------------------------------- resampling

// Further points equal to the base points, whole: scale 1 and rotation 0, so
// each output pixel takes the further pixel at the same place, or the first
// pixel where the output reaches beyond the further image.
TEST(ResampleIMAGE, IdentityForEveryOutputSize)
{
    auto further = patterned(6, 5);
    Point const a{1, 1}, b{4, 3};
    Transform t = registerPoints(a, b, a, b);
    EXPECT_EQ(t.scale, 1.0);
    EXPECT_EQ(t.rotation, 0.0);

    struct { int w, h; } const sizes[] = {{6, 5}, {9, 7}, {4, 3}, {1, 8}};
    for (auto const& s : sizes) {
        SCOPED_TRACE(testing::Message() << "output " << s.w << " x " << s.h);
        auto out = resampleIMAGE(*further, a.x, a.y, s.w, s.h, t);
        ASSERT_EQ(out->width, s.w);
        ASSERT_EQ(out->height, s.h);
        for (int k = 0; k < s.h; ++k)
            for (int l = 0; l < s.w; ++l) {
                unsigned char want = (l < 6 && k < 5) ? patternAt(l, k) : patternAt(0, 0);
                EXPECT_EQ(*out->getpix(l, k), want) << l << "," << k;
            }
    }
}

// A further segment twice as long: scale 0.5, the further image shown reduced.
// Base A (1, 1), anchor (2, 1): output (l, k) takes source (2l, 2k - 1).
TEST(ResampleIMAGE, LongerFurtherSegmentReduces)
{
    auto further = patterned(12, 10);
    Transform t = registerPoints({1, 1}, {1, 3}, {2, 1}, {2, 5});
    EXPECT_EQ(t.scale, 0.5);
    auto out = resampleIMAGE(*further, 1, 1, 6, 5, t);
    for (int k = 0; k < 5; ++k)
        for (int l = 0; l < 6; ++l) {
            int x = 2 * l, y = 2 * k - 1;
            unsigned char want = y >= 0 ? patternAt(x, y) : patternAt(0, 0);
            EXPECT_EQ(*out->getpix(l, k), want) << l << "," << k;
        }
}

// A further segment half as long: scale 2, the further image enlarged. Output
// (l, k) looks at (2 + (l - 1) / 2, 1 + (k - 1) / 2); only odd l and k fall on
// whole source positions (the others sit on a half pixel).
TEST(ResampleIMAGE, ShorterFurtherSegmentEnlarges)
{
    auto further = patterned(6, 5);
    Transform t = registerPoints({1, 1}, {1, 3}, {2, 1}, {2, 2});
    EXPECT_EQ(t.scale, 2.0);
    auto out = resampleIMAGE(*further, 1, 1, 9, 7, t);
    for (int k = 1; k < 7; k += 2)
        for (int l = 1; l < 9; l += 2)
            EXPECT_EQ(*out->getpix(l, k), patternAt(2 + (l - 1) / 2, 1 + (k - 1) / 2)) << l << "," << k;
}

// Only the whole parts of A' place the anchor: (3.9, 2.9) looks up from (3, 2).
TEST(ResampleIMAGE, FractionalAnchorIsTruncated)
{
    auto further = patterned(6, 5);
    Transform t = registerPoints({2, 1}, {2, 4}, {3.9f, 2.9f}, {3.9f, 5.9f});
    EXPECT_EQ(t.anchorX, 3.0);
    EXPECT_EQ(t.anchorY, 2.0);
    auto out = resampleIMAGE(*further, 2, 1, 4, 3, t);
    for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 4; ++l)
            EXPECT_EQ(*out->getpix(l, k), patternAt(l + 1, k + 1)) << l << "," << k;
}

// Source positions round half upward, floor(0.5 + v), not away from zero: a
// vertical base segment at twice the further length puts output rows on
// half-pixel source rows (-1.5, -0.5, 0.5, 1.5) in column 2.
TEST(ResampleIMAGE, HalvesRoundUpward)
{
    Transform t = registerPoints({0, 3}, {0, 5}, {2, 0}, {2, 1});
    EXPECT_EQ(t.scale, 2.0);
    struct { int k, y; } const rows[] = {{0, -1}, {2, 0}, {4, 1}, {6, 2}};
    for (auto const& r : rows) {
        SourcePixel s = sourceOf(0, r.k, 0, 3, t);
        EXPECT_TRUE(s.found) << "row " << r.k;
        EXPECT_EQ(s.x, 2) << "row " << r.k;
        EXPECT_EQ(s.y, r.y) << "row " << r.k;
    }
    auto further = patterned(6, 5);
    auto out = resampleIMAGE(*further, 0, 3, 1, 7, t);
    EXPECT_EQ(*out->getpix(0, 0), patternAt(0, 0));  // row -1: outside
    EXPECT_EQ(*out->getpix(0, 2), patternAt(2, 0));  // -0.5 gives row 0, not -1
    EXPECT_EQ(*out->getpix(0, 4), patternAt(2, 1));
    EXPECT_EQ(*out->getpix(0, 6), patternAt(2, 2));
}

// A' = B': infinite scale, radius 0 everywhere, so every pixel is the pixel at
// the anchor, or the first pixel when the anchor lies outside.
TEST(ResampleIMAGE, CoincidentFurtherPointsGiveTheAnchorPixel)
{
    auto further = patterned(6, 5);
    auto inside = rectify(*further, {1, 1}, {4, 3}, {4, 3}, {4, 3}, 7, 4);
    expectUniform(*inside, patternAt(4, 3));
    auto outside = rectify(*further, {1, 1}, {4, 3}, {10, 3}, {10, 3}, 7, 4);
    expectUniform(*outside, patternAt(0, 0));
    auto negative = rectify(*further, {1, 1}, {4, 3}, {-1, 2}, {-1, 2}, 7, 4);
    expectUniform(*negative, patternAt(0, 0));
}

// A = B: scale 0 (or NaN when A' = B' too), radius infinite or NaN, so every
// pixel is the further image's first pixel.
TEST(ResampleIMAGE, CoincidentBasePointsGiveTheFirstPixel)
{
    auto further = patterned(6, 5);
    auto out = rectify(*further, {2, 2}, {2, 2}, {1, 1}, {4, 3}, 7, 4);
    expectUniform(*out, patternAt(0, 0));
    auto both = rectify(*further, {2, 2}, {2, 2}, {3, 3}, {3, 3}, 7, 4);
    expectUniform(*both, patternAt(0, 0));
}

// Non-finite points, a float overflow as typed ("1e39") and an A' beyond the
// int range: no crash, no undefined conversion; every lookup falls outside and
// takes the first pixel. An infinite base segment is the one exception: its
// scale is infinite, the radius 0, so every pixel is the anchor's.
TEST(ResampleIMAGE, ExtremePointsGiveADefinedResult)
{
    float const nan = std::numeric_limits<float>::quiet_NaN();
    float const inf = std::numeric_limits<float>::infinity();
    float const typed1e39 = std::strtof("1e39", nullptr);
    unsigned char const first = patternAt(0, 0);
    struct { const char* what; Point a, b, a2, b2; unsigned char want; } const cases[] = {
        {"A' NaN", {1, 1}, {4, 3}, {nan, nan}, {4, 3}, first},
        {"B' NaN", {1, 1}, {4, 3}, {1, 1}, {nan, 0}, first},
        {"A' infinite", {1, 1}, {4, 3}, {inf, 0}, {4, 3}, first},
        {"A' -infinite", {1, 1}, {4, 3}, {-inf, -inf}, {4, 3}, first},
        {"A' 1e39", {1, 1}, {4, 3}, {typed1e39, 2}, {4, 3}, first},
        {"base A NaN", {nan, nan}, {4, 3}, {1, 1}, {4, 3}, first},
        {"base B infinite", {1, 1}, {inf, 3}, {1, 1}, {4, 3}, patternAt(1, 1)},
        // Scale 1 and rotation 0, but the anchor lies beyond the int range.
        {"A' 3e9", {0, 0}, {0, 256}, {3e9f, 3e9f}, {3e9f, 3e9f + 256}, first},
        {"A' -3e9", {0, 0}, {0, 256}, {-3e9f, 1}, {-3e9f, 257}, first},
    };
    auto further = patterned(6, 5);
    for (auto const& c : cases) {
        SCOPED_TRACE(c.what);
        auto out = rectify(*further, c.a, c.b, c.a2, c.b2, 5, 4);
        ASSERT_EQ(out->width, 5);
        ASSERT_EQ(out->height, 4);
        expectUniform(*out, c.want);
    }
}

// No first pixel to fall back on: every output pixel is 0 and nothing is read.
TEST(ResampleIMAGE, FurtherImageWithoutPixelsGivesZeros)
{
    struct { int w, h; } const sizes[] = {{0, 0}, {0, 5}, {5, 0}, {-1, -1}};
    for (auto const& s : sizes) {
        SCOPED_TRACE(testing::Message() << "further " << s.w << " x " << s.h);
        IMAGE empty(s.w, s.h);
        auto out = rectify(empty, {1, 1}, {4, 3}, {1, 1}, {4, 3}, 5, 4);
        ASSERT_EQ(out->width, 5);
        ASSERT_EQ(out->height, 4);
        expectUniform(*out, 0);
    }
}

// The worked example end to end on a further image of 3000 x 3100 and an
// output of the base size 2780 x 1847.
TEST(ResampleIMAGE, WorkedExampleOnALargeImage)
{
    auto further = patterned(3000, 3100);
    auto out = rectify(*further, kA, kB, kA2, kB2, 2780, 1847);
    ASSERT_EQ(out->width, 2780);
    ASSERT_EQ(out->height, 1847);
    EXPECT_EQ(*out->getpix(597, 578), patternAt(162, 3070));
    EXPECT_EQ(*out->getpix(2779, 1846), patternAt(2955, 1468));
    EXPECT_EQ(*out->getpix(1000, 578), patternAt(419, 2625));
    EXPECT_EQ(*out->getpix(0, 0), patternAt(0, 0));  // source (-857, 3361) is outside

    // Every pixel on a sparse grid, and the whole row of A, is the further pixel
    // at its own source position (the first pixel when that lies outside).
    Transform t = registerPoints(kA, kB, kA2, kB2);
    auto check = [&](int l, int k) {
        SourcePixel s = sourceOf(l, k, 597.0, 578.0, t);
        bool inside = s.found && s.x >= 0 && s.x < 3000 && s.y >= 0 && s.y < 3100;
        return *out->getpix(l, k) == (inside ? patternAt(s.x, s.y) : patternAt(0, 0));
    };
    int wrong = 0;
    for (int k = 0; k < 1847; k += 29)
        for (int l = 0; l < 2780; l += 31)
            wrong += check(l, k) ? 0 : 1;
    for (int l = 0; l < 2780; ++l)
        wrong += check(l, 578) ? 0 : 1;
    EXPECT_EQ(wrong, 0);
}

}  // namespace
