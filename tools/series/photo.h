// A photograph as operators have it (JPEG, PNG, TIFF or binary PGM), made the 8-bit
// grey P5 that tavrin reads, with what was done to it said in French.
#ifndef TAVRIN_TOOLS_SERIES_PHOTO_H
#define TAVRIN_TOOLS_SERIES_PHOTO_H

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

struct GreyPhoto {
    cv::Mat grey;                    // 8-bit, one channel; empty when refused
    std::vector<std::string> notes;  // "couleur -> gris", "16 bits -> 8 bits"...
    std::string refusal;             // why it cannot be had, in French; empty when it can
    bool asItIs = false;             // a P5 that tavrin reads: its bytes are kept as they are
};

// The named file made an 8-bit grey image: colour by the usual luma weights (OpenCV's
// conversion to grey), 16 bits scaled to 8 with rounding, alpha left out, a JPEG's EXIF
// orientation applied. A P5 file is taken as tavrin's reader takes it (the library's
// header rule), or refused. bytes are the file's, read whole (readWhole); path names it.
GreyPhoto greyPhoto(std::string const& path, std::vector<unsigned char> const& bytes);

// The whole of a regular file, at most most bytes; false, with the reason in French,
// when it cannot be opened or read, is not a regular file or holds more.
bool readWhole(std::string const& path, std::vector<unsigned char>& bytes, std::string& reason,
               long long most);

// What a photograph's file may hold at most.
constexpr long long kMostPhotoBytes = 4LL << 30;

// True when a JPEG ends before its end-of-image marker, a PNG before its IEND chunk,
// or a TIFF's first image before its directory or the last of its strips or tiles: a
// file cut short, whose decoder would fill what is missing with grey and not say so.
bool cutShort(std::vector<unsigned char> const& bytes);

// The unsigned number of size bytes (1 to 4) at p, big-endian or little-endian.
inline unsigned readNumber(unsigned char const* p, int size, bool big)
{
    unsigned v = 0;
    for (int k = 0; k < size; ++k)
        v |= static_cast<unsigned>(p[big ? k : size - 1 - k]) << (8 * (size - 1 - k));
    return v;
}

// The orientation a JPEG's EXIF block records (1 to 8, 1 upright); 1 when it records none.
int exifOrientation(std::vector<unsigned char> const& bytes);

// The 8-bit value nearest to a 16-bit one: v * 255 / 65535, rounded.
inline unsigned char eightBits(unsigned v)
{
    return static_cast<unsigned char>((v * 255U + 32767U) / 65535U);
}

// The file's bytes as a short fingerprint: their count and a 64-bit FNV-1a hash.
std::string fingerprint(std::vector<unsigned char> const& bytes);

#endif
