// tavrin-match, run as built on the sample series and on photographs made here from its
// base photograph: the points it finds, what it refuses, its answers piped into tavrin,
// its usage errors and its man page.
#include "tests/support.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <complex>
#include <regex>

namespace {

// The planar scene seen from another angle: base point p lies at kSeen p in
// perspective.pgm (homogeneous coordinates), its far corner shrunk by about a fifth.
cv::Matx33d const kSeen(0.92, 0.06, 40, -0.04, 0.95, 30, 0.00011, 0.00004, 1);
// The base turned by 8 degrees and scaled 0.9 about its middle, shifted by 7.3, -4.6: base point
// p lies at kBlurred p in blurred.pgm.
cv::Matx23d const kBlurred(0.891241, 0.125256, 19.153, -0.125256, 0.891241, 160.86);

// The base photograph's name behind a UTF-8 byte-order mark, which tavrin skips at the start of
// its input.
std::string const kMarkedBase = "\xEF\xBB\xBF"
                                "base.pgm";

cv::Point2d through(cv::Matx33d const& h, double x, double y)
{
    cv::Vec3d const q = h * cv::Vec3d(x, y, 1);
    return {q[0] / q[2], q[1] / q[2]};
}

// The expected errors at A', at B' and at the far corners that name's line states, in
// pixels: "erreur probable : A' 0,24 px, B' 0,25 px, aux coins 0,6 px"; -1 where absent.
std::array<double, 3> stated(std::string const& err, std::string const& name)
{
    std::size_t const line = std::min(err.find(name + " : A'"), err.size());
    std::size_t const at = std::min(err.find("erreur probable : ", line), err.size());
    int v[6] = {};
    if (err.find('\n', line) < at ||
        std::sscanf(err.c_str() + at,
                    "erreur probable : A' %d,%d px, B' %d,%d px, aux coins %d,%d px", &v[0], &v[1],
                    &v[2], &v[3], &v[4], &v[5]) != 6)
        return {-1, -1, -1};
    return {v[0] + v[1] / 100.0, v[2] + v[3] / 100.0, v[4] + v[5] / 10.0};
}

std::string pgm(cv::Mat const& image)
{
    cv::Mat const whole = image.clone();  // its rows one after the other
    return "P5\n" + std::to_string(whole.cols) + " " + std::to_string(whole.rows) + "\n255\n" +
           std::string(reinterpret_cast<char const*>(whole.data), whole.total());
}

// The sample series and, beside it, the base photograph turned half a turn (its pixels in reverse
// order) and halved (each 2 x 2 block averaged), its top 400 rows; the base seen from another angle
// (perspective.pgm, through kSeen) and turned by 8 degrees, scaled 0.9 and blurred by a Gaussian
// of 3 pixels (blurred.pgm, through kBlurred); a chessboard of 40-pixel squares (another scene to
// the base) and a crop of it shifted by 31, 23; the base's middle enlarged 2.5 times (zoomed.pgm:
// base x lies at (x - 500 + 0.5) 2.5 - 0.5); the base twice side by side (twins.pgm) and once
// reduced to 0.85 (small.pgm), alone and beside a grey field (wide.pgm); stripes of 10 pixels over
// the base, alike all along the search while the base beneath them pins the place, and a crop of
// them shifted by 13, 7; photographs too small or too thin to search; the base again as
// kMarkedBase, and a photograph under a name that tavrin cannot read back.
class Match : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = freshFolder();
        writeFile(dir / ".." / "stdin", "");
        run("'" TAVRIN_SAMPLE_BIN "' .");
        std::string const base = readFile(dir / "base.pgm"),
                          pixels = base.substr(base.size() - 1920000);
        cv::Mat const photo(1200, 1600, CV_8U, const_cast<char*>(pixels.data()));
        cv::Mat turned, seen, blurred;
        cv::flip(photo, turned, -1);
        cv::resize(turned, turned, {800, 600}, 0, 0, cv::INTER_AREA);
        cv::warpPerspective(photo, seen, kSeen, photo.size());
        cv::warpAffine(photo, blurred, kBlurred, photo.size(), cv::INTER_CUBIC);
        cv::GaussianBlur(blurred, blurred, {}, 3);
        writeFile(dir / "turned.pgm", pgm(turned));
        fs::create_directory(dir / "demi tour");
        fs::copy_file(dir / "turned.pgm", dir / "demi tour" / "turned.pgm");
        writeFile(dir / "cut.pgm", "P5\n1600 400\n255\n" + pixels.substr(0, 640000));
        writeFile(dir / "huge.pgm", "P5\n40000 40000\n255\n" + pixels.substr(0, 1000));
        writeFile(dir / "short.pgm", "P5\n1600 1200\n255\n" + pixels.substr(0, 983));
        writeFile(dir / "dot.pgm", "P5\n1 1\n255\n" + pixels.substr(0, 1));
        writeFile(dir / "line.pgm", "P5\n40000 1\n255\n" + pixels.substr(0, 40000));
        writeFile(dir / "tiny.pgm", "P5\n5 5\n255\n" + pixels.substr(0, 25));
        writeFile(dir / "strip.pgm", "P5\n3000 10\n255\n" + pixels.substr(0, 30000));
        fs::copy_file(dir / "base.pgm", dir / kMarkedBase);
        fs::copy_file(dir / "rotated.pgm", dir / "rotated\n.pgm");
        writeFile(dir / "perspective.pgm", pgm(seen));
        writeFile(dir / "blurred.pgm", pgm(blurred));
        cv::Mat_<unsigned char> board(480, 640);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                board(y, x) = static_cast<unsigned char>(((x / 40 + y / 40) % 2 ? 50 : 200) +
                                                         (x * 7 + y * 13) % 5);
        writeFile(dir / "pattern.pgm", pgm(board));
        cv::Mat_<unsigned char> stripes(1200, 1600);
        for (int y = 0; y < 1200; ++y)
            for (int x = 0; x < 1600; ++x)
                stripes(y, x) = cv::saturate_cast<unsigned char>(
                    0.25 * photo.at<unsigned char>(y, x) + 0.75 * (x % 10 < 5 ? 230 : 20));
        writeFile(dir / "stripes.pgm", pgm(stripes));
        cv::Mat zoomed;
        cv::resize(photo(cv::Rect(500, 400, 640, 480)), zoomed, {1600, 1200}, 0, 0,
                   cv::INTER_CUBIC);
        writeFile(dir / "zoomed.pgm", pgm(zoomed));
        cv::Mat twins, small;
        cv::hconcat(photo, photo, twins);
        cv::resize(photo, small, {1360, 1020}, 0, 0, cv::INTER_AREA);
        writeFile(dir / "twins.pgm", pgm(twins));
        writeFile(dir / "small.pgm", pgm(small));
        cv::Mat wide;
        cv::hconcat(small, cv::Mat(1020, 1240, CV_8U, cv::Scalar(128)), wide);
        writeFile(dir / "wide.pgm", pgm(wide));
        writeFile(dir / "stripes-shifted.pgm", pgm(stripes(cv::Rect(13, 7, 1500, 1100))));
        writeFile(dir / "shifted.pgm", pgm(board(cv::Rect(31, 23, 560, 400))));
    }
    static void TearDownTestSuite() { fs::remove_all(dir.parent_path()); }

    static Outcome run(std::string const& command) { return runIn(dir, "(" + command + ")"); }

    static fs::path dir;
};

fs::path Match::dir;

// Base pixel x lies at (1599 - x - 0.5) / 2 in turned.pgm; the sample series' landmarks are those
// of landmarks.txt. A' is written whole, as tavrin uses it, and B' moved to make up for it: the
// answers rectify as well as the true points. Refused photographs are left out of the answers,
// which end at a name that is not there; a name with a space, or the base's that begins with a
// byte-order mark, is answered in quotes, as tavrin reads it back.
TEST_F(Match, FindsPointsWithinHalfAPixelRefusesTheRestAndItsAnswersRectify)
{
    Outcome o = run("'" TAVRIN_MATCH_BIN "' '" + kMarkedBase +
                    "' 412,357 1236,842 'demi tour/turned.pgm' pattern.pgm rotated.pgm cut.pgm "
                    "huge.pgm short.pgm dot.pgm /dev/zero enlarged.pgm line.pgm reduced.pgm "
                    "nothing.pgm 'rotated\n.pgm'");
    EXPECT_EQ(o.status, 1);
    struct Row {
        std::string name;
        double ax, ay, bx, by;
    } const rows[] = {{"demi tour/turned.pgm", 593.25, 420.75, 181.25, 178.25},
                      {"rotated.pgm", 1115, 435, 365, 913},
                      {"enlarged.pgm", 123, 338, 1458, 863},
                      {"reduced.pgm", 412, 186, 712, 676}};
    std::string answers = '"' + kMarkedBase + "\"\n412,357\n1236,842\n";
    for (Row const& r : rows) {
        double ax = 0, ay = 0, bx = 0, by = 0;
        char const* line = o.err.c_str() + std::min(o.err.find(r.name + " : A'"), o.err.size());
        std::sscanf(line, (r.name + " : A' %lf,%lf B' %lf,%lf").c_str(), &ax, &ay, &bx, &by);
        EXPECT_LE(std::hypot(ax - r.ax, ay - r.ay), 0.5) << r.name << ": " << o.err;
        EXPECT_LE(std::hypot(bx - r.bx, by - r.by), 0.5) << r.name << ": " << o.err;
        // The errors it states cover the true ones, at the points and where they move the
        // base's corners (base pixels), and say something: under this test's tolerance.
        using C = std::complex<double>;
        C const baseA(412, 357), baseB(1236, 842), trueA(r.ax, r.ay), trueB(r.bx, r.by);
        C const offA = C(ax, ay) - trueA, offB = C(bx, by) - trueB;
        double corners = 0;
        for (C const p : {C(0, 0), C(1599, 0), C(0, 1199), C(1599, 1199)})
            corners =
                std::max(corners, std::abs(offA + (p - baseA) / (baseB - baseA) * (offB - offA)));
        std::array<double, 3> const e = stated(o.err, r.name);
        EXPECT_GE(e[0], std::abs(offA)) << o.err;
        EXPECT_GE(e[1], std::abs(offB)) << o.err;
        EXPECT_GE(e[2], corners * std::abs(baseB - baseA) / std::abs(trueB - trueA)) << o.err;
        EXPECT_LE(std::max(e[0], e[1]), 0.5) << o.err;
        std::string const quoted =
            r.name.find(' ') == std::string::npos ? r.name : '"' + r.name + '"';
        answers += quoted + "\n" + std::to_string(std::lround(r.ax)) + "," +
                   std::to_string(std::lround(r.ay)) + "\n[0-9]+\\.[0-9]{2},[0-9]+\\.[0-9]{2}\n";
    }
    EXPECT_TRUE(std::regex_match(o.out, std::regex(answers + "fin\n"))) << o.out;
    Outcome const full =
        run("'" TAVRIN_MATCH_BIN "' base.pgm 412,357 1236,842 rotated.pgm >/dev/full");
    EXPECT_EQ(full.status, 1);
    for (char const* line :
         {"pattern.pgm : refus\xE9"
          "e, ",
          "cut.pgm : refus\xE9"
          "e, B' tombe hors de la photographie",
          "nothing.pgm : refus\xE9"
          "e, elle ne peut \xEAtre ouverte : fichier ou dossier introuvable\n",
          "huge.pgm : refus\xE9"
          "e, elle est trop grande pour \xEAtre lue : 40000 x 40000 pixels\n",
          "short.pgm : refus\xE9"
          "e, elle est incompl\xE8te : 1600 x 1200 pixels annonc\xE9s, 983 octets de pixels\n",
          "/dev/zero : refus\xE9"
          "e, ce n'est pas un fichier ordinaire\n",
          "dot.pgm : refus\xE9"
          "e, 1 x 1 pixels : trop petite pour y chercher les points (41 "
          "pixels au moins de chaque c\xF4t\xE9)\n",
          "rotated\n.pgm : refus\xE9"
          "e, son nom contient un saut de ligne, o\xF9 tavrin arr\xEAte un nom\n",
          "line.pgm : refus\xE9"
          "e, 40000 x 1 pixels : trop petite pour y chercher les points "
          "(41 pixels au moins de chaque c\xF4t\xE9)\n",
          "tavrin-match : les r\xE9ponses n'ont pu \xEAtre \xE9"
          "crites : plus de place sur le disque\n"})
        EXPECT_NE((o.err + full.err).find(line), std::string::npos) << line << o.err << full.err;

    writeFile(dir / "answers.txt", o.out);
    writeFile(dir / "truth.txt",
              "base.pgm\n412,357\n1236,842\n\"demi tour/turned.pgm\"\n593.25,420.75\n"
              "181.25,178.25\nfin\n");
    run("'" TAVRIN_BIN "' <truth.txt; mv Redressement truth");
    EXPECT_EQ(run("cat answers.txt | '" TAVRIN_BIN "'").status, 1);
    EXPECT_TRUE(fs::exists(dir / "Redressement" / kMarkedBase));
    auto mean = [](std::string const& rectified) {
        std::string const out =
            run("'" TAVRIN_DIFF_BIN "' base.pgm '" + rectified + "' map.ppm").out;
        std::string mean = out.substr(out.find("absolu ") + 7, 5);
        std::replace(mean.begin(), mean.end(), ',', '.');
        return std::stod(mean);
    };
    // Within 5 % of the truth's mean difference, or the figure's last printed digit.
    std::string const turned = "/demi tour/turned.pgm";
    EXPECT_LE(mean("Redressement" + turned), mean("truth" + turned) * 1.05 + 0.01);
}

// Where one similarity does not describe the pair, each point is still found where the
// photograph shows it, or the photograph is refused; never answered far off.
TEST_F(Match, FindsPointsUnderPerspectiveAndBlurAndNeverFarOffOnARepeat)
{
    cv::Point2d const seenA = through(kSeen, 412, 357), seenB = through(kSeen, 1236, 842);
    cv::Point2d const blurredA = kBlurred * cv::Vec3d(800, 300, 1),
                      blurredB = kBlurred * cv::Vec3d(1400, 1000, 1);
    struct Row {
        char const* base;
        char const* photo;
        char const* points;
        cv::Point2d a, b;  // the truth
        double within;
        char const* refusal;  // none: answered; empty: may be refused; else refused so
    } const rows[] = {
        {"base.pgm", "perspective.pgm", "412,357 1236,842", seenA, seenB, 1, nullptr},
        {"base.pgm", "blurred.pgm", "800,300 1400,1000", blurredA, blurredB, 0.25, nullptr},
        {"pattern.pgm", "shifted.pgm", "140,120 520,360", {109, 97}, {489, 337}, 2, ""},
        {"stripes.pgm",
         "stripes-shifted.pgm",
         "412,357 1236,842",
         {399, 350},
         {1223, 835},
         1,
         nullptr},
        // A and B on either copy: each is found where it looks like itself, and the
        // segment between them is no segment of the scene.
        {"twins.pgm", "wide.pgm", "412,357 2836,842", {}, {}, 0, "A'B' ne s'accorde pas"}};
    for (Row const& r : rows) {
        Outcome o =
            run("'" TAVRIN_MATCH_BIN "' " + std::string(r.base) + " " + r.points + " " + r.photo);
        double ax = 0, ay = 0, bx = 0, by = 0;
        std::string const found = std::string(r.photo) + " : A' ";
        std::sscanf(o.err.c_str() + std::min(o.err.find(found), o.err.size()),
                    (found + "%lf,%lf B' %lf,%lf").c_str(), &ax, &ay, &bx, &by);
        if (r.refusal != nullptr && *r.refusal != '\0') {
            EXPECT_NE(o.err.find(r.refusal), std::string::npos) << o.err;
            continue;
        }
        if (r.refusal != nullptr && o.err.find(" : refus\xE9"
                                               "e, ") != std::string::npos)
            continue;
        EXPECT_LE(std::hypot(ax - r.a.x, ay - r.a.y), r.within) << r.photo << ": " << o.err;
        EXPECT_LE(std::hypot(bx - r.b.x, by - r.b.y), r.within) << r.photo << ": " << o.err;
        std::array<double, 3> const e = stated(o.err, r.photo);
        EXPECT_GE(e[0], std::hypot(ax - r.a.x, ay - r.a.y)) << o.err;
        EXPECT_GE(e[1], std::hypot(bx - r.b.x, by - r.b.y)) << o.err;
    }
}

// --pick chooses two points far apart in the part of the base that the photograph shows,
// even where the base holds that scene twice. Base pixel x lies at k x + c in the
// photograph (x within its own copy).
TEST_F(Match, PicksTwoPointsFarApartThatItFinds)
{
    struct Row {
        char const* base;
        char const* photo;
        double k, cx, cy;
        int copy;  // the width of a copy of the scene in the base
        double apart;
    } const rows[] = {{"base.pgm", "turned.pgm", -0.5, 799.25, 599.25, 1600, 2000 / 3.0},
                      {"base.pgm", "zoomed.pgm", 2.5, -1249.25, -999.25, 1600, 800 / 3.0},
                      {"twins.pgm", "small.pgm", 0.85, -0.075, -0.075, 1600, 2000 / 3.0}};
    for (Row const& r : rows) {
        Outcome o = run("'" TAVRIN_MATCH_BIN "' --pick " + std::string(r.base) + " " + r.photo);
        EXPECT_EQ(o.status, 0) << o.err;
        int ax = 0, ay = 0, bx = 0, by = 0;
        double tax = 0, tay = 0, tbx = 0, tby = 0;
        std::string const shape =
            std::string(r.base) + "\n%d,%d\n%d,%d\n" + r.photo + "\n%lf,%lf\n%lf,%lf\nfin\n";
        ASSERT_EQ(
            std::sscanf(o.out.c_str(), shape.c_str(), &ax, &ay, &bx, &by, &tax, &tay, &tbx, &tby),
            8)
            << o.out << o.err;
        EXPECT_GE(std::hypot(ax - bx, ay - by), r.apart) << o.out;
        auto off = [&r](double x, double y, int px, int py) {
            return std::hypot(x - (r.k * (px % r.copy) + r.cx), y - (r.k * py + r.cy));
        };
        EXPECT_LE(off(tax, tay, ax, ay), 1) << o.out << o.err;  // A' written whole
        EXPECT_LE(off(tbx, tby, bx, by), 1) << o.out << o.err;
    }
}

// Bad usage, status 2 with the usage; a base too small or too thin to search, status 1 with its
// reason, whole; neither answers anything.
TEST_F(Match, BadUsageAndABaseTooSmallAnswerNothingAndTheManPageRenders)
{
    struct Row {
        char const* arguments;
        char const* refusal;  // the whole standard error of a base refused; none for bad usage
    } const rows[] = {
        {"", nullptr},
        {"base.pgm", nullptr},
        {"base.pgm 1,1 2,2", nullptr},
        {"base.pgm '1;1' 2,2 rotated.pgm", nullptr},
        {"base.pgm 5,5 5,5 rotated.pgm", nullptr},
        {"base.pgm 1,1 9999,2 rotated.pgm", nullptr},
        {"--pick base.pgm", nullptr},
        {"--frob base.pgm 1,1 2,2 rotated.pgm", nullptr},
        {"base.pgm -5,-5 2,2 rotated.pgm", nullptr},
        {"tiny.pgm 0,0 4,4 rotated.pgm",
         "tavrin-match : la photographie de base tiny.pgm est refus\xE9"
         "e, 5 x 5 pixels : trop petite pour y chercher les points (6 pixels au moins de chaque "
         "c\xF4t\xE9)\n"},
        {"--pick strip.pgm rotated.pgm",
         "tavrin-match : la photographie de base strip.pgm est refus\xE9"
         "e, 3000 x 10 pixels : trop mince pour y chercher les points (r\xE9"
         "duite \xE0 1024 pixels de long, elle en aurait 3 de large, 6 au moins)\n"}};
    for (Row const& r : rows) {
        Outcome o = run("'" TAVRIN_MATCH_BIN "' " + std::string(r.arguments));
        EXPECT_EQ(o.out, "") << r.arguments;
        if (r.refusal != nullptr) {
            EXPECT_EQ(o.status, 1) << r.arguments;
            EXPECT_EQ(o.err, r.refusal);
            continue;
        }
        EXPECT_EQ(o.status, 2) << r.arguments;
        EXPECT_EQ(o.err.rfind("tavrin-match : ", 0), 0u) << o.err;
        if (std::string(r.arguments).find("-5") != std::string::npos) {  // a point, not an option
            EXPECT_EQ(o.err.rfind("tavrin-match : A -5,-5 est hors de la photographie de base", 0),
                      0u);
        }
        EXPECT_NE(o.err.find("\nUsage : tavrin-match BASE AX,AY BX,BY PHOTO...\n"),
                  std::string::npos)
            << o.err;
    }
    if (std::system("command -v man >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "man is not installed";
    Outcome o = run("MANWIDTH=80 man --warnings -l '" TAVRIN_MATCH_MAN_PAGE "'");
    EXPECT_EQ(o.err, "");
    EXPECT_NE(o.out.find("tavrin-match"), std::string::npos);
}

// Each shape of header of tests/p5_headers.txt as a base: what the library reads is taken,
// then refused as too small to search, or as incomplete where the file lacks pixels; what
// the library refuses is no P5 to tavrin-match either.
using MatchBase = Folder;

TEST_F(MatchBase, TakesEachShapeOfHeaderAsTheLibraryReadsIt)
{
    std::vector<HeaderShape> const shapes = headerShapes(TAVRIN_P5_HEADERS);
    ASSERT_FALSE(shapes.empty()) << TAVRIN_P5_HEADERS;
    for (HeaderShape const& c : shapes) {
        put("header.pgm", c.file);
        Outcome const o = run(TAVRIN_MATCH_BIN, "", "header.pgm 0,0 2,1 photo.pgm");
        std::string reason = "3 x 2 pixels : trop petite pour y chercher les points (6 pixels au "
                             "moins de chaque c\xF4t\xE9)";
        if (!c.refusal.empty())
            reason = "ce n'est pas une image PGM binaire (P5)";
        else if (c.pixels.size() < 6)
            reason = "elle est incompl\xE8te : 3 x 2 pixels annonc\xE9s, " +
                     std::to_string(c.pixels.size()) + " octets de pixels";
        EXPECT_EQ(o.err, "tavrin-match : la photographie de base header.pgm est refus\xE9"
                         "e, " +
                             reason + "\n")
            << c.what;
        EXPECT_EQ(o.status, 1) << c.what;
    }
}

}  // namespace
