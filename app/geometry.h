// Two-point registration: the bearing and length of a segment, the rotation and
// scale that carry a further image's segment onto the base segment, and the
// nearest-neighbour resampling of the further image into the base image's frame.
#ifndef TAVRIN_APP_GEOMETRY_H
#define TAVRIN_APP_GEOMETRY_H

#include "image/image.h"

#include <memory>

// A control point as typed, in pixels.
struct Point {
    float x;
    float y;
};

// The bearing is built from the one-argument arctangent and these decimal
// constants, not from atan2 and the library's pi: results are promised to the
// bit, and near a half pixel the difference picks the other neighbour.
constexpr double kHalfTurn = 3.141592654;
constexpr double kFullTurn = 6.283185308;

struct Segment {
    double bearing;   // radians from +y (down) toward +x, in [0, 6.283185308]
    double distance;  // pixels
};

// What maps a base position onto the further image.
struct Transform {
    // A' truncated toward zero: whole values, held widened. Beyond the int range
    // the truncation saturates; a NaN stays NaN, so every lookup falls outside.
    double anchorX;
    double anchorY;
    double scale;     // base distance / further distance
    double rotation;  // further bearing - base bearing, not reduced to one turn
};

// A source position of the further image, or none (outside any int position).
struct SourcePixel {
    bool found;
    int x;
    int y;
};

// The bearing of the offset (dx, dy); a zero dy counts as 0.01.
double bearingOf(double dx, double dy);

Segment measureSegment(Point p, Point q);

Transform registerIMAGE(double baseBearing, double baseDistance, Point aPrime, double bearing,
                        double distance);

// Where the output pixel (l, k) takes its grey value from, base A being (ax, ay).
SourcePixel sourceOf(int l, int k, double ax, double ay, Transform const& t);

// A new W x H image whose every pixel is looked up in the further image; a
// position outside it takes its first pixel, and an image without pixels gives 0.
// Its bytes are those of resampleIMAGELiteral for every input, at a fraction of
// the cost (defined with the fast path, app/resample_fast.cpp).
std::unique_ptr<IMAGE> resampleIMAGE(IMAGE const& further, double ax, double ay, int w, int h,
                                     Transform const& t);

// The same image computed pixel by pixel with sourceOf: the reference that the
// fast path falls back on and is tested against.
std::unique_ptr<IMAGE> resampleIMAGELiteral(IMAGE const& further, double ax, double ay, int w,
                                            int h, Transform const& t);

#endif
