// The resampling: nearest-neighbour lookups worked out by hand on small images
// (scales, half pixels, the fallback to the first pixel, extreme points), and the
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
    Segment const base = measureSegment(a, b);
    Segment const further = measureSegment(a2, b2);
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

// On a 12 x 10 further image, output (l, k) shows the further pixel (x0 + l s, y0 + k s),
// or the first pixel when that lies outside. A half-pixel position is checked only
// where `halves` says it rounds upward, floor(0.5 + v); elsewhere it is a tie left
// to the last bit.
TEST(Resample, WorkedByHand)
{
    // clang-format off
    struct { char const* what; Point a, b, a2, b2; int w, h; double x0, y0, s; bool halves; } const cases[] = {
        {"same points: identity", {1, 1}, {4, 3}, {1, 1}, {4, 3}, 14, 11, 0, 0, 1, false},
        {"a further segment twice as long", {1, 1}, {1, 3}, {2, 1}, {2, 5}, 6, 5, 0, -1, 2, false},
        {"half as long", {1, 1}, {1, 3}, {2, 1}, {2, 2}, 9, 7, 1.5, 0.5, 0.5, false},
        {"A' truncated", {2, 1}, {2, 4}, {3.9f, 2.9f}, {3.9f, 5.9f}, 4, 3, 1, 1, 1, false},
        {"halves round upward", {0, 3}, {0, 5}, {2, 0}, {2, 1}, 1, 7, 2, -1.5, 0.5, true},
        {"A' = B': the anchor's pixel", {1, 1}, {4, 3}, {4, 3}, {4, 3}, 7, 4, 4, 3, 0, false},
        {"A = B: scale 0", {2, 2}, {2, 2}, {1, 1}, {4, 3}, 7, 4, -1, -1, 0, false},
        {"A NaN", {NAN, NAN}, {4, 3}, {1, 1}, {4, 3}, 5, 4, -1, -1, 0, false},
        {"A' NaN", {1, 1}, {4, 3}, {NAN, 1}, {4, 3}, 5, 4, -1, -1, 0, false},
    };
    // clang-format on
    IMAGE further(12, 10);
    for (int k = 0; k < 120; ++k)
        further.pix[k] = static_cast<unsigned char>(pattern(k % 12, k / 12));
    for (auto const& c : cases) {
        auto out = resampleIMAGE(further, c.a.x, c.a.y, c.w, c.h, fromPoints(c.a, c.b, c.a2, c.b2));
        for (int k = 0; k < c.h; ++k)
            for (int l = 0; l < c.w; ++l) {
                double const x = c.x0 + l * c.s;
                double const y = c.y0 + k * c.s;
                if (!c.halves && (x != std::floor(x) || y != std::floor(y)))
                    continue;
                int const sx = static_cast<int>(std::floor(0.5 + x));
                int const sy = static_cast<int>(std::floor(0.5 + y));
                EXPECT_EQ(*out->getpix(l, k), *further.getpix(sx, sy))  // outside: the first
                    << c.what << ": " << l << "," << k;
            }
    }
    IMAGE empty(0, 5);  // no first pixel to fall back on: zeros
    auto out = resampleIMAGE(empty, 1, 1, 5, 4, fromPoints({1, 1}, {4, 3}, {1, 1}, {4, 3}));
    EXPECT_EQ(pixelsOf(*out), std::string(20, '\0'));
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
    Transform const reduced =
        fromPoints({59.7f, 57.8f}, {277.9f, 184.6f}, {16.2f, 307.0f}, {295.5f, 146.8f});
    EXPECT_LE(expectIdentical({"worked example, reduced", 59.7, 57.8, reduced}, *further), 4);
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
