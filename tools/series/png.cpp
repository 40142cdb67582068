// The stored PNG: its chunks with their CRC-32, and the zlib stream of stored blocks.
#include "tools/series/png.h"

#include "tools/series/series.h"

#include "image/whole_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

// PNG's CRC-32 (the reflected polynomial 0xEDB88320) of the bytes, continued from the
// inverted crc, eight bytes a step through eight tables (the "slicing" way), a byte a
// step at the end.
std::uint32_t crcByTables(std::uint32_t crc, unsigned char const* data, std::size_t size)
{
    static std::array<std::array<std::uint32_t, 256>, 8> const table = [] {
        std::array<std::array<std::uint32_t, 256>, 8> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (std::size_t k = 1; k < 8; ++k)
            for (std::uint32_t n = 0; n < 256; ++n)
                t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
        return t;
    }();
    std::size_t k = 0;
    for (; k + 8 <= size; k += 8) {
        std::uint32_t const low =
            crc ^ (std::uint32_t{data[k]} | std::uint32_t{data[k + 1]} << 8 |
                   std::uint32_t{data[k + 2]} << 16 | std::uint32_t{data[k + 3]} << 24);
        crc = table[7][low & 0xFF] ^ table[6][low >> 8 & 0xFF] ^ table[5][low >> 16 & 0xFF] ^
              table[4][low >> 24] ^ table[3][data[k + 4]] ^ table[2][data[k + 5]] ^
              table[1][data[k + 6]] ^ table[0][data[k + 7]];
    }
    for (; k < size; ++k)
        crc = table[0][(crc ^ data[k]) & 0xFF] ^ (crc >> 8);
    return crc;
}

#if defined(__x86_64__) || defined(__i386__)
// The same over a multiple of 16 bytes, 64 at least, by carry-less multiplication:
// four 128-bit lanes folded forward 64 bytes a step, then into one, then reduced to 32
// bits (Barrett), as Intel's paper on PCLMULQDQ describes it, with its constants for
// the reflected polynomial.
#define TAVRIN_FOLDING __attribute__((target("pclmul,sse4.1")))

TAVRIN_FOLDING inline __m128i load(unsigned char const* p)
{
    return _mm_loadu_si128(reinterpret_cast<__m128i const*>(p));
}

// x carried 128 bits on by k's two constants, then the next 16 bytes added.
TAVRIN_FOLDING inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), next),
                         _mm_clmulepi64_si128(x, k, 0x00));
}

TAVRIN_FOLDING std::uint32_t crcByFolding(std::uint32_t crc, unsigned char const* data,
                                          std::size_t size)
{
    __m128i const k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    __m128i const k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    __m128i const k5 = _mm_set_epi64x(0, 0x0163cd6124);
    __m128i const poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(data + 16), x3 = load(data + 32), x4 = load(data + 48);
    data += 64, size -= 64;
    for (; size >= 64; data += 64, size -= 64) {
        x1 = fold(x1, k1k2, load(data));
        x2 = fold(x2, k1k2, load(data + 16));
        x3 = fold(x3, k1k2, load(data + 32));
        x4 = fold(x4, k1k2, load(data + 48));
    }
    x1 = fold(fold(fold(x1, k3k4, x2), k3k4, x3), k3k4, x4);
    for (; size >= 16; data += 16, size -= 16)
        x1 = fold(x1, k3k4, load(data));
    __m128i const low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00),
                       _mm_srli_si128(x1, 4));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

// Whether the processor multiplies without carries (CPUID 1, ECX bit 1) and has SSE4.1
// (bit 19).
bool canFold()
{
    static bool const can = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & 1U << 1) != 0 && (c & 1U << 19) != 0;
    }();
    return can;
}
#endif

}  // namespace

std::uint32_t pngCrc(std::uint32_t crc, unsigned char const* data, std::size_t size)
{
    crc = ~crc;
#if defined(__x86_64__) || defined(__i386__)
    if (size >= 64 && canFold()) {
        std::size_t const folded = size & ~std::size_t{15};
        crc = crcByFolding(crc, data, folded);
        data += folded, size -= folded;
    }
#endif
    return ~crcByTables(crc, data, size);
}

namespace {

void bigEndian(unsigned char* at, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        at[k] = static_cast<unsigned char>(v >> (24 - 8 * k));
}

// A chunk: its length, its type, the data in two parts (either may be empty), its CRC.
bool writeChunk(std::FILE* f, char const* type, unsigned char const* first, std::size_t firstSize,
                unsigned char const* second = nullptr, std::size_t secondSize = 0)
{
    unsigned char head[8], tail[4];
    bigEndian(head, static_cast<std::uint32_t>(firstSize + secondSize));
    std::copy(type, type + 4, head + 4);
    bigEndian(tail, pngCrc(pngCrc(pngCrc(0, head + 4, 4), first, firstSize), second, secondSize));
    return std::fwrite(head, 1, 8, f) == 8 &&
           (firstSize == 0 || std::fwrite(first, 1, firstSize, f) == firstSize) &&
           (secondSize == 0 || std::fwrite(second, 1, secondSize, f) == secondSize) &&
           std::fwrite(tail, 1, 4, f) == 4;
}

constexpr std::size_t kMostStored = 65535;

}  // namespace

StoredPng::StoredPng(std::FILE* f, int width, int height)
    : f(f), width(static_cast<std::size_t>(width)), height(static_cast<std::size_t>(height))
{
    static unsigned char const signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char header[13] = {0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0};  // 8-bit grey, no filter
    bigEndian(header, static_cast<std::uint32_t>(width));
    bigEndian(header + 4, static_cast<std::uint32_t>(height));
    static unsigned char const zlibHeader[2] = {0x78, 0x01};
    ok = std::fwrite(signature, 1, 8, f) == 8 && writeChunk(f, "IHDR", header, 13) &&
         writeChunk(f, "IDAT", zlibHeader, 2);
    block.reserve(kMostStored + 5);
    block.resize(5);
}

bool StoredPng::rows(unsigned char const* data, std::size_t count)
{
    unsigned char const none = 0;
    for (std::size_t k = 0; k < count && ok; ++k, ++given) {
        add(&none, 1);
        add(data + k * width, width);
    }
    return ok;
}

bool StoredPng::finish()
{
    emit(true);
    unsigned char adler[4];
    bigEndian(adler, b << 16 | a);
    return ok && given == height && writeChunk(f, "IDAT", adler, 4) &&
           writeChunk(f, "IEND", nullptr, 0);
}

void StoredPng::add(unsigned char const* data, std::size_t size)
{
    while (size > 0 && ok) {
        std::size_t const n = std::min(size, kMostStored + 5 - block.size());
        sum(data, n);
        block.insert(block.end(), data, data + n);
        data += n, size -= n;
        if (block.size() == kMostStored + 5)
            emit(false);
    }
}

// Adler-32 over the bytes, 1024 at a time: after bytes d[0..n) the sum b has grown by
// n a + the sum of (n - k) d[k], which needs no running sum and fits 32 bits.
void StoredPng::sum(unsigned char const* data, std::size_t size)
{
    while (size > 0) {
        std::size_t const n = std::min<std::size_t>(size, 1024);
        std::uint32_t plain = 0, weighted = 0;
        for (std::size_t k = 0; k < n; ++k) {
            plain += data[k];
            weighted += static_cast<std::uint32_t>(n - k) * data[k];
        }
        b = (b + static_cast<std::uint32_t>(n) * a + weighted) % 65521;
        a = (a + plain) % 65521;
        data += n, size -= n;
    }
}

// The waiting bytes as one stored block, an IDAT chunk of its own: its header byte, LEN
// and NLEN, the bytes.
void StoredPng::emit(bool last)
{
    std::size_t const n = block.size() - 5;
    block[0] = last ? 1 : 0;
    block[1] = static_cast<unsigned char>(n & 0xFF);
    block[2] = static_cast<unsigned char>(n >> 8);
    block[3] = static_cast<unsigned char>(~n & 0xFF);
    block[4] = static_cast<unsigned char>(~n >> 8 & 0xFF);
    ok = ok && writeChunk(f, "IDAT", block.data(), block.size());
    block.resize(5);
}

namespace series {

bool writeStoredPng(fs::path const& path, cv::Mat const& grey)
{
    int const err = writeWhole(path.u8string().c_str(), [&](std::FILE* f) {
        StoredPng png(f, grey.cols, grey.rows);
        for (int y = 0; y < grey.rows; ++y)
            png.rows(grey.ptr(y), 1);
        return png.finish();
    });
    errno = err;
    return err == 0;
}

}  // namespace series
