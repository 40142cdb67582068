// The record of what is done, which lets a run cut short be resumed, and the answers
// files given back, their points checked.
#include "tools/series/series.h"

#include "image/answers.h"
#include "image/file_system.h"
#include "image/image.h"
#include "image/name_encoding.h"
#include "image/whole_file.h"
#include "tools/common/arguments.h"
#include "tools/common/point_argument.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace series {

char const kStateName[] = "etat-tavrin-series.txt";

std::string joined(std::vector<std::string> const& notes, char const* between)
{
    std::string text;
    for (std::string const& n : notes)
        text += (text.empty() ? "" : between) + n;
    return text;
}

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

namespace {

fs::path statePath(Series const& s)
{
    return s.pgm / kStateName;
}

}  // namespace

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
    if (writeFileOf(statePath(s), [&](std::FILE* f) {
            return std::fwrite(text.data(), 1, text.size(), f) == text.size();
        })) {
        s.recorded = text;
    } else if (!s.recordFailureTold) {
        s.recordFailureTold = true;
        std::string const why = systemError(errno);
        std::fflush(stdout);
        tell(stderr, "tavrin-series : le suivi de la s\xE9rie, " + statePath(s).u8string() +
                         ", ne peut \xEAtre \xE9"
                         "crit (" +
                         why + ") : une s\xE9rie interrompue serait refaite en entier\n");
    }
}

namespace {

std::string lastElement(std::string const& name)
{
    std::size_t const slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

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
    // A photograph of the series named there must be given two points: any other line is
    // refused, never passed over for tavrin-match's points. Other names end the answers
    // where no two points follow them (the closing name).
    for (std::size_t k = 3; k < lines.size(); k += 3) {
        std::string const name = lower(lastElement(answers::read(lines[k])));
        bool named = false;
        for (std::size_t p = 1; p < s.photos.size(); ++p) {
            Photo& photo = s.photos[p];
            if (name != lower(photo.shown) && name != lower(photo.stem + ".pgm"))
                continue;
            named = true;
            for (std::size_t j : {k + 1, k + 2})
                if (!point(j))
                    throw Stop{"Le fichier de r\xE9ponses " + path + ", ligne " +
                               std::to_string(j + 1) + " : \xAB " +
                               (j < lines.size() ? answers::read(lines[j]) : "") +
                               " \xBB n'est pas un point x,y pour " + photo.shown};
            photo.aPrime = answers::read(lines[k + 1]), photo.bPrime = answers::read(lines[k + 2]);
            photo.given = photo.found = true;
            photo.givenAt = path + ", ligne " + std::to_string(k + 2);
        }
        if (!named && !(point(k + 1) && point(k + 2)))
            break;
    }
}

// A' and B' from the answers file must lie on the photograph, as tavrin-match asks of
// A and B on the base: a point placed off it is refused, not rectified from.
void checkGivenPoints(Series const& s, Photo& p)
{
    std::FILE* f = openToRead((s.pgm / fs::u8path(p.stem + ".pgm")).u8string().c_str());
    P5Header const header = f != nullptr ? readP5Header(f) : P5Header{};
    if (f != nullptr)
        std::fclose(f);
    int const w = header.sized ? header.width : 0, h = header.sized ? header.height : 0;
    for (std::string const* given : {&p.aPrime, &p.bPrime}) {
        double x = 0, y = 0;
        if (parsePointArgument(given->c_str(), x, y) && x >= 0 && y >= 0 && x <= w - 1 &&
            y <= h - 1)
            continue;
        p.refusal = std::string(given == &p.aPrime ? "A' " : "B' ") + *given +
                    " tombe hors de la photographie, de " + std::to_string(w) + " x " +
                    std::to_string(h) + " pixels (" + p.givenAt + ")";
        p.advice = "replacez ce point dans la page (tavrin-view), enregistrez les "
                   "r\xE9ponses, puis relancez avec --answers";
        return;
    }
}

}  // namespace series
