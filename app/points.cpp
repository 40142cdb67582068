#include "app/points.h"

#include "app/debugmode.h"
#include "app/platform.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The next line that is not blank, without its end; false at the end of the input.
bool readLine(std::string& line)
{
    line.clear();
    for (int c = std::getchar();; c = std::getchar()) {
        if (c == EOF || c == '\n') {
            bool const blank = line.find_first_not_of(" \t\r\f\v") == std::string::npos;
            if (!blank || c == EOF)
                return !blank;
            line.clear();
            continue;
        }
        line += static_cast<char>(c);
    }
}

bool readCoordinates(char const* prompt, Point& p)
{
    for (;;) {
        std::printf("%s", prompt);
        if (debugmode)
            return true;
        std::fflush(stdout);
        std::string line;
        if (!readLine(line)) {
            std::printf("\nFin des donn\xE9"
                        "es : le point n'est pas donn\xE9\n");
            return false;
        }
        if (parsePoint(line, p))
            return true;
        std::string const shown = line.size() > 60 ? line.substr(0, 60) + "..." : line;
        std::printf("\nPoint non compris : \"%s\". Tapez x,y : deux nombres s\xE9par\xE9s par "
                    "une virgule, par exemple 423,237\n",
                    consoleText(shown, stdout).c_str());
        if (!inputIsTerminal())
            return false;
    }
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

bool readPoints(ImageKind kind, Point& a, Point& b)
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
    return readCoordinates("\nCoordonnes du point A (x,y) -> ", a) &&
           readCoordinates("\nCoordonnes du point B (x,y) -> ", b);
}

bool parsePoint(std::string const& line, Point& p)
{
    auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
    };
    if (line.find('\0') != std::string::npos)
        return false;
    char const* s = line.c_str();
    char* end = nullptr;
    float const x = std::strtof(s, &end);  // the reading scanf's %f makes, spaces first
    if (end == s || !std::isfinite(x))
        return false;
    for (s = end; isBlank(*s); ++s) {
    }
    if (*s != ',')
        return false;
    float const y = std::strtof(++s, &end);
    if (end == s || !std::isfinite(y))
        return false;
    for (s = end; isBlank(*s); ++s) {
    }
    if (*s != '\0')
        return false;
    p = {x, y};
    return true;
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
