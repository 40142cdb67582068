// Point entry at the console and the segment report of the test switch.
#ifndef TAVRIN_APP_POINTS_H
#define TAVRIN_APP_POINTS_H

#include "app/geometry.h"

#include <string>

enum class ImageKind { base, further };

// Shows where the two points are taken and reads each as a line "x,y": two finite
// numbers and a comma, spaces around them allowed; blank lines are passed over. A line
// that is not one is said, with what was typed and how to type it; at a terminal the
// point is then asked again. From a file or a pipe, and at the end of the input, false:
// no result may be computed from a point half read. Under the test switch nothing is
// read and the presets stand.
bool readPoints(ImageKind kind, Point& a, Point& b);

// The point that the line gives as "x,y", or false when it gives none.
bool parsePoint(std::string const& line, Point& p);

// Under the test switch, the bearing and distance measured on the named image.
void printGisement(char const* name, double bearing, double distance);

#endif
