// A PNG of 8-bit grey pixels stored rather than compressed: no row filter, deflate's
// stored blocks, so that it costs about what a copy of the pixels costs (OpenCV's fastest
// compression costs five times more on a 24-megapixel photograph, for a file half as
// large). Windows' Photos, Explorer's preview and every browser open it.
#ifndef TAVRIN_TOOLS_SERIES_PNG_H
#define TAVRIN_TOOLS_SERIES_PNG_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// PNG's CRC-32 of the bytes, continued from crc (0 to begin).
std::uint32_t pngCrc(std::uint32_t crc, unsigned char const* data, std::size_t size);

// The PNG written into f as its rows are given, from the top.
class StoredPng {
public:
    StoredPng(std::FILE* f, int width, int height);
    // count rows of width bytes each; false once a write failed.
    bool rows(unsigned char const* data, std::size_t count);
    // The end of the file; false when a write failed or not every row was given.
    bool finish();

private:
    void add(unsigned char const* data, std::size_t size);
    void sum(unsigned char const* data, std::size_t size);
    void emit(bool last);

    std::FILE* f;
    std::size_t width, height, given = 0;
    std::vector<unsigned char> block;  // the stored block being filled, after its 5-byte header
    std::uint32_t a = 1, b = 0;        // the Adler-32 of the rows so far
    bool ok = true;
};

#endif
