// Whether a file holds exactly the bytes a writer meant to put there. The library's
// writers report a failure on the console but return nothing; the tools check the
// result on disk so that a full disk or a missing folder ends them with status 1.
#ifndef TAVRIN_TOOLS_WRITTEN_H
#define TAVRIN_TOOLS_WRITTEN_H

#include "image/platform.h"

#include <cstdio>
#include <string>

// Bytes of a binary Netpbm file of w x h pixels: "P5" or "P6", the size line, "255".
inline long long netpbmFileBytes(int w, int h, int bytesPerPixel)
{
    std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    return static_cast<long long>(header.size()) +
           static_cast<long long>(w) * static_cast<long long>(h) * bytesPerPixel;
}

inline bool fileHasBytes(char const* path, long long expected)
{
    FILE* f = openToRead(path);
    if (f == nullptr)
        return false;
    long long count = 0;
    char block[65536];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
        count += static_cast<long long>(n);
    bool const ok = !std::ferror(f) && count == expected;
    std::fclose(f);
    return ok;
}

#endif
