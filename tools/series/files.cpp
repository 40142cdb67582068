// The files tavrin-series writes itself: the photographs' P5 copies, the report's
// thumbnails, the output's folders, and what a killed run left of them.
#include "tools/series/series.h"

#include "tools/series/platform.h"
#include "tools/series/png.h"

#include "colour/ppm.h"
#include "image/file_system.h"
#include "image/image.h"
#include "image/whole_file.h"
#include "tools/common/arguments.h"
#include "tools/common/point_argument.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace series {

bool writeFileOf(fs::path const& path, std::function<bool(std::FILE*)> const& encode)
{
    int const err = writeWhole(path.u8string().c_str(), encode);
    errno = err;
    return err == 0;
}

bool writeBytes(fs::path const& path, void const* data, std::size_t size)
{
    return writeFileOf(path, [&](std::FILE* f) { return std::fwrite(data, 1, size, f) == size; });
}

namespace {

// The grey image as tavrin's P5, its pixels in one block (as greyPhoto gives them).
bool writeP5(fs::path const& path, cv::Mat const& grey)
{
    cv::Mat const block = grey.isContinuous() ? grey : grey.clone();
    return writeFileOf(
        path, [&](std::FILE* f) { return encodeP5(f, block.data, block.cols, block.rows); });
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
    if (!cv::imencode(".png", small, png)) {
        errno = EIO;
        return false;
    }
    return writeBytes(path, png.data(), png.size());
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
        P6Header const header = readP6Header(f);
        w = header.width, h = header.height;
    }
    if (w > 0 && h > 0 && w <= (1 << 30) / h)
        return f;
    std::fclose(f);
    return nullptr;
}

}  // namespace

namespace {

// rows, count: true unless what takes them fails.
using RowSink = std::function<bool(unsigned char const*, std::size_t)>;

// The thumbnail of a file written by tavrin or tavrin-diff (the colours of a map in the
// file's order), read a band of blocks at a time into one small buffer: the same pixels
// as the whole image reduced, without holding it, nor faulting in fresh memory for it.
// Every row read is handed to sink, when there is one, those below the last block too.
// Empty when the file is not such a file, holds fewer pixels than it says, or sink fails.
cv::Mat thumbnailOf(fs::path const& file, bool map, RowSink const& sink)
{
    int w = 0, h = 0;
    std::FILE* f = openPixels(file, map, w, h);
    if (f == nullptr)
        return {};
    int const type = map ? CV_8UC3 : CV_8UC1;
    std::size_t const row = static_cast<std::size_t>(w) * (map ? 3 : 1);
    long const at = std::ftell(f);
    long long const size = fileBytes(f);
    bool const holds = at >= 0 && size >= at &&
                       static_cast<unsigned long long>(size - at) / row >= static_cast<unsigned>(h);
    Reduction const r = reductionOf(w, h);
    auto const read = [&](cv::Mat& rows, std::size_t count) {
        return readPixels(f, rows.data, row * count) == 0 && (!sink || sink(rows.data, count));
    };
    cv::Mat small;
    if (holds && (r.factor * r.w > w || r.factor * r.h > h)) {  // thinner than a block: whole
        cv::Mat image(h, w, type);
        if (read(image, static_cast<std::size_t>(h)))
            small = reduced(image);
    } else if (holds) {
        int const band = std::max(1, static_cast<int>((std::size_t{1} << 20) / (row * r.factor)));
        cv::Mat rows(band * r.factor, w, type);
        small.create(r.h, r.w, type);
        for (int y = 0; y < r.h && !small.empty(); y += band) {
            int const n = std::min(band, r.h - y);
            if (!read(rows, static_cast<std::size_t>(n) * r.factor)) {
                small.release();
                break;
            }
            cv::Mat into = small.rowRange(y, y + n);
            cv::resize(rows(cv::Rect(0, 0, r.w * r.factor, n * r.factor)), into, cv::Size(r.w, n),
                       0, 0, cv::INTER_AREA);
        }
        for (int y = r.h * r.factor; sink && y < h && !small.empty(); y += rows.rows)
            if (!read(rows, static_cast<std::size_t>(std::min(rows.rows, h - y))))
                small.release();
    }
    std::fclose(f);
    return small;
}

}  // namespace

bool writeThumbnailOf(fs::path const& file, bool map, fs::path const& path)
{
    cv::Mat const small = thumbnailOf(file, map, {});
    return !small.empty() && writePng(path, small, map);
}

bool writeViewable(fs::path const& file, fs::path const& png, fs::path const& small)
{
    int w = 0, h = 0;
    std::FILE* f = openPixels(file, false, w, h);
    if (f == nullptr)
        return false;
    std::fclose(f);
    cv::Mat thumb;
    bool const written = writeFileOf(png, [&](std::FILE* out) {
        StoredPng picture(out, w, h);
        thumb = thumbnailOf(file, false, [&](unsigned char const* rows, std::size_t count) {
            return picture.rows(rows, count);
        });
        return !thumb.empty() && picture.finish();
    });
    return written && (small.empty() || writePng(small, thumb, false));
}

fs::path viewable(Series const& s, Photo const& p)
{
    return s.pngs / fs::u8path(p.stem + ".png");
}

fs::path thumbnail(Series const& s, Photo const& p, char const* what)
{
    return s.pictures / fs::u8path(p.stem + "-" + what + ".png");
}

bool readSource(Photo& p, std::vector<unsigned char>& bytes)
{
    if (!readWhole(p.source.u8string(), bytes, p.refusal, kMostPhotoBytes))
        return false;
    p.print = fingerprint(bytes);
    return true;
}

bool copyStands(Series const& s, Photo& p)
{
    auto const r = s.earlier.find(p.shown);
    std::error_code e;
    if (r == s.earlier.end() || r->second.print != p.print || r->second.stem != p.stem ||
        !fs::is_regular_file(s.pgm / fs::u8path(p.stem + ".pgm"), e) ||
        !fs::is_regular_file(thumbnail(s, p, "avant"), e))
        return false;
    p.notes.clear();
    std::istringstream notes(r->second.notes);
    for (std::string note; std::getline(notes, note, ';');)
        p.notes.push_back(note);
    return true;
}

bool writeCopy(Series const& s, Photo& p, GreyPhoto const& grey,
               std::vector<unsigned char> const& bytes)
{
    if (!grey.refusal.empty()) {
        p.refusal = grey.refusal;
        return false;
    }
    p.notes = grey.notes;
    fs::path const copy = s.pgm / fs::u8path(p.stem + ".pgm");
    bool const written =
        grey.asItIs ? writeBytes(copy, bytes.data(), bytes.size()) : writeP5(copy, grey.grey);
    bool const pictured = written && writeThumbnail(thumbnail(s, p, "avant"), grey.grey);
    if (!pictured)
        p.refusal = "sa copie " + copy.u8string() +
                    " ne peut \xEAtre \xE9"
                    "crite : " +
                    systemError(errno);
    return pictured;
}

bool convert(Series const& s, Photo& p)
{
    std::vector<unsigned char> bytes;
    if (!readSource(p, bytes))
        return false;
    return copyStands(s, p) || writeCopy(s, p, greyPhoto(p.source.u8string(), bytes), bytes);
}

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

// A photograph not rectified in the end keeps nothing of an earlier run's result, made
// from another photograph or other points: no file under its name may pass for it.
void dropEarlierResults(Series const& s)
{
    for (std::size_t k = 1; k < s.photos.size(); ++k) {
        Photo const& p = s.photos[k];
        if (p.done)
            continue;
        for (fs::path const& f :
             {s.out / fs::u8path(p.stem + ".pgm"), s.gaps / fs::u8path(p.stem + ".ppm"),
              thumbnail(s, p, "apres"), thumbnail(s, p, "ecart"), viewable(s, p)})
            removeFile(f.u8string().c_str());
    }
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

}  // namespace series