// False-colour P6 writers. Each writes "P6\n<width> <height>\n255\n" and then, row by
// row from the top, three bytes a pixel: the low eight bits of the red, green and blue
// that HSL_to_RGB gives with a full scale of 255. Files are written whole or not at all
// (image/whole_file.h); a failure is reported through perror("\nError to write the image file")
// and the writer returns false.
#ifndef TAVRIN_COLOUR_PPM_H
#define TAVRIN_COLOUR_PPM_H

#include "image/image.h"
#include "image/matrix.h"

#include <cstdio>
#include <string>

// Each grey level 0..255 is the palette value. The image is only read.
bool writeIMAGE_2(IMAGE const& im, char const* path);

// cols x rows pixels; pixel (x, y) shows element (y, x). With M the largest element,
// a > 0 takes 255 * a / M, a < 0 takes 150 * a / |M| (a = -|M| is written blue 221,
// the low bits of -291), anything else a itself. A product that alone overflows is
// taken as 255 * (a / M) (or 150 * ...), so a huge largest element is still pure red.
//
// Colours where the scale gives no number of its own, all free of undefined behaviour:
//   - M = 0 with negative elements: those are scaled to -infinity, written (39, 0, 0).
//   - an element that is NaN, or any non-zero element when the first element is NaN
//     (M is then NaN): black (0, 0, 0).
//   - +infinity elements (then M = +infinity) are black, every finite element scales
//     to 0 and is written (39, 0, 159), and -infinity elements are black too; with a
//     finite M a -infinity element is written (39, 0, 0).
// A matrix whose rows x cols do not fit its storage is written as the empty 0 x 0 one.
bool matrice_to_ColorImage(mat_tpl<double> const& m, char const* path);

// The three bytes that matrice_to_ColorImage writes for element a of a matrix whose
// largest element is M, for a writer that draws such a map without holding the matrix.
void matrixColour(double a, double M, unsigned char (&rgb)[3]);

// The header of every P6 file the project writes: "P6\n", the comment lines given (each
// "# ...\n", or none), "<width> <height>\n255\n".
std::string p6Header(int width, int height, char const* comments = "");

// What a header of that layout declares, read from where the stream stands: sized when it
// is "P6\n", comment lines, a size of two numbers from 1 to 2^30 - 1 with one space
// between, and "255\n". The stream is left at the pixels.
struct P6Header {
    bool sized = false;
    int width = 0;
    int height = 0;
};
P6Header readP6Header(std::FILE* f);

#endif
