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

}  // namespace

void readPoints(ImageKind kind, Point& a, Point& b)
{
    if (kind == ImageKind::base) {
        std::printf("\n\t\t  + A ");
        std::printf("\n\t\t  ");
        std::printf("\n\t\t ");
        std::printf("\n\t\t  ");
        std::puts("\n\t\t                    + B");
        std::printf("\n");
        a = {597, 578};
        b = {2779, 1846};
    } else {
        std::printf("\n\t\t  + A' ");
        std::printf("\n\t\t  ");
        std::printf("\n\t\t ");
        std::printf("\n\t\t  ");
        std::puts("\n\t\t                    + B'");
        std::printf("\n");
        a = {162, 3070};
        b = {2955, 1468};
    }
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
