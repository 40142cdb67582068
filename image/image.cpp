#include "image/image.h"

#include "image/file_system.h"
#include "image/whole_file.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Header lines are read as the format's own reader does: up to and including the
// next line feed, never more than 79 bytes; a carriage return stays in the line.
constexpr int kLineBytes = 80;

// Reads one piece into line. A read that yields no byte leaves line as it was.
bool readLine(FILE* f, char (&line)[kLineBytes])
{
    char piece[kLineBytes];
    if (std::fgets(piece, kLineBytes, f) == nullptr)
        return false;
    std::memcpy(line, piece, sizeof piece);
    return true;
}

// Skips comment lines: the end-of-file test comes before each read, and the
// first line read that does not begin with '#' (or the last line held when the
// file ends) is the one that ends the skipping.
void skipComments(FILE* f, char (&line)[kLineBytes])
{
    while (!std::feof(f)) {
        if (!readLine(f, line))
            break;
        if (line[0] != '#')
            break;
    }
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d" conversion: white space, an optional sign, decimal digits. Unlike
// sscanf it refuses a number beyond the int range instead of leaving it undefined.
bool parseInt(char const*& s, int& value)
{
    while (isSpace(*s))
        ++s;
    bool negative = false;
    if (*s == '+' || *s == '-')
        negative = *s++ == '-';
    if (*s < '0' || *s > '9')
        return false;
    long long magnitude = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        magnitude = magnitude * 10 + (*s - '0');
        if (magnitude > 2147483648LL)
            return false;
    }
    long long v = negative ? -magnitude : magnitude;
    if (v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

// The size line, "%d %d": two positive numbers whose product fits the pixel count.
bool parseSize(char const* line, int& w, int& h)
{
    int a = 0;
    int b = 0;
    if (!parseInt(line, a) || !parseInt(line, b))
        return false;
    if (a <= 0 || b <= 0 || static_cast<long long>(a) * b > INT_MAX)
        return false;
    w = a;
    h = b;
    return true;
}

bool validSize(int w, int h)
{
    return w >= 0 && h >= 0 && static_cast<long long>(w) * h <= INT_MAX;
}

}  // namespace

std::size_t readPixels(FILE* f, unsigned char* pixels, std::size_t count)
{
    std::size_t const got = std::fread(pixels, 1, count, f);
    std::memset(pixels + got, 0, count - got);
    return count - got;
}

// Without printf: a tool that formats nothing else would fault in libc's formatter for it.
std::string p5Header(int width, int height)
{
    return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
}

// Out of line: writeIMAGE calls it rather than holding a second copy.
[[gnu::noinline]] bool encodeP5(FILE* f, unsigned char const* pixels, int width, int height)
{
    std::string const header = p5Header(width, height);
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
    std::size_t const n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (n > 0 && pixels != nullptr)
        ok = std::fwrite(pixels, 1, n, f) == n && ok;
    return ok;
}

P5Header readP5Header(FILE* f)
{
    P5Header header;
    char line[kLineBytes] = {};
    header.magic = readLine(f, line) && line[0] == 'P' && line[1] == '5';
    if (!header.magic)
        return header;
    skipComments(f, line);
    header.sized = parseSize(line, header.width, header.height);
    if (!header.sized)
        return header;
    skipComments(f, line);  // the maximum-value line: one byte per pixel whatever it says
    header.pixelsAt = std::ftell(f);
    return header;
}

IMAGE::IMAGE(char const* path) : pix(nullptr), width(0), height(0)
{
    File f(openToRead(path));
    if (!f) {
        std::fflush(stdout);
        std::perror("\nError opening image file ");
        std::printf("\nfichier : %s pose probl\xE8me", path);
        return;
    }

    P5Header const header = readP5Header(f.get());
    if (!header.magic) {
        std::fflush(stdout);
        std::fputs("\nFormat d'image non support\xE9... <press enter to exit>", stderr);
        return;
    }
    if (!header.sized) {
        // No size to trust: allocate nothing and read no pixel.
        std::fflush(stdout);
        std::fprintf(stderr, "\nTaille d'image illisible ou hors limites dans %s\n", path);
        return;
    }
    int const w = header.width;
    int const h = header.height;

    std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    pix = new unsigned char[n];
    preferLargePages(pix, n);
    width = w;
    height = h;
    readPixels(f.get(), pix, n);  // what a short block leaves unread is 0
}

IMAGE::IMAGE(int w, int h) : pix(nullptr), width(0), height(0)
{
    if (!validSize(w, h))
        return;
    std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (n > 0)
        pix = new unsigned char[n]();
    width = w;
    height = h;
}

IMAGE::IMAGE(int w, int h, Unset) : pix(nullptr), width(0), height(0)
{
    if (!validSize(w, h))
        return;
    std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (n > 0) {
        pix = new unsigned char[n];
        preferLargePages(pix, n);
    }
    width = w;
    height = h;
}

IMAGE::~IMAGE()
{
    delete[] pix;
}

unsigned char* IMAGE::getpix(int x, int y)
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return pix;
    return pix + (x + y * width);
}

unsigned char const* IMAGE::getpix(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return pix;
    return pix + (x + y * width);
}

bool IMAGE::writeIMAGE(char const* path) const
{
    return writeWholeFile(path, [this](FILE* f) { return encodeP5(f, pix, width, height); });
}
