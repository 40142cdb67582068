// tavrin-match, run as built on the sample series and on photographs made here from its
// base photograph: the points it finds, what it refuses, its answers piped into tavrin,
// and its usage errors (its man page is rendered by tests/tools/tools_test.cpp).
#include "tests/support.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <complex>
#include <regex>
#include <tuple>

namespace {

// The planar scene seen from another angle: base point p lies at kSeen p in
// perspective.pgm (homogeneous coordinates), its far corner shrunk by about a fifth.
cv::Matx33d const kSeen(0.92, 0.06, 40, -0.04, 0.95, 30, 0.00011, 0.00004, 1);
// The base turned by 8 degrees and scaled 0.9 about its middle, shifted by 7.3, -4.6: base point
// p lies at kBlurred p in blurred.pgm.
cv::Matx33d const kBlurred(0.891241, 0.125256, 19.153, -0.125256, 0.891241, 160.86, 0, 0, 1);

// The base photograph's name behind a UTF-8 byte-order mark, which tavrin skips at the start of
// its input.
std::string const kMarkedBase = "\xEF\xBB\xBF"
                                "base.pgm";

// How tavrin-match begins a refusal, after the photograph's name and " : " or " est ".
std::string const kRefused = "refus\xE9"
                             "e, ";

// What name's line states: A', B' and the probable errors at A', at B' and at the far corners,
// in pixels ("erreur probable : A' 0,24 px, B' 0,25 px, aux coins 0,6 px"); -1 where absent.
struct Stated {
    cv::Point2d a, b;
    std::array<double, 3> error{-1, -1, -1};
};

// name's line of err, which must state A' and B' within `within` pixels of the truth a and b,
// and errors there that cover the true ones.
Stated expectFound(std::string const& err, std::string const& name, cv::Point2d a, cv::Point2d b,
                   double within)
{
    std::string const line = err.substr(std::min(err.find(name + " : A'"), err.size()));
    Stated s;
    // The first colon after B' is the errors' (a line without them fails to match the next line's
    // decimal points); v, their units and decimals.
    std::string const shape = name + " : A' %lf,%lf B' %lf,%lf%*[^:]: A' %d,%d px, B' %d,%d px, "
                                     "aux coins %d,%d px";
    int v[6] = {};
    if (std::sscanf(line.c_str(), shape.c_str(), &s.a.x, &s.a.y, &s.b.x, &s.b.y, v, v + 1, v + 2,
                    v + 3, v + 4, v + 5) == 10)
        s.error = {v[0] + v[1] / 100.0, v[2] + v[3] / 100.0, v[4] + v[5] / 10.0};
    EXPECT_LE(cv::norm(s.a - a), within) << name << ": " << err;
    EXPECT_LE(cv::norm(s.b - b), within) << name << ": " << err;
    EXPECT_GE(s.error[0], cv::norm(s.a - a)) << err;
    EXPECT_GE(s.error[1], cv::norm(s.b - b)) << err;
    return s;
}

// The sample series and, beside it, the base photograph turned half a turn (its pixels in reverse
// order) and halved (each 2 x 2 block averaged), its top 400 rows; the base seen from another angle
// (perspective.pgm, through kSeen) and turned by 8 degrees, scaled 0.9 and blurred by a Gaussian
// of 3 pixels (blurred.pgm, through kBlurred); a chessboard of 40-pixel squares (another scene to
// the base) and a crop of it shifted by 31, 23; the base's middle enlarged 2.5 times (zoomed.pgm:
// base x lies at (x - 500 + 0.5) 2.5 - 0.5); the base twice side by side (twins.pgm) and once
// reduced to 0.85 (small.pgm), alone and beside a grey field (wide.pgm); stripes of 10 pixels over
// the base, alike all along the search while the base beneath them pins the place, and a crop of
// them shifted by 13, 7; photographs too small or too thin to search, or whose header promises
// more than the file holds; the base again as kMarkedBase, and a photograph under a name that
// tavrin cannot read back.
class Match : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = freshFolder();
        writeFile(dir / ".." / "stdin", "");
        run("'" TAVRIN_SAMPLE_BIN "' .");
        std::string const base = readFile(dir / "base.pgm"),
                          pixels = base.substr(base.size() - 1920000);
        cv::Mat_<uchar> const photo = cv::Mat(1200, 1600, CV_8U, const_cast<char*>(pixels.data()));
        cv::Mat turned, seen, blurred, zoomed, twins, small, wide;
        cv::flip(photo, turned, -1);
        cv::resize(turned, turned, {800, 600}, 0, 0, cv::INTER_AREA);
        cv::warpPerspective(photo, seen, kSeen, photo.size());
        cv::warpAffine(photo, blurred, cv::Matx23d(kBlurred.val), photo.size(), cv::INTER_CUBIC);
        cv::GaussianBlur(blurred, blurred, {}, 3);
        cv::resize(photo({500, 400, 640, 480}), zoomed, {1600, 1200}, 0, 0, cv::INTER_CUBIC);
        cv::hconcat(photo, photo, twins);
        cv::resize(photo, small, {1360, 1020}, 0, 0, cv::INTER_AREA);
        cv::hconcat(small, cv::Mat(1020, 1240, CV_8U, cv::Scalar(128)), wide);
        cv::Mat_<uchar> board(480, 640), stripes(1200, 1600);
        board.forEach([](uchar& v, int const* p) {
            v = ((p[1] / 40 + p[0] / 40) % 2 ? 50 : 200) + (p[1] * 7 + p[0] * 13) % 5;
        });
        stripes.forEach([&photo](uchar& v, int const* p) {
            v = cv::saturate_cast<uchar>(0.25 * photo(p[0], p[1]) + (p[1] % 10 < 5 ? 172.5 : 15));
        });
        fs::create_directory(dir / "demi tour");
        cv::Mat const shifted = board({31, 23, 560, 400}).clone(),
                      moved = stripes({13, 7, 1500, 1100}).clone();
        std::pair<char const*, cv::Mat> const made[] = {
            {"turned.pgm", turned},    {"demi tour/turned.pgm", turned},
            {"perspective.pgm", seen}, {"blurred.pgm", blurred},
            {"pattern.pgm", board},    {"stripes.pgm", stripes},
            {"zoomed.pgm", zoomed},    {"twins.pgm", twins},
            {"small.pgm", small},      {"wide.pgm", wide},
            {"shifted.pgm", shifted},  {"stripes-moved.pgm", moved}};
        for (auto const& [name, image] : made)  // each continuous, its rows one after the other
            writeFile(dir / name, cv::format("P5\n%d %d\n255\n", image.cols, image.rows) +
                                      std::string(image.ptr<char>(), image.total()));
        // Headers over the base's first pixels: their size, and how many bytes follow.
        std::tuple<char const*, char const*, int> const headed[] = {
            {"cut.pgm", "1600 400", 640000}, {"huge.pgm", "40000 40000", 1000},
            {"short.pgm", "1600 1200", 983}, {"dot.pgm", "1 1", 1},
            {"line.pgm", "40000 1", 40000},  {"tiny.pgm", "5 5", 25},
            {"strip.pgm", "3000 10", 30000}};
        for (auto const& [name, size, bytes] : headed)
            writeFile(dir / name, "P5\n" + std::string(size) + "\n255\n" + pixels.substr(0, bytes));
        fs::copy_file(dir / "base.pgm", dir / kMarkedBase);
        fs::copy_file(dir / "rotated.pgm", dir / "rotated\n.pgm");
    }
    static void TearDownTestSuite() { fs::remove_all(dir.parent_path()); }

    static Outcome run(std::string const& command) { return runIn(dir, "(" + command + ")"); }

    static inline fs::path dir;
};

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
    std::tuple<std::string, cv::Point2d, cv::Point2d> const rows[] = {
        // name, true A' and B'
        {"demi tour/turned.pgm", {593.25, 420.75}, {181.25, 178.25}},
        {"rotated.pgm", {1115, 435}, {365, 913}},
        {"enlarged.pgm", {123, 338}, {1458, 863}},
        {"reduced.pgm", {412, 186}, {712, 676}}};
    std::string answers = '"' + kMarkedBase + "\"\n412,357\n1236,842\n";
    for (auto const& [name, a, b] : rows) {
        Stated const s = expectFound(o.err, name, a, b, 0.5);
        // The errors it states cover the true ones where they move the base's corners (base
        // pixels), and say something: under this test's tolerance.
        using C = std::complex<double>;
        C const baseA(412, 357), baseB(1236, 842), trueA(a.x, a.y), trueB(b.x, b.y);
        C const offA = C(s.a.x, s.a.y) - trueA, offB = C(s.b.x, s.b.y) - trueB;
        C const along = (offB - offA) / (baseB - baseA);  // how far off, a base pixel from A
        double corners = 0;
        for (C const p : {C(0, 0), C(1599, 0), C(0, 1199), C(1599, 1199)})
            corners = std::max(corners, std::abs(offA + (p - baseA) * along));
        EXPECT_GE(s.error[2], corners * std::abs(baseB - baseA) / std::abs(trueB - trueA)) << o.err;
        EXPECT_LE(std::max(s.error[0], s.error[1]), 0.5) << o.err;
        answers += (name.find(' ') == std::string::npos ? name : '"' + name + '"') + "\n" +
                   std::to_string(std::lround(a.x)) + "," + std::to_string(std::lround(a.y)) +
                   "\n[0-9]+\\.[0-9]{2},[0-9]+\\.[0-9]{2}\n";
    }
    EXPECT_TRUE(std::regex_match(o.out, std::regex(answers + "fin\n"))) << o.out;
    Outcome full = run("'" TAVRIN_MATCH_BIN "' base.pgm 412,357 1236,842 rotated.pgm >/dev/full");
    EXPECT_EQ(full.status, 1);
    std::string const noRoom = "tavrin-match : les r\xE9ponses n'ont pu \xEAtre \xE9"
                               "crites : plus de place sur le disque\n";
    EXPECT_NE(full.err.find(noRoom), std::string::npos) << full.err;
    std::string const tooSmall = " pixels : trop petite pour y chercher les points (41 pixels au "
                                 "moins de chaque c\xF4t\xE9)\n";
    std::pair<std::string, std::string> const refusals[] = {
        {"pattern.pgm", ""},
        {"cut.pgm", "B' tombe hors de la photographie"},
        {"nothing.pgm", "elle ne peut \xEAtre ouverte : fichier ou dossier introuvable\n"},
        {"huge.pgm", "elle est trop grande pour \xEAtre lue : 40000 x 40000 pixels\n"},
        {"short.pgm",
         "elle est incompl\xE8te : 1600 x 1200 pixels annonc\xE9s, 983 octets de pixels\n"},
        {"/dev/zero", "ce n'est pas un fichier ordinaire\n"},
        {"dot.pgm", "1 x 1" + tooSmall},
        {"rotated\n.pgm", "son nom contient un saut de ligne, o\xF9 tavrin arr\xEAte un nom\n"},
        {"line.pgm", "40000 x 1" + tooSmall}};
    for (auto const& [name, reason] : refusals)
        EXPECT_NE(o.err.find(name + " : " + kRefused + reason), std::string::npos) << name << o.err;

    writeFile(dir / "answers.txt", o.out);
    writeFile(dir / "truth.txt", "base.pgm\n412,357\n1236,842\n\"demi tour/turned.pgm\"\n"
                                 "593.25,420.75\n181.25,178.25\nfin\n");
    run("'" TAVRIN_BIN "' <truth.txt; mv Redressement truth");
    EXPECT_EQ(run("cat answers.txt | '" TAVRIN_BIN "'").status, 1);
    EXPECT_TRUE(fs::exists(dir / "Redressement" / kMarkedBase));
    auto mean = [](std::string const& rectified) {
        std::string out = run("'" TAVRIN_DIFF_BIN "' base.pgm '" + rectified + "' map.ppm").out;
        std::replace(out.begin(), out.end(), ',', '.');
        return std::stod(out.substr(out.find("absolu ") + 7));
    };
    // Within 5 % of the truth's mean difference, or the figure's last printed digit.
    EXPECT_LE(mean("Redressement/demi tour/turned.pgm"),
              mean("truth/demi tour/turned.pgm") * 1.05 + 0.01);
}

// Where one similarity does not describe the pair, each point is still found where the
// photograph shows it, or the photograph is refused; never answered far off.
TEST_F(Match, FindsPointsUnderPerspectiveAndBlurAndNeverFarOffOnARepeat)
{
    std::vector<cv::Point2d> seen, blurred;  // the truth
    cv::perspectiveTransform(std::vector<cv::Point2d>{{412, 357}, {1236, 842}}, seen, kSeen);
    cv::perspectiveTransform(std::vector<cv::Point2d>{{800, 300}, {1400, 1000}}, blurred, kBlurred);
    // The base, A and B, the photograph, the true A' and B' and how near; the refusal: none,
    // answered; empty, may be refused; else refused so.
    using Row = std::tuple<char const*, char const*, cv::Point2d, cv::Point2d, double, char const*>;
    Row const rows[] = {
        {"base.pgm 412,357 1236,842", "perspective.pgm", seen[0], seen[1], 1, nullptr},
        {"base.pgm 800,300 1400,1000", "blurred.pgm", blurred[0], blurred[1], 0.25, nullptr},
        {"pattern.pgm 140,120 520,360", "shifted.pgm", {109, 97}, {489, 337}, 2, ""},
        {"stripes.pgm 412,357 1236,842", "stripes-moved.pgm", {399, 350}, {1223, 835}, 1, nullptr},
        // A and B on either copy: each is found where it looks like itself, and the
        // segment between them is no segment of the scene.
        {"twins.pgm 412,357 2836,842", "wide.pgm", {}, {}, 0, "A'B' ne s'accorde pas"}};
    for (auto const& [arguments, photo, a, b, within, refusal] : rows) {
        Outcome const o = run("'" TAVRIN_MATCH_BIN "' " + std::string(arguments) + " " + photo);
        if (refusal != nullptr && *refusal != '\0')
            EXPECT_NE(o.err.find(refusal), std::string::npos) << o.err;
        else if (refusal == nullptr || o.err.find(" : " + kRefused) == std::string::npos)
            expectFound(o.err, photo, a, b, within);
    }
}

// --pick chooses two points far apart in the part of the base that the photograph shows,
// even where the base holds that scene twice. Base pixel x lies at k x + c in the
// photograph (x within its own copy of the scene, 1600 pixels wide).
// With --machine, each photograph's line is the fixed one that callers read, in place of
// the French; the answers stay as they are.
TEST_F(Match, TellsCallersByItsMachineLines)
{
    std::string const given = " base.pgm 412,357 1236,842 rotated.pgm 'no thing.pgm'";
    Outcome const o = run("'" TAVRIN_MATCH_BIN "' --machine" + given);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, run("'" TAVRIN_MATCH_BIN "'" + given).out);
    std::string const place = "[0-9]+\\.[0-9]{2},[0-9]+\\.[0-9]{2}\t";
    EXPECT_TRUE(std::regex_match(
        o.err, std::regex("tavrin-match\tfound\t" + place + place +
                          "0\\.[0-9]{2}\t0\\.[0-9]{2}\t[0-9]\\.[0-9]\trotated\\.pgm\n"
                          "tavrin-match\trefused\telle ne peut \xEAtre ouverte : fichier ou "
                          "dossier introuvable\tno thing\\.pgm\n")))
        << o.err;
}

TEST_F(Match, PicksTwoPointsFarApartThatItFinds)
{
    std::tuple<char const*, char const*, double, double, double, double> const rows[] = {
        {"base.pgm", "turned.pgm", -0.5, 799.25, 599.25, 2000 / 3.0},  // k, cx, cy, how far apart
        {"base.pgm", "zoomed.pgm", 2.5, -1249.25, -999.25, 800 / 3.0},
        {"twins.pgm", "small.pgm", 0.85, -0.075, -0.075, 2000 / 3.0}};
    for (auto const& [base, photo, k, cx, cy, apart] : rows) {
        Outcome o = run("'" TAVRIN_MATCH_BIN "' --pick " + std::string(base) + " " + photo);
        EXPECT_EQ(o.status, 0) << o.err;
        int p[4] = {};     // A and B
        double t[4] = {};  // A' and B'
        std::string const shape =
            std::string(base) + "\n%d,%d\n%d,%d\n" + photo + "\n%lf,%lf\n%lf,%lf\nfin\n";
        int const n = std::sscanf(o.out.c_str(), shape.c_str(), p, p + 1, p + 2, p + 3, t, t + 1,
                                  t + 2, t + 3);
        ASSERT_EQ(n, 8) << o.out << o.err;
        EXPECT_GE(std::hypot(p[0] - p[2], p[1] - p[3]), apart) << o.out;
        for (int i = 0; i < 4; i += 2)  // A' written whole
            EXPECT_LE(std::hypot(t[i] - k * (p[i] % 1600) - cx, t[i + 1] - k * p[i + 1] - cy), 1)
                << o.out << o.err;
    }
}

// Bad usage, status 2 with the usage; a base refused for a reason of its own (too small or too
// thin to search, or each shape of header of tests/p5_headers.txt: what the library reads is
// taken, then refused as too small, or as incomplete where the file lacks pixels; what the
// library refuses is no P5 to tavrin-match either), status 1 with its reason, whole; neither
// answers anything.
TEST_F(Match, BadUsageAndARefusedBaseAnswerNothing)
{
    auto refused = [](std::string const& arguments, int status) {
        Outcome const o = run("timeout -k 5 120 '" TAVRIN_MATCH_BIN "' " + arguments);  // no hang
        EXPECT_EQ(o.out, "") << arguments;
        EXPECT_EQ(o.status, status) << arguments;
        return o.err;
    };
    for (std::string const arguments :
         {"", "base.pgm", "base.pgm 1,1 2,2", "base.pgm '1;1' 2,2 rotated.pgm",
          "base.pgm 5,5 5,5 rotated.pgm", "base.pgm 1,1 9999,2 rotated.pgm", "--pick base.pgm",
          "--frob base.pgm 1,1 2,2 rotated.pgm", "base.pgm -5,-5 2,2 rotated.pgm"}) {
        std::string const err = refused(arguments, 2);
        EXPECT_EQ(err.find("tavrin-match : "), 0u) << err;  // at the start
        if (arguments.find("-5") != std::string::npos) {    // a point, not an option
            EXPECT_EQ(err.find("tavrin-match : A -5,-5 est hors de la photographie de base"), 0u);
        }
        EXPECT_NE(err.find("\nUsage : tavrin-match [--machine] BASE AX,AY BX,BY PHOTO...\n"),
                  std::string::npos)
            << err;
    }
    EXPECT_EQ(refused("tiny.pgm 0,0 4,4 rotated.pgm", 1),
              "tavrin-match : la photographie de base tiny.pgm est refus\xE9"
              "e, 5 x 5 pixels : trop petite pour y chercher les points (6 pixels au moins de "
              "chaque c\xF4t\xE9)\n");
    EXPECT_EQ(refused("--pick strip.pgm rotated.pgm", 1),
              "tavrin-match : la photographie de base strip.pgm est refus\xE9"
              "e, 3000 x 10 pixels : trop mince pour y chercher les points (r\xE9"
              "duite \xE0 1024 pixels de long, elle en aurait 3 de large, 6 au moins)\n");
    std::vector<HeaderShape> const shapes = headerShapes(TAVRIN_P5_HEADERS);
    EXPECT_FALSE(shapes.empty()) << TAVRIN_P5_HEADERS;
    for (HeaderShape const& c : shapes) {
        writeFile(dir / "header.pgm", c.file);
        std::string reason = "3 x 2 pixels : trop petite pour y chercher les points (6 pixels au "
                             "moins de chaque c\xF4t\xE9)\n";
        if (!c.refusal.empty())
            reason = "ce n'est pas une image PGM binaire (P5)\n";
        else if (c.pixels.size() < 6)
            reason = "elle est incompl\xE8te : 3 x 2 pixels annonc\xE9s, " +
                     std::to_string(c.pixels.size()) + " octets de pixels\n";
        EXPECT_EQ(refused("header.pgm 0,0 2,1 photo.pgm", 1),
                  "tavrin-match : la photographie de base header.pgm est " + kRefused + reason)
            << c.what;
    }
}

}  // namespace
