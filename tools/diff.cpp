// tavrin-diff: how well a rectified photograph lies on its base photograph. Writes a
// false-colour map of the absolute grey-level differences (a colour P6 file) and prints
// one line of alignment figures: the mean absolute difference and the share of pixels
// within kTolerance grey levels, over the pixels of the base frame that the further
// photograph covers (the whole frame when it is not named).
//
// Usage: tavrin-diff BASE.pgm RECTIFIED.pgm MAP.ppm [FURTHER.pgm A B A' B']
// Exit status: 0 done, 1 an image could not be read or the map written, 2 bad arguments.
#include "colour/ppm.h"
#include "image/file_system.h"
#include "image/image.h"
#include "image/matrix.h"
#include "image/whole_file.h"
#include "tools/arguments.h"
#include "tools/p5.h"
#include "tools/point_argument.h"
#include "tools/similarity.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

using plane::Place;
using plane::Similarity;
using plane::similarityOf;

constexpr int kTolerance = 8;  // grey levels: a few steps of the sensor's grain

struct Failure {
    int status;
    std::string message;
};

Failure usageError(std::string const& message)
{
    return {2, message};
}

Failure runtimeError(std::string const& message)
{
    return {1, message};
}

char const kUsage[] =
    "usage: tavrin-diff BASE.pgm RECTIFIED.pgm MAP.ppm [FURTHER.pgm A B A' B']\n"
    "Compares RECTIFIED, a photograph that tavrin has rectified onto BASE, with BASE:\n"
    "writes MAP, a colour P6 map of the absolute grey-level differences (dark blue: none,\n"
    "through cyan, green and yellow, to red: the largest; near black: not covered), and\n"
    "prints the mean absolute difference and the share of pixels within 8 grey levels.\n"
    "With FURTHER, the photograph as taken, and the control points typed for it (A and B\n"
    "on BASE, A' and B' on FURTHER, each as x,y), only the pixels of the frame that\n"
    "FURTHER covers, one pixel clear of its edges, are counted; otherwise all of them.\n";

// Why the map may not be written at mapPath: it would replace one of the images compared,
// or a P5 photograph (a slip of the arguments); empty when it may.
std::string whyNotWritten(char const* mapPath, char const* const inputs[], int count)
{
    for (int k = 0; k < count; ++k)
        if (wouldReplace(mapPath, inputs[k]))
            return std::string("the map ") + mapPath + " would replace " + inputs[k] +
                   ", an image compared: nothing is written";
    bool regular = true;
    FILE* f = openRegularFile(mapPath, regular);
    if (f == nullptr)
        return {};
    bool const p5 = beginsWithP5(f);
    std::fclose(f);
    return p5 ? std::string("the map ") + mapPath +
                    " would replace a P5 photograph: nothing is written"
              : std::string();
}

// The named P5 file, whole. Failures to open and files of another kind are told here;
// other faults (a bad size line) by the library, on stderr, before this returns null.
std::unique_ptr<IMAGE> loadGrey(char const* path, Failure& failure)
{
    bool regular = true;
    FILE* f = openRegularFile(path, regular);
    if (f == nullptr) {
        failure =
            runtimeError(regular ? std::string("cannot open ") + path + ": " + std::strerror(errno)
                                 : std::string(path) + " is not a regular file");
        return nullptr;
    }
    bool const p5 = beginsWithP5(f);
    std::fclose(f);
    if (!p5) {
        failure = runtimeError(std::string(path) + " is not a binary PGM (P5) image");
        return nullptr;
    }
    auto im = std::make_unique<IMAGE>(path);
    if (im->width == 0 || im->height == 0) {
        failure = runtimeError(std::string("cannot read the image in ") + path);
        return nullptr;
    }
    return im;
}

// Which pixels of the base frame the further photograph covers: the similarity that
// takes A onto A' and B onto B' carries base pixel p to a + m (p - A), in complex
// arithmetic, and p counts when that place lies at least one pixel inside FURTHER.
// The margin absorbs tavrin's truncation of A' to whole pixels.
struct Footprint {
    bool wholeFrame = true;
    Similarity onFurther{{0, 0}, {0, 0}, 1, 0};
    double lastX = 0;  // FURTHER's width - 2 and height - 2
    double lastY = 0;

    bool covers(int x, int y) const
    {
        if (wholeFrame)
            return true;
        Place const q = onFurther.apply({static_cast<double>(x), static_cast<double>(y)});
        return q.x >= 1 && q.x <= lastX && q.y >= 1 && q.y <= lastY;
    }
};

bool footprintOf(char** args, Footprint& fp, Failure& failure)
{
    char const* const names[] = {"A", "B", "A'", "B'"};
    Place points[4];
    for (int k = 0; k < 4; ++k) {
        if (!parsePointArgument(args[1 + k], points[k].x, points[k].y)) {
            failure = usageError(std::string("point ") + names[k] + " must be typed x,y (" +
                                 "two numbers and a comma, no blank), not '" + args[1 + k] + "'");
            return false;
        }
    }
    auto const norm = [](Place p, Place q) {
        double const dx = q.x - p.x;
        double const dy = q.y - p.y;
        return dx * dx + dy * dy;
    };
    if (norm(points[0], points[1]) == 0 || norm(points[2], points[3]) == 0) {
        failure = usageError("A and B must be two different points, and so must A' and B'");
        return false;
    }
    std::unique_ptr<IMAGE> further = loadGrey(args[0], failure);
    if (!further)
        return false;
    fp.wholeFrame = false;
    fp.onFurther = similarityOf(points[0], points[1], points[2], points[3]);
    fp.lastX = further->width - 2.0;
    fp.lastY = further->height - 2.0;
    return true;
}

struct Figures {
    long long covered = 0;
    long long sumAbs = 0;
    long long within = 0;
};

// The absolute differences over the covered pixels; the others get a negative value
// that the palette shows near black, (39, 0, 0): -53/150 of the largest difference
// lands where its negative ramp reaches blue 0, and with no difference at all any
// negative value is drawn so.
Figures differences(IMAGE const& base, IMAGE const& rectified, Footprint const& fp,
                    mat_tpl<double>& map)
{
    Figures f;
    int largest = 0;
    for (int y = 0; y < base.height; ++y) {
        for (int x = 0; x < base.width; ++x) {
            if (!fp.covers(x, y))
                continue;
            int const d = std::abs(*rectified.getpix(x, y) - *base.getpix(x, y));
            map(y, x) = d;
            ++f.covered;
            f.sumAbs += d;
            f.within += d <= kTolerance ? 1 : 0;
            largest = d > largest ? d : largest;
        }
    }
    double const outside = largest > 0 ? -largest * 53.0 / 150.0 : -1.0;
    for (int y = 0; y < base.height; ++y)
        for (int x = 0; x < base.width; ++x)
            if (!fp.covers(x, y))
                map(y, x) = outside;
    return f;
}

int compare(int argc, char** argv, Failure& failure)
{
    char const* const basePath = argv[1];
    char const* const rectifiedPath = argv[2];
    char const* const mapPath = argv[3];

    Footprint fp;
    if (argc == 9 && !footprintOf(argv + 4, fp, failure))
        return failure.status;

    std::unique_ptr<IMAGE> base = loadGrey(basePath, failure);
    if (!base)
        return failure.status;
    std::unique_ptr<IMAGE> rectified = loadGrey(rectifiedPath, failure);
    if (!rectified)
        return failure.status;
    if (rectified->width != base->width || rectified->height != base->height) {
        failure =
            runtimeError(std::string(rectifiedPath) + " is " + std::to_string(rectified->width) +
                         " x " + std::to_string(rectified->height) + " pixels and " + basePath +
                         " " + std::to_string(base->width) + " x " + std::to_string(base->height) +
                         ": a rectified image has its base image's size");
        return failure.status;
    }

    char const* const inputs[] = {basePath, rectifiedPath, argc == 9 ? argv[4] : basePath};
    std::string const refusal = whyNotWritten(mapPath, inputs, 3);
    if (!refusal.empty()) {
        failure = runtimeError(refusal);
        return failure.status;
    }

    mat_tpl<double> map(base->height, base->width);
    Figures const f = differences(*base, *rectified, fp, map);
    if (f.covered == 0) {
        failure = runtimeError(std::string(argv[4]) +
                               " covers no pixel of the base frame: nothing to compare");
        return failure.status;
    }
    if (!matrice_to_ColorImage(map, mapPath)) {
        failure = runtimeError(std::string("could not write ") + mapPath);
        return failure.status;
    }

    long long const frame = static_cast<long long>(base->width) * base->height;
    std::printf("%s: mean abs difference %.2f, %.1f%% within %d grey levels, over %lld "
                "pixels (%.1f%% of the frame)\n",
                rectifiedPath, static_cast<double>(f.sumAbs) / static_cast<double>(f.covered),
                100.0 * static_cast<double>(f.within) / static_cast<double>(f.covered), kTolerance,
                f.covered, 100.0 * static_cast<double>(f.covered) / static_cast<double>(frame));
    if (!stdoutWritten()) {
        failure =
            runtimeError(std::string("the figures could not be written: ") + std::strerror(errno));
        return failure.status;
    }
    return 0;
}

}  // namespace

int main(int count, char** given)
{
    Arguments arguments(count, given);
    int const argc = arguments.count();
    char** const argv = arguments.values();
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 4 && argc != 9) {
        std::fprintf(stderr, "tavrin-diff: %s\n%s",
                     argc < 4 ? "too few arguments" : "wrong number of arguments", kUsage);
        return 2;
    }
    Failure failure{0, ""};
    int status = 0;
    try {
        status = compare(argc, argv, failure);
    } catch (std::bad_alloc const&) {
        failure = runtimeError("not enough memory for the images");
        status = failure.status;
    }
    if (status != 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "tavrin-diff: %s\n", failure.message.c_str());
        if (failure.status == 2)
            std::fputs("Try 'tavrin-diff --help'.\n", stderr);
    }
    return status;
}
