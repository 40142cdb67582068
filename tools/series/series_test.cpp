// tavrin-series: each photograph format and depth made the expected grey P5 (against
// OpenCV's own conversion) or refused with its reason; the sample series saved as JPEG,
// PNG and 16-bit TIFF run whole, its results being tavrin's own bytes for the answers
// it records; a run killed midway and resumed; the bad inputs that stop a run.
#include "tools/series/photo.h"

#include "tests/support.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <sstream>
#include <thread>

namespace {

std::vector<unsigned char> encoded(char const* kind, cv::Mat const& image,
                                   std::vector<int> const& options = {})
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(cv::imencode(kind, image, bytes, options)) << kind;
    return bytes;
}

// A JPEG with an EXIF block that records the orientation, right after its SOI marker.
std::vector<unsigned char> withOrientation(std::vector<unsigned char> jpeg, int orientation)
{
    std::vector<unsigned char> const exif = {
        0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0,
        'M',  'M',  0, 42, 0,   0,   0,   8,   0, 1,
        0x01, 0x12, 0, 3,  0,   0,   0,   1,   0, static_cast<unsigned char>(orientation),
        0,    0,    0, 0,  0,   0};
    jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());
    return jpeg;
}

// A photograph of 37 x 23 pixels in which neighbours and channels differ.
cv::Mat photo(int type)
{
    cv::Mat m(23, 37, type);
    int const channels = m.channels();
    bool const wide = m.depth() == CV_16U;
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x)
            for (int c = 0; c < channels; ++c) {
                int const v = (x * 7 + y * 13 + c * 71) % 256;
                if (wide)
                    m.ptr<unsigned short>(y)[x * channels + c] =
                        static_cast<unsigned short>(v * 257 + x);
                else
                    m.ptr<unsigned char>(y)[x * channels + c] = static_cast<unsigned char>(v);
            }
    return m;
}

cv::Mat eight(cv::Mat const& grey16)
{
    cv::Mat out(grey16.size(), CV_8UC1);
    for (int y = 0; y < grey16.rows; ++y)
        for (int x = 0; x < grey16.cols; ++x)
            out.at<unsigned char>(y, x) = eightBits(grey16.at<unsigned short>(y, x));
    return out;
}

cv::Mat grey(cv::Mat const& m)
{
    cv::Mat g;
    cv::cvtColor(m, g, m.channels() == 3 ? cv::COLOR_BGR2GRAY : cv::COLOR_BGRA2GRAY);
    return g;
}

struct FormatCase {
    char const* what;
    std::vector<unsigned char> bytes;
    cv::Mat expected;  // empty when refused
    std::string notes;
    std::string refusal = {};
};

class Series : public Folder {};

TEST_F(Series, EachFormatAndDepthGivesTheGreyP5OrItsReason)
{
    cv::Mat const colour = photo(CV_8UC3), colour16 = photo(CV_16UC3), rgba = photo(CV_8UC4),
                  grey8 = photo(CV_8UC1), grey16 = photo(CV_16UC1);
    cv::Mat greyAsColour;
    cv::cvtColor(grey8, greyAsColour, cv::COLOR_GRAY2BGR);
    std::vector<unsigned char> const jpeg = encoded(".jpg", colour);
    std::vector<unsigned char> const greyJpeg = encoded(".jpg", grey8);
    // A JPEG's grey is its luma, as OpenCV reads a JPEG in grey.
    cv::Mat const luma = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
    cv::Mat turned;
    cv::rotate(luma, turned, cv::ROTATE_90_CLOCKWISE);
    std::string const p5 = "P5\n# a comment\n37 23\n255\n" +
                           std::string(reinterpret_cast<char const*>(grey8.data), 851);
    std::vector<unsigned char> const cut(jpeg.begin(), jpeg.begin() + 200);
    std::vector<FormatCase> const cases = {
        {"grey PNG", encoded(".png", grey8), grey8, ""},
        {"16-bit grey PNG", encoded(".png", grey16), eight(grey16), "16 bits -> 8 bits"},
        {"colour PNG", encoded(".png", colour), grey(colour), "couleur -> gris"},
        {"grey saved as colour", encoded(".png", greyAsColour), grey8, ""},
        {"RGBA PNG", encoded(".png", rgba), grey(rgba),
         "couleur -> gris, transparence ignor\xE9"
         "e"},
        {"grey TIFF", encoded(".tif", grey8), grey8, ""},
        {"16-bit colour TIFF", encoded(".tif", colour16), eight(grey(colour16)),
         "couleur -> gris, 16 bits -> 8 bits"},
        {"colour JPEG", jpeg, luma, "couleur -> gris"},
        {"grey JPEG", greyJpeg, cv::imdecode(greyJpeg, cv::IMREAD_GRAYSCALE), ""},
        {"JPEG turned by the camera", withOrientation(jpeg, 6), turned,
         "couleur -> gris, tourn\xE9"
         "e selon l'appareil"},
        {"P5 as tavrin reads it", std::vector<unsigned char>(p5.begin(), p5.end()), grey8, ""},
        {"P5 without a size",
         {'P', '5', '\n'},
         {},
         "",
         "son en-t\xEAte PGM n'est pas celui que tavrin lit"},
        {"P5 cut short",
         std::vector<unsigned char>(p5.begin(), p5.end() - 1),
         {},
         "",
         "le fichier est tronqu\xE9"},
        {"float TIFF",
         encoded(".tif", cv::Mat(5, 5, CV_32FC1, 0.5)),
         {},
         "",
         "ses pixels ne sont ni de 8 ni de 16 bits"},
        {"a text",
         {'n', 'o', 't', 'e', 's', '\n'},
         {},
         "",
         "ce n'est pas une photographie lisible*"},
        {"a JPEG cut short", cut, {}, "", "ce n'est pas une photographie lisible*"},
    };
    for (FormatCase const& c : cases) {
        SCOPED_TRACE(c.what);
        GreyPhoto const g = greyPhoto(
            path("photo"),
            (writeFile(dir / "photo", std::string(c.bytes.begin(), c.bytes.end())), c.bytes));
        if (c.expected.empty()) {
            EXPECT_TRUE(g.grey.empty());
            std::string const stem = c.refusal.substr(0, c.refusal.find('*'));
            EXPECT_EQ(
                g.refusal.substr(0, c.refusal.back() == '*' ? stem.size() : std::string::npos),
                stem);
            continue;
        }
        ASSERT_EQ(g.refusal, "");
        ASSERT_EQ(g.grey.type(), CV_8UC1);
        ASSERT_EQ(g.grey.size(), c.expected.size());
        EXPECT_EQ(cv::countNonZero(g.grey != c.expected), 0);
        std::string notes;
        for (std::string const& n : g.notes)
            notes += (notes.empty() ? "" : ", ") + n;
        EXPECT_EQ(notes, c.notes);
    }
    EXPECT_EQ(eightBits(0), 0);
    EXPECT_EQ(eightBits(128), 0);  // 0.498: down
    EXPECT_EQ(eightBits(129), 1);  // 0.502: up
    EXPECT_EQ(eightBits(65535), 255);
}

struct LineCase {
    char const* what;
    std::string line;      // tavrin-match's line on standard error
    std::string expected;  // what the report shows after "Erreur probable : "
};

TEST(SeriesMatchLine, TheExpectedErrorIsTakenAsTavrinMatchSaysIt)
{
    std::string const found = "b.pgm : A' 1115.21,435.02 B' 365.40,913.77, tourn\xE9"
                              "e de 117,00\xB0 dans le sens horaire, \xE9"
                              "chelle 0,930, 812 correspondances sur 830 concordent, "
                              "corr\xE9lation 0,97 en A' et 0,95 en B', la sc\xE8ne s'\xE9"
                              "carte de cette rotation et de cette \xE9"
                              "chelle de 0,1 et 0,2 pixels pour 100 autour de A' et B'";
    std::string const clause = "A' 0,12 px, B' 0,15 px, aux coins 0,9 px";
    std::vector<LineCase> const cases = {
        {"the clause at the end", found + ", erreur probable : " + clause, clause},
        {"an older tavrin-match", found, ""},
        {"as Windows ends a line", found + ", erreur probable : " + clause + "\r", clause},
        {"large figures", found + ", erreur probable : A' 12,34 px, B' 0,05 px, aux coins 10,0 px",
         "A' 12,34 px, B' 0,05 px, aux coins 10,0 px"},
        {"a decimal point", found + ", erreur probable : A' 0.12 px, B' 0,15 px, aux coins 0,9 px",
         ""},
        {"a decimal too few", found + ", erreur probable : A' 0,1 px, B' 0,15 px, aux coins 0,9 px",
         ""},
        {"a decimal too many at the corners",
         found + ", erreur probable : A' 0,12 px, B' 0,15 px, aux coins 0,92 px", ""},
        {"words after it", found + ", erreur probable : " + clause + " en tout", ""},
        {"no figure", found + ", erreur probable : A' px, B' 0,15 px, aux coins 0,9 px", ""},
        {"a refusal",
         "b.pgm : refus\xE9"
         "e, seules 5 des 9 correspondances autour de A' concordent (8 au moins)",
         ""},
        {"the clause alone", ", erreur probable : " + clause, clause},
    };
    for (LineCase const& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(expectedError(c.line), c.expected);
    }
}

// tavrin-match's own expected error for the photograph, run from dir as tavrin-series
// runs it in pgm/; empty when it says none.
std::string matchedError(fs::path const& dir, fs::path const& pgm, std::string const& stem)
{
    std::string const match = fs::path(TAVRIN_SERIES_BIN).parent_path() / "tavrin-match";
    Outcome const o = runIn(dir, "(cd '" + pgm.string() + "' && '" + match +
                                     "' a-base.pgm 412,357 1236,842 " + stem + ".pgm)");
    EXPECT_EQ(o.status, 0) << o.err;
    std::size_t const at = o.err.find(stem + ".pgm : ");
    EXPECT_NE(at, std::string::npos) << o.err;
    return at == std::string::npos ? ""
                                   : expectedError(o.err.substr(at, o.err.find('\n', at) - at));
}

// The report's line on the expected error, as tavrin-match says it; none when it does not.
void expectErrorShown(std::string const& report, std::string const& said)
{
    if (said.empty())
        EXPECT_EQ(report.find("Erreur probable"), std::string::npos);
    else
        EXPECT_NE(report.find("<br>Erreur probable : " + said + "<br>"), std::string::npos)
            << report;
}

// The sample series saved as the photographs operators have: the base as JPEG, the
// others as PNG, 16-bit TIFF and colour PNG, in a folder whose name has a space and an
// accent.
class SeriesRun : public Folder {
protected:
    fs::path photos;

    void SetUp() override
    {
        Folder::SetUp();
        unsetenv("DISPLAY");  // the report is not shown in a browser
        unsetenv("WAYLAND_DISPLAY");
        writeFile(io / "stdin", "");
        ASSERT_EQ(runIn(dir, "'" TAVRIN_SAMPLE_BIN "' sample").status, 0);
        photos = dir / "s\xC3\xA9rie 1";
        fs::create_directory(photos);
        auto load = [&](char const* name) {
            std::string const b = readFile(dir / "sample" / name);
            return cv::imdecode(std::vector<unsigned char>(b.begin(), b.end()),
                                cv::IMREAD_UNCHANGED);
        };
        cv::Mat wide;
        load("rotated.pgm").convertTo(wide, CV_16U, 257);
        cv::Mat const reduced = load("reduced.pgm");
        cv::Mat colour, blue = reduced / 2 + 64;
        cv::merge(std::vector<cv::Mat>{blue, reduced, reduced}, colour);
        cv::imwrite((photos / "a-base.jpg").string(), load("base.pgm"),
                    {cv::IMWRITE_JPEG_QUALITY, 98});
        cv::imwrite((photos / "b-enlarged.png").string(), load("enlarged.pgm"));
        cv::imwrite((photos / "c-rotated.tif").string(), wide);
        cv::imwrite((photos / "d-reduced.png").string(), colour);
        writeFile(photos / "Thumbs.db", "not a photograph");
    }

    Outcome series(std::string const& arguments)
    {
        return runIn(dir, "'" TAVRIN_SERIES_BIN "' " + arguments);
    }
};

TEST_F(SeriesRun, AFolderOfJpegPngAndTiffGivesTavrinsOwnResults)
{
    Outcome const o = series("--points 412,357 1236,842 's\xC3\xA9rie 1'");
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_TRUE(o.out.find("[1/4] a-base.jpg : base, points A 412,357 et B 1236,842\n") == 0)
        << o.out;
    EXPECT_NE(o.out.find("[3/4] c-rotated.tif : trouv\xE9"
                         "e, tourn\xE9"
                         "e 117,0\xB0, \xE9"
                         "chelle 0,93 - \xE9"
                         "cart moyen "),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("(16 bits -> 8 bits)\n"), std::string::npos);
    EXPECT_NE(o.out.find("[4/4] d-reduced.png : trouv\xE9"), std::string::npos);
    EXPECT_NE(o.out.find("(couleur -> gris)\n3 photographie(s) redress\xE9"
                         "e(s) sur 3, en "),
              std::string::npos);

    fs::path const out = photos / "Redressement";
    // tavrin run by hand on the recorded answers writes the same bytes.
    Outcome const byHand =
        runIn(dir, "(cd 's\xC3\xA9rie 1/Redressement/pgm' && '" TAVRIN_BIN "' < reponses.txt)");
    EXPECT_EQ(byHand.status, 1) << byHand.out;
    for (char const* stem : {"a-base", "b-enlarged", "c-rotated", "d-reduced"}) {
        SCOPED_TRACE(stem);
        std::string const result = readFile(out / (std::string(stem) + ".pgm"));
        EXPECT_GT(result.size(), 800000U);
        EXPECT_TRUE(readFile(out / "pgm" / "Redressement" / (std::string(stem) + ".pgm")) ==
                    result);
        if (std::string(stem) != "a-base") {
            EXPECT_EQ(readFile(out / "ecarts" / (std::string(stem) + ".ppm")).substr(0, 17),
                      "P6\n# tavrin-diff\n");
        }
    }
    std::string const report = readFile(out / "rapport.html");
    EXPECT_NE(report.find("<img src=\"rapport/c-rotated-apres.png\""), std::string::npos);
    std::string const said = matchedError(dir, out / "pgm", "c-rotated");
    expectErrorShown(report, said);
    for (fs::path const& p : fs::directory_iterator(out / "rapport"))
        EXPECT_EQ(readFile(p).substr(1, 3), "PNG") << p;
    // Nothing beside the operator's photographs but Redressement.
    std::size_t entries = 0;
    for (auto const& e : fs::directory_iterator(photos))
        entries += e.path().filename() == "Redressement" ? 0 : 1;
    EXPECT_EQ(entries, 5U);

    // The answers file given back, as Notepad saves it in "Unicode": its points used as
    // they stand, the same results.
    std::string notepad = "\xFF\xFE";
    for (char c : readFile(out / "pgm" / "reponses.txt"))
        notepad += (c == '\n' ? std::string("\r\0", 2) : "") + std::string(1, c) + '\0';
    writeFile(dir / "mes points.txt", notepad);
    std::string const rotated = readFile(out / "c-rotated.pgm");
    fs::remove_all(out);
    Outcome const again = series("--answers 'mes points.txt' 's\xC3\xA9rie 1'");
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("[2/4] b-enlarged.png : points donn\xE9s, tourn\xE9"
                             "e "),
              std::string::npos);
    EXPECT_TRUE(readFile(out / "c-rotated.pgm") == rotated);
    // Points given are not tavrin-match's: no expected error.
    EXPECT_EQ(readFile(out / "rapport.html").find("Erreur probable"), std::string::npos);
}

TEST_F(SeriesRun, AKilledRunGoesOnWhereItStopped)
{
    fs::path const out = photos / "Redressement";
    fs::path const record = out / "pgm" / "etat-tavrin-series.txt";
    pid_t const child = fork();
    if (child == 0) {
        execl(TAVRIN_SERIES_BIN, TAVRIN_SERIES_BIN, "--points", "412,357", "1236,842",
              photos.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Killed as soon as the first photograph's points are recorded.
    for (int k = 0; k < 3000 && readFile(record).find("\ntrouvee\t") == std::string::npos; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    // As a power cut leaves a file half-written.
    writeFile(out / "pgm" / "d-reduced.pgm.tavrin-999999999-0", "P5\n");
    EXPECT_NE(readFile(record).find("\ntrouvee\t"), std::string::npos);

    Outcome const resumed = series("--points 412,357 1236,842 's\xC3\xA9rie 1'");
    EXPECT_EQ(resumed.status, 0) << resumed.out << resumed.err;
    std::string const first = readFile(out / "c-rotated.pgm");
    Outcome const third = series("--points 412,357 1236,842 's\xC3\xA9rie 1'");
    EXPECT_EQ(std::count(third.out.begin(), third.out.end(), '\n') - 2, 4) << third.out;
    EXPECT_NE(third.out.find("c-rotated.tif : trouv\xE9"
                             "e, tourn\xE9"
                             "e 117,0\xB0"),
              std::string::npos);
    EXPECT_NE(third.out.find(" (d\xE9j\xE0 fait)"), std::string::npos);
    EXPECT_TRUE(readFile(out / "c-rotated.pgm") == first);
    // The expected error found in an earlier run is shown from the record.
    expectErrorShown(readFile(out / "rapport.html"), matchedError(dir, out / "pgm", "c-rotated"));
    // A record as earlier versions wrote it, without the expected errors: still read.
    std::string older;
    std::istringstream recorded(readFile(record));
    for (std::string line; std::getline(recorded, line);)
        older += line.rfind("erreur\t", 0) == 0 ? "" : line + "\n";
    writeFile(record, older);
    Outcome const fourth = series("--points 412,357 1236,842 's\xC3\xA9rie 1'");
    EXPECT_EQ(fourth.status, 0) << fourth.out << fourth.err;
    std::size_t skipped = 0;
    for (std::size_t at = 0; (at = fourth.out.find(" (d\xE9j\xE0 fait)", at)) != std::string::npos;
         ++at)
        ++skipped;
    EXPECT_EQ(skipped, 3U) << fourth.out;
    EXPECT_EQ(readFile(out / "rapport.html").find("Erreur probable"), std::string::npos);
    EXPECT_TRUE(readFile(out / "c-rotated.pgm") == first);
    // Nothing half-written left: the killed run's unfinished files are gone.
    for (auto const& e : fs::recursive_directory_iterator(out))
        EXPECT_EQ(e.path().filename().string().find(".tavrin-"), std::string::npos) << e.path();
}

struct BadCase {
    char const* what;
    std::string setup;      // shell commands in the folder
    std::string arguments;  // to tavrin-series
    int status;
    std::string err;      // the start of stderr
    bool writes = false;  // Redressement is made
};

TEST_F(SeriesRun, BadInputIsToldInFrenchAndWritesNothing)
{
    std::vector<BadCase> const cases = {
        {"an empty folder", "mkdir vide", "vide", 1,
         "tavrin-series : Aucune photographie (JPEG, PNG, TIFF ou PGM) dans vide\n"},
        {"an unreadable base",
         "mkdir x && echo texte > x/a.jpg && cp 's\xC3\xA9rie 1/b-enlarged.png' x/", "x", 1,
         "tavrin-series : La photographie de base x/a.jpg ne peut \xEAtre lue : ce n'est pas une"},
        {"one photograph alone", "", "'s\xC3\xA9rie 1/a-base.jpg'", 1,
         "tavrin-series : Une seule photographie : il faut la base et au moins une autre"},
        {"a missing name", "", "absent", 1,
         "tavrin-series : Ce fichier ou dossier n'existe pas : absent\n"},
        {"no argument", "", "", 2,
         "tavrin-series : donnez un dossier de photographies, ou des photographies\n"},
        {"a point badly typed", "", "--points 1,2 3,4x x", 2,
         "tavrin-series : un point s'\xE9"
         "crit x,y"},
        {"Redressement is a file", "touch 's\xC3\xA9rie 1/Redressement'", "'s\xC3\xA9rie 1'", 1,
         "tavrin-series : Impossible d'\xE9"
         "crire dans le dossier "},
    };
    for (BadCase const& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.setup.empty()) {
            ASSERT_EQ(runIn(dir, c.setup).status, 0);
        }
        Outcome const o = series(c.arguments);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.err.substr(0, c.err.size()), c.err);
        for (char const* folder : {"vide", "x", "."})
            EXPECT_FALSE(fs::exists(dir / folder / "Redressement"));
        EXPECT_FALSE(fs::is_directory(photos / "Redressement"));
        runIn(dir, "rm -rf vide x 's\xC3\xA9rie 1/Redressement'");
    }
}

TEST_F(Series, TheManPageRendersWithoutAWarning)
{
    writeFile(io / "stdin", "");
    Outcome const o = runIn(dir, "MANWIDTH=80 man --warnings -l '" TAVRIN_SERIES_MAN_PAGE "'");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_NE(o.out.find("reponses.txt"), std::string::npos);
}

TEST_F(SeriesRun, ChosenPointsARefusedPhotographListedAndTheOthersDone)
{
    cv::Mat noise(900, 1200, CV_8UC1);
    cv::randu(noise, 0, 256);
    cv::imwrite((photos / "e-noise.png").string(), noise);
    fs::copy_file(photos / "b-enlarged.png", photos / "b-enlarged.tif");
    fs::copy_file(photos / "d-reduced.png", photos / "\xC3\x89t\xC3\xA9.png");   // Été
    fs::copy_file(photos / "d-reduced.png", photos / "\xC3\xA9t\xC3\xA9.jpeg");  // été
    Outcome const o = series("'s\xC3\xA9rie 1'");  // the points chosen
    EXPECT_NE(o.out.find("Points choisis sur la base : A "), std::string::npos) << o.out;
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("[6/8] e-noise.png : refus\xE9"
                         "e, tavrin-match ne trouve pas ses points ("),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("6 photographie(s) redress\xE9"
                         "e(s) sur 7"),
              std::string::npos)
        << o.out;
    // Photographs of one stem, whatever its case, as Windows compares names: two names.
    for (char const* name :
         {"b-enlarged.pgm", "b-enlarged-2.pgm", "\xC3\xA9t\xC3\xA9.pgm", "\xC3\x89t\xC3\xA9-2.pgm"})
        EXPECT_TRUE(fs::exists(photos / "Redressement" / name)) << name;
    EXPECT_NE(
        readFile(photos / "Redressement" / "rapport.html").find("Que faire : placez ses points"),
        std::string::npos);
}

}  // namespace
