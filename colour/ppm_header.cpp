#include "colour/ppm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

std::string p6Header(int width, int height, char const* comments)
{
    char size[40];
    std::snprintf(size, sizeof size, "%d %d\n255\n", width, height);
    std::string header = "P6\n";
    header += comments;
    header += size;
    return header;
}

P6Header readP6Header(FILE* f)
{
    P6Header header;
    char line[256] = "";
    bool const magic =
        std::fgets(line, sizeof line, f) != nullptr && std::strcmp(line, "P6\n") == 0;
    while (magic && std::fgets(line, sizeof line, f) != nullptr && line[0] == '#') {
    }
    char* end = line;
    long const width = magic ? std::strtol(line, &end, 10) : 0;
    long const height = *end == ' ' ? std::strtol(end + 1, &end, 10) : 0;
    bool const sized = width > 0 && width < (1L << 30) && height > 0 && height < (1L << 30) &&
                       std::strcmp(end, "\n") == 0;
    char tail[8] = "";
    if (sized && std::fgets(tail, sizeof tail, f) != nullptr && std::strcmp(tail, "255\n") == 0)
        header = {true, static_cast<int>(width), static_cast<int>(height)};
    return header;
}
