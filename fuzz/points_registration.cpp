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

// A further image and a canvas small, not square, of odd sizes.
constexpr int kWidth = 31;
constexpr int kHeight = 19;

Segment measured(Point p, Point q)
{
    Segment const s = measureSegment(p, q);
    if (std::isfinite(static_cast<float>(q.x - p.x)) &&
        std::isfinite(static_cast<float>(q.y - p.y)))
        fuzz::require(s.bearing >= 0 && s.bearing <= kFullTurn && s.distance >= 0,
                      "a finite segment with a bearing outside one turn or no distance");
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    static std::string const console = fuzz::scratchFile("console.txt");
    // Every pixel differs from its neighbours and from the first pixel, so a lookup
    // one pixel off, or a fallback taken wrongly, changes the bytes.
    static std::unique_ptr<IMAGE> const further = [] {
        auto im = std::make_unique<IMAGE>(23, 17);
        for (int k = 0; k < 23 * 17; ++k)
            im->pix[k] = static_cast<unsigned char>(1 + k % 23 * 11 + k / 23 * 3);
        return im;
    }();

    // The text becomes the whole of stdin: reopening also clears the end-of-file
    // mark and any byte pushed back by the previous input.
    fuzz::writeBytes(console, data, size);
    fuzz::require(std::freopen(console.c_str(), "rb", stdin) != nullptr, "cannot reopen stdin");
    Point a, b, a2, b2;
    readPoints(ImageKind::base, a, b);
    readPoints(ImageKind::further, a2, b2);
    Segment const base = measured(a, b);
    Segment const s = measured(a2, b2);
    Transform const t = registerIMAGE(base.bearing, base.distance, a2, s.bearing, s.distance);

    auto const literal = resampleIMAGELiteral(*further, a.x, a.y, kWidth, kHeight, t);
    for (ResampleKernel kernel : {ResampleKernel::baseline, ResampleKernel::avx2}) {
        IMAGE out(kWidth, kHeight);
        std::memset(out.pix, 0xA5, kWidth * kHeight);  // a pixel left unwritten shows
        resampleInto(out, *further, a.x, a.y, t, kernel);
        fuzz::require(std::memcmp(out.pix, literal->pix, kWidth * kHeight) == 0,
                      "the fast resampling differs from the literal one");
    }
    return 0;
}
