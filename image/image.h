// IMAGE: an 8-bit greyscale raster that owns one block of width x height bytes,
// row by row from the top-left pixel (pixel (x, y) at x + y * width).
// getpix clamps: any coordinate out of range gives the address of pixel (0, 0).
#ifndef TAVRIN_IMAGE_IMAGE_H
#define TAVRIN_IMAGE_IMAGE_H

#include <cstddef>
#include <cstdio>
#include <string>

template <class T> class mat_tpl;

// What the header of a P5 file declares, read as IMAGE's reader reads it and saying
// nothing: the "P5" magic at the very start, comment lines skipped, the size as two
// positive numbers of at most 2147483647 pixels, the maximum-value line. sized is
// false when the reader takes no size from it; pixelsAt is where the pixel block
// begins. The stream is left there.
struct P5Header {
    bool magic = false;
    bool sized = false;
    int width = 0;
    int height = 0;
    long pixelsAt = 0;
};
P5Header readP5Header(std::FILE* f);

// Reads the count bytes of a pixel block from where the stream stands into pixels;
// those that a short file leaves unread are 0. Returns how many were missing, 0 when the
// block is whole; std::ferror tells a read error from the file's end.
std::size_t readPixels(std::FILE* f, unsigned char* pixels, std::size_t count);

// The header of every P5 file the project writes: "P5\n<width> <height>\n255\n".
std::string p5Header(int width, int height);

// The P5 bytes of width x height pixels over an open stream: the header, then the
// pixels, row by row from the top-left, in one write. False when a write fails.
bool encodeP5(std::FILE* f, unsigned char const* pixels, int width, int height);

class IMAGE {
public:
    unsigned char* pix;  // null for an image without pixels
    int width;
    int height;

    // Reads a binary PGM (P5) file. On any failure the image is left empty
    // (width 0, height 0, no buffer) and the reason is reported on the console.
    // Throws std::bad_alloc when the pixel buffer cannot be had.
    explicit IMAGE(char const* path);

    // A canvas of w x h pixels, all 0. Sizes that are negative or whose product
    // exceeds 2147483647 give the empty image.
    IMAGE(int w, int h);

    // A canvas whose pixels are not set, for a caller that writes every one of them
    // before any is read: it saves a pass over a large canvas. Sizes as above.
    struct Unset {};
    IMAGE(int w, int h, Unset);

    // A grey image of the matrix against a full scale: row i becomes image row i.
    IMAGE(mat_tpl<double>& m, double scale);

    ~IMAGE();

    IMAGE(IMAGE const&) = delete;
    IMAGE& operator=(IMAGE const&) = delete;

    // Address of pixel (x, y), or of pixel (0, 0) when (x, y) lies outside.
    // For an image without pixels the result designates no pixel.
    unsigned char* getpix(int x, int y);
    unsigned char const* getpix(int x, int y) const;

    // Writes "P5\n<width> <height>\n255\n" and the pixel block, whole or not at all
    // (image/whole_file.h); a failure is reported through perror. True when written.
    bool writeIMAGE(char const* path) const;
};

#endif
