// The images of the points target, shared with its regression tests so that a
// saved input replays on the same further image and canvas.
#ifndef TAVRIN_FUZZ_POINTS_FIXTURE_H
#define TAVRIN_FUZZ_POINTS_FIXTURE_H

#include "image/image.h"

#include <memory>

namespace fuzz {

// Small, not square, of odd sizes.
constexpr int kFurtherWidth = 23;
constexpr int kFurtherHeight = 17;
constexpr int kCanvasWidth = 31;
constexpr int kCanvasHeight = 19;

// Every pixel differs from its neighbours and from the first pixel, so a lookup
// one pixel off, or a fallback taken wrongly, changes the bytes.
inline std::unique_ptr<IMAGE> makeFurther()
{
    auto im = std::make_unique<IMAGE>(kFurtherWidth, kFurtherHeight);
    for (int y = 0; y < kFurtherHeight; ++y)
        for (int x = 0; x < kFurtherWidth; ++x)
            *im->getpix(x, y) = static_cast<unsigned char>(1 + x * 11 + y * 3);
    return im;
}

}  // namespace fuzz

#endif
