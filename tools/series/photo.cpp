#include "tools/series/photo.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/file_system.h"
#include "image/image.h"
#include "tools/common/arguments.h"
#include "tools/common/p5.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// What tavrin-match reads at most.
constexpr long long kMostPixels = 1LL << 30;

// The image turned and mirrored as the EXIF orientation says a viewer shows it.
cv::Mat upright(cv::Mat const& image, int orientation)
{
    cv::Mat turned;
    switch (orientation) {
    case 2:
        cv::flip(image, turned, 1);
        break;
    case 3:
        cv::rotate(image, turned, cv::ROTATE_180);
        break;
    case 4:
        cv::flip(image, turned, 0);
        break;
    case 5:
        cv::transpose(image, turned);
        break;
    case 6:
        cv::rotate(image, turned, cv::ROTATE_90_CLOCKWISE);
        break;
    case 7:
        cv::transpose(image, turned), cv::rotate(turned, turned, cv::ROTATE_180);
        break;
    case 8:
        cv::rotate(image, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
        break;
    default:
        return image;
    }
    return turned;
}

// True when every pixel's three colours are one grey (a grey photograph saved as
// colour, or grey with alpha as a decoder gives it): its conversion changes nothing.
// A colour photograph shows it at its first pixels.
template <class T> bool sameChannels(cv::Mat const& image)
{
    int const channels = image.channels();
    for (int y = 0; y < image.rows; ++y) {
        T const* p = image.ptr<T>(y);
        for (int x = 0; x < image.cols; ++x, p += channels)
            if (p[0] != p[1] || p[1] != p[2])
                return false;
    }
    return true;
}

bool greyInColour(cv::Mat const& image)
{
    return image.depth() == CV_8U ? sameChannels<unsigned char>(image)
                                  : sameChannels<unsigned short>(image);
}

// Calls visit(marker, data, size) for each segment of a JPEG's header, up to the first
// scan, until it returns true; false when the bytes are not a JPEG or visit never does.
template <class Visit> bool eachJpegSegment(std::vector<unsigned char> const& b, Visit visit)
{
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8)
        return false;
    for (std::size_t at = 2; at + 4 <= b.size() && b[at] == 0xFF;) {
        unsigned const marker = b[at + 1];
        std::size_t const length = readNumber(&b[at + 2], 2, true);
        if (marker == 0xDA || marker == 0xD9 || length < 2 || at + 2 + length > b.size())
            return false;
        if (visit(marker, &b[at + 4], length - 2))
            return true;
        at += 2 + length;
    }
    return false;
}

// The colour components a JPEG's frame header declares; 0 when it is not a JPEG or
// none is found.
int jpegComponents(std::vector<unsigned char> const& b)
{
    int components = 0;
    eachJpegSegment(b, [&](unsigned marker, unsigned char const* data, std::size_t size) {
        bool const frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && size >= 6)
            components = data[5];
        return frame;
    });
    return components;
}

}  // namespace

int exifOrientation(std::vector<unsigned char> const& b)
{
    int orientation = 1;
    eachJpegSegment(b, [&](unsigned marker, unsigned char const* s, std::size_t n) {
        if (marker != 0xE1 || n < 14 || !std::equal(s, s + 6, "Exif\0\0"))
            return false;
        unsigned char const* t = s + 6;  // a TIFF header, then the first directory
        std::size_t const size = n - 6;
        bool const big = t[0] == 'M';
        if (!(t[0] == t[1] && (t[0] == 'M' || t[0] == 'I')))
            return true;
        std::size_t const ifd = readNumber(t + 4, 4, big);
        if (ifd + 2 > size)
            return true;
        std::size_t const entries = readNumber(t + ifd, 2, big);
        for (std::size_t e = 0; e < entries && ifd + 2 + 12 * (e + 1) <= size; ++e) {
            unsigned char const* entry = t + ifd + 2 + 12 * e;
            if (readNumber(entry, 2, big) == 0x0112 && readNumber(entry + 2, 2, big) == 3) {
                unsigned const v = readNumber(entry + 8, 2, big);
                orientation = v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
                break;
            }
        }
        return true;
    });
    return orientation;
}

bool readWhole(std::string const& path, std::vector<unsigned char>& bytes, std::string& reason,
               long long most)
{
    bool regular = true;
    std::FILE* f = openRegularFile(path.c_str(), regular);
    if (f == nullptr) {
        reason = regular ? std::string("elle ne peut \xEAtre ouverte : ") + std::strerror(errno)
                         : "ce n'est pas un fichier ordinaire";
        return false;
    }
    long long const size = fileBytes(f);
    bool read = size >= 0 && size <= most;
    if (read) {
        bytes.resize(static_cast<std::size_t>(size));
        read = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size() &&
               std::fgetc(f) == EOF && !std::ferror(f);
    }
    std::fclose(f);
    if (!read)
        reason = size > most ? "le fichier est trop grand pour une photographie"
                             : "le fichier ne peut \xEAtre lu";
    return read;
}

namespace {

// A P5 file as tavrin's reader takes it (the library's header rule), or its refusal.
GreyPhoto p5Photo(std::string const& path)
{
    GreyPhoto photo;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(openToRead(path.c_str()), std::fclose);
    P5Header const header = f != nullptr ? readP5Header(f.get()) : P5Header{};
    long long const pixels = static_cast<long long>(header.width) * header.height;
    if (!header.sized)
        photo.refusal = "son en-t\xEAte PGM n'est pas celui que tavrin lit";
    else if (pixels > kMostPixels)
        photo.refusal = "elle est trop grande : " + std::to_string(header.width) + " x " +
                        std::to_string(header.height) + " pixels";
    if (!photo.refusal.empty())
        return photo;
    photo.grey.create(header.height, header.width, CV_8UC1);
    if (readPixels(f.get(), photo.grey.data, photo.grey.total()) != 0) {
        photo.grey.release();
        photo.refusal =
            std::ferror(f.get()) ? "le fichier ne peut \xEAtre lu" : "le fichier est tronqu\xE9";
        return photo;
    }
    photo.asItIs = true;
    return photo;
}

// The file decoded, 8 or 16 bits a channel; empty, with the refusal, when it cannot be.
// A JPEG of one or three components is decoded straight to its luma, the grey its
// encoder computed with the same weights: a fourth of the work of its colours.
cv::Mat decoded(std::vector<unsigned char> const& bytes, int components, GreyPhoto& photo)
{
    bool const luma = components == 1 || components == 3;
    cv::Mat image;
    try {
        image = cv::imdecode(bytes, luma ? cv::IMREAD_GRAYSCALE | cv::IMREAD_IGNORE_ORIENTATION
                                         : cv::IMREAD_UNCHANGED);
    } catch (cv::Exception const&) {
        image.release();
    } catch (std::bad_alloc const&) {
        photo.refusal = "elle est trop grande pour la m\xE9moire de cet ordinateur";
        return {};
    }
    if (image.empty()) {
        photo.refusal = "ce n'est pas une photographie lisible (JPEG, PNG, TIFF ou PGM), ou "
                        "elle est ab\xEEm\xE9"
                        "e ou trop grande";
    } else if (image.depth() != CV_8U && image.depth() != CV_16U) {
        photo.refusal = "ses pixels ne sont ni de 8 ni de 16 bits";
        image.release();
    }
    return image;
}

// The decoded image's grey, of its depth; empty, with the refusal, when it has a number
// of channels that is neither grey nor colour.
cv::Mat greyOf(cv::Mat const& image, int components, GreyPhoto& photo)
{
    int const channels = image.channels();
    cv::Mat grey;
    if (channels == 1) {
        grey = image;
        if (components == 3)
            photo.notes.push_back("couleur -> gris");
    } else if (channels == 2) {
        cv::extractChannel(image, grey, 0);
    } else if (channels == 3 || channels == 4) {
        cv::cvtColor(image, grey, channels == 3 ? cv::COLOR_BGR2GRAY : cv::COLOR_BGRA2GRAY);
        if (!greyInColour(image))
            photo.notes.push_back("couleur -> gris");
    } else {
        photo.refusal = "elle a " + std::to_string(channels) +
                        " canaux, ce qui n'est ni gris ni "
                        "couleur";
        return {};
    }
    if (channels == 2 || channels == 4)
        photo.notes.push_back("transparence ignor\xE9"
                              "e");
    return grey;
}

// 16-bit grey made 8-bit, each value the nearest.
cv::Mat eightBitsOf(cv::Mat const& grey)
{
    cv::Mat eight(grey.size(), CV_8UC1);
    for (int y = 0; y < grey.rows; ++y) {
        auto const* from = grey.ptr<unsigned short>(y);
        unsigned char* to = eight.ptr<unsigned char>(y);
        for (int x = 0; x < grey.cols; ++x)
            to[x] = eightBits(from[x]);
    }
    return eight;
}

}  // namespace

GreyPhoto greyPhoto(std::string const& path, std::vector<unsigned char> const& bytes)
{
    if (beginsWithP5(bytes.data(), bytes.size()))
        return p5Photo(path);
    GreyPhoto photo;
    if (cutShort(bytes)) {
        photo.refusal = "photographie ab\xEEm\xE9"
                        "e (fichier tronqu\xE9)";
        return photo;
    }
    int const components = jpegComponents(bytes);
    cv::Mat grey;
    {
        cv::Mat const image = decoded(bytes, components, photo);
        if (image.empty())
            return photo;
        grey = greyOf(image, components, photo);
        if (grey.empty())
            return photo;
    }
    if (grey.depth() == CV_16U) {
        grey = eightBitsOf(grey);
        photo.notes.push_back("16 bits -> 8 bits");
    }
    int const orientation = exifOrientation(bytes);
    if (orientation != 1) {
        grey = upright(grey, orientation);
        photo.notes.push_back("tourn\xE9"
                              "e selon l'appareil");
    }
    photo.grey = grey.isContinuous() ? grey : grey.clone();
    return photo;
}

std::string fingerprint(std::vector<unsigned char> const& bytes)
{
    std::uint64_t h = 14695981039346656037ULL;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ULL;
    char text[64];
    std::snprintf(text, sizeof text, "%zu-%016llx", bytes.size(),
                  static_cast<unsigned long long>(h));
    return text;
}
