// The literal resampling, for the whole-run comparison: linked
// in place of app/resample_fast.cpp, every pixel goes through the literal steps.
#include "app/geometry.h"

std::unique_ptr<IMAGE> resampleIMAGE(IMAGE const& further, double ax, double ay, int w, int h,
                                     Transform const& t)
{
    return resampleIMAGELiteral(further, ax, ay, w, h, t);
}
