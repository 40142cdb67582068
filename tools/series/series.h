// tavrin-series' own parts, one file each: the request (request.cpp), the record of what
// is done and the answers files (record.cpp), the files it writes (files.cpp, and the
// full-size PNG in png.cpp), the companions and their machine lines (companions.cpp),
// the pipeline over the cores (pipeline.cpp), the report and the console's lines
// (report.cpp), and the run (series.cpp). The photographs are read in photo.cpp, the
// platform kept in platform.h.
#ifndef TAVRIN_TOOLS_SERIES_SERIES_H
#define TAVRIN_TOOLS_SERIES_SERIES_H

#include "tools/common/tool.h"
#include "tools/series/photo.h"
#include "tools/series/platform.h"

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace series {

namespace fs = std::filesystem;

using tool::Stop;
using tool::UsageError;

struct Photo {
    fs::path source;
    std::string shown;  // its file name, for the operator
    // Redressement/<stem>.pgm, pgm/<stem>.pgm...: UTF-8, so joined to a folder through
    // fs::u8path (a plain string would be read in Windows' ANSI code page)
    std::string stem;
    std::string print;  // the source bytes' fingerprint
    std::vector<std::string> notes;
    std::string aPrime, bPrime;  // the answers, as tavrin reads them
    bool given = false;          // from the answers file
    std::string givenAt;         // that file and the line of A', for the operator
    bool found = false;          // its answers are known
    bool done = false;           // rectified and compared
    bool fresh = false;          // rectified in this run
    std::string refusal;         // why it was left out, in French
    std::string advice;          // what to do about it
    double mean = 0, within = 0;
    double turn = 0, scale = 1;
    std::string likely;   // tavrin-match's expected error, as it says it; empty when unsaid
    std::string leftOut;  // why A and B were chosen without it; empty when with it
};

// What an earlier run recorded, one line per photograph, keyed by its file name.
struct Record {
    std::string print, stem, notes, a, b;
    double mean = 0, within = 0;
    bool done = false;
    std::string likely;
};

// What one tavrin-match, still running, has told so far of the photographs given it
// (names, as given): of each, by name, whether its machine line came, whether that
// refused it, its A' and B' once its answers came, and its expected error.
struct Finding {
    struct Told {
        bool lined = false, refused = false;
        std::string aPrime, bPrime, likely;
    };
    bool running = false;
    std::vector<std::string> names;
    std::map<std::string, Told> told;
};

struct Series {
    std::vector<Photo> photos;  // the base first
    std::string a, b;           // the base's points, as typed or found
    fs::path out, pgm, gaps, pictures, pngs;
    std::string tavrin, match, diff;  // the companions
    std::map<std::string, Record> earlier;
    std::string recorded;             // the record as this run last wrote it
    bool recordFailureTold = false;   // a record that cannot be written is said once
    std::mutex lock;                  // guards the photographs, the record, the console and finding
    std::condition_variable changed;  // told when a photograph or finding changed
    Finding finding;
    int jobs = 1;
};

// What is left to do for a further photograph, step after step.
enum class Step { convert, find, rectify, compare, finished };

// ---------------------------------------------------------------- the request (request.cpp)

struct Request {
    std::string base;
    std::string a, b;
    std::string answers;
    std::vector<std::string> inputs;
};

// The command line, or a UsageError that says what is wrong with it.
Request parseRequest(int argc, char** argv);

// The photographs of the request, sorted by name (a drop passes them in Explorer's own
// order), the base first; said, what to tell of the base chosen.
std::vector<Photo> gather(Request const& r, std::string& said);

// The name in lower case as Windows compares names, for ASCII and the accented
// capitals of UTF-8's Latin-1 range (À to Þ, × aside): so that "Été.jpg" and "été.tif"
// are known to share a stem.
std::string lower(std::string text);

// ---------------------------------------------------------------- the record (record.cpp)

// A text line by line, each without its end: a line feed, or CR LF as Windows' text
// mode and Notepad write it.
std::vector<std::string> linesOf(std::string const& text);

std::string joined(std::vector<std::string> const& notes, char const* between);

// What an earlier run recorded, into s.earlier; nothing when there is no record.
void readRecord(Series& s);

// The record of what is known now, rewritten whole when it changed: a run cut short
// anywhere leaves the last one.
void writeRecord(Series& s);

// An answers file saved by the page or written by tavrin-match: the base's A and B and
// each named photograph's A' and B', as they stand.
void readAnswers(std::string const& path, Series& s);

// A photograph whose A' or B' from the answers file lies off it is refused, with why.
void checkGivenPoints(Series const& s, Photo& p);

// ---------------------------------------------------------------- the files (files.cpp)

// The bytes written whole at path, or nothing (the library's whole-file writer).
// A file written whole or not at all (image/whole_file.h), saying nothing: a failure is
// told in French by the caller, errno then holding the system's reason.
bool writeFileOf(fs::path const& path, std::function<bool(std::FILE*)> const& encode);
bool writeBytes(fs::path const& path, void const* data, std::size_t size);

// The report's thumbnail of a photograph: Redressement/rapport/<stem>-<what>.png.
fs::path thumbnail(Series const& s, Photo const& p, char const* what);

// The thumbnail of a file written by tavrin, or by tavrin-diff when map; false when it
// is not such a file, or holds fewer pixels than it says.
bool writeThumbnailOf(fs::path const& file, bool map, fs::path const& path);

// A file written by tavrin also as a PNG of the same pixels, full size, which Windows'
// Photos and Explorer's preview open where they open no PGM, and with small its
// thumbnail for the report, from one read; false as writeThumbnailOf.
bool writeViewable(fs::path const& file, fs::path const& png, fs::path const& small);

// The PNG of photograph p's result: Redressement/png/<stem>.png.
fs::path viewable(Series const& s, Photo const& p);

// The grey pixels as a PNG at path, stored without compression: a copy's cost (png.cpp).
bool writeStoredPng(fs::path const& path, cv::Mat const& grey);

// task() run on a thread of its own, or here and now when no thread can be had: so that
// a picture is encoded while a companion runs.
template <class Task> std::future<bool> inBackground(Task task)
{
    try {
        return std::async(std::launch::async, task);
    } catch (std::system_error const&) {
        std::promise<bool> done;
        done.set_value(task());
        return done.get_future();
    }
}

// The photograph's bytes and their fingerprint; false, with its refusal, when they
// cannot be read.
bool readSource(Photo& p, std::vector<unsigned char>& bytes);

// True when an earlier run left the photograph's P5 copy for the same source bytes.
bool copyStands(Series const& s, Photo& p);

// The photograph's P5 copy in pgm/ and its thumbnail; false, with its refusal, when
// it cannot be had or written.
bool writeCopy(Series const& s, Photo& p, GreyPhoto const& grey,
               std::vector<unsigned char> const& bytes);

// A further photograph read, and converted unless its copy stands.
bool convert(Series const& s, Photo& p);

// A folder of the output, made when missing; never a link or a file that stands there.
void makeFolder(fs::path const& folder);

// What a run stopped by force left of the writer's unfinished files in the folders.
void sweep(std::vector<fs::path> const& folders);

// The files of an earlier run's result removed for each photograph not rectified now.
void dropEarlierResults(Series const& s);

// ---------------------------------------------------------------- the companions (companions.cpp)

// The companion's path beside tavrin-series, or a Stop when it is not there.
std::string companion(char const* name);

// A and B chosen by tavrin-match --pick on the base and every photograph read, with
// their A' and B'; a Stop when none can be.
void pickPoints(Series& s);

// The points of every photograph read but not yet known, found by one tavrin-match, which
// reads the base and finds its features once for them all. It runs on while the
// photographs it has told go on (s.finding); what it said of them all is taken by
// takeAll once it has ended and no photograph is held.
std::future<Outcome> findAll(Series& s);
void takeAll(Series& s, Outcome const& said);

// Whether tavrin-match has told photograph p's points or refusal, when it was given p;
// under the lock.
bool told(Series const& s, Photo const& p);

// A' and B' of photograph p and their expected error, when the running tavrin-match
// found them.
void takeFound(Series& s, Photo& p);

// The answers for tavrin: the base, A and B, the name, A' and B' of each photograph of
// photos whose points are known, and a name that opens nothing, which ends the series.
std::string answers(Series const& s, std::vector<Photo const*> const& photos);

// The folder in pgm/ where tavrin writes; a Stop when a file or a link stands there.
fs::path tavrinsFolder(Series const& s);

// tavrin on the base and those photographs whose points are known and that are not yet
// rectified, their results moved up into Redressement; false when there was none and
// tavrin was not run (unless baseAlone).
bool rectify(Series const& s, std::vector<Photo*> const& photos, bool baseAlone = false);

// The base's copy that tavrin wrote, moved up into Redressement (tavrin run on the base
// alone when it was not run).
void placeBase(Series const& s, bool rectified);

// tavrin-diff's map and figures for a photograph just rectified.
void compare(Series const& s, Photo& p);

// The turn and scale of the photograph against the base, from the two pairs of points.
void measure(Series const& s, Photo& p);

// ---------------------------------------------------------------- the pipeline (pipeline.cpp)

// step(group, k) does step k on the photographs of group.
using StepWork = std::function<void(std::vector<Photo>&, Step)>;

// The further photographs taken from step from up to step to, spread over the cores;
// what, when not null, names the progress bar shown at a console. alongside, when
// given, is done by the first worker before its first step.
void pipeline(Series& s, Step from, Step to, char const* what, StepWork const& step,
              std::function<void()> alongside = {});

// ---------------------------------------------------------------- the report (report.cpp)

// The console's line on photograph k.
std::string line(Series const& s, std::size_t k);

// The report, written whole at path, or a Stop.
void writeReport(Series const& s, fs::path const& path, double seconds);

}  // namespace series

#endif
