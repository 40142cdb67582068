// The P5 reader on arbitrary bytes. Whatever the file holds, the image read is
// either the empty one or a positive size with its pixel block, and writing it
// and reading the written file back gives the same size and the same pixels.
#include "fuzz/fuzz_support.h"
#include "image/image.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Largest pixel count the target lets a header ask for. The reader honours any
// size up to 2147483647 pixels and zero-fills what the file does not supply, so a
// 20-byte file may rightly cost 2 GB; such inputs are skipped, not failed.
constexpr long long kPixelCap = 1 << 20;

// The pixel count a header piece asks for, read as the size line is ("%d %d"),
// or 0 when it gives no two positive ints.
long long pixelsAskedBy(std::string const& piece)
{
    char const* first = piece.c_str();  // the reader, too, stops at a NUL
    char* end = nullptr;
    long const a = std::strtol(first, &end, 10);
    if (end == first)
        return 0;
    char const* second = end;
    long const b = std::strtol(second, &end, 10);
    if (end == second || a <= 0 || b <= 0 || a > INT_MAX || b > INT_MAX)
        return 0;
    return static_cast<long long>(a) * b;
}

// True when a size line the reader could take asks for more than kPixelCap pixels
// but no more than it accepts. The reader takes its header in the pieces that
// fgets gives (up to a line feed, at most 79 bytes), so every such piece is tried.
bool mayAskTooMuch(uint8_t const* data, size_t size)
{
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && end - start < 79 && data[end++] != '\n') {
        }
        long long const n = pixelsAskedBy(std::string(data + start, data + end));
        if (n > kPixelCap && n <= INT_MAX)
            return true;
        start = end;
    }
    return false;
}

// An image is the empty one, or a positive size whose every pixel is there.
void requireWellFormed(IMAGE const& im)
{
    if (im.width == 0 && im.height == 0) {
        fuzz::require(im.pix == nullptr, "an empty image holds a buffer");
        return;
    }
    fuzz::require(im.width > 0 && im.height > 0, "a size with a zero or negative side");
    fuzz::require(static_cast<long long>(im.width) * im.height <= INT_MAX,
                  "more than 2147483647 pixels");
    fuzz::require(im.pix != nullptr, "a sized image without a buffer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    if (mayAskTooMuch(data, size))
        return 0;
    static fuzz::ScratchDir scratch;
    static std::string const input = scratch.file("input.pgm");
    static std::string const output = scratch.file("output.pgm");

    fuzz::writeBytes(input, data, size);
    IMAGE read(input.c_str());
    requireWellFormed(read);

    read.writeIMAGE(output.c_str());
    IMAGE again(output.c_str());
    requireWellFormed(again);
    fuzz::require(again.width == read.width && again.height == read.height,
                  "the written image reads back with another size");
    size_t n = static_cast<size_t>(read.width) * static_cast<size_t>(read.height);
    fuzz::require(n == 0 || std::memcmp(again.pix, read.pix, n) == 0,
                  "the written image reads back with other pixels");

    std::remove(input.c_str());
    std::remove(output.c_str());
    return 0;
}
