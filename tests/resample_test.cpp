// The resampling: nearest-neighbour lookups worked out by hand on small images
// (half pixels, the fallback to the first pixel, degenerate points), and the
// fast path against the literal per-pixel loop, byte for byte, with every row-loop
// variant, on hard cases, odd sizes and seeded random transforms.
#include "app/geometry.h"
#include "app/resample_fast.h"
#include "tests/support.h"

#include <random>

namespace {

constexpr double kPi = 3.141592653589793;

Transform fromPoints(Point a, Point b, Point a2, Point b2)
{
    Segment const base = measureSegment(a, b), further = measureSegment(a2, b2);
    return registerIMAGE(base.bearing, base.distance, a2, further.bearing, further.distance);
}

// Fixed-seed noise: a lookup one pixel off shows at once.
std::unique_ptr<IMAGE> noise(int w, int h, unsigned seed)
{
    auto im = std::make_unique<IMAGE>(w, h);
    std::mt19937 random(seed);
    std::generate_n(im->pix, w * h, [&] { return static_cast<unsigned char>(random() >> 24); });
    return im;
}

struct Setting {
    std::string name;
    double ax, ay;
    Transform t;
};

// Every row-loop variant against the literal loop on a w x h canvas, no pixel left
// unwritten; returns how many pixels the last variant computed literally.
long long expectIdentical(Setting const& s, IMAGE const& further, int w = 223, int h = 157)
{
    std::string const literal = pixelsOf(*resampleIMAGELiteral(further, s.ax, s.ay, w, h, s.t));
    long long literalPixels = 0;
    for (ResampleKernel kernel : {ResampleKernel::baseline, ResampleKernel::avx2}) {
        IMAGE out(w, h);
        std::memset(out.pix, 0xA5, literal.size());
        resampleInto(out, further, s.ax, s.ay, s.t, kernel, &literalPixels);
        std::string const got = pixelsOf(out);
        std::size_t const at =
            std::mismatch(literal.begin(), literal.end(), got.begin()).first - literal.begin();
        EXPECT_EQ(at, literal.size()) << s.name << ", kernel " << static_cast<int>(kernel) << ", "
                                      << w << "x" << h << ": pixel " << at % w << "," << at / w;
    }
    return literalPixels;
}

// ------------------------------------------------------------ worked by hand

// On a 12 x 10 further image whose pixel (x, y) is pattern(x, y), the first one 5: a
// half-pixel position rounds upward, floor(0.5 + v), and a position outside shows the
// first pixel. Whole points and scales are checked end to end by run_test, the
// truncation of A' by geometry_test.
TEST(Resample, WorkedByHand)
{
    // clang-format off
    struct { char const* what; Point a, b, a2, b2; int w, h; std::string pixels; } const cases[] = {
        // Scale 2 down the column x = 2: y = -1.5 and -1 lie outside, -0.5 and 0 give row 0,
        // 0.5 and 1 row 1, 1.5 row 2.
        {"halves round upward", {0, 3}, {0, 5}, {2, 0}, {2, 1}, 1, 7, bytes({5, 5, 19, 19, 32, 32, 45})},
        {"A' = B': the anchor's pixel, (4, 3)", {1, 1}, {4, 3}, {4, 3}, {4, 3}, 7, 4, std::string(28, 72)},
        {"A = B: scale 0, all outside", {2, 2}, {2, 2}, {1, 1}, {4, 3}, 7, 4, std::string(28, 5)},
        {"A NaN: all outside", {NAN, NAN}, {4, 3}, {1, 1}, {4, 3}, 5, 4, std::string(20, 5)},
    };
    // clang-format on
    IMAGE further(12, 10);
    for (int k = 0; k < 120; ++k)
        further.pix[k] = static_cast<unsigned char>(pattern(k % 12, k / 12));
    for (auto const& c : cases) {
        Transform const t = fromPoints(c.a, c.b, c.a2, c.b2);
        EXPECT_EQ(pixelsOf(*resampleIMAGE(further, c.a.x, c.a.y, c.w, c.h, t)), c.pixels) << c.what;
    }
    // No first pixel to fall back on: zeros.
    EXPECT_EQ(pixelsOf(*resampleIMAGE(IMAGE(0, 5), 1, 1, 5, 4, {1, 1, 1, 0})), std::string(20, 0));
}

// -------------------------------------------------------- fast against literal

// Transforms where the fast path's error bound is tight or meaningless: half pixels, a
// row of A on the canvas, constants near pi, signed zeros, infinities, NaN, saturation;
// then how much it leaves to the literal steps, and odd sizes.
TEST(ResampleDifferential, HardCasesAndOddSizes)
{
    // clang-format off
    Setting const cases[] = {
        {"same points, half-pixel A", 40.5, 30.5, fromPoints({40.5f, 30.5f}, {200.5f, 150.5f}, {40.5f, 30.5f}, {200.5f, 150.5f})},
        {"scale 2, half-pixel A", 20.5, 10.5, fromPoints({20.5f, 10.5f}, {20.5f, 110.5f}, {50, 40}, {50, 90})},
        {"scale 0.05", 100, 80, fromPoints({100, 80}, {100, 90}, {5, 5}, {5, 205})},
        {"the base segment on its row", 30, 60, fromPoints({30, 60}, {230, 60}, {50, 50}, {180, 120})},
        {"B' infinite", 40, 30, fromPoints({40, 30}, {200, 150}, {70, 80}, {90, HUGE_VALF})},
        {"tiny further segment", 40, 30, fromPoints({40, 30}, {200, 150}, {70, 80}, {70.00001f, 80.00002f})},
        {"a subnormal base segment", 0, 0, fromPoints({0, 0}, {1e-40f, 0}, {70, 80}, {90, 100})},
        {"fractional A on a canvas row", 40.25, 30, fromPoints({40.25f, 30}, {180, 170}, {60, 90}, {170, 20})},
        {"A beyond the canvas", -30.75, -12.5, fromPoints({-30.75f, -12.5f}, {100, 90}, {10, 20}, {150, 40})},
        {"rotation pi/2", 60.5, 40, {100, 90, 1, kPi / 2}},
        {"rotation -pi, scale 2", 60, 40, {100, 90, 2, -kPi}},
        {"rotation the half turn's constant", 60.5, 40.5, {100, 90, 1, kHalfTurn}},
        {"rotation 2 pi - the full turn", 160.5, 10.5, {100, 90, 1, 2 * kPi - kFullTurn}},
        {"scale +inf, anchor -0", 50, 40, {-0.0, 0, kInf, 1}},
        {"scale NaN", 50, 40, {100, 90, kNaN, 1}},
        {"anchor saturated, scale inf", 50, 40, {2147483647.0, 3, kInf, 0.5}},
        {"A at -1e9, scale 1e7", -1e9, 10, {100, 90, 1e7, 0.7}},
    };
    // clang-format on
    auto further = noise(241, 179, 7);
    for (Setting const& s : cases)
        expectIdentical(s, *further);

    // The fast path does carry the work: on a typical transform only the row of A goes
    // through the literal steps, while exact half pixels all do.
    auto const t = fromPoints({59.7f, 57.8f}, {277.9f, 184.6f}, {16.2f, 307.0f}, {295.5f, 146.8f});
    EXPECT_LE(expectIdentical({"worked example, reduced", 59.7, 57.8, t}, *further), 4);
    EXPECT_EQ(expectIdentical({"A on row 30", 40, 30, {100, 90, 1.3, 0.9}}, *further), 223);
    EXPECT_GT(expectIdentical({"half pixels", 10.5, 3, {5, 7, 1, 0}}, *further), 15000);

    // Sizes around the edges of the row loops: single pixels, widths that are not a
    // multiple of the group, a canvas wider than a strip.
    int const sizes[][4] = {{1, 1, 1, 1},     {1, 1, 9, 4},       {5, 3, 1, 1},     {7, 9, 2, 7},
                            {3, 200, 300, 2}, {2500, 3, 2600, 5}, {1031, 4, 900, 1}};
    // clang-format off
    Setting const settings[] = {{"rotated", 0.5, 0.25, {0, 1, 0.9, 0.4}}, {"half pixels", 0.5, 1.5, {0, 0, 1, 0}},
                                {"row of A inside", 1.25, 1, {2, 0, 1.1, -0.6}}, {"wide rotation", 1200.5, 2, {1300, 2, 1, 0.001}}};
    // clang-format on
    for (auto const& z : sizes)
        for (Setting const& s : settings)
            expectIdentical(s, *noise(z[2], z[3], 3), z[0], z[1]);
}

// Per round, one transform from typed points and one set directly. scripts/bench runs
// more rounds on a larger canvas through the environment.
TEST(ResampleDifferential, SeededRandomTransforms)
{
    auto const setting = [](char const* name, char const* otherwise) {
        char const* v = std::getenv(name);
        return v != nullptr && *v != '\0' ? v : otherwise;
    };
    int const rounds = std::atoi(setting("TAVRIN_DIFFERENTIAL_TRANSFORMS", "160"));
    std::mt19937 random(std::atoi(setting("TAVRIN_DIFFERENTIAL_SEED", "20240607")));
    int w = 223, h = 157;
    std::sscanf(setting("TAVRIN_DIFFERENTIAL_CANVAS", "223x157"), "%dx%d", &w, &h);
    auto further = noise(w + 18, h + 22, random());
    // A coordinate as an operator types it, a fifth of the canvas beyond each edge:
    // whole, halves, quarters or any float.
    auto typed = [&](int size) {
        float const x = std::uniform_real_distribution<float>(-0.2f * size, 1.2f * size)(random);
        float const steps[] = {1, 2, 4, 0};
        float const step = steps[random() % 4];
        return step > 0 ? std::floor(x * step) / step : x;
    };
    auto point = [&] { return Point{typed(w), typed(h)}; };
    double const rotations[] = {0, kPi / 2, kPi, -kPi / 2, kPi - kHalfTurn, 2 * kPi - kFullTurn};
    double const scales[] = {1, 2, 4, 0.5, 0.25, 0.05, 20};
    std::uniform_real_distribution<double> turn(-kFullTurn, kFullTurn);
    std::uniform_real_distribution<double> logScale(std::log(0.05), std::log(20.0));
    for (int i = 0; i < rounds && !testing::Test::HasFailure(); ++i) {
        Point a = point(), b = point(), a2 = point(), b2 = point();  // in this order
        if (random() % 8 == 0)
            b2 = {a2.x + (b.x - a.x), a2.y + (b.y - a.y)};  // scale 1, rotation 0
        if (random() % 8 == 0)
            a.y = std::floor(a.y);  // a row of dy = 0 when it lies on the canvas
        expectIdentical({"points #" + std::to_string(i), a.x, a.y, fromPoints(a, b, a2, b2)},
                        *further, w, h);
        Transform t{std::floor(typed(w)), std::floor(typed(h)),
                    random() % 3 ? std::exp(logScale(random)) : scales[random() % 7],
                    random() % 3 ? turn(random) : rotations[random() % 6]};
        expectIdentical({"transform #" + std::to_string(i), typed(w), typed(h), t}, *further, w, h);
    }
}

}  // namespace
