// The test every tool makes before it takes a file for a photograph, the P5 magic at
// its start; whatever follows is read by the reader that takes the file.
#ifndef TAVRIN_TOOLS_COMMON_P5_H
#define TAVRIN_TOOLS_COMMON_P5_H

#include <cstddef>
#include <cstdio>

inline bool beginsWithP5(unsigned char const* bytes, std::size_t count)
{
    return count >= 2 && bytes[0] == 'P' && bytes[1] == '5';
}

// The same test on an open file, from where it stands; it reads two bytes.
inline bool beginsWithP5(FILE* f)
{
    unsigned char magic[2] = {0, 0};
    std::size_t const count = std::fread(magic, 1, 2, f);
    return beginsWithP5(magic, count);
}

#endif
