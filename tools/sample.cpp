// tavrin-sample: writes a sample series for tavrin into a folder: a base photograph
// and three further photographs of the same made-up landscape, each taken by a known
// similarity (rotation, uniform scale, shift), and the pixel positions of the two
// landmarks A and B in each. The same bytes come out on every run and every machine:
// the pictures use only +, -, *, / and floor on doubles and a seeded integer generator.
//
// It never replaces a file it did not write: the whole series is made first, then every
// file it would write is looked at, and only when each is absent or holds the very bytes
// of an earlier run is anything written.
//
// Usage: tavrin-sample [FOLDER]     (default: a new folder serie-essai, serie-essai-2...)
// Exit status: 0 done, 1 a file refused or not written, 2 bad arguments.
#include "image/file_system.h"
#include "image/image.h"
#include "image/whole_file.h"
#include "tools/common/arguments.h"
#include "tools/common/point_argument.h"
#include "tools/common/similarity.h"
#include "tools/common/tool.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

using plane::Place;
using plane::Similarity;
using plane::similarityOf;

// ------------------------------------------------------------------ the landscape

// The landscape is drawn in the base photograph's own pixel coordinates (x to the
// right, y down) and goes on beyond its edges, so that a further photograph shows
// ground where the base photograph has none.
Place const kA = {412, 357};
Place const kB = {1236, 842};

std::uint64_t mix(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t hashCell(std::int64_t i, std::int64_t j, std::uint64_t salt)
{
    return mix(static_cast<std::uint64_t>(i) * 0x9E3779B97F4A7C15ULL ^
               mix(static_cast<std::uint64_t>(j) + salt));
}

// A value in [-1, 1) fixed for each lattice point.
double hashedValue(std::int64_t i, std::int64_t j, std::uint64_t salt)
{
    return static_cast<double>(hashCell(i, j, salt) >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

// The lattice values of one octave, worked out once for the 384 x 384 points from
// (-96, -96) on, which hold every photograph of the series; others are hashed as met.
class Lattice {
public:
    explicit Lattice(std::uint64_t salt)
        : salt(salt), values(new double[static_cast<std::size_t>(kSide) * kSide])
    {
        for (int j = 0; j < kSide; ++j)
            for (int i = 0; i < kSide; ++i)
                values[i + j * kSide] = hashedValue(i - kOrigin, j - kOrigin, salt);
    }
    double operator()(std::int64_t i, std::int64_t j) const
    {
        std::int64_t const ti = i + kOrigin;
        std::int64_t const tj = j + kOrigin;
        if (ti < 0 || tj < 0 || ti >= kSide || tj >= kSide)
            return hashedValue(i, j, salt);
        return values[ti + tj * kSide];
    }

private:
    static constexpr int kSide = 384;
    static constexpr int kOrigin = 96;
    std::uint64_t salt;
    std::unique_ptr<double[]> values;
};

double fade(double t)
{
    return t * t * t * (t * (t * 6 - 15) + 10);
}

// Value noise: lattice values blended smoothly, one unit per lattice step.
double valueNoise(double x, double y, Lattice const& latticeValue)
{
    double const fx = std::floor(x);
    double const fy = std::floor(y);
    auto const i = static_cast<std::int64_t>(fx);
    auto const j = static_cast<std::int64_t>(fy);
    double const u = fade(x - fx);
    double const v = fade(y - fy);
    double const top = latticeValue(i, j) * (1 - u) + latticeValue(i + 1, j) * u;
    double const bottom = latticeValue(i, j + 1) * (1 - u) + latticeValue(i + 1, j + 1) * u;
    return top * (1 - v) + bottom * v;
}

// Rolling ground: five octaves, from hills of 128 pixels down to grit of 8. The
// cell sizes are powers of two, so the divisions are exact.
double ground(double x, double y)
{
    static Lattice const hills(1), slopes(2), tufts(3), stones(4), grit(5);
    return 128 + 46 * valueNoise(x / 128, y / 128, hills) +
           24 * valueNoise(x / 64, y / 64, slopes) + 13 * valueNoise(x / 32, y / 32, tufts) +
           12 * valueNoise(x / 16, y / 16, stones) + 10 * valueNoise(x / 8, y / 8, grit);
}

double squared(double x)
{
    return x * x;
}

// Squared distance from p to the segment from a to b.
double segmentDistance2(Place p, Place a, Place b)
{
    double const ex = b.x - a.x;
    double const ey = b.y - a.y;
    double t = ((p.x - a.x) * ex + (p.y - a.y) * ey) / (ex * ex + ey * ey);
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return squared(p.x - (a.x + t * ex)) + squared(p.y - (a.y + t * ey));
}

Place const kRiver[] = {{-900, 1050}, {200, 960},   {600, 1080},
                        {1000, 990},  {1400, 1120}, {2600, 1000}};

bool onRiver(Place p)
{
    if (p.y < 900 || p.y > 1180)
        return false;
    for (std::size_t k = 0; k + 1 < sizeof kRiver / sizeof kRiver[0]; ++k)
        if (segmentDistance2(p, kRiver[k], kRiver[k + 1]) <= 14 * 14)
            return true;
    return false;
}

// Two straight roads, each a band about a line: the signed distance to the line, from a
// unit normal with rational components, and the band's half width.
struct Road {
    double nx;
    double ny;
    double offset;
    double halfWidth;
    double distance(double x, double y) const { return nx * x + ny * y - offset; }
};
Road const kRoads[] = {{0.6, 0.8, 1220, 5}, {12 / 13.0, -5 / 13.0, 9060 / 13.0, 4}};

bool onRoad(Place p)
{
    for (Road const& road : kRoads) {
        double const d = road.distance(p.x, p.y);
        if (d >= -road.halfWidth && d <= road.halfWidth)
            return true;
    }
    return false;
}

// Whether the rectangle keeps 2 pixels clear of both roads and of the river.
bool clearOfRoadsAndRiver(double x0, double y0, double x1, double y1)
{
    for (Road const& road : kRoads) {
        double low = road.distance(x0, y0);
        double high = low;
        for (double d : {road.distance(x1, y0), road.distance(x0, y1), road.distance(x1, y1)}) {
            low = d < low ? d : low;
            high = d > high ? d : high;
        }
        if (low <= road.halfWidth + 2 && high >= -road.halfWidth - 2)
            return false;
    }
    // Half the diagonal is at most half the sum of the sides.
    Place const centre = {(x0 + x1) / 2, (y0 + y1) / 2};
    double const reach = 14 + 2 + (x1 - x0 + y1 - y0) / 2;
    for (std::size_t k = 0; k + 1 < sizeof kRiver / sizeof kRiver[0]; ++k)
        if (segmentDistance2(centre, kRiver[k], kRiver[k + 1]) <= reach * reach)
            return false;
    return true;
}

// Dark roofs, at most one per cell of 140 pixels, none near the landmarks, the roads
// or the river.
constexpr double kRoofCell = 140;

bool nearLandmark(double x0, double y0, double x1, double y1)
{
    for (Place m : {kA, kB})
        if (x1 > m.x - 150 && x0 < m.x + 150 && y1 > m.y - 170 && y0 < m.y + 150)
            return true;
    return false;
}

bool roofAt(Place p, double& level)
{
    double const ci = std::floor(p.x / kRoofCell);
    double const cj = std::floor(p.y / kRoofCell);
    std::uint64_t const h =
        hashCell(static_cast<std::int64_t>(ci), static_cast<std::int64_t>(cj), 99);
    if ((h & 3) == 0)
        return false;  // a quarter of the cells stay open
    double const x0 = ci * kRoofCell + 20 + static_cast<double>((h >> 8) & 63);
    double const y0 = cj * kRoofCell + 20 + static_cast<double>((h >> 16) & 63);
    double const x1 = x0 + 16 + static_cast<double>((h >> 24) & 31);
    double const y1 = y0 + 12 + static_cast<double>((h >> 32) & 31);
    if (p.x < x0 || p.x > x1 || p.y < y0 || p.y > y1 || nearLandmark(x0, y0, x1, y1) ||
        !clearOfRoadsAndRiver(x0, y0, x1, y1))
        return false;
    level = 50 + static_cast<double>((h >> 40) & 31);
    return true;
}

// Letters drawn with strokes in a box of 1 x 1 (v down), then scaled to 28 x 40.
struct Stroke {
    Place from;
    Place to;
};
Stroke const kLetterA[] = {{{0, 1}, {0.5, 0}}, {{0.5, 0}, {1, 1}}, {{0.22, 0.62}, {0.78, 0.62}}};
Stroke const kLetterB[] = {
    {{0, 0}, {0, 1}},           {{0, 0}, {0.65, 0}},         {{0.65, 0}, {0.9, 0.12}},
    {{0.9, 0.12}, {0.9, 0.36}}, {{0.9, 0.36}, {0.65, 0.48}}, {{0, 0.48}, {0.7, 0.48}},
    {{0.7, 0.48}, {1, 0.62}},   {{1, 0.62}, {1, 0.86}},      {{1, 0.86}, {0.7, 1}},
    {{0.7, 1}, {0, 1}}};

template <std::size_t N> bool onLetter(Place p, Place corner, Stroke const (&strokes)[N])
{
    for (Stroke const& s : strokes) {
        Place const a = {corner.x + 28 * s.from.x, corner.y + 40 * s.from.y};
        Place const b = {corner.x + 28 * s.to.x, corner.y + 40 * s.to.y};
        if (segmentDistance2(p, a, b) <= 3.5 * 3.5)
            return true;
    }
    return false;
}

constexpr double kLight = 240;
constexpr double kDark = 20;

// A landmark: a disc of one colour with a cross of the other through its centre,
// ringed by the other colour, and a plate beside it with the landmark's letter. The
// centre of the cross is the point to read off. False when p lies outside it.
template <std::size_t N>
bool landmarkAt(Place p, Place centre, double disc, Stroke const (&letter)[N], double& level)
{
    double const dx = p.x - centre.x;
    double const dy = p.y - centre.y;
    double const other = disc == kLight ? kDark : kLight;
    double const r2 = dx * dx + dy * dy;
    if (r2 <= 42 * 42) {
        bool const ring = r2 > 36 * 36;
        bool const cross = r2 <= 30 * 30 && (std::fabs(dx) <= 3 || std::fabs(dy) <= 3);
        level = ring || cross ? other : disc;
        return true;
    }
    Place const plate = {centre.x + 52, centre.y - 104};  // top-left corner, 44 x 56
    if (p.x >= plate.x && p.x <= plate.x + 44 && p.y >= plate.y && p.y <= plate.y + 56) {
        level = onLetter(p, {plate.x + 8, plate.y + 8}, letter) ? other : disc;
        return true;
    }
    return false;
}

// The grey level of what stands on the ground at p (a landmark, a roof, a road, the
// river); false where p shows bare ground.
bool featureAt(Place p, double& level)
{
    if (landmarkAt(p, kA, kLight, kLetterA, level) || landmarkAt(p, kB, kDark, kLetterB, level))
        return true;
    if (roofAt(p, level))
        return true;
    level = onRoad(p) ? 205 : 62;
    return level == 205 || onRiver(p);
}

// ------------------------------------------------------------------ the photographs

// A photograph: its size and where the landmarks fall in it. The similarity that
// carries the landscape onto it is the one that takes kA to a and kB to b. Whole
// pixel positions, so that what an operator reads off in a viewer is exact.
struct SeriesPhoto {
    char const* name;
    int width;
    int height;
    Place a;
    Place b;
    std::uint64_t seed;
};

SeriesPhoto const kSeries[] = {
    {"base.pgm", 1600, 1200, kA, kB, 0x7A5201},
    {"rotated.pgm", 1500, 1350, {1115, 435}, {365, 913}, 0x7A5202},
    {"enlarged.pgm", 1600, 1200, {123, 338}, {1458, 863}, 0x7A5203},
    {"reduced.pgm", 1100, 850, {412, 186}, {712, 676}, 0x7A5204},
};

// The similarity that carries the landscape onto the photograph.
Similarity similarityOf(SeriesPhoto const& photo)
{
    return similarityOf(kA, kB, photo.a, photo.b);
}

// Noise of about 2 grey levels (standard deviation): twelve uniform numbers less six,
// scaled, from a generator that gives the same numbers everywhere.
class Grain {
public:
    explicit Grain(std::uint64_t seed) : state(seed) {}
    double next()
    {
        double sum = 0;
        for (int k = 0; k < 12; ++k) {
            state += 0x9E3779B97F4A7C15ULL;
            sum += static_cast<double>(mix(state) >> 11) / 9007199254740992.0;
        }
        return 2.0 * (sum - 6.0);
    }

private:
    std::uint64_t state;
};

// Each pixel averages the landscape at 3 x 3 points spread over its own area, as a
// camera's sensor does; then the grain is added and the level rounded. The ground
// changes little within a pixel (its finest detail spans 8 pixels), so it is taken once,
// at the pixel's centre, for all the points that fall on bare ground.
void develop(SeriesPhoto const& photo, IMAGE& im)
{
    Similarity const back = similarityOf(photo).inverse();
    auto const landscapeAt = [&](double x, double y) { return back.apply({x, y}); };
    Grain grain(photo.seed);
    for (int y = 0; y < photo.height; ++y) {
        for (int x = 0; x < photo.width; ++x) {
            double sum = 0;
            int bare = 0;
            for (int sy = -1; sy <= 1; ++sy) {
                for (int sx = -1; sx <= 1; ++sx) {
                    double level = 0;
                    if (featureAt(landscapeAt(x + sx / 3.0, y + sy / 3.0), level))
                        sum += level;
                    else
                        ++bare;
                }
            }
            if (bare > 0) {
                Place const centre = landscapeAt(x, y);
                sum += bare * ground(centre.x, centre.y);
            }
            double const level = std::floor(sum / 9 + grain.next() + 0.5);
            *im.getpix(x, y) =
                static_cast<unsigned char>(level < 0 ? 0 : (level > 255 ? 255 : level));
        }
    }
}

std::string point(Place p)
{
    return std::to_string(static_cast<long>(p.x)) + "," + std::to_string(static_cast<long>(p.y));
}

// How the photograph was taken, in words: the similarity's scale and turn.
std::string description(SeriesPhoto const& photo)
{
    Similarity const m = similarityOf(photo);
    double const scale = std::sqrt(m.re * m.re + m.im * m.im);
    double const degrees = std::atan2(m.im, m.re) * 57.29577951308232;
    char text[160];
    if (scale == 1 && degrees == 0)
        return "la photographie de base";
    // With y pointing down, a positive angle turns the picture clockwise on screen.
    std::snprintf(text, sizeof text,
                  "\xE9"
                  "chelle %.3f, tourn\xE9"
                  "e de %.2f\xB0 dans le sens %s",
                  scale, std::fabs(degrees), degrees >= 0 ? "horaire" : "antihoraire");
    return withDecimalCommas(text);
}

std::string landmarkTable()
{
    std::string table = "# S\xE9rie d'essai de tavrin : positions en pixels (colonne,ligne) "
                        "des points A et B,\n# \xE0 taper aux questions de tavrin.\n"
                        "# image        A          B\n";
    for (SeriesPhoto const& photo : kSeries) {
        char line[160];
        std::snprintf(line, sizeof line, "%-14s %-10s %-10s # %d x %d, %s\n", photo.name,
                      point(photo.a).c_str(), point(photo.b).c_str(), photo.width, photo.height,
                      description(photo).c_str());
        table += line;
    }
    return table;
}

char const kUsage[] =
    "Usage : tavrin-sample [DOSSIER]\n"
    "\xC9"
    "crit base.pgm, rotated.pgm, enlarged.pgm et reduced.pgm, une s\xE9rie d'essai\n"
    "pour tavrin, avec landmarks.txt : o\xF9 se trouvent les points A et B dans chaque\n"
    "photographie. Dans DOSSIER (cr\xE9\xE9 s'il manque), ou sans lui dans un dossier neuf\n"
    "serie-essai (serie-essai-2, -3... quand ce nom est pris). Un fichier qui s'y trouve\n"
    "et n'est pas celui de la s\xE9rie d'une ex\xE9"
    "cution pr\xE9"
    "c\xE9"
    "dente n'est jamais\n"
    "remplac\xE9 : rien n'est \xE9"
    "crit alors.\n";

// The photograph as the library's writer lays out a P5 file (image/image.h), so that
// the bytes an earlier run left can be told from any other file.
std::string p5File(SeriesPhoto const& photo)
{
    IMAGE im(photo.width, photo.height);
    develop(photo, im);
    std::string bytes = p5Header(im.width, im.height);
    bytes.append(reinterpret_cast<char const*>(im.pix),
                 static_cast<std::size_t>(im.width) * static_cast<std::size_t>(im.height));
    return bytes;
}

// The files of the series: each photograph, then landmarks.txt. Their bytes are made
// one at a time, when needed, so that no more than one is held.
constexpr std::size_t kFileCount = sizeof kSeries / sizeof kSeries[0] + 1;

char const* fileName(std::size_t k)
{
    return k + 1 < kFileCount ? kSeries[k].name : "landmarks.txt";
}

std::string fileBytes(std::size_t k)
{
    return k + 1 < kFileCount ? p5File(kSeries[k]) : landmarkTable();
}

// Writes file k at path, a photograph straight from its pixels, as p5File lays it out;
// 0, or the system's reason.
int writeFile(std::size_t k, std::string const& path)
{
    if (k + 1 < kFileCount) {
        IMAGE im(kSeries[k].width, kSeries[k].height);
        develop(kSeries[k], im);
        return writeWhole(path.c_str(),
                          [&im](FILE* f) { return encodeP5(f, im.pix, im.width, im.height); });
    }
    std::string const table = landmarkTable();
    return writeWhole(path.c_str(), [&table](FILE* f) {
        return std::fwrite(table.data(), 1, table.size(), f) == table.size();
    });
}

// The system's reason for the last failure, in brackets.
std::string lastReason()
{
    std::string const why = systemError(errno);
    return " (" + why + ")";
}

// Why the file may not be written at path, in French; empty when it may: nothing is
// there (present false), or the very bytes are (present true).
std::string whyRefused(std::string const& path, std::string const& bytes, bool& present)
{
    present = false;
    switch (standingAt(path.c_str())) {
    case Standing::nothing:
        return {};
    case Standing::link:
        return "est un lien, pas un fichier de l'essai";
    case Standing::other:
        return "n'est pas un fichier ordinaire";
    case Standing::unknown:
        return "ne peut pas \xEAtre examin\xE9" + lastReason();
    case Standing::file:
        break;
    }
    FILE* f = openToRead(path.c_str());
    if (f == nullptr)
        return "existe d\xE9j\xE0 et ne peut pas \xEAtre lu" + lastReason();
    std::string held(bytes.size() + 1, '\0');  // one byte more tells a longer file
    std::size_t const got = std::fread(&held[0], 1, held.size(), f);
    bool const same = !std::ferror(f) && got == bytes.size() && held.compare(0, got, bytes) == 0;
    std::fclose(f);
    present = same;
    return same ? std::string() : "existe d\xE9j\xE0 et n'est pas un fichier de l'essai";
}

// Makes a folder of the series' own in the working folder: serie-essai, or when
// anything at all has that name (a folder, a file, a link, even a dangling one),
// serie-essai-2, -3...: the folder taken is the one this run has just made.
int makeOwnFolder(fs::path& folder)
{
    for (int k = 1; k <= 9999; ++k) {
        std::string const name = k == 1 ? "serie-essai" : "serie-essai-" + std::to_string(k);
        std::error_code error;
        if (fs::create_directory(name, error)) {
            folder = name;
            return 0;
        }
        if (error && error != std::errc::file_exists)
            throw tool::Stop{"le dossier " + name +
                             " ne peut \xEAtre cr\xE9\xE9 : " + systemError(error.value())};
    }
    std::fflush(stdout);
    tell(stderr, "tavrin-sample : serie-essai et serie-essai-2 \xE0 serie-essai-9999 existent "
                 "tous : rien n'est \xE9"
                 "crit\n");
    return 1;
}

// The folder's full path, as the operator finds it again.
std::string shown(fs::path const& folder)
{
    std::error_code error;
    fs::path full = fs::absolute(folder, error).lexically_normal();
    if (error)
        return folder.u8string();
    if (full.filename().empty() && full.has_relative_path())
        full = full.parent_path();  // "serie/." and "serie/" end without a separator
    return full.u8string();
}

int writeSeries(fs::path folder, bool ownFolder)
{
    std::error_code error;
    if (ownFolder) {
        if (int const status = makeOwnFolder(folder))
            return status;
    } else {
        fs::create_directories(folder, error);
        if (error)
            throw tool::Stop{"le dossier " + folder.u8string() +
                             " ne peut \xEAtre cr\xE9\xE9 : " + systemError(error.value())};
    }

    // Only a file that stands there already is made to be compared; the rest are made
    // as they are written.
    std::vector<bool> present(kFileCount);
    std::string refusals;
    for (std::size_t k = 0; k < kFileCount; ++k) {
        std::string const path = (folder / fileName(k)).u8string();
        if (standingAt(path.c_str()) == Standing::nothing)
            continue;
        bool there = false;
        std::string const why = whyRefused(path, fileBytes(k), there);
        present[k] = there;
        if (!why.empty())
            refusals.append("tavrin-sample : ").append(path).append(" ").append(why).append("\n");
    }
    if (!refusals.empty()) {
        std::fflush(stdout);
        tell(stderr, refusals + "tavrin-sample : rien n'est \xE9"
                                "crit ; sans argument, tavrin-sample \xE9"
                                "crit dans un dossier neuf\n");
        return 1;
    }

    for (std::size_t k = 0; k < kFileCount; ++k) {
        if (present[k])
            continue;  // already there, byte for byte
        std::string const path = (folder / fileName(k)).u8string();
        if (int const err = writeFile(k, path); err != 0)
            throw tool::Stop{path +
                             " n'a pu \xEAtre \xE9"
                             "crit : " +
                             systemError(err)};
    }

    std::fputs(landmarkTable().c_str(), stdout);
    bool const told = tell(stdout, "S\xE9rie d'essai \xE9"
                                   "crite dans le dossier " +
                                       shown(folder) + "\n");
    if (!told || !stdoutWritten())
        throw tool::Stop{"les points n'ont pu \xEAtre affich\xE9s : " + systemError(errno)};
    return 0;
}

int sample(int argc, char** argv)
{
    if (argc > 2)
        throw tool::UsageError{"un seul argument, le dossier"};
    if (argc == 2 && (argv[1][0] == '-' || argv[1][0] == '\0'))
        throw tool::UsageError{argv[1][0] == '\0' ? "le nom du dossier est vide"
                                                  : std::string("option inconnue : ") + argv[1]};
    return writeSeries(argc == 2 ? fs::u8path(argv[1]) : fs::path(), argc == 1);
}

}  // namespace

int main(int argc, char** argv)
{
    return tool::main(argc, argv,
                      {"tavrin-sample", kUsage, "pas assez de m\xE9moire pour les photographies"},
                      sample);
}
