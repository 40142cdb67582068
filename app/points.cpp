#include "app/points.h"

#include "app/debugmode.h"

#include <cstdio>

namespace {

void readCoordinates(char const* prompt, Point& p)
{
    std::printf("%s", prompt);
    if (debugmode)
        return;
    std::fflush(stdout);
    // The count is not examined on purpose: what the text does not supply keeps its preset.
    (void)std::scanf("%f,%f", &p.x, &p.y);  // NOLINT(cert-err34-c)
}

// The sketch of where the two points are taken, and their presets.
struct PointSheet {
    char const* firstMark;  // the sketch's first piece, then three fixed ones
    char const* lastMark;   // its last piece, which ends the line
    Point presetA;
    Point presetB;
};

PointSheet const kBaseSheet = {
    "\n\t\t  + A ", "\n\t\t                    + B", {597, 578}, {2779, 1846}};
PointSheet const kFurtherSheet = {
    "\n\t\t  + A' ", "\n\t\t                    + B'", {162, 3070}, {2955, 1468}};

}  // namespace

void readPoints(ImageKind kind, Point& a, Point& b)
{
    PointSheet const& sheet = kind == ImageKind::base ? kBaseSheet : kFurtherSheet;
    std::printf("%s", sheet.firstMark);
    std::printf("\n\t\t  ");
    std::printf("\n\t\t ");
    std::printf("\n\t\t  ");
    std::puts(sheet.lastMark);
    std::printf("\n");
    a = sheet.presetA;
    b = sheet.presetB;
    readCoordinates("\nCoordonnes du point A (x,y) -> ", a);
    readCoordinates("\nCoordonnes du point B (x,y) -> ", b);
}

void printGisement(char const* name, double bearing, double distance)
{
    if (!debugmode)
        return;
    std::printf("\nIMAGE %s ", name);
    std::printf("\nGisement %f ", bearing);
    std::printf("\nGisement %.2f gon", 200 * bearing / 3.14159);
    std::printf("\nDistance %.1f ", distance);
}
