// The request: the command line, and the photographs it names.
#include "tools/series/series.h"

#include "tools/common/point_argument.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace series {

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

namespace {

bool isPhotoName(fs::path const& p)
{
    static std::set<std::string> const kinds = {".jpg", ".jpeg", ".jpe", ".png",
                                                ".tif", ".tiff", ".pgm"};
    return kinds.count(lower(p.extension().u8string())) > 0;
}

}  // namespace

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

}  // namespace series