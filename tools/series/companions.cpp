// The companions: tavrin-match, tavrin and tavrin-diff, run as the operator would run
// them, and what their answers and machine lines say.
#include "tools/series/series.h"

#include "tools/series/platform.h"

#include "image/answers.h"
#include "image/results_folder.h"
#include "tools/common/machine_line.h"
#include "tools/common/point_argument.h"
#include "tools/common/similarity.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace series {

std::string companion(char const* name)
{
    std::string path = programFile(ownFolder(), name);
    std::error_code e;
    if (!fs::is_regular_file(fs::u8path(path), e))
        throw Stop{std::string(name) + " n'est pas \xE0 c\xF4t\xE9 de tavrin-series (" + path +
                   ")"};
    return path;
}

namespace {

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

// The expected error that a "found" machine line of tavrin-match tells, in French;
// empty when the line is no such line or not the photograph's.
std::string likelyOf(std::string const& line, std::string const& name)
{
    std::vector<std::string> const found = machine::fields(line, "tavrin-match", 7);
    double eA = 0, eB = 0, eC = 0;
    if (found.size() != 7 || found[0] != "found" || found[6] != name || !numberOf(found[3], eA) ||
        !numberOf(found[4], eB) || !numberOf(found[5], eC))
        return "";
    return "A' " + french(eA, 2) + " px, B' " + french(eB, 2) + " px, aux coins " + french(eC, 1) +
           " px";
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
            std::string const likely = p->found ? likelyOf(line, name) : "";
            p->likely = likely.empty() ? p->likely : likely;
            std::vector<std::string> const other = machine::fields(line, "tavrin-match", 3);
            if (other.size() == 3 && other[0] == "refused" && other[2] == name)
                why = other[1];
            if (other.size() == 3 && other[0] == "left-out" && other[2] == name)
                p->leftOut = other[1];
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

// The photographs read whose points are not yet known, their names added to args.
std::vector<Photo*> unfound(Series& s, std::vector<std::string>& args)
{
    std::vector<Photo*> given;
    for (std::size_t k = 1; k < s.photos.size(); ++k)
        if (s.photos[k].refusal.empty() && !s.photos[k].found) {
            args.push_back(matchName(s.photos[k].stem));
            given.push_back(&s.photos[k]);
        }
    return given;
}

}  // namespace

void pickPoints(Series& s)
{
    std::vector<std::string> args = {"--machine", "--pick", matchName(s.photos[0].stem)};
    std::vector<Photo*> const given = unfound(s, args);
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
                   "autres photographies. Donnez les points A et B avec --points, ou "
                   "placez-les dans la page puis relancez avec --answers."};
    s.a = lines[1], s.b = lines[2];
    takeAnswers(o, given);
}

namespace {

// A P5 copy's name on a line of tavrin's answers (its stem is one tavrin reads back).
std::string answerLine(std::string const& stem)
{
    return answers::written(stem + ".pgm") + "\n";
}

}  // namespace

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
bool rectify(Series const& s, std::vector<Photo*> const& photos, bool baseAlone)
{
    std::vector<Photo const*> pending;
    for (Photo* p : photos) {
        if (p->given && p->found && p->refusal.empty() && !p->done)
            checkGivenPoints(s, *p);
        if (p->found && p->refusal.empty() && !p->done)
            pending.push_back(p);
    }
    if (pending.empty() && !baseAlone)
        return false;
    Outcome const o = runProgram(s.tavrin, {}, s.pgm.u8string(), answers(s, pending));
    if (o.status < 0)
        throw Stop{"tavrin ne peut \xEAtre lanc\xE9 : " + s.tavrin};
    for (Photo* p : photos) {
        if (!p->found || !p->refusal.empty() || p->done)
            continue;
        std::error_code e;
        fs::rename(s.pgm / TAVRIN_RESULTS_FOLDER / fs::u8path(p->stem + ".pgm"),
                   s.out / fs::u8path(p->stem + ".pgm"), e);
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
    fs::path const made = inner / fs::u8path(s.photos[0].stem + ".pgm");
    std::error_code e;
    fs::rename(made, s.out / fs::u8path(s.photos[0].stem + ".pgm"), e);
    if (e)
        throw Stop{"tavrin n'a pas \xE9"
                   "crit la copie de la base (" +
                   made.u8string() + ")"};
    fs::remove(inner, e);  // when empty
}

void compare(Series const& s, Photo& p)
{
    Photo const& base = s.photos[0];
    fs::path const map = s.gaps / fs::u8path(p.stem + ".ppm");
    std::string const result = (s.out / fs::u8path(p.stem + ".pgm")).u8string();
    // Its PNG and thumbnail made from tavrin's file while tavrin-diff reads it too.
    std::future<bool> pictured = inBackground(
        [file = s.out / fs::u8path(p.stem + ".pgm"), png = viewable(s, p),
         small = thumbnail(s, p, "apres")] { return writeViewable(file, png, small); });
    Outcome const o = runProgram(
        s.diff,
        {"--machine", (s.pgm / fs::u8path(base.stem + ".pgm")).u8string(), result, map.u8string(),
         (s.pgm / fs::u8path(p.stem + ".pgm")).u8string(), s.a, s.b, p.aPrime, p.bPrime},
        s.out.u8string(), "");
    bool figures = false;
    for (std::string const& line : linesOf(o.output)) {
        std::vector<std::string> const f = machine::fields(line, "tavrin-diff", 6);
        figures = figures || (f.size() == 6 && f[0] == "figures" && f[5] == result &&
                              numberOf(f[1], p.mean) && numberOf(f[2], p.within));
    }
    bool const viewed = pictured.get();
    if (o.status != 0 || !figures) {
        p.refusal = "tavrin-diff ne peut la comparer \xE0 la base";
        return;
    }
    if (!viewed)
        p.refusal = "son r\xE9sultat en PNG ne peut \xEAtre \xE9"
                    "crit (" +
                    viewable(s, p).u8string() + ")";
    else if (!writeThumbnailOf(map, true, thumbnail(s, p, "ecart")))
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

namespace {

// What findAll's tavrin-match prints, followed line by line as it comes: on standard
// output, after the base's three lines, each photograph found has its name, A' and B';
// on standard error, each photograph given has its machine line, found or refused.
class Following {
public:
    explicit Following(Series& s) : s(s) {}

    void operator()(bool onError, std::string line)
    {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (onError)
            return machineLine(line);
        lines.push_back(line);
        if (lines.size() < 6 || lines.size() % 3 != 0)
            return;
        std::lock_guard<std::mutex> const hold(s.lock);
        Finding::Told& t = s.finding.told[answers::read(lines[lines.size() - 3])];
        t.aPrime = lines[lines.size() - 2], t.bPrime = lines.back();
        s.changed.notify_all();
    }

    // Every photograph told: tavrin-match has ended.
    void ended()
    {
        std::lock_guard<std::mutex> const hold(s.lock);
        s.finding.running = false;
        s.changed.notify_all();
    }

private:
    void machineLine(std::string const& line)
    {
        std::vector<std::string> const found = machine::fields(line, "tavrin-match", 7);
        std::vector<std::string> const refused = machine::fields(line, "tavrin-match", 3);
        bool const isFound = found.size() == 7 && found[0] == "found";
        if (!isFound && !(refused.size() == 3 && refused[0] == "refused"))
            return;
        std::string const name = isFound ? found[6] : refused[2];
        std::lock_guard<std::mutex> const hold(s.lock);
        Finding::Told& t = s.finding.told[name];
        t.lined = true, t.refused = !isFound;
        t.likely = isFound ? likelyOf(line, name) : "";
        s.changed.notify_all();
    }

    Series& s;
    std::vector<std::string> lines;
};

}  // namespace

std::future<Outcome> findAll(Series& s)
{
    std::vector<std::string> args = {"--machine", matchName(s.photos[0].stem), s.a, s.b};
    std::vector<Photo*> const given = unfound(s, args);
    if (given.empty())
        return {};
    s.finding = Finding{};
    s.finding.running = true;
    for (Photo const* p : given)
        s.finding.names.push_back(matchName(p->stem));
    auto const find = [&s, args] {
        Following follow(s);
        try {
            Outcome said =
                runProgram(s.match, args, s.pgm.u8string(), "",
                           [&](bool onError, std::string const& line) { follow(onError, line); });
            follow.ended();
            return said;
        } catch (...) {
            follow.ended();
            throw;
        }
    };
    try {
        return std::async(std::launch::async, find);
    } catch (std::system_error const&) {  // no thread: found before the series goes on
        std::promise<Outcome> done;
        done.set_value(find());
        return done.get_future();
    }
}

void takeAll(Series& s, Outcome const& said)
{
    std::vector<Photo*> given;
    for (Photo& p : s.photos)
        if (std::find(s.finding.names.begin(), s.finding.names.end(), matchName(p.stem)) !=
            s.finding.names.end())
            given.push_back(&p);
    takeAnswers(said, given);
    s.finding = Finding{};
}

bool told(Series const& s, Photo const& p)
{
    Finding const& f = s.finding;
    std::string const name = matchName(p.stem);
    auto const t = f.told.find(name);
    return !f.running || std::find(f.names.begin(), f.names.end(), name) == f.names.end() ||
           (t != f.told.end() && t->second.lined &&
            (t->second.refused || !t->second.aPrime.empty()));
}

void takeFound(Series& s, Photo& p)
{
    std::lock_guard<std::mutex> const hold(s.lock);
    auto const t = s.finding.told.find(matchName(p.stem));
    if (t == s.finding.told.end() || t->second.aPrime.empty() ||
        (!t->second.lined && s.finding.running))
        return;
    p.aPrime = t->second.aPrime, p.bPrime = t->second.bPrime;
    p.likely = t->second.likely;
    p.found = true;
}

}  // namespace series
