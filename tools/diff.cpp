// tavrin-diff: how well a rectified photograph lies on its base photograph. Writes a
// false-colour map of the absolute grey-level differences (a colour P6 file) and prints
// one line of alignment figures: the mean absolute difference and the share of pixels
// within kTolerance grey levels, over the pixels of the base frame that the further
// photograph covers (the whole frame when it is not named).
//
// The map carries a mark in its header, and an existing file at MAP is replaced only
// when it is such a map. Every input's header is checked against the file's size, and
// MAP against what stands there, before any pixel is read.
//
// Usage: tavrin-diff [--machine] BASE.pgm REDRESSEE.pgm CARTE.ppm [PHOTO.pgm A B A' B' [C C']]
// With --machine, the lines of figures are the machine lines (tools/common/machine_line.h) in
// place of the French.
// Exit status: 0 done, 1 an image could not be read or the map written, 2 bad arguments.
#include "colour/ppm.h"
#include "image/file_system.h"
#include "image/image.h"
#include "image/whole_file.h"
#include "tools/common/arguments.h"
#include "tools/common/machine_line.h"
#include "tools/common/p5.h"
#include "tools/common/point_argument.h"
#include "tools/common/similarity.h"
#include "tools/common/tool.h"

#include <cerrno>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

using plane::Place;
using plane::Similarity;
using plane::similarityOf;

constexpr int kTolerance = 8;  // grey levels: a few steps of the sensor's grain

struct Failure {
    int status;
    std::string message;  // told with "tavrin-diff : " before it
};

// A whole number in a message, written out of line: the messages are many and rare.
[[gnu::noinline]] std::string decimal(long long n)
{
    return std::to_string(n);
}

Failure usageError(std::string const& message)
{
    return {2, message};
}

// A message made of its pieces in one out-of-line concatenation: the messages are many
// and rare, and each then costs a call.
[[gnu::noinline]] Failure runtimeError(std::initializer_list<std::string_view> pieces)
{
    Failure failure{1, ""};
    for (std::string_view piece : pieces)
        failure.message.append(piece.data(), piece.size());
    return failure;
}

char const kUsage[] =
    "Usage : tavrin-diff [--machine] BASE.pgm REDRESSEE.pgm CARTE.ppm [PHOTO.pgm A B A' B' [C "
    "C']]\n"
    "Compare \xE0 BASE la photographie REDRESSEE, que tavrin a redress\xE9"
    "e sur BASE :\n"
    "\xE9"
    "crit CARTE, une carte en couleurs (P6) des \xE9"
    "carts absolus de niveaux de gris\n"
    "(bleu fonc\xE9 : aucun, puis cyan, vert et jaune, jusqu'au rouge : les plus grands ;\n"
    "presque noir : non couvert), et affiche l'\xE9"
    "cart moyen absolu et la part des pixels\n"
    "\xE0 8 niveaux de gris pr\xE8s. Avec PHOTO, la photographie telle qu'elle a \xE9t\xE9 prise,\n"
    "et les points saisis pour elle (A et B sur BASE, A' et B' sur PHOTO, chacun x,y),\n"
    "seuls comptent les pixels du cadre que PHOTO couvre, \xE0 un pixel de ses bords ;\n"
    "sinon tous. Avec en plus un point de contr\xF4le C sur BASE et C' sur PHOTO, dit o\xF9\n"
    "A et B placent C, \xE0 combien de pixels en est C', et lequel de A' ou B' d\xE9placer, et\n"
    "o\xF9, pour l'y ramener.\n"
    "Un fichier d\xE9j\xE0 pr\xE9sent \xE0 CARTE n'est remplac\xE9 que si c'est une\n"
    "carte \xE9"
    "crite par tavrin-diff.\n"
    "Avec --machine, les chiffres sont dits par les lignes, fixes, que lisent les\n"
    "programmes (man tavrin-diff).\n"
    "Code de sortie : 0 fait, 1 une image illisible ou la carte non \xE9"
    "crite, 2 mauvais\n"
    "usage.\n";

// The comment line that marks a map as this tool's, right after the P6 magic.
char const kMapComment[] = "# tavrin-diff\n";

// Why the map may not be written at mapPath: it would replace one of the images compared,
// a P5 photograph (a slip of the arguments), or anything else that is not a map of this
// tool's; status 0 when it may.
Failure whyNotWritten(char const* mapPath, char const* const inputs[], int count)
{
    char const nothingWritten[] = " : rien n'est \xE9"
                                  "crit";
    for (int k = 0; k < count; ++k)
        if (wouldReplace(mapPath, inputs[k]))
            return runtimeError({"la carte ", mapPath, " remplacerait ", inputs[k],
                                 ", une image compar\xE9", "e", nothingWritten});
    switch (standingAt(mapPath)) {
    case Standing::nothing:
        return {0, ""};
    case Standing::link:
        return runtimeError({mapPath,
                             " est un lien, pas une carte \xE9"
                             "crite par tavrin-diff",
                             nothingWritten});
    case Standing::other:
        return runtimeError({mapPath, " n'est pas un fichier ordinaire", nothingWritten});
    case Standing::unknown: {
        std::string const why = systemError(errno);
        return runtimeError(
            {mapPath, " ne peut pas \xEAtre examin\xE9 (", why, ")", nothingWritten});
    }
    case Standing::file:
        break;
    }
    FILE* f = openToRead(mapPath);
    if (f == nullptr) {
        std::string const why = systemError(errno);
        return runtimeError(
            {mapPath, " existe d\xE9j\xE0 et ne peut pas \xEAtre lu (", why, ")", nothingWritten});
    }
    std::string const mapStart = std::string("P6\n") + kMapComment;
    char start[sizeof kMapComment + 2];
    std::size_t const got = std::fread(start, 1, sizeof start, f);
    std::fclose(f);
    if (beginsWithP5(reinterpret_cast<unsigned char const*>(start), got))
        return runtimeError(
            {"la carte ", mapPath, " remplacerait une photographie P5", nothingWritten});
    if (got == sizeof start && std::memcmp(start, mapStart.data(), sizeof start) == 0)
        return {0, ""};
    return runtimeError({mapPath,
                         " existe d\xE9j\xE0 et n'est pas une carte \xE9"
                         "crite par tavrin-diff",
                         nothingWritten});
}

// A photograph given to compare, opened once: its header read, the file left at its
// pixels.
struct GreyInput {
    char const* path = nullptr;
    std::unique_ptr<FILE, int (*)(FILE*)> file{nullptr, std::fclose};
    P5Header declared;
};

// Opens the named file as a photograph: a regular file that begins as a P5 file and,
// when its header is one the reader takes, holds every pixel it declares.
bool openGrey(char const* path, GreyInput& in, Failure& failure)
{
    in.path = path;
    bool regular = true;
    in.file.reset(openRegularFile(path, regular));
    FILE* const f = in.file.get();
    if (f == nullptr) {
        failure = regular ? runtimeError({path, " ne peut \xEAtre ouvert : ", systemError(errno)})
                          : runtimeError({path, " n'est pas un fichier ordinaire"});
        return false;
    }
    bool const p5 = beginsWithP5(f);
    std::rewind(f);
    in.declared = p5 ? readP5Header(f) : P5Header();
    P5Header const& declared = in.declared;
    long long const size = fileBytes(f);
    if (!p5) {
        failure = runtimeError({path, " n'est pas une image PGM binaire (P5)"});
        return false;
    }
    long long const pixels = static_cast<long long>(declared.width) * declared.height;
    if (declared.sized && size >= 0 && size - declared.pixelsAt < pixels) {
        failure = runtimeError({path, " est incomplet : son en-t\xEAte annonce ",
                                decimal(declared.width), " x ", decimal(declared.height),
                                " pixels (", decimal(pixels), " octets), il n'en contient que ",
                                decimal(size - declared.pixelsAt), " : rien n'est compar\xE9"});
        return false;
    }
    return true;
}

// The size of an opened photograph, refused when its header gives none the reader takes.
bool sizeOf(GreyInput const& in, Failure& failure)
{
    if (in.declared.sized)
        return true;
    failure = runtimeError(
        {in.path, " : taille d'image illisible ou hors limites : rien n'est compar\xE9"});
    return false;
}

// The pixels of an opened photograph whose size sizeOf has passed.
std::unique_ptr<IMAGE> loadGrey(GreyInput& in, Failure& failure)
{
    auto im = std::make_unique<IMAGE>(in.declared.width, in.declared.height, IMAGE::Unset{});
    std::size_t const count = static_cast<std::size_t>(im->width) * im->height;
    if (readPixels(in.file.get(), im->pix, count) != 0) {
        failure = runtimeError({"l'image de ", in.path, " ne peut \xEAtre lue"});
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

    // The covered pixels of row y, width wide, as the run from first to past, found
    // with a few tests of single pixels: each of the four bounds holds on one end of the
    // row, since the operations of the test only ever round in the direction x moves
    // them. False, and nothing found, when the similarity's figures are not all finite,
    // where that need not hold. Called once a row, it is kept out of line: one copy
    // serves the figures and the map.
    [[gnu::noinline]] bool span(int y, int width, int& first, int& past) const
    {
        first = 0, past = width;
        if (wholeFrame)
            return true;
        Similarity const& s = onFurther;
        for (double v : {s.from.x, s.from.y, s.to.x, s.to.y, s.re, s.im})
            if (!std::isfinite(v))
                return false;
        double const dy = y - s.from.y;
        auto qx = [&](int x) {
            double const dx = x - s.from.x;
            return s.to.x + s.re * dx - s.im * dy;
        };
        auto qy = [&](int x) {
            double const dx = x - s.from.x;
            return s.to.y + s.im * dx + s.re * dy;
        };
        // Whether x passes the test of bound k: left, right, top, bottom.
        auto holds = [&](int k, int x) {
            double const q = k < 2 ? qx(x) : qy(x);
            return k % 2 == 0 ? q >= 1 : q <= (k < 2 ? lastX : lastY);
        };
        for (int k = 0; k < 4 && first < past; ++k) {  // narrows [first, past) to where k holds
            bool const atFirst = holds(k, first), atLast = holds(k, past - 1);
            if (!atFirst && !atLast) {
                past = first;
                break;
            }
            if (atFirst && atLast)
                continue;
            int lo = first, hi = past - 1;  // holds(k, lo) != holds(k, hi)
            while (hi - lo > 1) {
                int const mid = lo + (hi - lo) / 2;
                (holds(k, mid) == atFirst ? lo : hi) = mid;
            }
            if (atFirst)
                past = hi;
            else
                first = hi;
        }
        return true;
    }

    // Whether each pixel of row y, width wide, is covered (1) or not (0), into covered:
    // the test of one pixel, in the same operations, over a whole row at a time.
    [[gnu::noinline]] void row(int y, int width, unsigned char* covered) const
    {
        if (wholeFrame) {
            std::memset(covered, 1, static_cast<std::size_t>(width));
            return;
        }
        Similarity const& s = onFurther;
        double const dy = y - s.from.y;
        for (int x = 0; x < width; ++x) {
            double const dx = x - s.from.x;
            double const qx = s.to.x + s.re * dx - s.im * dy;
            double const qy = s.to.y + s.im * dx + s.re * dy;
            covered[x] =
                static_cast<unsigned char>((qx >= 1) & (qx <= lastX) & (qy >= 1) & (qy <= lastY));
        }
    }
};

// The control points A, B, A', B' as typed, and the check point C, C' when count is 6;
// false when one is not a point or the pairs are not two different points each.
bool readPoints(char** args, int count, Place (&points)[6], Failure& failure)
{
    char const* const names[] = {"A", "B", "A'", "B'", "C", "C'"};
    for (int k = 0; k < count; ++k) {
        if (!parsePointArgument(args[k], points[k].x, points[k].y)) {
            failure = usageError(std::string("le point ") + names[k] +
                                 " s'\xE9"
                                 "crit x,y (deux nombres et une virgule, sans espace), "
                                 "pas \xAB " +
                                 args[k] + " \xBB");
            return false;
        }
    }
    auto const norm = [](Place p, Place q) {
        double const dx = q.x - p.x;
        double const dy = q.y - p.y;
        return dx * dx + dy * dy;
    };
    if (norm(points[0], points[1]) == 0 || norm(points[2], points[3]) == 0) {
        failure = usageError("A et B doivent \xEAtre deux points diff\xE9rents, et A' et B' aussi");
        return false;
    }
    return true;
}

struct Figures {
    long long covered = 0;
    long long sumAbs = 0;
    long long within = 0;
    int largest = 0;
};

// The absolute differences over the covered pixels.
Figures differences(IMAGE const& base, IMAGE const& rectified, Footprint const& fp)
{
    Figures f;
    int const w = base.width;
    std::vector<unsigned char> covered(static_cast<std::size_t>(w));
    for (int y = 0; y < base.height; ++y) {
        unsigned char const* b = base.pix + static_cast<std::size_t>(y) * w;
        unsigned char const* r = rectified.pix + static_cast<std::size_t>(y) * w;
        long long sum = 0, within = 0, count = 0;
        int largest = 0, first = 0, past = 0;
        if (fp.span(y, w, first, past)) {
            count = past - first;
            for (int x = first; x < past; ++x) {
                int const d = std::abs(r[x] - b[x]);
                sum += d;
                within += d <= kTolerance ? 1 : 0;
                largest = d > largest ? d : largest;
            }
        } else {
            fp.row(y, w, covered.data());
            for (int x = 0; x < w; ++x) {
                int const d = std::abs(r[x] - b[x]) * covered[x];
                count += covered[x];
                sum += d;
                within += covered[x] & (d <= kTolerance ? 1 : 0);
                largest = d > largest ? d : largest;
            }
        }
        f.covered += count, f.sumAbs += sum, f.within += within;
        f.largest = largest > f.largest ? largest : f.largest;
    }
    return f;
}

struct Colour {
    unsigned char rgb[3];
};

// The map, the bytes the matrix writer gives for the differences with every uncovered
// pixel at -53/150 of the largest difference (-1 when there is none), which the
// palette shows near black, (39, 0, 0): there its negative ramp reaches blue 0, and
// with no difference at all any negative value is drawn so. A covered pixel's colour
// depends on its difference alone, so each is worked out once.
bool encodeMap(FILE* f, IMAGE const& base, IMAGE const& rectified, Footprint const& fp, int largest)
{
    double const M = largest;
    Colour byDifference[256];  // every difference of two bytes has its entry
    for (int d = 0; d < 256; ++d)
        matrixColour(d, M, byDifference[d].rgb);
    double const outside = largest > 0 ? -largest * 53.0 / 150.0 : -1.0;
    Colour uncovered;
    matrixColour(outside, M, uncovered.rgb);

    std::string const header = p6Header(base.width, base.height, kMapComment);
    if (std::fwrite(header.data(), 1, header.size(), f) != header.size())
        return false;
    int const w = base.width;
    std::vector<unsigned char> row(static_cast<std::size_t>(w) * 3);
    std::vector<unsigned char> covered(static_cast<std::size_t>(w));
    for (int y = 0; y < base.height; ++y) {
        unsigned char const* b = base.pix + static_cast<std::size_t>(y) * w;
        unsigned char const* r = rectified.pix + static_cast<std::size_t>(y) * w;
        unsigned char* out = row.data();
        int first = 0, past = 0;
        if (fp.span(y, w, first, past)) {
            int x = 0;
            for (; x < first; ++x, out += 3)
                std::memcpy(out, uncovered.rgb, 3);
            for (; x < past; ++x, out += 3)
                std::memcpy(out, byDifference[std::abs(r[x] - b[x])].rgb, 3);
            for (; x < w; ++x, out += 3)
                std::memcpy(out, uncovered.rgb, 3);
        } else {
            fp.row(y, w, covered.data());
            for (int x = 0; x < w; ++x, out += 3)
                std::memcpy(
                    out, covered[x] ? byDifference[std::abs(r[x] - b[x])].rgb : uncovered.rgb, 3);
        }
        if (std::fwrite(row.data(), 1, row.size(), f) != row.size())
            return false;
    }
    return true;
}

// What the check point says of A' and B': where the similarity through them carries C,
// how far C' lies from there, and the smaller move of one of A' and B' that brings it
// there. C lands at A' (1 - u) + B' u, u = (C - A) / (B - A) in complex numbers, so
// moving A' by r / (1 - u), or B' by r / u, takes up a residual r: the smaller move,
// the likelier slip, is named.
std::string checkPoint(Place const (&p)[6], bool machine)
{
    using C = std::complex<double>;
    C const a(p[0].x, p[0].y), b(p[1].x, p[1].y), a2(p[2].x, p[2].y), b2(p[3].x, p[3].y),
        c(p[4].x, p[4].y), c2(p[5].x, p[5].y);
    C const u = (c - a) / (b - a);
    C const sent = a2 * (1.0 - u) + b2 * u;
    C const r = c2 - sent;
    bool const moveA = std::abs(1.0 - u) >= std::abs(u);
    C const move = moveA ? r / (1.0 - u) : r / u;
    C const to = (moveA ? a2 : b2) + move;
    if (machine)
        return machine::line("tavrin-diff", {"check", machine::point(sent.real(), sent.imag()),
                                             machine::number(std::abs(r), 2), moveA ? "A'" : "B'",
                                             machine::number(std::abs(move), 2),
                                             machine::point(to.real(), to.imag())});
    // The places as tavrin reads points; the distances in French decimals.
    char line[240];
    std::snprintf(line, sizeof line,
                  "point de contr\xF4le C : A et B le placent en %.2f,%.2f ; C' en est \xE0 %s "
                  "pixels ; d\xE9placer %s de %s pixels, en %.2f,%.2f, l'y ram\xE8ne\n",
                  sent.real(), sent.imag(), french(std::abs(r), 2).c_str(), moveA ? "A'" : "B'",
                  french(std::abs(move), 2).c_str(), to.real(), to.imag());
    return line;
}

// The photographs compared, opened and checked, with every check that reads no pixel:
// a refusal then costs nothing. The further photograph is opened when given, for its
// size alone.
struct Inputs {
    GreyInput base, rectified, further;
};

bool openInputs(int argc, char** argv, Inputs& in, Failure& failure)
{
    char const* const furtherPath = argc >= 9 ? argv[4] : nullptr;
    if (!openGrey(argv[1], in.base, failure) || !openGrey(argv[2], in.rectified, failure) ||
        (furtherPath != nullptr && !openGrey(furtherPath, in.further, failure)))
        return false;
    P5Header const& base = in.base.declared;
    P5Header const& rectified = in.rectified.declared;
    if (base.sized && rectified.sized &&
        (rectified.width != base.width || rectified.height != base.height)) {
        failure = runtimeError({argv[2], " fait ", decimal(rectified.width), " x ",
                                decimal(rectified.height), " pixels et ", argv[1], " ",
                                decimal(base.width), " x ", decimal(base.height),
                                " : une image redress\xE9", "e a la taille de sa base"});
        return false;
    }
    char const* const inputs[] = {argv[1], argv[2], furtherPath ? furtherPath : argv[1]};
    failure = whyNotWritten(argv[3], inputs, 3);
    return failure.status == 0 && (furtherPath == nullptr || sizeOf(in.further, failure)) &&
           sizeOf(in.base, failure) && sizeOf(in.rectified, failure);
}

// The figures on standard output, in French or as the machine line, then the check
// point's line when one was given.
int tellFigures(Figures const& f, IMAGE const& base, char const* rectifiedPath, bool machine,
                Place const (*checked)[6], Failure& failure)
{
    long long const frame = static_cast<long long>(base.width) * base.height;
    double const mean = static_cast<double>(f.sumAbs) / static_cast<double>(f.covered);
    double const within = 100.0 * static_cast<double>(f.within) / static_cast<double>(f.covered);
    double const share = 100.0 * static_cast<double>(f.covered) / static_cast<double>(frame);
    if (machine)  // "figures", the mean, the share within kTolerance, the pixels, their share
        tell(stdout, machine::line("tavrin-diff",
                                   {"figures", machine::number(mean, 2), machine::number(within, 1),
                                    decimal(f.covered), machine::number(share, 1), rectifiedPath}));
    // The figures in French: their decimals after a comma, the only dots of this text.
    char figures[160];
    std::snprintf(
        figures, sizeof figures,
        "%.2f, %.1f %% \xE0 %d niveaux de gris pr\xE8s, sur %lld pixels (%.1f %% du cadre)\n", mean,
        within, kTolerance, f.covered, share);
    if (!machine)
        tell(stdout, std::string(rectifiedPath) +
                         " : \xE9"
                         "cart moyen absolu " +
                         withDecimalCommas(figures));
    if (checked != nullptr)
        tell(stdout, checkPoint(*checked, machine));
    if (!stdoutWritten()) {
        failure = runtimeError({"les chiffres n'ont pu \xEAtre \xE9"
                                "crits : ",
                                systemError(errno)});
        return failure.status;
    }
    return 0;
}

int compare(int argc, char** argv, bool machine, Failure& failure)
{
    Place points[6];
    if (argc >= 9 && !readPoints(argv + 5, argc - 5, points, failure))
        return failure.status;
    Inputs in;
    if (!openInputs(argc, argv, in, failure))
        return failure.status;
    Footprint fp;
    if (in.further.path != nullptr) {
        fp.wholeFrame = false;
        fp.onFurther = similarityOf(points[0], points[1], points[2], points[3]);
        fp.lastX = in.further.declared.width - 2.0;
        fp.lastY = in.further.declared.height - 2.0;
        in.further.file.reset();
    }

    std::unique_ptr<IMAGE> const base = loadGrey(in.base, failure);
    std::unique_ptr<IMAGE> const rectified = base ? loadGrey(in.rectified, failure) : nullptr;
    if (!rectified)
        return failure.status;
    Figures const f = differences(*base, *rectified, fp);
    if (f.covered == 0) {
        failure = runtimeError(
            {in.further.path, " ne couvre aucun pixel du cadre de la base : rien \xE0 comparer"});
        return failure.status;
    }
    char const* const mapPath = argv[3];
    if (int const err = writeWhole(
            mapPath, [&](FILE* out) { return encodeMap(out, *base, *rectified, fp, f.largest); });
        err != 0) {
        failure = runtimeError({mapPath,
                                " n'a pu \xEAtre \xE9"
                                "crit : ",
                                systemError(err)});
        return failure.status;
    }
    return tellFigures(f, *base, argv[2], machine, argc == 11 ? &points : nullptr, failure);
}

int diff(int argc, char** argv)
{
    bool const machine = machine::asked(argc, argv);
    if (argc != 4 && argc != 9 && argc != 11)
        throw tool::UsageError{argc < 4 ? "il manque des arguments"
                                        : "nombre d'arguments incorrect"};
    Failure failure{0, ""};
    int const status = compare(argc, argv, machine, failure);
    if (status == 2)
        throw tool::UsageError{failure.message, true};
    if (status != 0)
        throw tool::Stop{failure.message};
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    return tool::main(argc, argv,
                      {"tavrin-diff", kUsage, "pas assez de m\xE9moire pour les images"}, diff);
}
