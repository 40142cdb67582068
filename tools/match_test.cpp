// tavrin-match, run as built on the sample series and on photographs made here from its
// base photograph with a known turn and scale: the points it finds, what it refuses,
// its answers piped into tavrin, its usage errors and its man page.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

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

// The sample series, and beside it the base photograph turned half a turn (its pixels
// in reverse order), halved (each 2 x 2 block averaged), cut to its left 600 columns,
// and a pattern of another scene, all 1600 x 1200 unless halved or cut.
class Match : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = fs::temp_directory_path() / ("tavrin-match-" + std::to_string(getpid()));
        ASSERT_EQ(
            std::system(("'" TAVRIN_SAMPLE_BIN "' '" + dir.string() + "' >/dev/null").c_str()), 0);
        std::string const base = readFile(dir / "base.pgm");
        std::string const pixels = base.substr(base.size() - 1600 * 1200);
        std::string turned(pixels.rbegin(), pixels.rend()), half, cut, other;
        for (int y = 0; y < 1200; y += 2)
            for (int x = 0; x < 1600; x += 2)
                half += static_cast<char>((static_cast<unsigned char>(pixels[y * 1600 + x]) +
                                           static_cast<unsigned char>(pixels[y * 1600 + x + 1]) +
                                           static_cast<unsigned char>(pixels[y * 1600 + x + 1600]) +
                                           static_cast<unsigned char>(pixels[y * 1600 + x + 1601]) +
                                           2) /
                                          4);
        for (int y = 0; y < 1200; ++y)
            cut += pixels.substr(static_cast<std::size_t>(y) * 1600, 600);
        for (int y = 0; y < 1200; ++y)
            for (int x = 0; x < 1600; ++x)
                other += static_cast<char>(
                    static_cast<int>(128 + 60 * std::sin(x * 0.05 + std::sin(y * 0.031) * 3) *
                                               std::cos(y * 0.043 + x * 0.002)));
        std::ofstream(dir / "turned.pgm", std::ios::binary) << "P5\n1600 1200\n255\n" << turned;
        std::ofstream(dir / "half.pgm", std::ios::binary) << "P5\n800 600\n255\n" << half;
        std::ofstream(dir / "cut.pgm", std::ios::binary) << "P5\n600 1200\n255\n" << cut;
        std::ofstream(dir / "other.pgm", std::ios::binary) << "P5\n1600 1200\n255\n" << other;
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }

    static Outcome run(std::string const& command)
    {
        int const raw = std::system(
            ("cd '" + dir.string() + "' && (" + command + ") </dev/null >stdout.txt 2>stderr.txt")
                .c_str());
        return {readFile(dir / "stdout.txt"), readFile(dir / "stderr.txt"),
                WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
    }

    static fs::path dir;
};
fs::path Match::dir;

// The turn is exact and the halving puts base pixel x at (x - 0.5) / 2; the sample
// series' landmarks are those of landmarks.txt.
TEST_F(Match, FindsKnownPointsWithinHalfAPixel)
{
    struct Row {
        char const* name;
        double ax, ay, bx, by;
    } const rows[] = {{"turned.pgm", 1187, 842, 363, 357},
                      {"half.pgm", 205.75, 178.25, 617.75, 420.75},
                      {"rotated.pgm", 1115, 435, 365, 913},
                      {"enlarged.pgm", 123, 338, 1458, 863},
                      {"reduced.pgm", 412, 186, 712, 676}};
    for (Row const& r : rows) {
        Outcome o = run("'" TAVRIN_MATCH_BIN "' base.pgm 412,357 1236,842 " + std::string(r.name));
        EXPECT_EQ(o.status, 0) << o.err;
        double ax = 0, ay = 0, bx = 0, by = 0;
        ASSERT_EQ(std::sscanf(o.err.c_str() + std::string(r.name).size(), ": A' %lf,%lf B' %lf,%lf",
                              &ax, &ay, &bx, &by),
                  4)
            << o.err;
        EXPECT_LE(std::hypot(ax - r.ax, ay - r.ay), 0.5) << r.name << ": " << o.err;
        EXPECT_LE(std::hypot(bx - r.bx, by - r.by), 0.5) << r.name << ": " << o.err;
        // A' written whole, as tavrin uses it; the series ends at a name that is not there.
        std::string const head = "base.pgm\n412,357\n1236,842\n" + std::string(r.name) + "\n" +
                                 std::to_string(std::lround(r.ax)) + "," +
                                 std::to_string(std::lround(r.ay)) + "\n";
        EXPECT_EQ(o.out.substr(0, head.size()), head);
        EXPECT_EQ(o.out.substr(o.out.size() - 5), "\nfin\n");
    }
}

TEST_F(Match, RefusesAnotherSceneAndTooLittleOverlapAndNamesTheRest)
{
    Outcome o = run("'" TAVRIN_MATCH_BIN
                    "' base.pgm 412,357 1236,842 other.pgm rotated.pgm cut.pgm nothing.pgm");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out.find("other.pgm"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("cut.pgm"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.rfind("base.pgm\n412,357\n1236,842\nrotated.pgm\n1115,435\n", 0), 0u) << o.out;
    for (char const* line :
         {"other.pgm: refused: ", "cut.pgm: refused: B' falls outside the photograph",
          "nothing.pgm: refused: cannot be opened: No such file or directory\n"})
        EXPECT_NE(o.err.find(line), std::string::npos) << line << " in\n" << o.err;
}

// Piped into tavrin, the answers rectify as well as the true points typed by hand.
TEST_F(Match, AnswersPipedIntoTavrinRectifyAsWellAsTheTruePoints)
{
    fs::create_directory(dir / "true");
    for (char const* f : {"base.pgm", "rotated.pgm", "reduced.pgm"})
        fs::copy_file(dir / f, dir / "true" / f, fs::copy_options::overwrite_existing);
    run("cd true && printf 'base.pgm\\n412,357\\n1236,842\\nrotated.pgm\\n1115,435\\n365,913\\n"
        "reduced.pgm\\n412,186\\n712,676\\nfin\\n' | '" TAVRIN_BIN "'");
    EXPECT_EQ(run("'" TAVRIN_MATCH_BIN
                  "' base.pgm 412,357 1236,842 rotated.pgm reduced.pgm | '" TAVRIN_BIN "'")
                  .status,
              1);
    for (char const* f : {"rotated.pgm", "reduced.pgm"}) {
        auto mean = [&](std::string const& rectified) {
            Outcome o = run("'" TAVRIN_DIFF_BIN "' base.pgm " + rectified + " map.ppm");
            return std::atof(o.out.substr(o.out.find("difference ") + 11).c_str());
        };
        double const truth = mean("true/Redressement/" + std::string(f));
        EXPECT_GT(truth, 0);
        EXPECT_LE(mean("Redressement/" + std::string(f)), truth * 1.05) << f;
    }
}

TEST_F(Match, PicksTwoPointsFarApartThatItFinds)
{
    Outcome o = run("'" TAVRIN_MATCH_BIN "' --pick base.pgm turned.pgm");
    EXPECT_EQ(o.status, 0) << o.err;
    int ax, ay, bx, by;
    double tax, tay, tbx, tby;
    ASSERT_EQ(std::sscanf(o.out.c_str(),
                          "base.pgm\n%d,%d\n%d,%d\nturned.pgm\n%lf,%lf\n%lf,%lf\nfin\n", &ax, &ay,
                          &bx, &by, &tax, &tay, &tbx, &tby),
              8)
        << o.out;
    EXPECT_GE(std::hypot(ax - bx, ay - by), 2000 / 3.0);
    EXPECT_EQ(tax, 1599 - ax);
    EXPECT_EQ(tay, 1199 - ay);
    EXPECT_LE(std::hypot(tbx - (1599 - bx), tby - (1199 - by)), 0.5) << o.out;
}

TEST_F(Match, BadUsageIsStatusTwoWithTheUsage)
{
    for (char const* arguments :
         {"", "base.pgm", "base.pgm 1,1 2,2", "base.pgm '1;1' 2,2 rotated.pgm",
          "base.pgm 5,5 5,5 rotated.pgm", "base.pgm 1,1 9999,2 rotated.pgm", "--pick base.pgm",
          "--frob base.pgm 1,1 2,2 rotated.pgm"}) {
        Outcome o = run("'" TAVRIN_MATCH_BIN "' " + std::string(arguments));
        EXPECT_EQ(o.status, 2) << arguments;
        EXPECT_EQ(o.out, "") << arguments;
        EXPECT_EQ(o.err.rfind("tavrin-match: ", 0), 0u) << o.err;
        EXPECT_NE(o.err.find("\nusage: tavrin-match BASE AX,AY BX,BY FURTHER...\n"),
                  std::string::npos)
            << o.err;
    }
}

TEST_F(Match, ManPageRendersWithoutWarnings)
{
    if (std::system("command -v man >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "man is not installed";
    Outcome o = run("MANWIDTH=80 man --warnings -l '" TAVRIN_MATCH_MAN_PAGE "'");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_NE(o.out.find("tavrin-match"), std::string::npos);
}

}  // namespace
