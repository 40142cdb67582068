// Point entry and registration on arbitrary console text, then the resampling of
// a small further image. Coordinates may come out NaN, infinite, huge or
// denormal: nothing may be undefined, a finite segment has a bearing within one
// turn, and the fast resampling gives the bytes of the literal per-pixel one,
// with every row-loop variant the processor has.
#include "app/geometry.h"
#include "app/points.h"
#include "app/resample_fast.h"
#include "fuzz/fuzz_support.h"
#include "image/image.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Small, not square, of odd sizes.
constexpr int kFurtherWidth = 23;
constexpr int kFurtherHeight = 17;
constexpr int kCanvasWidth = 31;
constexpr int kCanvasHeight = 19;

// Every pixel differs from its neighbours and from the first pixel, so a lookup
// one pixel off, or a fallback taken wrongly, changes the bytes.
std::unique_ptr<IMAGE> makeFurther()
{
    auto im = std::make_unique<IMAGE>(kFurtherWidth, kFurtherHeight);
    for (int y = 0; y < kFurtherHeight; ++y)
        for (int x = 0; x < kFurtherWidth; ++x)
            *im->getpix(x, y) = static_cast<unsigned char>(1 + x * 11 + y * 3);
    return im;
}

void requireSame(IMAGE const& got, IMAGE const& expected, char const* what)
{
    fuzz::require(got.width == expected.width && got.height == expected.height, what);
    size_t n = static_cast<size_t>(got.width) * static_cast<size_t>(got.height);
    fuzz::require(n == 0 || std::memcmp(got.pix, expected.pix, n) == 0, what);
}

void requireBearing(Point p, Point q, Segment s)
{
    double dx = static_cast<float>(q.x - p.x);
    double dy = static_cast<float>(q.y - p.y);
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    fuzz::require(s.bearing >= 0 && s.bearing <= kFullTurn, "a bearing outside one turn");
    fuzz::require(s.distance >= 0, "a negative or NaN distance of a finite segment");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    static fuzz::ScratchDir scratch;
    static std::string const console = scratch.file("console.txt");
    static std::unique_ptr<IMAGE> const further = makeFurther();

    // The text becomes the whole of stdin: reopening also clears the end-of-file
    // mark and any byte pushed back by the previous input.
    fuzz::writeBytes(console, data, size);
    if (std::freopen(console.c_str(), "rb", stdin) == nullptr)
        fuzz::fail("cannot reopen stdin");

    Point a;
    Point b;
    readPoints(ImageKind::base, a, b);
    Point a2;
    Point b2;
    readPoints(ImageKind::further, a2, b2);

    Segment const base = measureSegment(a, b);
    Segment const s = measureSegment(a2, b2);
    requireBearing(a, b, base);
    requireBearing(a2, b2, s);
    Transform const t = registerIMAGE(base.bearing, base.distance, a2, s.bearing, s.distance);

    std::unique_ptr<IMAGE> const literal =
        resampleIMAGELiteral(*further, a.x, a.y, kCanvasWidth, kCanvasHeight, t);
    std::unique_ptr<IMAGE> const fast =
        resampleIMAGE(*further, a.x, a.y, kCanvasWidth, kCanvasHeight, t);
    requireSame(*fast, *literal, "resampleIMAGE differs from the literal resampling");

    for (ResampleKernel kernel : {ResampleKernel::baseline, ResampleKernel::avx2}) {
        if (!resampleKernelAvailable(kernel))
            continue;
        IMAGE out(kCanvasWidth, kCanvasHeight);
        resampleInto(out, *further, a.x, a.y, t, kernel);
        requireSame(out, *literal, "a row-loop variant differs from the literal resampling");
    }
    return 0;
}
