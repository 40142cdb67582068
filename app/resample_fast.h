// The resampling of resampleIMAGE at memory speed: the per-pixel mapping is
// evaluated as the affine map it is, and wherever a proven error bound leaves the
// nearest source pixel in doubt, that pixel is computed by sourceOf itself.
#ifndef TAVRIN_APP_RESAMPLE_FAST_H
#define TAVRIN_APP_RESAMPLE_FAST_H

#include "app/geometry.h"

// Which compiled variant of the row loop runs: the best the processor has, or
// one named (for tests and benchmarks; one that the processor lacks is replaced
// by the baseline). Every variant gives the same bytes.
enum class ResampleKernel { best, baseline, avx2 };

bool resampleKernelAvailable(ResampleKernel kernel);

// Sets every pixel of out (its own width and height) to the byte that
// resampleIMAGELiteral gives there. further must have at least one pixel. When
// literalPixels is given, it receives how many pixels went through sourceOf.
void resampleInto(IMAGE& out, IMAGE const& further, double ax, double ay, Transform const& t,
                  ResampleKernel kernel = ResampleKernel::best, long long* literalPixels = nullptr);

#endif
