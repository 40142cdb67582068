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
#include "tools/series/series.h"

#include "tools/series/platform.h"

#include "image/image.h"
#include "image/results_folder.h"
#include "tools/common/arguments.h"
#include "tools/common/point_argument.h"

#include <opencv2/core/utils/logger.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace series;

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

// The base photograph read and made grey, the output's folders made, an earlier run's
// record read, and the points given taken; what is left is returned: the base's P5 copy
// written (unless it stands) and its PNG made from the pixels, which tavrin's copy of the
// base holds, while the further photographs are read.
std::function<void()> openSeries(Series& s, Request const& r)
{
    Photo& base = s.photos[0];
    auto bytes = std::make_shared<std::vector<unsigned char>>();
    auto grey = std::make_shared<GreyPhoto>();
    if (readSource(base, *bytes))
        *grey = greyPhoto(base.source.u8string(), *bytes);
    if (!base.refusal.empty() || !grey->refusal.empty())
        throw Stop{"La photographie de base " + base.source.u8string() +
                   " ne peut \xEAtre lue : " + base.refusal + grey->refusal};
    if (!grey->asItIs)  // its copy is made from the pixels alone
        std::vector<unsigned char>().swap(*bytes);
    s.out = fs::absolute(base.source).parent_path() / TAVRIN_RESULTS_FOLDER;
    s.pgm = s.out / "pgm";
    s.gaps = s.out / "ecarts";
    s.pictures = s.out / "rapport";
    s.pngs = s.out / "png";
    makeFolder(s.out);
    Hold const hold = holdFolder(s.out.u8string());
    if (hold != Hold::held)
        throw Stop{hold == Hold::taken
                       ? "Une s\xE9rie est d\xE9j\xE0 en cours dans " + s.out.u8string() +
                             " : attendez qu'elle finisse, puis relancez"
                       : "Impossible d'\xE9"
                         "crire dans " +
                             s.out.u8string() + " : " + std::strerror(errno)};
    for (fs::path const& folder : {s.pgm, s.gaps, s.pictures, s.pngs})
        makeFolder(folder);
    sweep({s.out, s.pgm, s.gaps, s.pictures, s.pngs, s.pgm / TAVRIN_RESULTS_FOLDER});
    {  // reponses-en-cours.txt, answers that a killed run left in pgm/, is no file of the series
        std::error_code e;
        fs::path const pending = s.pgm / "reponses-en-cours.txt";
        if (fs::is_regular_file(fs::symlink_status(pending, e)))
            fs::remove(pending, e);
    }
    readRecord(s);
    s.a = r.a, s.b = r.b;
    if (!r.answers.empty())
        readAnswers(r.answers, s);
    return [&s, bytes, grey] {
        Photo base = s.photos[0];
        if (!copyStands(s, base) && !writeCopy(s, base, *grey, *bytes))
            throw Stop{"La photographie de base " + base.source.u8string() + " : " + base.refusal};
        if (!writeStoredPng(viewable(s, base), grey->grey))
            throw Stop{"Impossible d'\xE9"
                       "crire " +
                       viewable(s, base).u8string()};
        std::lock_guard<std::mutex> const hold(s.lock);
        s.photos[0] = std::move(base);
        writeRecord(s);
    };
}

// True when the base is the one of the record, with the same points: unless new ones are
// given, the recorded ones are taken.
bool samePointsAsRecorded(Series& s)
{
    Photo const& base = s.photos[0];
    auto const earlierBase = s.earlier.find(base.shown);
    bool const sameBase = earlierBase != s.earlier.end() &&
                          earlierBase->second.print == base.print &&
                          earlierBase->second.stem == base.stem;
    if (s.a.empty() && sameBase)
        s.a = earlierBase->second.a, s.b = earlierBase->second.b;
    return sameBase && s.a == earlierBase->second.a && s.b == earlierBase->second.b;
}

// What the record holds of a further photograph of the same source, taken back.
void reuse(Series const& s, Photo& p)
{
    auto const e = s.earlier.find(p.shown);
    if (e == s.earlier.end() || e->second.print != p.print || e->second.stem != p.stem ||
        (p.given && (e->second.a != p.aPrime || e->second.b != p.bPrime)))
        return;
    p.aPrime = e->second.a, p.bPrime = e->second.b, p.found = true;
    std::error_code ec;
    p.done = e->second.done && fs::is_regular_file(s.out / fs::u8path(p.stem + ".pgm"), ec) &&
             fs::is_regular_file(s.gaps / fs::u8path(p.stem + ".ppm"), ec) &&
             fs::is_regular_file(thumbnail(s, p, "apres"), ec) &&
             fs::is_regular_file(viewable(s, p), ec);
    p.mean = e->second.mean, p.within = e->second.within;
    p.likely = p.given ? "" : e->second.likely;
}

// Every photograph read first, the base's copies written alongside (baseWrites); then
// every one's points found by one tavrin-match (A and B chosen on them all, first, when
// they are to be chosen), and photograph by photograph, once its points are told, tavrin
// run on it and its result compared with the base. True when tavrin was run.
bool rectifyAll(Series& s, bool samePoints, std::function<void()> baseWrites)
{
    tavrinsFolder(s);
    std::atomic<bool> rectified{false};
    auto const step = [&](std::vector<Photo>& group, Step k) {
        if (k == Step::rectify) {
            std::vector<Photo*> photos;
            photos.reserve(group.size());
            for (Photo& p : group)
                photos.push_back(&p);
            if (rectify(s, photos))
                rectified = true;
        }
        for (Photo& p : group) {
            if (k == Step::find)
                takeFound(s, p);
            if (k == Step::convert && convert(s, p) && samePoints)
                reuse(s, p);
            if (k == Step::compare && p.fresh)
                compare(s, p);
            if (k == Step::compare)
                measure(s, p);
        }
    };
    pipeline(s, Step::convert, Step::find, "Lecture des photographies", step,
             std::move(baseWrites));
    if (s.a.empty()) {
        pickPoints(s);
        tell(stdout, "Points choisis sur la base : A " + s.a + " et B " + s.b + "\n");
    }
    writeRecord(s);
    std::future<Outcome> finding = findAll(s);  // none left to find after a choice
    pipeline(s, Step::find, Step::finished, "Redressement des photographies", step);
    if (finding.valid()) {
        takeAll(s, finding.get());
        writeRecord(s);
    }
    return rectified;
}

// The answers of the whole series, the base in Redressement, each photograph's line and
// the report; the exit status.
int finish(Series const& s, bool rectified, std::chrono::steady_clock::time_point started)
{
    std::vector<Photo const*> further;
    for (std::size_t k = 1; k < s.photos.size(); ++k)
        further.push_back(&s.photos[k]);
    dropEarlierResults(s);
    std::string const all = operatorText(answers(s, further));
    if (!writeBytes(s.pgm / "reponses.txt", all.data(), all.size()))
        throw Stop{"Impossible d'\xE9"
                   "crire " +
                   (s.pgm / "reponses.txt").u8string() + " : " + systemError(errno)};
    placeBase(s, rectified);

    int status = 0;
    std::size_t done = 0;
    for (std::size_t k = 0; k < s.photos.size(); ++k) {
        status = k > 0 && !s.photos[k].done ? 1 : status;
        done += s.photos[k].done ? 1 : 0;
        tell(stdout, line(s, k));
    }
    double const seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    fs::path const report = s.out / "rapport.html";
    writeReport(s, report, seconds);
    tell(stdout, std::to_string(done) +
                     " photographie(s) redress\xE9"
                     "e(s) sur " +
                     std::to_string(s.photos.size() - 1) + ", en " + french(seconds, 1) +
                     " s.\nRapport : " + report.u8string() + "\n");
    openInBrowser(report.u8string());
    return status;
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
    std::function<void()> baseWrites = openSeries(s, r);
    bool const samePoints = samePointsAsRecorded(s);
    bool const rectified = rectifyAll(s, samePoints, std::move(baseWrites));
    return finish(s, rectified, started);
}

}  // namespace

int main(int argc, char** argv)
{
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    // The photographs are spread over the cores already: OpenCV's own threads would
    // only compete with them and with the companions.
    cv::setNumThreads(1);
    return tool::main(argc, argv,
                      {"tavrin-series", kUsage, "pas assez de m\xE9moire pour ces photographies"},
                      [](int count, char** values) {
                          try {
                              return run(count, values);
                          } catch (cv::Exception const& e) {
                              throw tool::Stop{"erreur interne d'OpenCV : " + e.err};
                          }
                      });
}
