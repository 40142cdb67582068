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

// The reader honours any size up to 2147483647 pixels and zero-fills what the file
// does not supply, so a 20-byte file may rightly cost 2 GB: an input is skipped when
// one of its header pieces (what fgets gives: to a line feed, at most 79 bytes), read
// as the size line is ("%d %d"), asks for more than 2^20 pixels the reader would take.
bool mayAskTooMuch(uint8_t const* data, size_t size)
{
    for (size_t start = 0, end = 0; start < size; start = end) {
        while (end < size && end - start < 79 && data[end++] != '\n') {
        }
        std::string const piece(data + start, data + end);  // the reader too stops at a NUL
        char* after = nullptr;
        long long const a = std::strtol(piece.c_str(), &after, 10);
        long long const b = std::strtol(after, &after, 10);
        if (a > 0 && b > 0 && a <= INT_MAX && b <= INT_MAX && a * b > (1 << 20) && a * b <= INT_MAX)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    if (mayAskTooMuch(data, size))
        return 0;
    static std::string const input = fuzz::scratchFile("input.pgm");
    static std::string const output = fuzz::scratchFile("output.pgm");

    fuzz::writeBytes(input, data, size);
    IMAGE read(input.c_str());
    // The empty image, or a positive size of at most 2147483647 pixels, all there.
    size_t const n = static_cast<size_t>(read.width) * static_cast<size_t>(read.height);
    fuzz::require((read.width == 0 && read.height == 0 && read.pix == nullptr) ||
                      (read.width > 0 && read.height > 0 && n <= INT_MAX && read.pix != nullptr),
                  "neither the empty image nor a positive size with its pixels");
    read.writeIMAGE(output.c_str());
    IMAGE again(output.c_str());
    fuzz::require(again.width == read.width && again.height == read.height &&
                      (n == 0 || std::memcmp(again.pix, read.pix, n) == 0),
                  "the written image reads back with another size or other pixels");

    std::remove(input.c_str());
    std::remove(output.c_str());
    return 0;
}
