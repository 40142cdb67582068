// tavrin-series: a whole series from the photographs as they are. Each photograph (JPEG,
// PNG, TIFF or binary PGM) is made the 8-bit grey P5 that tavrin reads, its points are
// found by tavrin-match (or taken from the command line or a saved answers file), the
// series is rectified by tavrin itself and each result compared with the base by
// tavrin-diff: the results are those programs' own bytes. Everything is written inside
// Redressement in the base photograph's folder, with a report to look at.
//
// Usage: tavrin-series [--base PHOTO] [--points AX,AY BX,BY] [--answers FILE] FOLDER | PHOTO...
// Exit status: 0 every photograph rectified, 1 some refused or nothing could be done,
// 2 bad usage.
#include "tools/series/photo.h"
#include "tools/series/platform.h"

#include "image/answers.h"
#include "image/file_system.h"
#include "image/image.h"
#include "image/name_encoding.h"
#include "image/results_folder.h"
#include "image/whole_file.h"
#include "tools/arguments.h"
#include "tools/machine_line.h"
#include "tools/point_argument.h"
#include "tools/similarity.h"

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

char const kUsage[] =
    "Usage : tavrin-series [--base PHOTO] [--points AX,AY BX,BY] [--answers FICHIER] DOSSIER\n"
    "        tavrin-series [--base PHOTO] [--points AX,AY BX,BY] [--answers FICHIER] PHOTO...\n"
    "Redresse toute une s\xE9rie de photographies (JPEG, PNG, TIFF ou PGM) sur la premi\xE8re,\n"
    "la photographie de base : d\xE9posez le dossier des photographies sur tavrin-series.\n"
    "Les points A et B de la base sont donn\xE9s par --points, ou lus dans un fichier de\n"
    "r\xE9ponses enregistr\xE9 par la page (--answers), ou choisis par tavrin-series.\n"
    "Tout est \xE9"
    "crit dans le dossier " TAVRIN_RESULTS_FOLDER
    " \xE0 c\xF4t\xE9 de la base : les r\xE9sultats,\n"
    "pgm\\ (les copies P5 et reponses.txt), ecarts\\ (les cartes des \xE9"
    "carts) et rapport.html.\n"
    "Une seconde ex\xE9"
    "cution reprend o\xF9 la premi\xE8re s'est arr\xEAt\xE9"
    "e.\n"
    "Code de sortie : 0 tout est redress\xE9, 1 des photographies refus\xE9"
    "es, 2 mauvais usage.\n";

char const kStateName[] = "etat-tavrin-series.txt";

struct UsageError {
    std::string message;
};

// A failure that ends the whole run, in French: status 1.
struct Stop {
    std::string message;
};

// The name in lower case as Windows compares names, for ASCII and the accented
// capitals of UTF-8's Latin-1 range (À to Þ, × aside): so that "Été.jpg" and "été.tif"
// are known to share a stem.
std::string lower(std::string text)
{
    for (std::size_t k = 0; k < text.size(); ++k) {
        unsigned char const c = static_cast<unsigned char>(text[k]);
        unsigned char const next =
            k + 1 < text.size() ? static_cast<unsigned char>(text[k + 1]) : 0;
        if (c == 0xC3 && next >= 0x80 && next <= 0x9E && next != 0x97)
            text[++k] = static_cast<char>(next + 0x20);
        else
            text[k] = static_cast<char>(std::tolower(c));
    }
    return text;
}

bool isPhotoName(fs::path const& p)
{
    static std::set<std::string> const kinds = {".jpg", ".jpeg", ".jpe", ".png",
                                                ".tif", ".tiff", ".pgm"};
    return kinds.count(lower(p.extension().u8string())) > 0;
}

struct Photo {
    fs::path source;
    std::string shown;  // its file name, for the operator
    std::string stem;   // Redressement/<stem>.pgm, pgm/<stem>.pgm...
    std::string print;  // the source bytes' fingerprint
    std::vector<std::string> notes;
    std::string aPrime, bPrime;  // the answers, as tavrin reads them
    bool given = false;          // from the answers file
    bool found = false;          // its answers are known
    bool done = false;           // rectified and compared
    bool fresh = false;          // rectified in this run
    std::string refusal;         // why it was left out, in French
    std::string advice;          // what to do about it
    double mean = 0, within = 0;
    double turn = 0, scale = 1;
    std::string likely;  // tavrin-match's expected error, as it says it; empty when unsaid
};

// What an earlier run recorded, one line per photograph, keyed by its file name.
struct Record {
    std::string print, stem, notes, a, b;
    double mean = 0, within = 0;
    bool done = false;
    std::string likely;
};

struct Series {
    std::vector<Photo> photos;  // the base first
    std::string a, b;           // the base's points, as typed or found
    fs::path out, pgm, gaps, pictures;
    std::string tavrin, match, diff;  // the companions
    std::map<std::string, Record> earlier;
    std::string recorded;  // the record as this run last wrote it
    std::mutex lock;       // guards the photographs, the record and the console
    int jobs = 1;
};

std::string joined(std::vector<std::string> const& notes, char const* between)
{
    std::string text;
    for (std::string const& n : notes)
        text += (text.empty() ? "" : between) + n;
    return text;
}

// A text line by line, each without its end: a line feed, or CR LF as Windows' text
// mode and Notepad write it.
std::vector<std::string> linesOf(std::string const& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// ---------------------------------------------------------------- the command line

struct Request {
    std::string base;
    std::string a, b;
    std::string answers;
    std::vector<std::string> inputs;
};

Request parseRequest(int argc, char** argv)
{
    Request r;
    for (int k = 1; k < argc; ++k) {
        std::string const arg = argv[k];
        if (arg == "--base" || arg == "--answers") {
            if (k + 1 >= argc)
                throw UsageError{arg + " attend un nom de fichier"};
            (arg == "--base" ? r.base : r.answers) = argv[++k];
        } else if (arg == "--points") {
            if (k + 2 >= argc)
                throw UsageError{"--points attend deux points AX,AY BX,BY"};
            r.a = argv[++k], r.b = argv[++k];
            double x = 0, y = 0;
            for (std::string const* p : {&r.a, &r.b})
                if (!parsePointArgument(p->c_str(), x, y))
                    throw UsageError{"un point s'\xE9"
                                     "crit x,y (deux nombres et une virgule, sans espace), "
                                     "pas '" +
                                     *p + "'"};
            if (r.a == r.b)
                throw UsageError{"A et B doivent \xEAtre deux points diff\xE9rents"};
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            throw UsageError{"option inconnue " + arg};
        } else {
            r.inputs.push_back(arg);
        }
    }
    if (r.inputs.empty())
        throw UsageError{"donnez un dossier de photographies, ou des photographies"};
    return r;
}

// The photographs of the request, sorted by name (a drop passes them in Explorer's own
// order), the base first.
std::vector<Photo> gather(Request const& r, std::string& said)
{
    std::vector<fs::path> found;
    for (std::string const& input : r.inputs) {
        fs::path const p = fs::u8path(input);
        std::error_code e;
        if (fs::is_directory(p, e)) {
            if (r.inputs.size() > 1)
                throw UsageError{"donnez un seul dossier, ou des photographies"};
            for (fs::directory_iterator it(p, e), end; !e && it != end; it.increment(e))
                if (isPhotoName(it->path()) && it->is_regular_file(e))
                    found.push_back(it->path());
            if (e)
                throw Stop{"Impossible de lire le dossier " + input + " : " + e.message()};
        } else if (!fs::exists(p, e)) {
            throw Stop{"Ce fichier ou dossier n'existe pas : " + input};
        } else {
            found.push_back(p);
        }
    }
    auto byName = [](fs::path const& x, fs::path const& y) {
        std::string const a = lower(x.filename().u8string()), b = lower(y.filename().u8string());
        return a != b ? a < b : x.u8string() < y.u8string();
    };
    std::sort(found.begin(), found.end(), byName);
    if (!r.base.empty()) {
        fs::path const base = fs::u8path(r.base);
        std::error_code e;
        auto same = [&](fs::path const& p) { return fs::equivalent(p, base, e); };
        found.erase(std::remove_if(found.begin(), found.end(), same), found.end());
        found.insert(found.begin(), base);
    } else if (found.size() > 1 && r.inputs.size() > 1) {
        said = "Photographie de base : " + found[0].filename().u8string() +
               " (la premi\xE8re par son nom ; --base en choisit une autre)\n";
    }
    if (found.empty())
        throw Stop{"Aucune photographie (JPEG, PNG, TIFF ou PGM) dans " + r.inputs[0]};
    std::vector<Photo> photos(found.size());
    std::set<std::string> stems;
    for (std::size_t k = 0; k < found.size(); ++k) {
        Photo& p = photos[k];
        p.source = found[k];
        p.shown = found[k].filename().u8string();
        // A stem that tavrin reads back as it is, and that no other photograph has.
        std::string stem = found[k].stem().u8string();
        if (stem.empty() || stem.size() > 200 || stem.find_first_of("\"\r\n") != std::string::npos)
            stem = "photo-" + std::to_string(k + 1);
        std::string name = stem;
        for (int n = 2; stems.count(lower(name)) > 0; ++n)
            name = stem + "-" + std::to_string(n);
        stems.insert(lower(name));
        p.stem = name;
    }
    return photos;
}

// ---------------------------------------------------------------- the record

fs::path statePath(Series const& s)
{
    return s.pgm / kStateName;
}

void readRecord(Series& s)
{
    std::vector<unsigned char> bytes;
    std::string reason;
    if (!readWhole(statePath(s).u8string(), bytes, reason, 1 << 26))
        return;
    for (std::string const& line : linesOf(std::string(bytes.begin(), bytes.end()))) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (f.size() == 3 && f[0] == "erreur") {
            s.earlier[f[1]].likely = f[2];
            continue;
        }
        if (f.size() != 9 || (f[0] != "base" && f[0] != "trouvee" && f[0] != "faite"))
            continue;
        Record& r = s.earlier[f[1]];
        r.print = f[2], r.stem = f[3], r.notes = f[4], r.a = f[5], r.b = f[6];
        r.mean = std::strtod(f[7].c_str(), nullptr), r.within = std::strtod(f[8].c_str(), nullptr);
        r.done = f[0] == "faite";
    }
}

// The record of what is known now, rewritten whole when it changed: a run cut short
// anywhere leaves the last one. A photograph's line may be followed by an "erreur"
// line, tavrin-match's expected error for its points, which earlier readers pass over.
void writeRecord(Series& s)
{
    std::string text;
    for (std::size_t k = 0; k < s.photos.size(); ++k) {
        Photo const& p = s.photos[k];
        if (k > 0 && !p.found)
            continue;
        char figures[64];
        std::snprintf(figures, sizeof figures, "%.2f\t%.1f", p.mean, p.within);
        text += std::string(k == 0   ? "base"
                            : p.done ? "faite"
                                     : "trouvee") +
                "\t" + p.shown + "\t" + p.print + "\t" + p.stem + "\t" + joined(p.notes, ";") +
                "\t" + (k == 0 ? s.a : p.aPrime) + "\t" + (k == 0 ? s.b : p.bPrime) + "\t" +
                figures + "\n";
        if (k > 0 && !p.likely.empty())
            text += "erreur\t" + p.shown + "\t" + p.likely + "\n";
    }
    if (text == s.recorded)
        return;
    if (writeWholeFile(statePath(s).u8string().c_str(), [&](std::FILE* f) {
            return std::fwrite(text.data(), 1, text.size(), f) == text.size();
        }))
        s.recorded = text;
}

// ---------------------------------------------------------------- the answers file

std::string lastElement(std::string const& name)
{
    std::size_t const slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// An answers file saved by the page or written by tavrin-match: the base's A and B and
// each named photograph's A' and B', as they stand.
void readAnswers(std::string const& path, Series& s)
{
    std::vector<unsigned char> bytes;
    std::string reason;
    if (!readWhole(path, bytes, reason, 1 << 26))
        throw Stop{"Impossible de lire le fichier de r\xE9ponses " + path + " : " + reason};
    std::string text(bytes.begin(), bytes.end());
    bool const little = text.rfind("\xFF\xFE", 0) == 0, big = text.rfind("\xFE\xFF", 0) == 0;
    if (little || big) {  // Notepad's "Unicode": UTF-16, taken as the UTF-8 it holds
        std::u16string wide;
        for (std::size_t k = 2; k + 1 < text.size(); k += 2)
            wide += static_cast<char16_t>(static_cast<unsigned char>(text[k + (big ? 1 : 0)]) |
                                          static_cast<unsigned char>(text[k + (big ? 0 : 1)]) << 8);
        text = encodeUtf8(wide);
    } else if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    std::vector<std::string> const lines = linesOf(text);
    double x = 0, y = 0;
    auto point = [&](std::size_t k) {
        return k < lines.size() && parsePointArgument(answers::read(lines[k]).c_str(), x, y);
    };
    if (!point(1) || !point(2))
        throw Stop{"Le fichier de r\xE9ponses " + path +
                   " ne commence pas par la base et ses points A et B"};
    if (s.a.empty())
        s.a = answers::read(lines[1]), s.b = answers::read(lines[2]);
    for (std::size_t k = 3; k + 2 < lines.size() && point(k + 1) && point(k + 2); k += 3) {
        std::string const name = lower(lastElement(answers::read(lines[k])));
        for (std::size_t p = 1; p < s.photos.size(); ++p) {
            Photo& photo = s.photos[p];
            if (name == lower(photo.shown) || name == lower(photo.stem + ".pgm")) {
                photo.aPrime = answers::read(lines[k + 1]),
                photo.bPrime = answers::read(lines[k + 2]);
                photo.given = photo.found = true;
            }
        }
    }
}

// ---------------------------------------------------------------- the work

bool writeBytes(fs::path const& path, void const* data, std::size_t size)
{
    return writeWholeFile(path.u8string().c_str(),
                          [&](std::FILE* f) { return std::fwrite(data, 1, size, f) == size; });
}

// The grey image as tavrin's P5, its pixels handed over in one write when they lie
// in one block (as greyPhoto gives them).
bool writeP5(fs::path const& path, cv::Mat const& grey)
{
    return writeWholeFile(path.u8string().c_str(), [&](std::FILE* f) {
        if (std::fprintf(f, "P5\n%d %d\n255\n", grey.cols, grey.rows) <= 0)
            return false;
        if (grey.isContinuous())
            return std::fwrite(grey.data, 1, grey.total(), f) == grey.total();
        for (int y = 0; y < grey.rows; ++y)
            if (std::fwrite(grey.ptr(y), 1, static_cast<std::size_t>(grey.cols), f) !=
                static_cast<std::size_t>(grey.cols))
                return false;
        return true;
    });
}

// How a thumbnail reduces an image of cols x rows: by a whole factor, each pixel of it
// the mean of a block (OpenCV's fast way), the last rows and columns that fill no block
// left out.
struct Reduction {
    int factor, w, h;
};

Reduction reductionOf(int cols, int rows)
{
    int const factor = (std::max(cols, rows) + 479) / 480;
    return {factor, std::max(1, cols / factor), std::max(1, rows / factor)};
}

cv::Mat reduced(cv::Mat const& image)
{
    Reduction const r = reductionOf(image.cols, image.rows);
    cv::Mat small;
    cv::resize(image(cv::Rect(0, 0, std::min(image.cols, r.w * r.factor),
                              std::min(image.rows, r.h * r.factor))),
               small, cv::Size(r.w, r.h), 0, 0, cv::INTER_AREA);
    return small;
}

// The thumbnail written as PNG (browsers show no PGM or PPM), its colours turned from
// the file's order to OpenCV's when rgb.
bool writePng(fs::path const& path, cv::Mat small, bool rgb)
{
    if (rgb)
        cv::cvtColor(small, small, cv::COLOR_RGB2BGR);
    std::vector<unsigned char> png;
    return cv::imencode(".png", small, png) && writeBytes(path, png.data(), png.size());
}

// A thumbnail of the image for the report.
bool writeThumbnail(fs::path const& path, cv::Mat const& image)
{
    return writePng(path, reduced(image), false);
}

// A file written by tavrin (a P5, read by the library's header rule) or by tavrin-diff
// ("P6", its mark, the size and 255, each on a line), open at its pixels, with their
// size; null when it is not such a file.
std::FILE* openPixels(fs::path const& path, bool map, int& w, int& h)
{
    std::FILE* f = openToRead(path.u8string().c_str());
    if (f == nullptr)
        return nullptr;
    w = 0, h = 0;
    if (!map) {
        P5Header const header = readP5Header(f);
        w = header.sized ? header.width : 0, h = header.height;
    } else {
        char line[256] = "";
        bool const magic =
            std::fgets(line, sizeof line, f) != nullptr && std::strcmp(line, "P6\n") == 0;
        while (magic && std::fgets(line, sizeof line, f) != nullptr && line[0] == '#') {
        }
        char tail[8] = "";
        char* end = line;
        long const width = magic ? std::strtol(line, &end, 10) : 0;
        long const height = *end == ' ' ? std::strtol(end + 1, &end, 10) : 0;
        bool const sized = width > 0 && width < (1L << 30) && height > 0 && height < (1L << 30) &&
                           std::strcmp(end, "\n") == 0;
        if (sized && std::fgets(tail, sizeof tail, f) != nullptr && std::strcmp(tail, "255\n") == 0)
            w = static_cast<int>(width), h = static_cast<int>(height);
    }
    if (w > 0 && h > 0 && w <= (1 << 30) / h)
        return f;
    std::fclose(f);
    return nullptr;
}

// The thumbnail of a file written by tavrin or tavrin-diff (the colours of a map in
// the file's order), read a band of blocks at a time into one small buffer: the same
// pixels as the whole image reduced, without holding it, nor faulting in fresh memory
// for it. False when the file is not such a file, or holds fewer pixels than it says.
bool writeThumbnailOf(fs::path const& file, bool map, fs::path const& path)
{
    int w = 0, h = 0;
    std::FILE* f = openPixels(file, map, w, h);
    if (f == nullptr)
        return false;
    int const type = map ? CV_8UC3 : CV_8UC1;
    std::size_t const row = static_cast<std::size_t>(w) * (map ? 3 : 1);
    long const at = std::ftell(f);
    long long const size = fileBytes(f);
    bool const holds = at >= 0 && size >= at &&
                       static_cast<unsigned long long>(size - at) / row >= static_cast<unsigned>(h);
    Reduction const r = reductionOf(w, h);
    cv::Mat small;
    if (holds && (r.factor * r.w > w || r.factor * r.h > h)) {  // thinner than a block: whole
        cv::Mat image(h, w, type);
        if (std::fread(image.data, row, static_cast<std::size_t>(h), f) ==
            static_cast<std::size_t>(h))
            small = reduced(image);
    } else if (holds) {
        int const band = std::max(1, static_cast<int>((std::size_t{1} << 20) / (row * r.factor)));
        cv::Mat rows(band * r.factor, w, type);
        small.create(r.h, r.w, type);
        for (int y = 0; y < r.h && !small.empty(); y += band) {
            int const n = std::min(band, r.h - y);
            std::size_t const read = static_cast<std::size_t>(n) * r.factor;
            if (std::fread(rows.data, row, read, f) != read) {
                small.release();
                break;
            }
            cv::Mat into = small.rowRange(y, y + n);
            cv::resize(rows(cv::Rect(0, 0, r.w * r.factor, n * r.factor)), into, cv::Size(r.w, n),
                       0, 0, cv::INTER_AREA);
        }
    }
    std::fclose(f);
    return !small.empty() && writePng(path, small, map);
}

fs::path thumbnail(Series const& s, Photo const& p, char const* what)
{
    return s.pictures / (p.stem + "-" + what + ".png");
}

// The photograph's bytes and their fingerprint; false, with its refusal, when they
// cannot be read.
bool readSource(Photo& p, std::vector<unsigned char>& bytes)
{
    if (!readWhole(p.source.u8string(), bytes, p.refusal, kMostPhotoBytes))
        return false;
    p.print = fingerprint(bytes);
    return true;
}

// True when an earlier run left the photograph's P5 copy for the same source bytes.
bool copyStands(Series const& s, Photo& p)
{
    auto const r = s.earlier.find(p.shown);
    std::error_code e;
    if (r == s.earlier.end() || r->second.print != p.print || r->second.stem != p.stem ||
        !fs::is_regular_file(s.pgm / (p.stem + ".pgm"), e) ||
        !fs::is_regular_file(thumbnail(s, p, "avant"), e))
        return false;
    p.notes.clear();
    std::istringstream notes(r->second.notes);
    for (std::string note; std::getline(notes, note, ';');)
        p.notes.push_back(note);
    return true;
}

// The photograph's P5 copy in pgm/ and its thumbnail; false, with its refusal, when
// it cannot be had or written.
bool writeCopy(Series const& s, Photo& p, GreyPhoto const& grey,
               std::vector<unsigned char> const& bytes)
{
    if (!grey.refusal.empty()) {
        p.refusal = grey.refusal;
        return false;
    }
    p.notes = grey.notes;
    fs::path const copy = s.pgm / (p.stem + ".pgm");
    bool const written =
        grey.asItIs ? writeBytes(copy, bytes.data(), bytes.size()) : writeP5(copy, grey.grey);
    bool const pictured = written && writeThumbnail(thumbnail(s, p, "avant"), grey.grey);
    if (!pictured)
        p.refusal = "sa copie " + copy.u8string() +
                    " ne peut \xEAtre \xE9"
                    "crite";
    return pictured;
}

// A further photograph read, and converted unless its copy stands.
bool convert(Series const& s, Photo& p)
{
    std::vector<unsigned char> bytes;
    if (!readSource(p, bytes))
        return false;
    return copyStands(s, p) || writeCopy(s, p, greyPhoto(p.source.u8string(), bytes), bytes);
}

// A P5 copy's name for tavrin-match, which takes a leading '-' for an option.
std::string matchName(std::string const& stem)
{
    return (stem[0] == '-' ? "./" : "") + stem + ".pgm";
}

// A number of a machine line; false when the field is not one.
bool numberOf(std::string const& field, double& value)
{
    char* end = nullptr;
    value = std::strtod(field.c_str(), &end);
    return !field.empty() && *end == '\0' && std::isfinite(value);
}

// What tavrin-match answered for the photographs it was given: A' and B' of each one
// found, from the answers, with the expected error of its machine line, and the
// reason of each one refused, from its machine line.
void takeAnswers(Outcome const& o, std::vector<Photo*> const& photos)
{
    std::vector<std::string> const lines = linesOf(o.output), told = linesOf(o.errors);
    for (Photo* p : photos) {
        std::string const name = matchName(p->stem);
        for (std::size_t k = 3; k + 2 < lines.size(); k += 3)
            if (answers::read(lines[k]) == name)
                p->aPrime = lines[k + 1], p->bPrime = lines[k + 2], p->found = true;
        std::string why = o.status < 0 ? "tavrin-match ne peut \xEAtre lanc\xE9" : "";
        p->likely.clear();
        for (std::string const& line : told) {
            std::vector<std::string> const found = machine::fields(line, "tavrin-match", 7);
            double eA = 0, eB = 0, eC = 0;
            if (p->found && found.size() == 7 && found[0] == "found" && found[6] == name &&
                numberOf(found[3], eA) && numberOf(found[4], eB) && numberOf(found[5], eC))
                p->likely = "A' " + french(eA, 2) + " px, B' " + french(eB, 2) + " px, aux coins " +
                            french(eC, 1) + " px";
            std::vector<std::string> const refused = machine::fields(line, "tavrin-match", 3);
            if (refused.size() == 3 && refused[0] == "refused" && refused[2] == name)
                why = refused[1];
        }
        if (p->found)
            continue;
        p->refusal =
            "tavrin-match ne trouve pas ses points" + (why.empty() ? "" : " (" + why + ")");
        p->advice =
            "placez ses points dans la page (tavrin-view), enregistrez les r\xE9ponses, puis "
            "relancez avec --answers";
    }
}

// --pick on the base and the first photographs: A and B found in every one of them.
void pickPoints(Series& s)
{
    std::vector<std::string> args = {"--machine", "--pick", matchName(s.photos[0].stem)};
    std::vector<Photo*> given;
    for (std::size_t k = 1; k < s.photos.size() && given.size() < 3; ++k)
        if (s.photos[k].refusal.empty() && !s.photos[k].found) {
            args.push_back(matchName(s.photos[k].stem));
            given.push_back(&s.photos[k]);
        }
    if (given.empty()) {
        std::string reasons;
        for (std::size_t k = 1; k < s.photos.size(); ++k)
            reasons += "\n  " + s.photos[k].shown + " : " + s.photos[k].refusal;
        throw Stop{"Aucune autre photographie ne peut \xEAtre lue :" + reasons};
    }
    Outcome const o = runProgram(s.match, args, s.pgm.u8string(), "");
    std::vector<std::string> const lines = linesOf(o.output);
    if (lines.size() < 3)
        throw Stop{"Aucun couple de points n'est trouv\xE9 \xE0 la fois sur la base et sur les "
                   "premi\xE8res photographies. Donnez les points A et B avec --points, ou "
                   "placez-les dans la page puis relancez avec --answers."};
    s.a = lines[1], s.b = lines[2];
    takeAnswers(o, given);
}

// A progress bar, at a console only; called under the lock.
void progress(char const* what, std::size_t done, std::size_t all)
{
    if (what == nullptr || !outputIsConsole())
        return;
    std::size_t const width = 30;
    std::size_t const filled = all == 0 ? width : width * done / all;
    std::printf("\r%s [%s%s] %zu/%zu", what, std::string(filled, '#').c_str(),
                std::string(width - filled, ' ').c_str(), done, all);
    if (done == all)
        std::printf("\n");
    std::fflush(stdout);
}

// A P5 copy's name on a line of tavrin's answers (its stem is one tavrin reads back).
std::string answerLine(std::string const& stem)
{
    return answers::written(stem + ".pgm") + "\n";
}

// The answers for tavrin: the base, A and B, the name, A' and B' of each photograph of
// photos whose points are known, and a name that opens nothing, which ends the series.
std::string answers(Series const& s, std::vector<Photo const*> const& photos)
{
    std::string text = answerLine(s.photos[0].stem) + s.a + "\n" + s.b + "\n";
    for (Photo const* p : photos)
        if (p->found && p->refusal.empty())
            text += answerLine(p->stem) + p->aPrime + "\n" + p->bPrime + "\n";
    std::error_code e;
    return text + answers::closingName([&](std::string const& name) {
               return fs::exists(fs::symlink_status(s.pgm / name, e));
           }) +
           "\n";
}

// The folder in pgm/ where tavrin writes, as the operator's own run there would; a
// file or a link standing in its place stops the run before tavrin is started.
fs::path tavrinsFolder(Series const& s)
{
    fs::path inner = s.pgm / TAVRIN_RESULTS_FOLDER;
    std::error_code e;
    fs::file_status const st = fs::symlink_status(inner, e);
    if (fs::exists(st) && !fs::is_directory(st))
        throw Stop{"Impossible d'\xE9"
                   "crire dans " +
                   inner.u8string() + " : ce n'est pas un dossier"};
    return inner;
}

// tavrin on the base and the photographs given whose points are known and that are not
// yet rectified, run in pgm/ on their answers; their results are then moved up into
// Redressement. Runs may overlap: each writes the base's copy whole, the same bytes,
// and its own photographs' results. False when there was none to rectify, and tavrin
// was not run.
bool rectify(Series const& s, std::vector<Photo*> const& photos, bool baseAlone = false)
{
    std::vector<Photo const*> pending;
    for (Photo* p : photos)
        if (p->found && p->refusal.empty() && !p->done)
            pending.push_back(p);
    if (pending.empty() && !baseAlone)
        return false;
    Outcome const o = runProgram(s.tavrin, {}, s.pgm.u8string(), answers(s, pending));
    if (o.status < 0)
        throw Stop{"tavrin ne peut \xEAtre lanc\xE9 : " + s.tavrin};
    for (Photo* p : photos) {
        if (!p->found || !p->refusal.empty() || p->done)
            continue;
        std::error_code e;
        fs::rename(s.pgm / TAVRIN_RESULTS_FOLDER / (p->stem + ".pgm"), s.out / (p->stem + ".pgm"),
                   e);
        if (e) {
            p->refusal = "tavrin n'a pas \xE9"
                         "crit son r\xE9sultat";
            p->advice = "lancez tavrin < reponses.txt dans le dossier pgm pour voir pourquoi";
        } else {
            p->fresh = true;
        }
    }
    return true;
}

// The base's copy that tavrin wrote, moved up into Redressement once no run of tavrin
// is left (tavrin run on the base alone when none was needed).
void placeBase(Series const& s, bool rectified)
{
    if (!rectified)
        rectify(s, {}, true);
    fs::path const inner = s.pgm / TAVRIN_RESULTS_FOLDER;
    fs::path const made = inner / (s.photos[0].stem + ".pgm");
    std::error_code e;
    fs::rename(made, s.out / (s.photos[0].stem + ".pgm"), e);
    if (e)
        throw Stop{"tavrin n'a pas \xE9"
                   "crit la copie de la base (" +
                   made.u8string() + ")"};
    fs::remove(inner, e);  // when empty
}

// tavrin-diff's map and figures for a photograph just rectified.
void compare(Series const& s, Photo& p)
{
    Photo const& base = s.photos[0];
    fs::path const map = s.gaps / (p.stem + ".ppm");
    std::string const result = (s.out / (p.stem + ".pgm")).u8string();
    Outcome const o =
        runProgram(s.diff,
                   {"--machine", (s.pgm / (base.stem + ".pgm")).u8string(), result, map.u8string(),
                    (s.pgm / (p.stem + ".pgm")).u8string(), s.a, s.b, p.aPrime, p.bPrime},
                   s.out.u8string(), "");
    bool figures = false;
    for (std::string const& line : linesOf(o.output)) {
        std::vector<std::string> const f = machine::fields(line, "tavrin-diff", 6);
        figures = figures || (f.size() == 6 && f[0] == "figures" && f[5] == result &&
                              numberOf(f[1], p.mean) && numberOf(f[2], p.within));
    }
    if (o.status != 0 || !figures) {
        p.refusal = "tavrin-diff ne peut la comparer \xE0 la base";
        return;
    }
    if (!writeThumbnailOf(s.out / (p.stem + ".pgm"), false, thumbnail(s, p, "apres")) ||
        !writeThumbnailOf(map, true, thumbnail(s, p, "ecart")))
        p.refusal = "ses vignettes pour le rapport ne peuvent \xEAtre \xE9"
                    "crites";
    else
        p.done = true;
}

// The turn (degrees, clockwise on the screen) and scale of the photograph against the
// base, from the two pairs of points.
void measure(Series const& s, Photo& p)
{
    double ax = 0, ay = 0, bx = 0, by = 0, apx = 0, apy = 0, bpx = 0, bpy = 0;
    if (!parsePointArgument(s.a.c_str(), ax, ay) || !parsePointArgument(s.b.c_str(), bx, by) ||
        !parsePointArgument(p.aPrime.c_str(), apx, apy) ||
        !parsePointArgument(p.bPrime.c_str(), bpx, bpy))
        return;
    plane::Similarity const m = plane::similarityOf({ax, ay}, {bx, by}, {apx, apy}, {bpx, bpy});
    p.turn = std::atan2(m.im, m.re) * 180 / 3.14159265358979323846;
    p.scale = std::hypot(m.re, m.im);
}

// What is left to do for a further photograph, step after step.
enum class Step { convert, find, rectify, compare, finished };

// The points of a photograph read but not yet known, found by tavrin-match on it alone.
void findPoints(Series const& s, Photo& p)
{
    if (!p.refusal.empty() || p.found)
        return;
    std::vector<Photo*> const given = {&p};
    takeAnswers(runProgram(s.match,
                           {"--machine", matchName(s.photos[0].stem), s.a, s.b, matchName(p.stem)},
                           s.pgm.u8string(), ""),
                given);
}

// The further photographs taken from step from up to step to, spread over the cores as
// a pipeline. A free worker takes the next step of photographs no one holds: the most
// advanced first, but not a second step that writes large files (tavrin's or
// tavrin-diff's) beside one that runs, and tavrin on one photograph alone while another
// will soon join it, as long as a step that mostly computes is there to take. So the
// disk's work overlaps the computing instead of two writers waiting on the disk
// together, tavrin reads and writes the base for a few photographs at once, and each
// photograph is done, its memory given back, early. tavrin's step takes every
// photograph waiting for it; the others, one. A worker has its photographs to itself
// and hands them back under the lock, where the record is written anew. step(group, k)
// does step k on the photographs of group. A failure that ends the run stops the
// workers once their steps end, and is thrown again here.
template <class Work> void pipeline(Series& s, Step from, Step to, char const* what, Work step)
{
    std::size_t const count = s.photos.size() - 1;
    std::vector<Step> next(count, from);
    std::vector<bool> held(count, false);
    std::size_t finished = 0, writing = 0, busy = 0;
    std::exception_ptr failure;
    std::condition_variable changed;
    auto writes = [](Step k) { return k == Step::rectify || k == Step::compare; };
    // How much a photograph's next step had better wait: 0 not at all.
    auto patience = [&](std::size_t k) {
        std::size_t waiting = 0, before = 0;
        for (std::size_t j = 0; j < count; ++j) {
            waiting += next[j] == Step::rectify && !held[j] ? 1 : 0;
            before += next[j] < Step::rectify ? 1 : 0;
        }
        bool const alone = next[k] == Step::rectify && waiting < 2 && before > 0;
        return (writing > 0 && writes(next[k]) ? 1 : 0) + (alone ? 1 : 0);
    };
    // The photograph whose step to take now, count when none.
    auto choose = [&] {
        std::size_t best = count;
        int bestPatience = 0;
        for (std::size_t k = 0; k < count; ++k) {
            if (held[k] || next[k] == to)
                continue;
            int const wait = patience(k);
            if (best == count || wait < bestPatience ||
                (wait == bestPatience && next[k] > next[best]))
                best = k, bestPatience = wait;
        }
        return best;
    };
    auto work = [&] {
        std::unique_lock<std::mutex> hold(s.lock);
        for (;;) {
            std::size_t const first = failure ? count : choose();
            if (first == count) {
                if (busy == 0 || failure)
                    return;
                changed.wait(hold);
                continue;
            }
            Step const doing = next[first];
            std::vector<std::size_t> mine = {first};
            for (std::size_t k = first + 1; doing == Step::rectify && k < count; ++k)
                if (!held[k] && next[k] == doing)
                    mine.push_back(k);
            std::vector<Photo> group;
            for (std::size_t k : mine)
                held[k] = true, group.push_back(s.photos[k + 1]);
            writing += writes(doing) ? 1 : 0;
            ++busy;
            hold.unlock();
            std::exception_ptr failed;
            try {
                step(group, doing);
            } catch (...) {
                failed = std::current_exception();
            }
            hold.lock();
            --busy;
            writing -= writes(doing) ? 1 : 0;
            for (std::size_t m = 0; m < mine.size(); ++m) {
                std::size_t const k = mine[m];
                held[k] = false;
                if (failed)
                    continue;
                s.photos[k + 1] = std::move(group[m]);
                next[k] = static_cast<Step>(static_cast<int>(doing) + 1);
                if (next[k] == to)
                    progress(what, ++finished, count);
            }
            if (failed)
                failure = failure ? failure : failed;
            else
                writeRecord(s);
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (int j = 1; j < s.jobs; ++j)
        workers.emplace_back(work);
    work();
    for (std::thread& w : workers)
        w.join();
    if (failure)
        std::rethrow_exception(failure);
}

std::string line(Series const& s, std::size_t k)
{
    Photo const& p = s.photos[k];
    std::string text = "[" + std::to_string(k + 1) + "/" + std::to_string(s.photos.size()) + "] " +
                       p.shown + " : ";
    if (!p.refusal.empty())
        return text +
               "refus\xE9"
               "e, " +
               p.refusal + "\n";
    if (k == 0)
        text += "base, points A " + s.a + " et B " + s.b;
    else
        text += std::string(p.given ? "points donn\xE9s"
                                    : "trouv\xE9"
                                      "e") +
                ", tourn\xE9"
                "e " +
                french(p.turn, 1) +
                "\xB0, \xE9"
                "chelle " +
                french(p.scale, 2) +
                " - \xE9"
                "cart moyen " +
                french(p.mean, 1) + (p.fresh ? "" : " (d\xE9j\xE0 fait)");
    if (!p.notes.empty())
        text += " (" + joined(p.notes, ", ") + ")";
    return text + "\n";
}

// ---------------------------------------------------------------- the report

std::string html(std::string const& text)
{
    std::string out;
    for (char c : text)
        out += c == '&'   ? "&amp;"
               : c == '<' ? "&lt;"
               : c == '>' ? "&gt;"
               : c == '"' ? "&quot;"
                          : std::string(1, c);
    return out;
}

// Windows-1252 words made UTF-8, as the page's bytes are: each byte above 127 is the
// Latin-1 character of that code in these French texts.
std::string utf8(std::string const& words)
{
    std::string out;
    for (unsigned char c : words)
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            out += static_cast<char>(0xC0 | (c >> 6)), out += static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

// A link to a file of the report's folder, its name percent-encoded.
std::string href(fs::path const& p)
{
    std::string const name = p.filename().u8string();
    std::string out = "rapport/";
    for (unsigned char c : name) {
        if (std::isalnum(c) || std::strchr("-._~", c) != nullptr) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string image(fs::path const& p, std::string const& alt)
{
    return "<img src=\"" + href(p) + "\" alt=\"" + html(alt) + "\">";
}

void writeReport(Series const& s, fs::path const& path, double seconds)
{
    Photo const& base = s.photos[0];
    std::size_t done = 0, refused = 0;
    for (std::size_t k = 1; k < s.photos.size(); ++k)
        (s.photos[k].done ? done : refused) += 1;
    std::string t =
        "<!DOCTYPE html>\n<html lang=\"fr\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Redressement : " +
        html(base.shown) +
        "</title>\n<style>\n"
        "body{font-family:sans-serif;margin:1.5em;color:#222}\n"
        "table{border-collapse:collapse}td,th{border:1px solid "
        "#ccc;padding:.4em;vertical-align:top}\n"
        "img{max-width:240px;max-height:240px;display:block}\n.refus{background:#fee}\n"
        "</style>\n</head>\n<body>\n<h1>Redressement de la s&eacute;rie</h1>\n<p>Base : <b>" +
        html(base.shown) + "</b>, points A " + html(s.a) + " et B " + html(s.b) + ". " +
        std::to_string(done) + " photographie(s) redress&eacute;e(s), " + std::to_string(refused) +
        " refus&eacute;e(s), en " + french(seconds, 1) + " s.</p>\n" +
        image(thumbnail(s, base, "avant"), base.shown) +
        "\n<table>\n<tr><th>Photographie</th><th>Avant</th><th>Apr&egrave;s</th>"
        "<th>&Eacute;carts</th><th>Points et mesures</th></tr>\n";
    for (std::size_t k = 1; k < s.photos.size(); ++k) {
        Photo const& p = s.photos[k];
        std::string const notes = p.notes.empty() ? "" : "<br>" + html(utf8(joined(p.notes, ", ")));
        if (!p.done) {
            t += "<tr class=\"refus\"><td>" + html(p.shown) + notes +
                 "</td><td colspan=\"4\">Refus&eacute;e : " + html(utf8(p.refusal)) +
                 (p.advice.empty() ? "" : ".<br>Que faire : " + html(utf8(p.advice))) +
                 ".</td></tr>\n";
            continue;
        }
        t += "<tr><td>" + html(p.shown) + notes + "</td><td>" +
             image(thumbnail(s, p, "avant"), "avant") + "</td><td>" +
             image(thumbnail(s, p, "apres"), "apr\xC3\xA8s") + "</td><td>" +
             image(thumbnail(s, p, "ecart"), "\xC3\xA9"
                                             "carts") +
             "</td><td>A' " + html(p.aPrime) + "<br>B' " + html(p.bPrime) +
             (p.likely.empty() ? "" : "<br>Erreur probable : " + html(p.likely)) +
             "<br>tourn&eacute;e de " + french(p.turn, 1) +
             "&deg; (sens horaire positif)<br>&eacute;chelle " + french(p.scale, 3) +
             "<br>&eacute;cart moyen " + french(p.mean, 2) + " niveaux de gris<br>" +
             french(p.within, 1) + " % des pixels &agrave; 8 niveaux pr&egrave;s" +
             (p.given ? "<br>points donn&eacute;s" : "") + "</td></tr>\n";
    }
    t += "</table>\n<p>Les r&eacute;sultats sont dans ce dossier ; les copies P5 et reponses.txt "
         "dans pgm, les cartes des &eacute;carts dans ecarts.</p>\n</body>\n</html>\n";
    if (!writeBytes(path, t.data(), t.size()))
        throw Stop{"Impossible d'\xE9"
                   "crire le rapport " +
                   path.u8string()};
}

// ---------------------------------------------------------------- the run

// A folder of the output, made when missing; never a link or a file that stands there.
void makeFolder(fs::path const& folder)
{
    std::error_code e;
    fs::create_directory(folder, e);
    fs::file_status const st = fs::symlink_status(folder, e);
    if (e || !fs::is_directory(st))
        throw Stop{"Impossible d'\xE9"
                   "crire dans le dossier " +
                   folder.u8string() + " : " +
                   (e ? e.message() : std::string("ce n'est pas un dossier"))};
    if (!canWriteBeside((folder / "x").u8string().c_str()))
        throw Stop{"Impossible d'\xE9"
                   "crire dans le dossier " +
                   folder.u8string() + " : " + std::strerror(errno)};
}

// What a run stopped by force (a power cut, a killed process) left of the writer's
// unfinished files in the output's folders: "<name>.tavrin-<process>-<n>" of a
// process that no longer runs.
void sweep(std::vector<fs::path> const& folders)
{
    for (fs::path const& folder : folders) {
        std::error_code e;
        for (fs::directory_iterator it(folder, e), end; !e && it != end; it.increment(e)) {
            std::string const name = it->path().filename().u8string();
            std::size_t const at = name.rfind(".tavrin-");
            if (at == std::string::npos || !it->is_regular_file(e))
                continue;
            char* rest = nullptr;
            unsigned long const number = std::strtoul(name.c_str() + at + 8, &rest, 10);
            bool const ours = *rest == '-' && std::isdigit(static_cast<unsigned char>(rest[1])) &&
                              std::strspn(rest + 1, "0123456789") == std::strlen(rest + 1);
            if (ours && !processRuns(number))
                removeFile(it->path().u8string().c_str());
        }
    }
}

std::string companion(char const* name)
{
    std::string path = programFile(ownFolder(), name);
    std::error_code e;
    if (!fs::is_regular_file(fs::u8path(path), e))
        throw Stop{std::string(name) + " n'est pas \xE0 c\xF4t\xE9 de tavrin-series (" + path +
                   ")"};
    return path;
}

int run(int argc, char** argv)
{
    auto const started = std::chrono::steady_clock::now();
    Request const r = parseRequest(argc, argv);
    Series s;
    s.tavrin = companion("tavrin");
    s.match = companion("tavrin-match");
    s.diff = companion("tavrin-diff");
    s.jobs = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    std::string said;
    s.photos = gather(r, said);
    if (s.photos.size() < 2)
        throw Stop{"Une seule photographie : il faut la base et au moins une autre, "
                   "du m\xEAme lieu"};
    tell(stdout, said);
    Photo& base = s.photos[0];
    std::vector<unsigned char> bytes;
    GreyPhoto grey;
    if (readSource(base, bytes))
        grey = greyPhoto(base.source.u8string(), bytes);
    if (!base.refusal.empty() || !grey.refusal.empty())
        throw Stop{"La photographie de base " + base.source.u8string() +
                   " ne peut \xEAtre lue : " + base.refusal + grey.refusal};
    s.out = fs::absolute(base.source).parent_path() / TAVRIN_RESULTS_FOLDER;
    s.pgm = s.out / "pgm";
    s.gaps = s.out / "ecarts";
    s.pictures = s.out / "rapport";
    for (fs::path const& folder : {s.out, s.pgm, s.gaps, s.pictures})
        makeFolder(folder);
    sweep({s.out, s.pgm, s.gaps, s.pictures, s.pgm / TAVRIN_RESULTS_FOLDER});
    {  // the answers that earlier versions gave tavrin through a file, left by a killed run
        std::error_code e;
        fs::path const pending = s.pgm / "reponses-en-cours.txt";
        if (fs::is_regular_file(fs::symlink_status(pending, e)))
            fs::remove(pending, e);
    }
    readRecord(s);
    s.a = r.a, s.b = r.b;
    if (!r.answers.empty())
        readAnswers(r.answers, s);

    // The base: the same source and, unless new ones are given, the same points.
    if (!copyStands(s, base) && !writeCopy(s, base, grey, bytes))
        throw Stop{"La photographie de base " + base.source.u8string() + " : " + base.refusal};
    grey = GreyPhoto();
    bytes = std::vector<unsigned char>();
    auto const earlierBase = s.earlier.find(base.shown);
    bool const sameBase = earlierBase != s.earlier.end() &&
                          earlierBase->second.print == base.print &&
                          earlierBase->second.stem == base.stem;
    if (s.a.empty() && sameBase)
        s.a = earlierBase->second.a, s.b = earlierBase->second.b;
    bool const samePoints =
        sameBase && s.a == earlierBase->second.a && s.b == earlierBase->second.b;

    // Each photograph converted and, unless the record holds them, its points found.
    std::size_t const n = s.photos.size() - 1;
    auto reuse = [&](Photo& p) {
        auto const e = s.earlier.find(p.shown);
        if (e == s.earlier.end() || e->second.print != p.print || e->second.stem != p.stem ||
            (p.given && (e->second.a != p.aPrime || e->second.b != p.bPrime)))
            return;
        p.aPrime = e->second.a, p.bPrime = e->second.b, p.found = true;
        std::error_code ec;
        p.done = e->second.done && fs::is_regular_file(s.out / (p.stem + ".pgm"), ec) &&
                 fs::is_regular_file(s.gaps / (p.stem + ".ppm"), ec) &&
                 fs::is_regular_file(thumbnail(s, p, "apres"), ec);
        p.mean = e->second.mean, p.within = e->second.within;
        p.likely = p.given ? "" : e->second.likely;
    };
    // Then, photograph by photograph, its points found, tavrin run on it and its result
    // compared with the base; when the points are to be chosen, every photograph is
    // read first, and the points chosen on the first ones.
    tavrinsFolder(s);
    std::atomic<bool> rectified{false};
    auto step = [&](std::vector<Photo>& group, Step k) {
        if (k == Step::rectify) {
            std::vector<Photo*> photos;
            photos.reserve(group.size());
            for (Photo& p : group)
                photos.push_back(&p);
            if (rectify(s, photos))
                rectified = true;
        }
        for (Photo& p : group) {
            if (k == Step::convert && convert(s, p) && samePoints)
                reuse(p);
            if (k == Step::find)
                findPoints(s, p);
            if (k == Step::compare && p.fresh)
                compare(s, p);
            if (k == Step::compare)
                measure(s, p);
        }
    };
    bool const picking = s.a.empty();
    if (picking) {
        pipeline(s, Step::convert, Step::find, "Lecture des photographies", step);
        pickPoints(s);
        tell(stdout, "Points choisis sur la base : A " + s.a + " et B " + s.b + "\n");
        writeRecord(s);
    }
    pipeline(s, picking ? Step::find : Step::convert, Step::finished,
             "Redressement des photographies", step);

    std::vector<Photo const*> further;
    for (std::size_t k = 1; k < s.photos.size(); ++k)
        further.push_back(&s.photos[k]);
    std::string const all = answers(s, further);
    if (!writeBytes(s.pgm / "reponses.txt", all.data(), all.size()))
        throw Stop{"Impossible d'\xE9"
                   "crire " +
                   (s.pgm / "reponses.txt").u8string()};
    placeBase(s, rectified);

    int status = 0;
    for (std::size_t k = 0; k < s.photos.size(); ++k) {
        status = k > 0 && !s.photos[k].done ? 1 : status;
        tell(stdout, line(s, k));
    }
    double const seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    fs::path const report = s.out / "rapport.html";
    writeReport(s, report, seconds);
    std::size_t done = 0;
    for (Photo const& p : s.photos)
        done += p.done ? 1 : 0;
    tell(stdout, std::to_string(done) +
                     " photographie(s) redress\xE9"
                     "e(s) sur " +
                     std::to_string(n) + ", en " + french(seconds, 1) +
                     " s.\nRapport : " + report.u8string() + "\n");
    openInBrowser(report.u8string());
    return status;
}

}  // namespace

int main(int count, char** given)
{
    Arguments arguments(count, given);
    int const argc = arguments.count();
    char** const argv = arguments.values();
    if (arguments.askForHelp()) {
        tell(stdout, kUsage);
        return 0;
    }
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    // The photographs are spread over the cores already: OpenCV's own threads would
    // only compete with them and with the companions.
    cv::setNumThreads(1);
    int status = 1;
    try {
        status = run(argc, argv);
    } catch (UsageError const& e) {
        tell(stderr, "tavrin-series : " + e.message + "\n" + kUsage);
        status = 2;
    } catch (Stop const& e) {
        std::fflush(stdout);
        tell(stderr, "tavrin-series : " + e.message + "\n");
    } catch (std::bad_alloc const&) {
        tell(stderr, "tavrin-series : pas assez de m\xE9moire pour ces photographies\n");
    } catch (cv::Exception const& e) {
        tell(stderr, "tavrin-series : erreur interne d'OpenCV : " + e.err + "\n");
    }
    std::fflush(stdout);
    holdOwnWindow();
    return status;
}
