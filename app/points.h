// Point entry at the console and the segment report of the test switch.
#ifndef TAVRIN_APP_POINTS_H
#define TAVRIN_APP_POINTS_H

#include "app/geometry.h"

enum class ImageKind { base, further };

// Shows where the two points are taken and reads them as "x,y". A coordinate the
// typed text does not supply keeps its preset, and what a read leaves unread
// stays in the input for the next one. Under the test switch nothing is read.
void readPoints(ImageKind kind, Point& a, Point& b);

// Under the test switch, the bearing and distance measured on the named image.
void printGisement(char const* name, double bearing, double distance);

#endif
