// tavrin-series: each photograph format and depth made the expected grey P5 (against
// OpenCV's own conversion) or refused with its reason; the sample series saved as JPEG,
// PNG and 16-bit TIFF run whole, its results being tavrin's own bytes for the answers
// it records; a run killed midway and resumed; the bad inputs that stop a run (its man
// page is rendered by tests/tools/tools_test.cpp).
#include "tools/series/photo.h"
#include "tools/series/png.h"

#include "tests/support.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <fcntl.h>
#include <regex>
#include <sys/file.h>
#include <tuple>

namespace {

// How many times part occurs in text.
std::size_t times(std::string const& text, std::string const& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

bool has(std::string const& text, std::string const& part)
{
    return times(text, part) > 0;
}

std::string encoded(char const* kind, cv::Mat const& image)
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(cv::imencode(kind, image, bytes)) << kind;
    return std::string(bytes.begin(), bytes.end());
}

// A photograph of 37 x 23 pixels of noise, over the whole range of its depth: neighbours
// and channels differ, and so do the low bytes of 16-bit pixels.
cv::Mat photo(int type)
{
    cv::Mat m(23, 37, type);
    cv::randu(m, 0, CV_MAT_DEPTH(type) == CV_16U ? 65536 : 256);
    return m;
}

// The photograph in grey as OpenCV converts it, 16 bits made 8 by eightBits.
cv::Mat grey(cv::Mat const& m)
{
    cv::Mat g = m, out(m.size(), CV_8UC1);
    if (m.channels() > 1)
        cv::cvtColor(m, g, m.channels() == 3 ? cv::COLOR_BGR2GRAY : cv::COLOR_BGRA2GRAY);
    if (m.depth() != CV_16U)
        return g;
    std::transform(g.begin<unsigned short>(), g.end<unsigned short>(), out.begin<unsigned char>(),
                   [](unsigned short v) { return eightBits(v); });
    return out;
}

class Series : public Folder {};

// The PNG's CRC-32 against its definition, a bit at a time, over every length a fast
// way treats apart (its 64- and 16-byte steps, the bytes left), from each alignment.
TEST(StoredPng, CrcIsTheDefinitionsAtEveryLengthAndAlignment)
{
    cv::Mat bytes(1, 4096 + 16, CV_8UC1);
    cv::randu(bytes, 0, 256);
    for (int at : {0, 5, 15})
        for (std::size_t n : {0, 1, 15, 63, 64, 65, 79, 80, 127, 128, 200, 4095, 4096}) {
            std::uint32_t crc = ~0x12345678U;
            for (std::size_t k = 0; k < n; ++k) {
                crc ^= *bytes.ptr(0, at + static_cast<int>(k));
                for (int bit = 0; bit < 8; ++bit)
                    crc = (crc & 1) != 0 ? 0xEDB88320U ^ (crc >> 1) : crc >> 1;
            }
            EXPECT_EQ(pngCrc(0x12345678U, bytes.ptr(0, at), n), ~crc) << n << " bytes from " << at;
        }
}

TEST_F(Series, EachFormatAndDepthGivesTheGreyP5OrItsReason)
{
    cv::Mat const colour = photo(CV_8UC3), colour16 = photo(CV_16UC3), rgba = photo(CV_8UC4),
                  grey8 = photo(CV_8UC1), grey16 = photo(CV_16UC1);
    cv::Mat greyAsColour, turned;
    cv::cvtColor(grey8, greyAsColour, cv::COLOR_GRAY2BGR);
    std::string const jpeg = encoded(".jpg", colour), greyJpeg = encoded(".jpg", grey8),
                      png = encoded(".png", colour), tiff = encoded(".tif", colour16);
    // A grey TIFF of 4 x 2 whose directory comes first and its one strip last.
    std::string strip = "TIFF";
    for (int k = 0; k < 8; ++k)
        strip += static_cast<char>(k * 30);
    std::string handTiff = bytes({'I', 'I', 42, 0, 8, 0, 0, 0, 8, 0});
    for (auto [tag, type, value] : {std::tuple{256, 3, 4},
                                    {257, 3, 2},
                                    {258, 3, 8},
                                    {259, 3, 1},
                                    {262, 3, 1},
                                    {273, 4, 110},
                                    {278, 3, 2},
                                    {279, 4, 8}})
        handTiff += bytes({tag & 255, tag >> 8, type, 0, 1, 0, 0, 0, value, 0, 0, 0});
    handTiff += std::string(4, '\0') + strip.substr(4);
    cv::Mat const handGrey = cv::Mat(2, 4, CV_8UC1, strip.data() + 4).clone();
    char const kCut[] = "photographie ab\xEEm\xE9"
                        "e (fichier tronqu\xE9)";
    // A JPEG's grey is its luma, as OpenCV reads a JPEG in grey.
    auto const luma = [](std::string const& b) {
        return cv::imdecode(std::vector<unsigned char>(b.begin(), b.end()), cv::IMREAD_GRAYSCALE);
    };
    cv::rotate(luma(jpeg), turned, cv::ROTATE_90_CLOCKWISE);
    std::string const p5 = "P5\n# a comment\n37 23\n255\n" +
                           std::string(reinterpret_cast<char const*>(grey8.data), 851);
    // The colour JPEG with an EXIF block that records an orientation after its SOI marker;
    // the mirrored ones as viewers show them.
    auto const oriented = [&](int v) {
        return jpeg.substr(0, 2) +
               bytes({0xFF, 0xE1, 0, 34,   'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,
                      0,    1,    1, 0x12, 0,   3,   0,   0,   0, 1, 0,   v,   0, 0,  0, 0, 0, 0}) +
               jpeg.substr(2);
    };
    std::string const turnedJpeg = oriented(6);
    cv::Mat mirrored, transverse;
    cv::flip(luma(jpeg), mirrored, 1);
    cv::rotate(luma(jpeg), transverse, cv::ROTATE_90_CLOCKWISE);
    cv::flip(transverse, transverse, 0);
    // What it is, its bytes, the grey expected (empty when refused), and the notes or the
    // refusal said (its start when it ends in '*').
    // clang-format off
    std::vector<std::tuple<char const*, std::string, cv::Mat, std::string>> const cases = {
        {"grey PNG", encoded(".png", grey8), grey8, ""},
        {"16-bit grey PNG", encoded(".png", grey16), grey(grey16), "16 bits -> 8 bits"},
        {"colour PNG", png, grey(colour), "couleur -> gris"},
        {"grey saved as colour", encoded(".png", greyAsColour), grey8, ""},
        {"RGBA PNG", encoded(".png", rgba), grey(rgba), "couleur -> gris, transparence ignor\xE9" "e"},
        {"16-bit colour TIFF", tiff, grey(colour16), "couleur -> gris, 16 bits -> 8 bits"},
        {"colour JPEG", jpeg, luma(jpeg), "couleur -> gris"},
        {"grey JPEG", greyJpeg, luma(greyJpeg), ""},
        {"JPEG turned by the camera", turnedJpeg, turned, "couleur -> gris, tourn\xE9" "e selon l'appareil"},
        {"JPEG mirrored by the camera", oriented(2), mirrored, "couleur -> gris, tourn\xE9" "e selon l'appareil"},
        {"JPEG mirrored and turned", oriented(7), transverse, "couleur -> gris, tourn\xE9" "e selon l'appareil"},
        {"P5 as tavrin reads it", p5, grey8, ""},
        {"P5 without a size", "P5\n", {}, "son en-t\xEAte PGM n'est pas celui que tavrin lit"},
        {"P5 cut short", p5.substr(0, p5.size() - 1), {}, "le fichier est tronqu\xE9"},
        {"float TIFF", encoded(".tif", cv::Mat(5, 5, CV_32FC1, 0.5)), {}, "ses pixels ne sont ni de 8 ni de 16 bits"},
        {"a text", "notes\n", {}, "ce n'est pas une photographie lisible*"},
        {"a JPEG cut in its header", jpeg.substr(0, 200), {}, kCut},
        {"a JPEG cut in its pixels", jpeg.substr(0, jpeg.size() * 85 / 100), {}, kCut},
        {"a JPEG without its last byte", jpeg.substr(0, jpeg.size() - 1), {}, kCut},
        {"a PNG cut short", png.substr(0, png.size() - 12), {}, kCut},
        {"a TIFF cut short", tiff.substr(0, tiff.size() * 85 / 100), {}, kCut},
        {"a TIFF, its strip last", handTiff, handGrey, ""},
        {"a TIFF whose strip is cut", handTiff.substr(0, handTiff.size() - 3), {}, kCut},
        {"a JPEG with bytes after its end", jpeg + "trailer", luma(jpeg), "couleur -> gris"},
    };
    // clang-format on
    for (auto const& [what, file, expected, told] : cases) {
        SCOPED_TRACE(what);
        writeFile(dir / "photo", file);
        GreyPhoto const g = greyPhoto(path("photo"), {file.begin(), file.end()});
        std::string said = g.refusal;
        for (std::string const& n : g.notes)
            said += (said.empty() ? "" : ", ") + n;
        EXPECT_EQ(has(told, "*") ? said.substr(0, told.size() - 1) + "*" : said, told);
        EXPECT_TRUE((g.grey.empty() && expected.empty()) ||  // an empty Mat is CV_8UC1, 0 x 0
                    (g.grey.type() == CV_8UC1 && g.grey.size() == expected.size() &&
                     cv::countNonZero(g.grey != expected) == 0));
    }
    for (auto [v, eight] : {std::pair{0u, 0}, {128u, 0}, {129u, 1}, {65535u, 255}})
        EXPECT_EQ(eightBits(v), eight) << v;  // 128: 0.498, down; 129: 0.502, up
}

// The sample series saved as the photographs operators have: the base as JPEG, the
// others as PNG, 16-bit TIFF and colour PNG, in a folder whose name has a space and an
// accent.
class SeriesRun : public Folder {
protected:
    fs::path const photos = dir / "s\xC3\xA9rie 1", out = photos / "Redressement";
    std::string const inPgm = "(cd 's\xC3\xA9rie 1/Redressement/pgm' && ";  // a command, then ")"

    void SetUp() override
    {
        Folder::SetUp();
        unsetenv("DISPLAY");  // the report is not shown in a browser
        unsetenv("WAYLAND_DISPLAY");
        writeFile(io / "stdin", "");
        ASSERT_EQ(runIn(dir, "'" TAVRIN_SAMPLE_BIN "' sample").status, 0);
        fs::create_directory(photos);
        auto load = [&](char const* name) {
            return cv::imread((dir / "sample" / name).string(), cv::IMREAD_UNCHANGED);
        };
        cv::Mat wide, colour, reduced = load("reduced.pgm");
        load("rotated.pgm").convertTo(wide, CV_16U, 257);
        cv::merge(std::vector<cv::Mat>{reduced / 2 + 64, reduced, reduced}, colour);
        cv::imwrite((photos / "a-base.jpg").string(), load("base.pgm"),
                    {cv::IMWRITE_JPEG_QUALITY, 98});
        cv::imwrite((photos / "b-enlarged.png").string(), load("enlarged.pgm"));
        cv::imwrite((photos / "c-rotated.tif").string(), wide);
        cv::imwrite((photos / "d-reduced.png").string(), colour);
        writeFile(photos / "Thumbs.db", "not a photograph");
    }

    // tavrin-series run in the folder, which must end with the status.
    Outcome series(int status = 0,
                   std::string const& arguments = "--points 412,357 1236,842 's\xC3\xA9rie 1'")
    {
        Outcome const o = runIn(dir, "'" TAVRIN_SERIES_BIN "' " + arguments);
        EXPECT_EQ(o.status, status) << arguments << "\n" << o.out << o.err;
        return o;
    }

    // The report's line on c-rotated's expected error as tavrin-match, run as
    // tavrin-series runs it in pgm/, says it; none when it says none.
    void expectErrorShown(std::string const& report)
    {
        std::string const match = fs::path(TAVRIN_SERIES_BIN).parent_path() / "tavrin-match";
        Outcome const o =
            runIn(dir, inPgm + "'" + match + "' a-base.pgm 412,357 1236,842 c-rotated.pgm)");
        EXPECT_EQ(o.status, 0) << o.err;
        std::smatch said;
        ASSERT_TRUE(std::regex_search(o.err, said,
                                      std::regex("c-rotated.pgm : .*, erreur probable : "
                                                 "(A' [0-9]+,[0-9]{2} px, B' .*)\n")))
            << o.err;
        EXPECT_TRUE(has(report, "<br>Erreur probable : " + said[1].str() + "<br>")) << report;
    }
};

TEST_F(SeriesRun, AFolderOfJpegPngAndTiffGivesTavrinsOwnResults)
{
    Outcome const o = series();
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out.rfind("[1/4] a-base.jpg : base, points A 412,357 et B 1236,842\n", 0), 0U)
        << o.out;
    // clang-format off
    for (char const* part : {"[3/4] c-rotated.tif : trouv\xE9" "e, tourn\xE9" "e 117,0\xB0, \xE9" "chelle 0,93 - \xE9" "cart moyen ",
                             "(16 bits -> 8 bits)\n", "[4/4] d-reduced.png : trouv\xE9",
                             "(couleur -> gris)\n3 photographie(s) redress\xE9" "e(s) sur 3, en "})
        EXPECT_TRUE(has(o.out, part)) << part << o.out;
    // clang-format on

    // tavrin run by hand on the recorded answers writes the same bytes.
    EXPECT_EQ(runIn(dir, inPgm + "'" TAVRIN_BIN "' < reponses.txt)").status, 1);
    for (std::string const stem : {"a-base", "b-enlarged", "c-rotated", "d-reduced"}) {
        SCOPED_TRACE(stem);
        std::string const result = readFile(out / (stem + ".pgm"));
        EXPECT_GT(result.size(), 800000U);
        EXPECT_TRUE(readFile(out / "pgm" / "Redressement" / (stem + ".pgm")) == result);
        // The same pixels as a PNG, full size, for what opens no PGM.
        cv::Mat const png =
            cv::imread((out / "png" / (stem + ".png")).string(), cv::IMREAD_UNCHANGED);
        cv::Mat const pgm = cv::imread((out / (stem + ".pgm")).string(), cv::IMREAD_UNCHANGED);
        EXPECT_TRUE(png.type() == CV_8UC1 && png.size() == pgm.size() &&
                    cv::countNonZero(png != pgm) == 0);
        EXPECT_EQ(readFile(out / "ecarts" / (stem + ".ppm")).substr(0, 17),
                  stem == "a-base" ? "" : "P6\n# tavrin-diff\n");  // none for the base
    }
    std::string const report = readFile(out / "rapport.html");
    EXPECT_TRUE(
        has(report, "<a href=\"png/c-rotated.png\"><img src=\"rapport/c-rotated-apres.png\""));
    EXPECT_TRUE(has(report, "<a href=\"png/a-base.png\"><img src=\"rapport/a-base-avant.png\""));
    expectErrorShown(report);
    for (fs::path const& p : fs::directory_iterator(out / "rapport"))
        EXPECT_EQ(readFile(p).substr(1, 3), "PNG") << p;
    // Nothing beside the operator's photographs (and Thumbs.db) but Redressement.
    EXPECT_EQ(std::distance(fs::directory_iterator(photos), fs::directory_iterator()), 6);

    // The answers file given back, as Notepad saves it in "Unicode": its points used as
    // they stand, the same results.
    std::string notepad = "\xFF\xFE";
    for (char c : readFile(out / "pgm" / "reponses.txt"))
        notepad += (c == '\n' ? std::string("\r\x00", 2) : "") + std::string(1, c) + '\0';
    writeFile(dir / "mes points.txt", notepad);
    fs::rename(out, dir / "first run");
    Outcome const again = series(0, "--answers 'mes points.txt' 's\xC3\xA9rie 1'");
    EXPECT_TRUE(has(again.out, "[2/4] b-enlarged.png : points donn\xE9s, tourn\xE9"
                               "e "));
    EXPECT_TRUE(readFile(out / "c-rotated.pgm") == readFile(dir / "first run" / "c-rotated.pgm"));
    // Points given are not tavrin-match's: no expected error.
    EXPECT_FALSE(has(readFile(out / "rapport.html"), "Erreur probable"));

    // An A' that is not a point, or off its photograph: refused, the file, its line and
    // the photograph named; the first before anything is written.
    std::string const given = readFile(out / "pgm" / "reponses.txt");
    std::size_t const at = given.find("b-enlarged.pgm\n") + 15;
    for (auto const& [point, status, said] :
         {std::tuple{"abc", 1,
                     "tavrin-series : Le fichier de r\xE9ponses mine.txt, ligne 5 : \xAB abc "
                     "\xBB n'est pas un point x,y pour b-enlarged.png\n"},
          std::tuple{"nan,nan", 1, "ligne 5 : \xAB nan,nan \xBB n'est pas un point x,y"},
          std::tuple{"-5000,-5000", 1,
                     "[2/4] b-enlarged.png : refus\xE9"
                     "e, A' -5000,-5000 tombe hors de la photographie, de "}}) {
        writeFile(dir / "mine.txt",
                  given.substr(0, at) + point + given.substr(given.find('\n', at)));
        Files const before = snapshot(photos);
        Outcome const o = series(status, "--answers mine.txt 's\xC3\xA9rie 1'");
        EXPECT_TRUE(has(o.out + o.err, said)) << o.out << o.err;
        EXPECT_EQ(snapshot(photos) == before, point[0] != '-') << point;
        EXPECT_EQ(fs::exists(out / "b-enlarged.pgm"), point[0] != '-') << point;
    }
}

// The companions' French reworded (every accented letter made '?', as a translation
// changes it) and a photograph they refuse: the series reads their machine lines alone.
// Then a tavrin-match that dies midway.
TEST_F(SeriesRun, CompanionsRewordedChangeNothing)
{
    fs::path const kit = dir / "kit", bin = fs::path(TAVRIN_SERIES_BIN).parent_path();
    fs::create_directory(kit);
    fs::copy_file(TAVRIN_SERIES_BIN, kit / "tavrin-series");
    fs::create_symlink(TAVRIN_BIN, kit / "tavrin");
    std::string const reword = "LC_ALL=C sed '/^tavrin-[a-z]*\t/!s/[\x80-\xff]/?/g' \"$t\"/";
    for (char const* tool : {"tavrin-match", "tavrin-diff"}) {
        writeFile(kit / tool, "#!/bin/bash\nt=$(mktemp -d)\n'" + (bin / tool).string() +
                                  "' \"$@\" >\"$t/o\" 2>\"$t/e\"\ns=$?\n" + reword + "o\n" +
                                  reword + "e >&2\nrm -r \"$t\"\nexit $s\n");
        fs::permissions(kit / tool, fs::perms::owner_exec, fs::perm_options::add);
    }
    writeFile(photos / "e-noir.pgm", "P5\n300 200\n255\n" + std::string(60000, '\0'));
    Outcome const o = runIn(dir, "kit/tavrin-series --points 412,357 1236,842 's\xC3\xA9rie 1'");
    EXPECT_EQ(o.status, 1) << o.err;
    // clang-format off
    for (char const* part : {"3 photographie(s) redress\xE9" "e(s) sur 4",
                             "e-noir.pgm : refus\xE9" "e, tavrin-match ne trouve pas ses points ("})
        EXPECT_TRUE(has(o.out, part)) << part << o.out;
    // clang-format on
    expectErrorShown(readFile(out / "rapport.html"));
    // A tavrin-match that dies once it has told the first photograph, while it is followed:
    // that one is done, the others refused, and the series ends.
    writeFile(kit / "tavrin-match", "#!/bin/bash\n'" + (bin / "tavrin-match").string() +
                                        "' \"$@\" | head -n 6\nsleep 1\nexit 137\n");
    fs::remove_all(out);
    Outcome const cut = runIn(dir, "kit/tavrin-series --points 412,357 1236,842 's\xC3\xA9rie 1'");
    EXPECT_EQ(cut.status, 1) << cut.err;
    // clang-format off
    for (char const* part : {"1 photographie(s) redress\xE9" "e(s) sur 4",
                             "[3/5] c-rotated.tif : refus\xE9" "e, tavrin-match ne trouve pas"})
        EXPECT_TRUE(has(cut.out, part)) << part << cut.out;
    // clang-format on
}

TEST_F(SeriesRun, AKilledRunGoesOnWhereItStopped)
{
    fs::path const record = out / "pgm" / "etat-tavrin-series.txt";
    // Killed as soon as the first photograph's points are recorded.
    runIn(dir, "('" TAVRIN_SERIES_BIN "' --points 412,357 1236,842 's\xC3\xA9rie 1' & for k in "
               "$(seq 3000); do grep -q ^trouvee '" +
                   record.string() + "' && break; sleep 0.005; done; kill -9 $!; wait)");
    // As a power cut leaves a file half-written.
    writeFile(out / "pgm" / "d-reduced.pgm.tavrin-999999999-0", "P5\n");
    EXPECT_TRUE(has(readFile(record), "\ntrouvee\t"));

    series();
    std::string const first = readFile(out / "c-rotated.pgm");
    Outcome const third = series();
    EXPECT_EQ(times(third.out, "\n"), 6U) << third.out;
    EXPECT_TRUE(has(third.out, "c-rotated.tif : trouv\xE9"
                               "e, tourn\xE9"
                               "e 117,0\xB0"));
    EXPECT_EQ(times(third.out, " (d\xE9j\xE0 fait)"), 3U);
    EXPECT_TRUE(readFile(out / "c-rotated.pgm") == first);
    // The expected error found in an earlier run is shown from the record.
    expectErrorShown(readFile(out / "rapport.html"));
    // A record without its lines of expected errors is read as well.
    ASSERT_EQ(runIn(dir, "sed -i '/^erreur\t/d' '" + record.string() + "'").status, 0);
    Outcome const fourth = series();
    EXPECT_EQ(times(fourth.out, " (d\xE9j\xE0 fait)"), 3U) << fourth.out;
    EXPECT_FALSE(has(readFile(out / "rapport.html"), "Erreur probable"));
    // Nothing half-written left: the killed run's unfinished files are gone.
    for (auto const& e : fs::recursive_directory_iterator(out))
        EXPECT_FALSE(has(e.path().filename().string(), ".tavrin-")) << e.path();

    // A run under way holds the folder (here, this test): another says so and writes
    // nothing; once it has ended, killed above or not, the next goes on.
    int const held =
        open((out / ".verrou-tavrin-series").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    Files const before = snapshot(photos);
    EXPECT_EQ(series(1).err, "tavrin-series : Une s\xE9rie est d\xE9j\xE0 en cours dans " +
                                 out.string() + " : attendez qu'elle finisse, puis relancez\n");
    EXPECT_TRUE(snapshot(photos) == before);
    close(held);
    EXPECT_EQ(times(series().out, " (d\xE9j\xE0 fait)"), 3U);
    EXPECT_FALSE(fs::exists(out / ".verrou-tavrin-series"));
}

TEST_F(SeriesRun, BadInputIsToldInFrenchAndWritesNothing)
{
    // What it is, shell commands run in the folder first, tavrin-series' arguments, its
    // status and the start of its stderr.
    // clang-format off
    std::vector<std::tuple<char const*, std::string, std::string, int, std::string>> const cases = {
        {"an empty folder", "mkdir vide", "vide", 1, "tavrin-series : Aucune photographie (JPEG, PNG, TIFF ou PGM) dans vide\n"},
        {"an unreadable base", "mkdir x && echo texte > x/a.jpg && cp 's\xC3\xA9rie 1/b-enlarged.png' x/", "x", 1,
         "tavrin-series : La photographie de base x/a.jpg ne peut \xEAtre lue : ce n'est pas une"},
        {"one photograph alone", "", "'s\xC3\xA9rie 1/a-base.jpg'", 1,
         "tavrin-series : Une seule photographie : il faut la base et au moins une autre"},
        {"a missing name", "", "absent", 1, "tavrin-series : Ce fichier ou dossier n'existe pas : absent\n"},
        {"no argument", "", "", 2, "tavrin-series : donnez un dossier de photographies, ou des photographies\n"},
        {"a point badly typed", "", "--points 1,2 3,4x x", 2, "tavrin-series : un point s'\xE9" "crit x,y"},
        {"Redressement is a file", "touch 's\xC3\xA9rie 1/Redressement'", "'s\xC3\xA9rie 1'", 1,
         "tavrin-series : Impossible d'\xE9" "crire dans le dossier "},
    };
    // clang-format on
    for (auto const& [what, setup, arguments, status, err] : cases) {
        SCOPED_TRACE(what);
        ASSERT_EQ(runIn(dir, "true; " + setup).status, 0);
        Files const before = snapshot(dir);
        Outcome const o = series(status, arguments);
        EXPECT_EQ(o.err.substr(0, err.size()), err);
        EXPECT_TRUE(snapshot(dir) == before);
        runIn(dir, "rm -rf vide x 's\xC3\xA9rie 1/Redressement'");
    }
}

TEST_F(SeriesRun, ChosenPointsARefusedPhotographListedAndTheOthersDone)
{
    cv::Mat noise(900, 1200, CV_8UC1);
    cv::randu(noise, 0, 256);
    cv::imwrite((photos / "e-noise.png").string(), noise);
    fs::copy_file(photos / "b-enlarged.png", photos / "b-enlarged.tif");
    fs::copy_file(photos / "d-reduced.png", photos / "\xC3\x89t\xC3\xA9.png");   // Été
    fs::copy_file(photos / "d-reduced.png", photos / "\xC3\xA9t\xC3\xA9.jpeg");  // été
    // The points chosen, then given: the photographs after the refused one go on all the same.
    for (std::string const points : {"", "--points 412,357 1236,842 "}) {
        fs::remove_all(out);
        Outcome const o = series(1, points + "'s\xC3\xA9rie 1'");
        // clang-format off
        for (char const* part : {"6 photographie(s) redress\xE9" "e(s) sur 7",
                                 "[6/8] e-noise.png : refus\xE9" "e, tavrin-match ne trouve pas ses points ("})
            EXPECT_TRUE(has(o.out, part)) << part << o.out;
        // clang-format on
        EXPECT_EQ(has(o.out, "Points choisis sur la base : A "), points.empty()) << o.out;
        // Photographs of one stem, whatever its case, as Windows compares names: two names.
        for (char const* name : {"b-enlarged.pgm", "b-enlarged-2.pgm", "\xC3\xA9t\xC3\xA9.pgm",
                                 "\xC3\x89t\xC3\xA9-2.pgm"})
            EXPECT_TRUE(fs::exists(out / name)) << name;
    }
    EXPECT_TRUE(has(readFile(out / "rapport.html"), "Que faire : placez ses points"));
}

// The points chosen where every photograph shows the base, away from the edges: the
// first photographs show its right part, the next ones its left, so that only a strip
// is shown by all; one more shows a corner that no other shows, and is left out of the
// choice, with its reason.
TEST_F(SeriesRun, ThePointsChosenLieWhereEveryPhotographReaches)
{
    fs::path const own = dir / "fa\xC3\xA7"
                               "ade \xC3\xA9t\xC3\xA9";  // façade été
    fs::create_directory(own);
    cv::Mat const base = cv::imread((dir / "sample" / "base.pgm").string(), cv::IMREAD_UNCHANGED);
    std::tuple<char const*, int, int> const crops[] = {
        {"01 fa\xC3\xA7"
         "ade base.png",
         0, 1600},
        {"02 droite tourn\xC3\xA9"
         "e.png",
         600, 1600},
        {"03 droite \xC5\x93il.png", 650, 1600},
        {"04 droite.png", 700, 1600},
        {"05 gauche \xC3\xA0 l'\xC3\xA8re.png", 0, 1000},
        {"06 gauche.png", 0, 1050},
        {"07 coin.png", 1150, 1600}};
    for (auto const& [name, from, to] : crops)
        cv::imwrite((own / name).string(), base.colRange(from, to));
    Outcome const o = series(1, "'fa\xC3\xA7"
                                "ade \xC3\xA9t\xC3\xA9'");
    // clang-format off
    for (char const* part : {"5 photographie(s) redress\xE9" "e(s) sur 6",
                             "07 coin.png : refus\xE9" "e, tavrin-match ne trouve pas ses points (",
                             " (laiss\xE9" "e hors du choix de A et B : les points nets"})
        EXPECT_TRUE(has(o.out, part)) << part << o.out;
    // clang-format on
    EXPECT_TRUE(has(readFile(own / "Redressement" / "rapport.html"),
                    "Laiss&eacute;e hors du choix de A et B"));
    int ax = 0, ay = 0, bx = 0, by = 0;
    ASSERT_EQ(std::sscanf(o.out.c_str() + o.out.find("points A "), "points A %d,%d et B %d,%d", &ax,
                          &ay, &bx, &by),
              4);
    EXPECT_EQ(times(o.out, "cart moyen 0,0\n"), 5U) << o.out;  // crops: sharp points, exact answers
    for (int x : {ax, bx})  // inside the strip, and away from its edges by what is correlated
        EXPECT_TRUE(x >= 700 + 24 && x <= 1000 - 24) << o.out;
}

}  // namespace
