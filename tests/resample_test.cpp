// The fast resampling against the literal per-pixel loop: identical bytes on hard
// transforms and on seeded random ones, with every compiled row-loop variant.
// The expected image is always resampleIMAGELiteral's.
//
// A longer run (the benchmark script's) sets, for the random cases,
//   TAVRIN_DIFFERENTIAL_TRANSFORMS=N   TAVRIN_DIFFERENTIAL_CANVAS=WxH
//   TAVRIN_DIFFERENTIAL_SEED=S
#include "app/geometry.h"
#include "app/resample_fast.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();
constexpr float kInff = std::numeric_limits<float>::infinity();
constexpr double kPi = 3.141592653589793;

int envInt(char const* name, int otherwise)
{
    char const* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::atoi(v) : otherwise;
}

// A further image of fixed-seed noise: a lookup one pixel off shows at once.
std::unique_ptr<IMAGE> noise(int w, int h, unsigned seed)
{
    auto im = std::make_unique<IMAGE>(w, h);
    std::mt19937 random(seed);
    for (long long i = 0; i < static_cast<long long>(im->width) * im->height; ++i)
        im->pix[i] = static_cast<unsigned char>(random() >> 24);
    return im;
}

Transform fromPoints(Point a, Point b, Point a2, Point b2)
{
    Segment base = measureSegment(a, b);
    Segment further = measureSegment(a2, b2);
    return registerIMAGE(base.bearing, base.distance, a2, further.bearing, further.distance);
}

struct Setting {
    std::string name;
    double ax;
    double ay;
    Transform t;
};

std::vector<ResampleKernel> kernels()
{
    std::vector<ResampleKernel> all{ResampleKernel::baseline};
    if (resampleKernelAvailable(ResampleKernel::avx2))
        all.push_back(ResampleKernel::avx2);
    return all;
}

char const* kernelName(ResampleKernel k)
{
    return k == ResampleKernel::avx2 ? "avx2" : "baseline";
}

std::string describe(Setting const& s)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s: A (%.9g, %.9g), anchor (%.17g, %.17g), scale %.17g, "
                  "rotation %.17g", s.name.c_str(), s.ax, s.ay, s.t.anchorX, s.t.anchorY,
                  s.t.scale, s.t.rotation);
    return text;
}

// Fast against literal on a w x h canvas, for every variant; returns the literal
// pixel count of the last variant.
long long expectIdentical(Setting const& s, IMAGE const& further, int w, int h)
{
    auto expected = resampleIMAGELiteral(further, s.ax, s.ay, w, h, s.t);
    std::size_t const bytes = static_cast<std::size_t>(expected->width) * expected->height;
    long long literal = 0;
    for (ResampleKernel kernel : kernels()) {
        IMAGE out(w, h);
        std::memset(out.pix, 0xA5, bytes);  // no pixel may be left unwritten
        resampleInto(out, further, s.ax, s.ay, s.t, kernel, &literal);
        long long differing = 0;
        long long first = -1;
        for (std::size_t i = 0; i < bytes; ++i) {
            if (out.pix[i] != expected->pix[i]) {
                ++differing;
                if (first < 0)
                    first = static_cast<long long>(i);
            }
        }
        EXPECT_EQ(differing, 0) << describe(s) << ", " << kernelName(kernel) << ", " << w << "x"
                                << h << ", first at (" << first % w << ", " << first / w << ")";
    }
    return literal;
}

// -------------------------------------------------------- hard cases from points

struct PointCase {
    char const* name;
    Point a, b, a2, b2;
};

PointCase const kPointCases[] = {
    {"same points, whole: scale 1, rotation 0", {40, 30}, {200, 150}, {40, 30}, {200, 150}},
    {"same points, A on a half pixel", {40.5f, 30.5f}, {200.5f, 150.5f}, {40.5f, 30.5f},
     {200.5f, 150.5f}},
    {"shifted, A on a half pixel in x", {60.5f, 20}, {60.5f, 180}, {30, 40}, {30, 200}},
    {"scale 2, rotation 0", {20, 10}, {20, 110}, {50, 40}, {50, 90}},
    {"scale 2, half-pixel A", {20.5f, 10.5f}, {20.5f, 110.5f}, {50, 40}, {50, 90}},
    {"scale 4, rotation 0", {0, 0}, {0, 200}, {10, 10}, {10, 60}},
    {"scale 0.05", {100, 80}, {100, 90}, {5, 5}, {5, 205}},
    {"scale 20", {10, 10}, {10, 210}, {100, 70}, {100, 80}},
    {"rotation near a quarter turn", {50, 40}, {50, 140}, {30, 100}, {130, 100}},
    {"rotation near a half turn", {50, 40}, {50, 140}, {150, 150}, {150, 50}},
    {"rotation near three quarters", {50, 40}, {50, 140}, {200, 60}, {100, 60}},
    {"the base segment on its row", {30, 60}, {230, 60}, {50, 50}, {180, 120}},
    {"A' equal to B'", {40, 30}, {200, 150}, {70, 80}, {70, 80}},
    {"A' equal to B', anchor outside", {40, 30}, {200, 150}, {-70, 80}, {-70, 80}},
    {"A equal to B", {40, 30}, {40, 30}, {70, 80}, {90, 100}},
    {"A equal to B and A' equal to B'", {40, 30}, {40, 30}, {70, 80}, {70, 80}},
    {"A NaN", {kNaNf, 30}, {200, 150}, {70, 80}, {90, 100}},
    {"A' NaN: the anchor NaN", {40, 30}, {200, 150}, {kNaNf, 80}, {90, 100}},
    {"B' NaN", {40, 30}, {200, 150}, {70, 80}, {kNaNf, 100}},
    {"A infinite", {kInff, 30}, {200, 150}, {70, 80}, {90, 100}},
    {"A' infinite: the anchor saturated", {40, 30}, {200, 150}, {-kInff, 80}, {90, 100}},
    {"B' infinite", {40, 30}, {200, 150}, {70, 80}, {90, kInff}},
    {"coordinates of 1e9 in the base", {1e9f, 1e9f}, {1e9f + 640, 1e9f + 1280}, {70, 80},
     {90, 100}},
    {"coordinates of 1e9 in both", {1e9f, -1e9f}, {1e9f + 6400, -1e9f}, {1e9f, -1e9f},
     {1e9f + 6400, -1e9f + 64}},
    {"anchor 1e9", {40, 30}, {200, 150}, {1e9f, 80}, {1e9f + 64, 100}},
    {"tiny base segment", {40, 30}, {40.00001f, 30.00002f}, {70, 80}, {90, 100}},
    {"tiny further segment", {40, 30}, {200, 150}, {70, 80}, {70.00001f, 80.00002f}},
    {"both segments tiny", {40, 30}, {40, 30.00002f}, {70, 80}, {70.00002f, 80}},
    {"a subnormal base segment", {0, 0}, {1e-40f, 0}, {70, 80}, {90, 100}},
    {"whole A on a row of the canvas", {40, 30}, {180, 170}, {60, 90}, {170, 20}},
    {"fractional A on a row of the canvas", {40.25f, 30}, {180, 170}, {60, 90}, {170, 20}},
    {"A at the canvas corner", {0, 0}, {150, 100}, {100, 100}, {20, 180}},
    {"A left of and above the canvas", {-30.75f, -12.5f}, {100, 90}, {10, 20}, {150, 40}},
    {"A right of and below the canvas", {400.125f, 300}, {100, 90}, {10, 20}, {150, 40}},
    {"fractional anchor", {40, 30}, {200, 150}, {70.9f, -80.9f}, {120.3f, 10.7f}},
    {"the worked example, reduced", {59.7f, 57.8f}, {277.9f, 184.6f}, {16.2f, 307.0f},
     {295.5f, 146.8f}},
};

TEST(ResampleDifferential, HardCasesFromPoints)
{
    auto further = noise(241, 179, 7);
    for (PointCase const& c : kPointCases) {
        Setting s{c.name, c.a.x, c.a.y, fromPoints(c.a, c.b, c.a2, c.b2)};
        expectIdentical(s, *further, 223, 157);
    }
}

// ----------------------------------------------------- hard transforms, set directly

Setting const kDirectCases[] = {
    {"rotation 0, scale 1, half-pixel A", 10.5, 3, {5, 7, 1, 0}},
    {"rotation 0, scale 1, A half in both", 10.5, 3.5, {5, 7, 1, 0}},
    {"rotation 0, scale 2, half-pixel A", 10.5, 3.5, {5, 7, 2, 0}},
    {"rotation 0, scale 4", 11.5, 20.25, {100, 50, 4, 0}},
    {"rotation pi/2", 60.5, 40, {100, 90, 1, kPi / 2}},
    {"rotation pi", 60.5, 40.5, {100, 90, 1, kPi}},
    {"rotation -pi", 60, 40, {100, 90, 2, -kPi}},
    {"rotation 3 pi/2, scale 0.5", 60.5, 40, {100, 90, 0.5, 3 * kPi / 2}},
    {"rotation 2 pi", 60.5, 40.5, {100, 90, 1, 2 * kPi}},
    {"rotation the half turn's constant", 60.5, 40.5, {100, 90, 1, kHalfTurn}},
    {"rotation cancelling the shift above A", 60.5, 140.5, {100, 90, 1, kPi - kHalfTurn}},
    {"rotation cancelling the shift below-left", 160.5, 10.5, {100, 90, 1, 2 * kPi - kFullTurn}},
    {"scale 0.05", 100.25, 80.5, {120, 90, 0.05, 0.3}},
    {"scale 20", 100.25, 80.5, {120, 90, 20, -2.1}},
    {"scale negative", 100.5, 80, {120, 90, -1, 0}},
    {"scale +inf", 50, 40, {100, 90, kInf, 1}},
    {"scale -inf", 50, 40, {100, 90, -kInf, 1}},
    {"scale +inf, anchor outside", 50, 40, {-100, 90, kInf, 1}},
    {"scale +inf, anchor -0", 50, 40, {-0.0, 0, kInf, 1}},
    {"scale 0", 50, 40, {100, 90, 0, 1}},
    {"scale -0, A whole", 50, 40, {100, 90, -0.0, 1}},
    {"scale NaN", 50, 40, {100, 90, kNaN, 1}},
    {"scale subnormal", 50.5, 40, {100, 90, 4e-320, 1}},
    {"scale 1e300", 50.5, 40, {100, 90, 1e300, 1}},
    {"scale 1e-300", 50.5, 40, {100, 90, 1e-300, 1}},
    {"rotation NaN", 50, 40, {100, 90, 1, kNaN}},
    {"rotation +inf", 50, 40, {100, 90, 1, kInf}},
    {"rotation +inf, scale inf", 50, 40, {100, 90, kInf, kInf}},
    {"rotation 1e6", 50.5, 40, {100, 90, 1, 1e6}},
    {"rotation 1e300", 50.5, 40, {100, 90, 1, 1e300}},
    {"anchor NaN", 50, 40, {kNaN, 90, 1, 0.5}},
    {"anchor +inf", 50, 40, {100, kInf, 1, 0.5}},
    {"anchor saturated high", 50, 40, {2147483647.0, 90, 1, 0.5}},
    {"anchor saturated low", 50, 40, {-2147483648.0, -2147483648.0, 1, 0.5}},
    {"anchor saturated, scale inf", 50, 40, {2147483647.0, 3, kInf, 0.5}},
    {"A NaN", kNaN, 40, {100, 90, 1, 0.5}},
    {"A infinite", 50, -kInf, {100, 90, 1, 0.5}},
    {"A at 1e9", 1e9, 40, {100, 90, 1, 0.5}},
    {"A at 1e9, rotated back", 1e9, 1e9, {100, 90, 1e-7, 0.7}},
    {"A at -1e9, scale 1e7", -1e9, 10, {100, 90, 1e7, 0.7}},
    {"whole A on a canvas row", 40, 30, {100, 90, 1.3, 0.9}},
    {"fractional A on a canvas row", 40.375, 30, {100, 90, 1.3, 0.9}},
    {"whole A on a canvas row, rotation 0", 40, 30, {100, 90, 1, 0}},
};

TEST(ResampleDifferential, HardTransformsSetDirectly)
{
    auto further = noise(241, 179, 11);
    for (Setting const& s : kDirectCases)
        expectIdentical(s, *further, 223, 157);
}

// Canvas and further sizes around the edges of the row loops: single pixels,
// widths that are not a multiple of the group, a canvas wider than a strip.
TEST(ResampleDifferential, OddSizes)
{
    struct Size {
        int canvasW, canvasH, furtherW, furtherH;
    };
    Size const sizes[] = {{1, 1, 1, 1}, {1, 1, 9, 4}, {5, 3, 1, 1},  {7, 9, 2, 7},
                          {3, 200, 300, 2}, {2500, 3, 2600, 5}, {1031, 4, 900, 1}};
    Setting const settings[] = {
        {"rotated", 0.5, 0.25, {0, 1, 0.9, 0.4}},
        {"identity", 0, 0, {0, 0, 1, 0}},
        {"half pixels", 0.5, 1.5, {0, 0, 1, 0}},
        {"row of A inside", 1.25, 1, {2, 0, 1.1, -0.6}},
        {"wide rotation", 1200.5, 2, {1300, 2, 1, 0.001}},
    };
    for (Size const& z : sizes) {
        auto further = noise(z.furtherW, z.furtherH, 3);
        for (Setting const& s : settings)
            expectIdentical(s, *further, z.canvasW, z.canvasH);
    }
}

TEST(ResampleDifferential, EmptyImagesGiveZeros)
{
    IMAGE empty(0, 0);
    Setting s{"preset", 59.7, 57.8, {16, 307, 0.78, 1.05}};
    auto out = resampleIMAGE(empty, s.ax, s.ay, 9, 7, s.t);
    auto literal = resampleIMAGELiteral(empty, s.ax, s.ay, 9, 7, s.t);
    ASSERT_EQ(out->width, 9);
    EXPECT_EQ(std::memcmp(out->pix, literal->pix, 63), 0);
    for (int i = 0; i < 63; ++i)
        EXPECT_EQ(out->pix[i], 0);
    auto none = resampleIMAGE(*noise(5, 5, 1), s.ax, s.ay, 0, 0, s.t);
    EXPECT_EQ(none->width * none->height, 0);
}

// The fast path does carry the work: on a typical transform only the row of A
// goes through the literal steps, while exact half pixels all do.
TEST(ResampleDifferential, LiteralStepsOnlyWhereInDoubt)
{
    auto further = noise(241, 179, 5);
    Setting typical{"worked example, reduced", 59.7, 57.8,
                    fromPoints({59.7f, 57.8f}, {277.9f, 184.6f}, {16.2f, 307.0f},
                               {295.5f, 146.8f})};
    EXPECT_LE(expectIdentical(typical, *further, 223, 157), 4);  // A is not on a row

    Setting onRow{"A on row 30", 40, 30, {100, 90, 1.3, 0.9}};
    EXPECT_EQ(expectIdentical(onRow, *further, 223, 157), 223);

    Setting halves{"half pixels", 10.5, 3, {5, 7, 1, 0}};
    EXPECT_GT(expectIdentical(halves, *further, 223, 157), 100 * 150);
}

// ------------------------------------------------------------ seeded random cases

// A coordinate as an operator might type it: whole, halves, quarters, or any float.
float typed(std::mt19937& random, float low, float high)
{
    std::uniform_real_distribution<float> range(low, high);
    float x = range(random);
    switch (random() % 4) {
    case 0:
        return std::floor(x);
    case 1:
        return std::floor(x * 2) / 2;
    case 2:
        return std::floor(x * 4) / 4;
    default:
        return x;
    }
}

struct RandomRun {
    int transforms;
    int w;
    int h;
    unsigned seed;
};

RandomRun randomRun()
{
    RandomRun r{envInt("TAVRIN_DIFFERENTIAL_TRANSFORMS", 160), 223, 157,
                static_cast<unsigned>(envInt("TAVRIN_DIFFERENTIAL_SEED", 20240607))};
    if (char const* canvas = std::getenv("TAVRIN_DIFFERENTIAL_CANVAS"))
        std::sscanf(canvas, "%dx%d", &r.w, &r.h);
    return r;
}

TEST(ResampleDifferential, RandomPoints)
{
    RandomRun const run = randomRun();
    std::mt19937 random(run.seed);
    auto further = noise(run.w + 18, run.h + 22, run.seed + 1);
    // Points around the canvas, a fifth of it beyond each edge.
    auto point = [&] {
        float const w = static_cast<float>(run.w);
        float const h = static_cast<float>(run.h);
        float x = typed(random, -0.2f * w, 1.2f * w);
        return Point{x, typed(random, -0.2f * h, 1.2f * h)};
    };
    for (int i = 0; i < run.transforms; ++i) {
        Point a = point();
        Point b = point();
        Point a2 = point();
        Point b2 = point();
        if (random() % 8 == 0)
            b2 = {a2.x + (b.x - a.x), a2.y + (b.y - a.y)};  // scale 1, rotation 0
        if (random() % 8 == 0)
            a.y = std::floor(a.y);  // a row of dy = 0 when it lies on the canvas
        Setting s{"random points #" + std::to_string(i), a.x, a.y, fromPoints(a, b, a2, b2)};
        expectIdentical(s, *further, run.w, run.h);
        if (HasFailure())
            return;
    }
}

TEST(ResampleDifferential, RandomTransforms)
{
    RandomRun const run = randomRun();
    std::mt19937 random(run.seed + 2);
    auto further = noise(run.w + 31, run.h - 9, run.seed + 3);
    double const rotations[] = {0, kPi / 2, kPi, -kPi / 2, kPi - kHalfTurn, 2 * kPi - kFullTurn};
    double const scales[] = {1, 2, 4, 0.5, 0.25, 0.05, 20};
    std::uniform_real_distribution<double> turn(-6.283185308, 6.283185308);
    std::uniform_real_distribution<double> logScale(std::log(0.05), std::log(20.0));
    for (int i = 0; i < run.transforms; ++i) {
        Transform t;
        t.anchorX = std::floor(typed(random, -0.2f * run.w, 1.2f * run.w));
        t.anchorY = std::floor(typed(random, -0.2f * run.h, 1.2f * run.h));
        t.rotation = random() % 3 == 0 ? rotations[random() % 6] : turn(random);
        t.scale = random() % 3 == 0 ? scales[random() % 7] : std::exp(logScale(random));
        double ax = typed(random, -0.2f * run.w, 1.2f * run.w);
        double ay = typed(random, -0.2f * run.h, 1.2f * run.h);
        Setting s{"random transform #" + std::to_string(i), ax, ay, t};
        expectIdentical(s, *further, run.w, run.h);
        if (HasFailure())
            return;
    }
}

}  // namespace
