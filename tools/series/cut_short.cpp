// Photographs cut short: a copy stopped midway, a card pulled out too soon.
#include "tools/series/photo.h"

#include <algorithm>
#include <cstring>

namespace {

// A JPEG's segments walked, and its scans' coded data, up to the end-of-image marker.
bool jpegCut(std::vector<unsigned char> const& b)
{
    std::size_t at = 2;
    for (;;) {
        if (at + 2 > b.size())
            return true;
        unsigned const marker = b[at + 1];
        if (b[at] != 0xFF)
            return false;  // damaged otherwise: the decoder says so
        if (marker == 0xD9)
            return false;
        if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += marker == 0xFF ? 1 : 2;
            continue;
        }
        if (at + 4 > b.size() || at + 2 + readNumber(&b[at + 2], 2, true) > b.size())
            return true;
        at += 2 + readNumber(&b[at + 2], 2, true);
        // A scan's coded data: up to the next marker that is neither a stuffed 0xFF nor a
        // restart.
        for (; marker == 0xDA; ++at) {
            auto const* ff = static_cast<unsigned char const*>(
                at < b.size() ? std::memchr(&b[at], 0xFF, b.size() - at) : nullptr);
            if (ff == nullptr || ff + 1 >= b.data() + b.size())
                return true;
            at = static_cast<std::size_t>(ff - b.data());
            if (ff[1] != 0 && !(ff[1] >= 0xD0 && ff[1] <= 0xD7))
                break;
        }
    }
}

bool pngCut(std::vector<unsigned char> const& b)
{
    for (std::size_t at = 8;;) {
        if (at + 12 > b.size())
            return true;
        std::size_t const length = readNumber(&b[at], 4, true);
        if (length > b.size() - at - 12)
            return true;
        if (std::equal(&b[at + 4], &b[at + 8], "IEND"))
            return false;
        at += 12 + length;
    }
}

bool tiffCut(std::vector<unsigned char> const& b)
{
    bool const big = b[0] == 'M';
    std::size_t const ifd = readNumber(&b[4], 4, big);
    if (ifd + 2 > b.size())
        return true;  // its directory, written after the pixels, is gone
    std::size_t const entries = readNumber(&b[ifd], 2, big);
    if (ifd + 2 + 12 * entries > b.size())
        return true;
    // Each entry's values, as (at, count, size), for the offsets then the byte counts.
    std::size_t at[2] = {}, count[2] = {}, size[2] = {};
    for (std::size_t e = 0; e < entries; ++e) {
        unsigned char const* entry = &b[ifd + 2 + 12 * e];
        unsigned const tag = readNumber(entry, 2, big), type = readNumber(entry + 2, 2, big);
        int const k = tag == 273 || tag == 324 ? 0 : tag == 279 || tag == 325 ? 1 : -1;
        if (k < 0 || (type != 3 && type != 4))
            continue;
        size[k] = type == 3 ? 2 : 4;
        count[k] = readNumber(entry + 4, 4, big);
        at[k] = count[k] * size[k] <= 4 ? static_cast<std::size_t>(entry + 8 - b.data())
                                        : readNumber(entry + 8, 4, big);
    }
    if (count[0] == 0 || count[0] != count[1])
        return false;
    for (std::size_t i = 0; i < count[0]; ++i) {
        std::size_t const o = at[0] + i * size[0], n = at[1] + i * size[1];
        if (o + size[0] > b.size() || n + size[1] > b.size())
            return true;
        unsigned long long const start = readNumber(&b[o], static_cast<int>(size[0]), big);
        unsigned long long const bytes = readNumber(&b[n], static_cast<int>(size[1]), big);
        if (start + bytes > b.size())
            return true;
    }
    return false;
}

}  // namespace

bool cutShort(std::vector<unsigned char> const& b)
{
    if (b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8)
        return jpegCut(b);
    unsigned char const png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() >= 8 && std::equal(png, png + 8, b.begin()))
        return pngCut(b);
    if (b.size() >= 8 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                          (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42)))
        return tiffCut(b);
    return false;
}
