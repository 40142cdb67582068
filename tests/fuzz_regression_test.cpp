// What the fuzz targets in fuzz/ found, and the cases of their seeds that matter,
// kept in the normal suite: the P5 reader and its round trip, the name check's
// format probe, point entry and registration on hostile console text followed by
// the resampling, and the grey and colour conversions on reals without a colour of
// their own.
#include "app/geometry.h"
#include "app/namecheck.h"
#include "app/points.h"
#include "app/resample_fast.h"
#include "colour/ppm.h"
#include "fuzz/points_fixture.h"
#include "image/image.h"
#include "image/matrix.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

double const kInf = std::numeric_limits<double>::infinity();
double const kNaN = std::numeric_limits<double>::quiet_NaN();

// Each test its own folder, removed afterwards.
class Scratch : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tavrin-fuzzreg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
        folder = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string write(char const* name, std::string const& bytes) const
    {
        std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string path(char const* name) const { return (folder / name).string(); }

    static std::string contents(std::string const& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path folder;
};

std::string pixelsOf(IMAGE const& im)
{
    if (im.pix == nullptr)
        return std::string();
    return std::string(reinterpret_cast<char const*>(im.pix),
                       static_cast<std::size_t>(im.width) * static_cast<std::size_t>(im.height));
}

// Runs the action with the console's stdout and stderr captured and dropped.
template <class Action> void quietly(Action action)
{
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    action();
    std::fflush(stdout);
    std::fflush(stderr);
    (void)testing::internal::GetCapturedStderr();
    (void)testing::internal::GetCapturedStdout();
}

// ---------------------------------------------------------------------------
// The P5 reader: what a file gives, and that writing it and reading the written
// file back gives the same size and pixels.

struct ReaderCase {
    char const* name;
    std::string file;
    int width;
    int height;
    std::string pixels;
};

void PrintTo(ReaderCase const& c, std::ostream* os)
{
    *os << c.name;
}

class P5Reader : public Scratch, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(P5Reader, ReadsAndRoundTrips)
{
    ReaderCase const& c = GetParam();
    std::string const input = write("input.pgm", c.file);
    std::string const output = path("output.pgm");
    quietly([&] {
        IMAGE read(input.c_str());
        EXPECT_EQ(read.width, c.width);
        EXPECT_EQ(read.height, c.height);
        EXPECT_EQ(pixelsOf(read), c.pixels);
        EXPECT_EQ(read.pix == nullptr, c.pixels.empty());

        read.writeIMAGE(output.c_str());
        IMAGE again(output.c_str());
        EXPECT_EQ(again.width, c.width);
        EXPECT_EQ(again.height, c.height);
        EXPECT_EQ(pixelsOf(again), c.pixels);
    });
    std::string const header =
        "P5\n" + std::to_string(c.width) + " " + std::to_string(c.height) + "\n255\n";
    EXPECT_EQ(contents(output), header + c.pixels);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Seeds, P5Reader,
    ::testing::Values(
        ReaderCase{"LineFeedHashNulAndCarriageReturnPixels",
                   "P5\n3 2\n255\n\n#\0\xFF\rP"s, 3, 2, "\n#\0\xFF\rP"s},
        ReaderCase{"CommentBeforeTheSize", "P5\n# grey\n4 1\n255\n\x01\x02\x03\xFA"s, 4, 1,
                   "\x01\x02\x03\xFA"s},
        ReaderCase{"ShortBlockEndsInZeros", "P5\n5 3\n255\n\x09\x08\x07\x06"s, 5, 3,
                   "\x09\x08\x07\x06"s + std::string(11, '\0')},
        ReaderCase{"SignsAndLeadingZeros", "P5\n+0003 002\n255\n()*+,-"s, 3, 2, "()*+,-"s},
        ReaderCase{"CarriageReturnLineEnds", "P5\r\n2 2\r\n255\r\n\r\n\r\n"s, 2, 2, "\r\n\r\n"s},
        ReaderCase{"ZeroSideIsEmpty", "P5\n0 7\n255\n"s, 0, 0, ""s},
        ReaderCase{"ProductPastTheLimitIsEmpty", "P5\n46341 46341\n255\n"s, 0, 0, ""s},
        ReaderCase{"NumberBeyondIntIsEmpty", "P5\n2147483648 1\n255\n\x01"s, 0, 0, ""s},
        ReaderCase{"PlainPgmIsRefused", "P2\n2 2\n255\n1 2 3 4\n"s, 0, 0, ""s},
        ReaderCase{"EmptyFileIsRefused", ""s, 0, 0, ""s}),
    [](::testing::TestParamInfo<ReaderCase> const& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The name check's format probe: yes exactly when a piece of the file (a line, or
// 29 bytes of a longer one) begins with "P5".

struct ProbeCase {
    char const* name;
    std::string file;
    bool passes;
};

void PrintTo(ProbeCase const& c, std::ostream* os)
{
    *os << c.name;
}

class FormatProbe : public Scratch, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(FormatProbe, AnswersByThePiecesOfTheFile)
{
    std::string const file = write("probe.pgm", GetParam().file);
    bool passes = false;
    quietly([&] { passes = passesNameCheck(file.c_str()); });
    EXPECT_EQ(passes, GetParam().passes);
}

INSTANTIATE_TEST_SUITE_P(
    Seeds, FormatProbe,
    ::testing::Values(ProbeCase{"FirstLine", "P5\n1 1\n255\n\x80"s, true},
                      ProbeCase{"LaterLine", "# note\nP5\n"s, true},
                      ProbeCase{"SecondPieceOfALongLine", std::string(29, 'x') + "P5 ...\n", true},
                      ProbeCase{"MagicCutByThePieceEnd", std::string(28, 'y') + "P5\n", false},
                      ProbeCase{"OtherMagic", "P6\n1 1\n255\n\0\0\0"s, false},
                      ProbeCase{"MagicCutByLineFeeds", "P\n5\nP"s, false},
                      ProbeCase{"EmptyFile", ""s, false}),
    [](::testing::TestParamInfo<ProbeCase> const& info) { return info.param.name; });

TEST_F(Scratch, ProbeRefusesAFolderAndAMissingFile)
{
    bool folderPasses = true;
    bool missingPasses = true;
    quietly([&] {
        folderPasses = passesNameCheck(folder.string().c_str());
        missingPasses = passesNameCheck(path("missing.pgm").c_str());
    });
    EXPECT_FALSE(folderPasses);
    EXPECT_FALSE(missingPasses);
}

// ---------------------------------------------------------------------------
// Point entry on hostile console text, the registration, and the resampling of a
// 23 x 17 further image into a 31 x 19 canvas, as the points target does it.

using fuzz::kCanvasHeight;
using fuzz::kCanvasWidth;

struct Typed {
    Point a;
    Point b;
    Point a2;
    Point b2;
};

class ConsolePoints : public Scratch {
protected:
    // The text is the whole of stdin while the four points are read.
    Typed readFrom(std::string const& text)
    {
        std::string const console = write("console.txt", text);
        Typed p{};
        EXPECT_NE(std::freopen(console.c_str(), "rb", stdin), nullptr);
        quietly([&] {
            readPoints(ImageKind::base, p.a, p.b);
            readPoints(ImageKind::further, p.a2, p.b2);
        });
        EXPECT_NE(std::freopen("/dev/null", "rb", stdin), nullptr);
        return p;
    }

    // Resamples as the program does and checks every path against the literal
    // one; returns the literal image.
    static std::unique_ptr<IMAGE> resampled(Typed const& p)
    {
        auto const further = fuzz::makeFurther();
        Segment const base = measureSegment(p.a, p.b);
        Segment const s = measureSegment(p.a2, p.b2);
        Transform const t =
            registerIMAGE(base.bearing, base.distance, p.a2, s.bearing, s.distance);
        auto literal = resampleIMAGELiteral(*further, p.a.x, p.a.y, kCanvasWidth, kCanvasHeight, t);
        auto fast = resampleIMAGE(*further, p.a.x, p.a.y, kCanvasWidth, kCanvasHeight, t);
        EXPECT_EQ(literal->width, kCanvasWidth);
        EXPECT_EQ(literal->height, kCanvasHeight);
        EXPECT_EQ(pixelsOf(*fast), pixelsOf(*literal)) << "resampleIMAGE";
        for (ResampleKernel kernel : {ResampleKernel::baseline, ResampleKernel::avx2}) {
            if (!resampleKernelAvailable(kernel))
                continue;
            IMAGE out(kCanvasWidth, kCanvasHeight);
            resampleInto(out, *further, p.a.x, p.a.y, t, kernel);
            EXPECT_EQ(pixelsOf(out), pixelsOf(*literal))
                << "row-loop variant " << static_cast<int>(kernel);
        }
        return literal;
    }

    // Every pixel is the further image's first one.
    static std::string allFirstPixel()
    {
        return std::string(std::size_t{kCanvasWidth} * kCanvasHeight, '\x01');
    }
};

// Equal values with equal signs, so that -0 is told from 0.
bool same(Point p, float x, float y)
{
    return p.x == x && p.y == y && std::signbit(p.x) == std::signbit(x) &&
           std::signbit(p.y) == std::signbit(y);
}

std::string const kRest = "28,16\n3,2\n20,14\n";

TEST_F(ConsolePoints, NotANumberAndInfinityAsBaseA)
{
    Typed p = readFrom("nan,inf\n" + kRest);
    EXPECT_TRUE(std::isnan(p.a.x));
    EXPECT_EQ(p.a.y, std::numeric_limits<float>::infinity());
    EXPECT_TRUE(same(p.b, 28, 16) && same(p.a2, 3, 2) && same(p.b2, 20, 14));
    // Base A is not a number, so no output pixel has a source position.
    EXPECT_EQ(pixelsOf(*resampled(p)), allFirstPixel());
}

TEST_F(ConsolePoints, OverflowingCoordinateIsInfinite)
{
    Typed p = readFrom("1e39,1\n" + kRest);
    EXPECT_TRUE(same(p.a, std::numeric_limits<float>::infinity(), 1));
    // The base distance and the scale are infinite, every radius inf / inf.
    EXPECT_EQ(pixelsOf(*resampled(p)), allFirstPixel());
}

TEST_F(ConsolePoints, NegativeZerosAsFurtherA)
{
    Typed p = readFrom("2,3\n28,16\n-0,-0\n20,14\n");
    EXPECT_TRUE(same(p.a2, -0.0f, -0.0f));
    resampled(p);
}

TEST_F(ConsolePoints, DenormalAsFurtherB)
{
    Typed p = readFrom("2,3\n28,16\n3,2\n1e-45,3\n");
    EXPECT_TRUE(same(p.b2, std::numeric_limits<float>::denorm_min(), 3));
    resampled(p);
}

TEST_F(ConsolePoints, DenormalJustWestOfABearsAFullTurn)
{
    // dy = 0 counts as 0.01 and the arctangent of 1.4e-43 vanishes beside 6.283185308:
    // the bearing is the full turn itself, the one value at the top of its range.
    Typed p = readFrom("0,0\n-1e-45,0\n3,2\n20,14\n");
    EXPECT_TRUE(same(p.b, -std::numeric_limits<float>::denorm_min(), 0));
    EXPECT_EQ(measureSegment(p.a, p.b).bearing, kFullTurn);
    resampled(p);
}

TEST_F(ConsolePoints, HexadecimalIsANumber)
{
    Typed p = readFrom("0x10,2\n" + kRest);
    EXPECT_TRUE(same(p.a, 16, 2));
    resampled(p);
}

TEST_F(ConsolePoints, FurtherABeyondTheIntRangeSaturates)
{
    Typed p = readFrom("2,3\n28,16\n3e9,-3e9\n20,14\n");
    EXPECT_TRUE(same(p.a2, 3e9f, -3e9f));
    Segment const base = measureSegment(p.a, p.b);
    Segment const s = measureSegment(p.a2, p.b2);
    Transform const t = registerIMAGE(base.bearing, base.distance, p.a2, s.bearing, s.distance);
    EXPECT_EQ(t.anchorX, 2147483647.0);
    EXPECT_EQ(t.anchorY, -2147483648.0);
    // Every position lands some 10^8 pixels or more away from the further image.
    EXPECT_EQ(pixelsOf(*resampled(p)), allFirstPixel());
}

TEST_F(ConsolePoints, CommaAloneKeepsEveryPreset)
{
    // The comma stops the first number and stays in the input, so every read stops there.
    Typed p = readFrom(",\n1,\n3");
    EXPECT_TRUE(same(p.a, 597, 578) && same(p.b, 2779, 1846));
    EXPECT_TRUE(same(p.a2, 162, 3070) && same(p.b2, 2955, 1468));
    resampled(p);
}

TEST_F(ConsolePoints, MissingSecondCoordinateKeepsItsPreset)
{
    Typed p = readFrom("1,");
    EXPECT_TRUE(same(p.a, 1, 578) && same(p.b, 2779, 1846));
    EXPECT_TRUE(same(p.a2, 162, 3070) && same(p.b2, 2955, 1468));
    resampled(p);
}

TEST_F(ConsolePoints, EndOfInputKeepsEveryPreset)
{
    Typed p = readFrom("");
    EXPECT_TRUE(same(p.a, 597, 578) && same(p.b, 2779, 1846));
    EXPECT_TRUE(same(p.a2, 162, 3070) && same(p.b2, 2955, 1468));
    resampled(p);
}

TEST_F(ConsolePoints, CoincidentPointsGiveNoScale)
{
    Typed p = readFrom("5,5\n5,5\n5,5\n5,5\n");
    // Both distances are 0: the scale is 0 / 0 and every radius NaN.
    EXPECT_EQ(pixelsOf(*resampled(p)), allFirstPixel());
}

// ---------------------------------------------------------------------------
// The grey and colour conversions.

// Found by the colour target (a timeout): a matrix of INT_MAX rows and no column
// is well formed and has no element, yet its grey image walked all its rows.
TEST(GreyImage, ManyRowsWithoutColumnsHaveNoPixelToVisit)
{
    mat_tpl<double> m(INT_MAX, 0);
    ASSERT_EQ(m.rows, INT_MAX);
    ASSERT_EQ(m.cols, 0);
    IMAGE grey(m, 255.0);
    EXPECT_EQ(grey.width, 0);
    EXPECT_EQ(grey.height, INT_MAX);
    EXPECT_EQ(grey.pix, nullptr);
}

class ColourFiles : public Scratch {
protected:
    std::string matrixFile(mat_tpl<double> const& m)
    {
        std::string const out = path("matrix.ppm");
        matrice_to_ColorImage(m, out.c_str());
        return contents(out);
    }
};

// Elements listed row by row.
mat_tpl<double> matrix(int rows, int cols, std::initializer_list<double> elements)
{
    mat_tpl<double> m(rows, cols);
    int k = 0;
    for (double e : elements) {
        m(k / cols, k % cols) = e;
        ++k;
    }
    return m;
}

TEST_F(ColourFiles, ZeroLargestElementWithNegatives)
{
    // M = 0: 0 and -0 are the palette's 0, the negatives -infinity.
    EXPECT_EQ(matrixFile(matrix(2, 2, {0.0, -3.0, -0.0, -1.0})),
              "P6\n2 2\n255\n\x27\0\x9F\x27\0\0\x27\0\x9F\x27\0\0"s);
}

TEST_F(ColourFiles, InfiniteLargestElement)
{
    // M = +infinity: the infinities are black, the finite elements all scale to 0.
    EXPECT_EQ(matrixFile(matrix(2, 2, {kInf, 3.0, -53.0, -kInf})),
              "P6\n2 2\n255\n\0\0\0\x27\0\x9F\x27\0\x9F\0\0\0"s);
}

TEST_F(ColourFiles, NotANumberFirst)
{
    // M is NaN: every non-zero element is black, a zero one the palette's 0.
    EXPECT_EQ(matrixFile(matrix(1, 4, {kNaN, 5.0, -53.0, 0.0})),
              "P6\n4 1\n255\n\0\0\0\0\0\0\0\0\0\x27\0\x9F"s);
}

TEST_F(ColourFiles, ShapeBeyondTheStorageIsWrittenEmpty)
{
    mat_tpl<double> m = matrix(2, 3, {1, 2, 3, 4, 5, 6});
    m.rows = -1;
    m.cols = 5;
    EXPECT_EQ(matrixFile(m), "P6\n0 0\n255\n"s);
    m.rows = 3;
    m.cols = 3;
    EXPECT_EQ(matrixFile(m), "P6\n0 0\n255\n"s);
}

TEST_F(ColourFiles, GreyImageOfRowsWithoutColumns)
{
    mat_tpl<double> m(5, 0);
    IMAGE grey(m, kNaN);
    std::string const out = path("grey.ppm");
    writeIMAGE_2(grey, out.c_str());
    EXPECT_EQ(contents(out), "P6\n0 5\n255\n"s);
}

}  // namespace
