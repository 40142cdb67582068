// The name check's format probe on arbitrary bytes: it says yes exactly when one of
// the file's pieces (a line with its line feed, or 29 bytes of a longer one) begins
// with "P5", and it reads nothing outside its buffer on the way.
#include "app/namecheck.h"
#include "fuzz/fuzz_support.h"

#include <cstdint>
#include <cstdio>

namespace {

// The answer worked out on the bytes themselves: cut them into pieces that end
// after a line feed or after 29 bytes, whichever comes first.
bool beginsAPieceWithP5(uint8_t const* data, size_t size)
{
    for (size_t start = 0, end = 0; start < size; start = end) {
        while (end < size && end - start < 29 && data[end++] != '\n') {
        }
        if (end - start >= 2 && data[start] == 'P' && data[start + 1] == '5')
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    static std::string const input = fuzz::scratchFile("input.pgm");

    fuzz::writeBytes(input, data, size);
    fuzz::require(passesNameCheck(input.c_str()) == beginsAPieceWithP5(data, size),
                  "the probe's answer is not whether a piece begins with P5");
    std::remove(input.c_str());
    return 0;
}
