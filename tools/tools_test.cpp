// The demo's companions, run as built: tavrin-diff's exact bytes on tiny images made
// here, its usage and error paths; tavrin-sample's landmarks, determinism and errors;
// and the man page, which must render without a warning.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    std::string out;
    std::string err;
    int status;
};

std::string readFile(fs::path const& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(fs::path const& p, std::string const& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

// A P5 file built byte by byte, not by the library.
std::string p5(int w, int h, std::initializer_list<int> pixels)
{
    std::string bytes = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int v : pixels)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

std::string p6(char const* header, std::initializer_list<int> bytes)
{
    std::string out(header);
    for (int b : bytes)
        out.push_back(static_cast<char>(b));
    return out;
}

// Each test in a folder of its own, removed afterwards.
class Folder : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tavrin-tools-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
        dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // Runs the command line in the folder; arguments are quoted by the caller.
    Outcome run(std::string const& program, std::string const& arguments)
    {
        std::string const command = "cd '" + dir.string() + "' && '" + program + "' " +
                                    arguments + " </dev/null >stdout.txt 2>stderr.txt";
        int const raw = std::system(command.c_str());
        Outcome o{readFile(dir / "stdout.txt"), readFile(dir / "stderr.txt"),
                  WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
        fs::remove(dir / "stdout.txt");
        fs::remove(dir / "stderr.txt");
        return o;
    }

    Outcome diff(std::string const& arguments) { return run(TAVRIN_DIFF_BIN, arguments); }

    fs::path dir;
};

// ------------------------------------------------------------------ tavrin-diff

// Base and rectified, 3 x 2. Absolute differences, row by row: 0 5 10 / 10 0 5, so the
// largest is 10 and the palette's worked values apply: 10 is (255, 0, 0), 5 is
// (0, 207, 25), 0 is (39, 0, 159); a pixel outside the cover is (39, 0, 0).
class DiffTiny : public Folder {
protected:
    void SetUp() override
    {
        Folder::SetUp();
        writeFile(dir / "base.pgm", p5(3, 2, {10, 20, 30, 40, 50, 60}));
        writeFile(dir / "rect.pgm", p5(3, 2, {10, 25, 40, 50, 50, 55}));
    }
};

TEST_F(DiffTiny, WholeFrameWhenNoFurtherImageIsNamed)
{
    Outcome o = diff("base.pgm rect.pgm map.ppm");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    // |d| sums to 30 over 6 pixels; 0, 5, 0, 5 are within 8.
    EXPECT_EQ(o.out, "rect.pgm: mean abs difference 5.00, 66.7% within 8 grey levels, over 6 "
                     "pixels (100.0% of the frame)\n");
    EXPECT_EQ(readFile(dir / "map.ppm"),
              p6("P6\n3 2\n255\n", {39, 0, 159, 0, 207, 25, 255, 0, 0,  //
                                    255, 0, 0, 39, 0, 159, 0, 207, 25}));
}

TEST_F(DiffTiny, CountsOnlyWhatTheFurtherImageCoversOnePixelInside)
{
    // A' - A = (1, 1), no turn, no scale: base (x, y) lies at (x + 1, y + 1) in a 4 x 4
    // image, whose pixels 1 and 2 are one pixel inside; column 2 falls out.
    writeFile(dir / "further.pgm", p5(4, 4, {9, 8, 7, 6, 5, 4, 3, 2, 1, 2, 3, 4, 5, 6, 7, 8}));
    Outcome o = diff("base.pgm rect.pgm map.ppm further.pgm 0,0 2,0 1,1 3,1");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    // Covered: 0 5 / 10 0, mean 3.75; three of four within 8; 4 of 6 pixels.
    EXPECT_EQ(o.out, "rect.pgm: mean abs difference 3.75, 75.0% within 8 grey levels, over 4 "
                     "pixels (66.7% of the frame)\n");
    EXPECT_EQ(readFile(dir / "map.ppm"),
              p6("P6\n3 2\n255\n", {39, 0, 159, 0, 207, 25, 39, 0, 0,  //
                                    255, 0, 0, 39, 0, 159, 39, 0, 0}));
}

TEST_F(DiffTiny, CoverFollowsTheTurnAndTheScale)
{
    // A -> B is (1, 0) and A' -> B' is (0, 2): scale 2, a quarter turn; base (x, y) lies
    // at (5 - 2y, 1 + 2x) in a 6 x 5 image, inside where 1 <= u <= 4 and 1 <= v <= 3:
    // only (0, 1) at (3, 1) and (1, 1) at (3, 3). The opposite turn would cover nothing.
    writeFile(dir / "further.pgm", p5(6, 5, {}));
    Outcome o = diff("base.pgm rect.pgm map.ppm further.pgm 0,0 1,0 5,1 5,3");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "rect.pgm: mean abs difference 5.00, 50.0% within 8 grey levels, over 2 "
                     "pixels (33.3% of the frame)\n");
    EXPECT_EQ(readFile(dir / "map.ppm"),
              p6("P6\n3 2\n255\n", {39, 0, 0, 39, 0, 0, 39, 0, 0,  //
                                    255, 0, 0, 39, 0, 159, 39, 0, 0}));
}

TEST_F(DiffTiny, IdenticalImagesGiveZeroAndTheCoverStaysDark)
{
    // No difference at all: the largest is 0, and the uncovered column is still drawn
    // near black, apart from the covered pixels' dark blue.
    writeFile(dir / "further.pgm", p5(4, 4, {}));
    Outcome o = diff("base.pgm base.pgm map.ppm further.pgm 0,0 2,0 1,1 3,1");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "base.pgm: mean abs difference 0.00, 100.0% within 8 grey levels, over "
                     "4 pixels (66.7% of the frame)\n");
    EXPECT_EQ(readFile(dir / "map.ppm"),
              p6("P6\n3 2\n255\n", {39, 0, 159, 39, 0, 159, 39, 0, 0,  //
                                    39, 0, 159, 39, 0, 159, 39, 0, 0}));
}

TEST_F(DiffTiny, HelpGoesToStandardOutput)
{
    Outcome o = diff("--help");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out.rfind("usage: tavrin-diff BASE.pgm RECTIFIED.pgm MAP.ppm "
                          "[FURTHER.pgm A B A' B']\n",
                          0),
              0u)
        << o.out;
}

TEST_F(DiffTiny, AWrongNumberOfArgumentsIsAUsageError)
{
    for (char const* arguments :
         {"", "base.pgm", "base.pgm rect.pgm", "base.pgm rect.pgm map.ppm further.pgm",
          "base.pgm rect.pgm map.ppm f.pgm 0,0 1,0 1,1", "a b c d e f g h i"}) {
        Outcome o = diff(arguments);
        EXPECT_EQ(o.status, 2) << arguments;
        EXPECT_EQ(o.out, "") << arguments;
        EXPECT_EQ(o.err.rfind("tavrin-diff: ", 0), 0u) << arguments << ": " << o.err;
        EXPECT_NE(o.err.find("\nusage: tavrin-diff "), std::string::npos) << o.err;
        EXPECT_FALSE(fs::exists(dir / "map.ppm")) << arguments;
    }
}

TEST_F(DiffTiny, PointsAreTwoFiniteNumbersAndAComma)
{
    writeFile(dir / "further.pgm", p5(4, 4, {}));
    for (char const* point : {"'1;1'", "'1, 1'", "'1 ,1'", "1,1x", "1,", ",1", "1", "nan,1",
                              "1,inf", "1e999,1", "''", "' 1,1'"}) {
        Outcome o = diff(std::string("base.pgm rect.pgm map.ppm further.pgm 0,0 2,0 ") + point +
                         " 3,1");
        EXPECT_EQ(o.status, 2) << point;
        EXPECT_EQ(o.out, "") << point;
        EXPECT_EQ(o.err.rfind("tavrin-diff: point A' must be typed x,y (two numbers and a "
                              "comma, no blank), not '",
                              0),
                  0u)
            << point << ": " << o.err;
        EXPECT_FALSE(fs::exists(dir / "map.ppm")) << point;
    }
    // Signs, fractions and exponents are numbers.
    EXPECT_EQ(diff("base.pgm rect.pgm map.ppm further.pgm 0,0 2,0 +1.0,1e0 3,1").status, 0);
}

TEST_F(DiffTiny, CoincidingControlPointsAreRefused)
{
    writeFile(dir / "further.pgm", p5(4, 4, {}));
    for (char const* points : {"5,5 5,5 1,1 3,1", "0,0 2,0 3,1 3,1"}) {
        Outcome o = diff(std::string("base.pgm rect.pgm map.ppm further.pgm ") + points);
        EXPECT_EQ(o.status, 2) << points;
        EXPECT_EQ(o.err, "tavrin-diff: A and B must be two different points, and so must A' "
                         "and B'\nTry 'tavrin-diff --help'.\n");
        EXPECT_FALSE(fs::exists(dir / "map.ppm"));
    }
}

TEST_F(DiffTiny, AnImageThatCannotBeOpenedIsNamed)
{
    Outcome o = diff("missing.pgm rect.pgm map.ppm");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "tavrin-diff: cannot open missing.pgm: No such file or directory\n");
    EXPECT_FALSE(fs::exists(dir / "map.ppm"));

    o = diff("base.pgm rect.pgm map.ppm missing.pgm 0,0 2,0 1,1 3,1");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "tavrin-diff: cannot open missing.pgm: No such file or directory\n");
}

TEST_F(DiffTiny, AnImageOfAnotherKindIsRefused)
{
    writeFile(dir / "plain.pgm", "P2\n3 2\n255\n1 2 3\n4 5 6\n");
    writeFile(dir / "empty.pgm", "");
    for (char const* name : {"plain.pgm", "empty.pgm"}) {
        Outcome o = diff(std::string("base.pgm ") + name + " map.ppm");
        EXPECT_EQ(o.status, 1) << name;
        EXPECT_EQ(o.err, std::string("tavrin-diff: ") + name +
                             " is not a binary PGM (P5) image\n");
        EXPECT_FALSE(fs::exists(dir / "map.ppm"));
    }
}

TEST_F(DiffTiny, AnUnreadableSizeIsReportedAfterTheLibrarysReason)
{
    writeFile(dir / "bad.pgm", "P5\nthree two\n255\n");
    Outcome o = diff("bad.pgm rect.pgm map.ppm");
    EXPECT_EQ(o.status, 1);
    std::string const tail = "\ntavrin-diff: cannot read the image in bad.pgm\n";
    ASSERT_GE(o.err.size(), tail.size()) << o.err;
    EXPECT_EQ(o.err.substr(o.err.size() - tail.size()), tail) << o.err;
    EXPECT_FALSE(fs::exists(dir / "map.ppm"));
}

TEST_F(DiffTiny, TheRectifiedImageHasTheBaseImagesSize)
{
    writeFile(dir / "wide.pgm", p5(2, 3, {1, 2, 3, 4, 5, 6}));
    Outcome o = diff("base.pgm wide.pgm map.ppm");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "tavrin-diff: wide.pgm is 2 x 3 pixels and base.pgm 3 x 2: a rectified "
                     "image has its base image's size\n");
    EXPECT_FALSE(fs::exists(dir / "map.ppm"));
}

TEST_F(DiffTiny, AFurtherImageThatCoversNothingWritesNoMap)
{
    writeFile(dir / "further.pgm", p5(4, 4, {}));
    Outcome o = diff("base.pgm rect.pgm map.ppm further.pgm 0,0 2,0 100,100 102,100");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "tavrin-diff: further.pgm covers no pixel of the base frame: nothing to "
                     "compare\n");
    EXPECT_FALSE(fs::exists(dir / "map.ppm"));
}

TEST_F(DiffTiny, AMapThatCannotBeWrittenIsAnError)
{
    Outcome o = diff("base.pgm rect.pgm no-such-folder/map.ppm");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    std::string const tail = "tavrin-diff: could not write no-such-folder/map.ppm\n";
    ASSERT_GE(o.err.size(), tail.size()) << o.err;
    EXPECT_EQ(o.err.substr(o.err.size() - tail.size()), tail) << o.err;
}

// ------------------------------------------------------------------ tavrin-sample

struct Grey {
    int width = 0;
    int height = 0;
    std::string pixels;
    int at(int x, int y) const
    {
        return static_cast<unsigned char>(pixels[static_cast<std::size_t>(x + y * width)]);
    }
};

// A P5 file as the sample writes it: "P5\n<w> <h>\n255\n" and the pixels.
Grey readGrey(fs::path const& p)
{
    std::string const bytes = readFile(p);
    std::istringstream header(bytes);
    std::string magic;
    Grey g;
    int maximum = 0;
    header >> magic >> g.width >> g.height >> maximum;
    if (magic != "P5" || maximum != 255)
        return {};
    std::size_t const start = static_cast<std::size_t>(header.tellg()) + 1;
    g.pixels = bytes.substr(start);
    if (g.pixels.size() != static_cast<std::size_t>(g.width) * g.height)
        return {};
    return g;
}

struct Expected {
    char const* name;
    int width;
    int height;
    int ax, ay, bx, by;
    double scale;  // photograph pixels per base pixel
};

// The series as promised: sizes, landmark positions, and about how much each is enlarged.
Expected const kSeries[] = {
    {"base.pgm", 1600, 1200, 412, 357, 1236, 842, 1.0},
    {"rotated.pgm", 1500, 1350, 1115, 435, 365, 913, 0.93},
    {"enlarged.pgm", 1600, 1200, 123, 338, 1458, 863, 1.5},
    {"reduced.pgm", 1100, 850, 412, 186, 712, 676, 0.6},
};

class Sample : public Folder {};

// One run, since the series takes a few seconds to develop; the demo's test checks
// that a second run gives the same bytes.
TEST_F(Sample, WritesFourPhotographsWithTheirLandmarksWhereTheTableSays)
{
    Outcome o = run(TAVRIN_SAMPLE_BIN, "series");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    std::string const table = readFile(dir / "series" / "landmarks.txt");
    EXPECT_EQ(o.out, table);

    // The lines that are not comments: name, A and B, as tavrin's prompts take them.
    std::vector<std::string> rows;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string name, a, b;
        fields >> name >> a >> b;
        rows.push_back(name + " " + a + " " + b);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"base.pgm 412,357 1236,842",
                                              "rotated.pgm 1115,435 365,913",
                                              "enlarged.pgm 123,338 1458,863",
                                              "reduced.pgm 412,186 712,676"}));

    // A is a light disc with a dark cross through its centre, B the reverse: the
    // centre pixel has the cross's colour, and a circle between the cross's middle
    // and the rim mostly the disc's.
    for (Expected const& e : kSeries) {
        Grey g = readGrey(dir / "series" / e.name);
        ASSERT_EQ(g.width, e.width) << e.name;
        ASSERT_EQ(g.height, e.height) << e.name;
        auto circleMean = [&](int cx, int cy) {
            double const r = 18 * e.scale;  // 18 base pixels from the centre
            double sum = 0;
            int const n = 72;
            for (int k = 0; k < n; ++k) {
                double const t = 6.283185307179586 * k / n;
                sum += g.at(cx + static_cast<int>(std::lround(r * std::cos(t))),
                            cy + static_cast<int>(std::lround(r * std::sin(t))));
            }
            return sum / n;
        };
        EXPECT_LT(g.at(e.ax, e.ay), 60) << e.name << ": centre of A";
        EXPECT_LT(g.at(e.ax + 1, e.ay), 60) << e.name << ": the cross of A";
        EXPECT_LT(g.at(e.ax, e.ay - 1), 60) << e.name << ": the cross of A";
        EXPECT_GT(circleMean(e.ax, e.ay), 150) << e.name << ": disc of A";
        EXPECT_GT(g.at(e.bx, e.by), 200) << e.name << ": centre of B";
        EXPECT_LT(circleMean(e.bx, e.by), 110) << e.name << ": disc of B";
    }
}

class SampleArguments : public Folder {};

TEST_F(SampleArguments, UsageErrorsAndAFolderThatCannotBeMade)
{
    Outcome o = run(TAVRIN_SAMPLE_BIN, "a b");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err.rfind("usage: tavrin-sample [FOLDER]\n", 0), 0u) << o.err;
    EXPECT_EQ(run(TAVRIN_SAMPLE_BIN, "-x").status, 2);
    EXPECT_EQ(run(TAVRIN_SAMPLE_BIN, "''").status, 2);

    o = run(TAVRIN_SAMPLE_BIN, "--help");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("usage: tavrin-sample [FOLDER]\n", 0), 0u) << o.out;

    // A folder inside a plain file cannot be made, not even by root.
    writeFile(dir / "plain", "x");
    o = run(TAVRIN_SAMPLE_BIN, "plain/series");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err.rfind("tavrin-sample: cannot make the folder plain/series: ", 0), 0u)
        << o.err;
}

// ------------------------------------------------------------------ the man page

TEST(ManPage, RendersWithoutWarnings)
{
    if (std::system("command -v man >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "man is not installed";
    fs::path const err = fs::temp_directory_path() / ("tavrin-man-" + std::to_string(getpid()));
    std::string const command = std::string("MANWIDTH=80 man --warnings -l '") +
                                TAVRIN_MAN_PAGE + "' 2>'" + err.string() + "'";
    FILE* page = popen(command.c_str(), "r");
    ASSERT_NE(page, nullptr);
    std::string text;
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, page)) > 0;)
        text.append(block, n);
    int const status = pclose(page);
    std::string const warnings = readFile(err);
    fs::remove(err);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(warnings, "");
    for (char const* section : {"NAME", "SYNOPSIS", "THE DIALOGUE", "CONTROL POINTS",
                                "HOW A SERIES ENDS", "OUTPUT FOLDER", "EXIT STATUS",
                                "POSIX AND WINDOWS"})
        EXPECT_NE(text.find(std::string("\n") + section + "\n"), std::string::npos) << section;
}

}  // namespace
