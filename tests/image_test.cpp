// IMAGE: the P5 reader and writer, the size constructor and the clamped getpix.
#include "image/image.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The 3 x 2 pixel block: a line feed, '#', NUL and a carriage return, no two
// bytes alike, so a text-mode or line-wise read of the pixels shows.
const std::string kPixels3x2("\n#\0\xFF\rP", 6);

const std::string kFormatMessage = "\nFormat d'image non support\xE9... <press enter to exit>";

struct Console {
    std::string out;
    std::string err;
};

// Runs the action with stdout and stderr captured. The code writes through C
// stdio, so both streams are flushed before the capture ends.
template <class Action>
Console captureConsole(Action action)
{
    std::fflush(stdout);
    std::fflush(stderr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    action();
    std::fflush(stdout);
    std::fflush(stderr);
    Console c;
    c.err = testing::internal::GetCapturedStderr();
    c.out = testing::internal::GetCapturedStdout();
    return c;
}

std::string pixelsOf(IMAGE const& im)
{
    if (im.pix == nullptr)
        return std::string();
    return std::string(reinterpret_cast<char const*>(im.pix),
                       static_cast<std::size_t>(im.width) * static_cast<std::size_t>(im.height));
}

// The 6 x 5 "F": ink 0xC0, paper 0x20, plus x + 8 * y, so every byte also
// tells where it belongs and a flip, a transpose or an off-by-one shows.
const char* const kF[5] = {"######", "#.....", "####..", "#.....", "#....."};

unsigned char fValue(int x, int y)
{
    return static_cast<unsigned char>((kF[y][x] == '#' ? 0xC0 : 0x20) + x + 8 * y);
}

std::unique_ptr<IMAGE> makeF()
{
    auto im = std::make_unique<IMAGE>(6, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            im->pix[x + y * 6] = fValue(x, y);
    return im;
}

std::string fBytes()
{
    std::string s;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            s += static_cast<char>(fValue(x, y));
    return s;
}

// Each test gets its own folder, removed afterwards.
class ImageFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tavrin-image-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
        dir_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string path(char const* name) const { return (dir_ / name).string(); }

    std::string put(char const* name, std::string const& bytes) const
    {
        std::string p = path(name);
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }

    static std::string contents(std::string const& p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Loads the file, keeping what the reader printed.
    static std::unique_ptr<IMAGE> load(std::string const& p, Console& console)
    {
        std::unique_ptr<IMAGE> im;
        console = captureConsole([&] { im = std::make_unique<IMAGE>(p.c_str()); });
        return im;
    }

    fs::path dir_;
};

// ---------------------------------------------------------------- reader

struct ReadCase {
    const char* name;
    std::string file;
    int width;
    int height;
    std::string pixels;
};

std::string comment(std::size_t bytesWithLineFeed)
{
    return "#" + std::string(bytesWithLineFeed - 2, 'c') + "\n";
}

std::vector<ReadCase> readCases()
{
    std::string const h = "P5\n3 2\n255\n";
    return {
        {"LineFeeds", h + kPixels3x2, 3, 2, kPixels3x2},
        {"CommentAfterEachLine", "P5\n# by hand\n3 2\n# grey\n255\n" + kPixels3x2, 3, 2, kPixels3x2},
        {"SeveralAndBareComments", "P5\n#\n# two\n3 2\n#\n255\n" + kPixels3x2, 3, 2, kPixels3x2},
        {"CrLfLines", "P5\r\n3 2\r\n255\r\n" + kPixels3x2, 3, 2, kPixels3x2},
        {"CrLfComments", "P5\r\n# c\r\n3 2\r\n# d\r\n255\r\n" + kPixels3x2, 3, 2, kPixels3x2},
        {"MaxValue65535", "P5\n3 2\n65535\n" + kPixels3x2, 3, 2, kPixels3x2},
        {"SignedSize", "P5\n+3 +2\n255\n" + kPixels3x2, 3, 2, kPixels3x2},
        {"LeadingZeros", "P5\n003 002\n255\n" + kPixels3x2, 3, 2, kPixels3x2},
        {"SpacesAndTail", "P5\n \t3   2 words\n255\n" + kPixels3x2, 3, 2, kPixels3x2},
        {"RestOfP5LineIgnored", "P5 raw grey\n3 2\n255\n" + kPixels3x2, 3, 2, kPixels3x2},
        {"BytesAfterBlockIgnored", h + kPixels3x2 + "extra", 3, 2, kPixels3x2},
        // 79 bytes with the line feed is still one line.
        {"Comment79Bytes", "P5\n" + comment(79) + "3 2\n255\n" + kPixels3x2, 3, 2, kPixels3x2},
        // A 100-byte comment: the read stops after 79 bytes, and the 21 left over
        // do not begin with '#', so they are the size line.
        {"Comment100BytesRestIsSize",
         "P5\n#" + std::string(78, 'c') + "3 2 " + std::string(16, 'c') + "\n255\n" + kPixels3x2,
         3, 2, kPixels3x2},
        // Size and maximum on one line: the first piece of the block (its leading
        // line feed) serves as the maximum line, and the block shifts by one byte.
        {"SizeAndMaxOnOneLine", "P5\n3 2 255\n" + kPixels3x2, 3, 2,
         kPixels3x2.substr(1) + std::string(1, '\0')},
        // Short block: the size stays, the bytes missing are 0.
        {"BlockTwoBytesShort", h + kPixels3x2.substr(0, 4), 3, 2,
         kPixels3x2.substr(0, 4) + std::string(2, '\0')},
        {"EndsAfterMaxLine", h, 3, 2, std::string(6, '\0')},
        {"EndsAfterSizeLine", "P5\n3 2\n", 3, 2, std::string(6, '\0')},
        {"SixByFiveF", "P5\n6 5\n255\n" + fBytes(), 6, 5, fBytes()},
    };
}

class ReadP5 : public ImageFileTest, public testing::WithParamInterface<ReadCase> {};

TEST_P(ReadP5, GivesTheImageAndSaysNothing)
{
    ReadCase const& c = GetParam();
    Console console;
    auto im = load(put("in.pgm", c.file), console);
    EXPECT_EQ(im->width, c.width);
    EXPECT_EQ(im->height, c.height);
    ASSERT_NE(im->pix, nullptr);
    EXPECT_EQ(pixelsOf(*im), c.pixels);
    EXPECT_EQ(console.out, "");
    EXPECT_EQ(console.err, "");
}

INSTANTIATE_TEST_SUITE_P(Files, ReadP5, testing::ValuesIn(readCases()),
                         [](testing::TestParamInfo<ReadCase> const& i) { return std::string(i.param.name); });

TEST_F(ImageFileTest, PixelTwoOneIsTheSixthByte)
{
    Console console;
    auto im = load(put("in.pgm", "P5\n3 2\n255\n" + kPixels3x2), console);
    ASSERT_EQ(im->width, 3);
    EXPECT_EQ(*im->getpix(2, 1), 'P');
    EXPECT_EQ(*im->getpix(0, 1), 0xFF);
}

// A size line that does not give two positive numbers whose product fits an int:
// the empty image, nothing allocated, and a word on stderr.
struct BadCase {
    const char* name;
    std::string file;
};

std::vector<BadCase> badSizeCases()
{
    return {
        {"NoNumber", "P5\nabc\n255\n" + kPixels3x2},
        {"EmptyLine", "P5\n\n255\n" + kPixels3x2},
        {"OneNumber", "P5\n3\n2\n255\n" + kPixels3x2},
        {"ZeroWidth", "P5\n0 2\n255\n" + kPixels3x2},
        {"ZeroHeight", "P5\n3 0\n255\n" + kPixels3x2},
        {"NegativeWidth", "P5\n-3 2\n255\n" + kPixels3x2},
        {"NegativeHeight", "P5\n3 -2\n255\n" + kPixels3x2},
        {"ProductBeyondInt", "P5\n46341 46341\n255\n" + kPixels3x2},
        {"WidthBeyondInt", "P5\n2147483648 1\n255\n" + kPixels3x2},
        {"HeightBeyondInt", "P5\n1 99999999999\n255\n" + kPixels3x2},
        // The size on the P5 line is ignored; "255" is then the size line.
        {"SizeOnP5Line", "P5 3 2\n255\n" + kPixels3x2},
        // An 80-byte comment leaves its bare line feed over: that is the size line.
        {"Comment80BytesRestIsSize", "P5\n" + comment(80) + "3 2\n255\n" + kPixels3x2},
        // The file ends before a size line: the last line held is not one.
        {"EndsAfterP5", "P5\n"},
        {"EndsInComment", "P5\n# only this\n"},
    };
}

class BadSize : public ImageFileTest, public testing::WithParamInterface<BadCase> {};

TEST_P(BadSize, LeavesTheEmptyImageAndReports)
{
    Console console;
    auto im = load(put("in.pgm", GetParam().file), console);
    EXPECT_EQ(im->width, 0);
    EXPECT_EQ(im->height, 0);
    EXPECT_EQ(im->pix, nullptr);
    EXPECT_NE(console.err, "");
}

INSTANTIATE_TEST_SUITE_P(Files, BadSize, testing::ValuesIn(badSizeCases()),
                         [](testing::TestParamInfo<BadCase> const& i) { return std::string(i.param.name); });

// Anything whose first line does not begin with "P5": exactly the 53-byte
// format message on stderr, nothing on stdout, the empty image.
std::vector<BadCase> notP5Cases()
{
    return {
        {"P6", "P6\n3 2\n255\n" + std::string(18, '\x7F')},
        {"EmptyFile", ""},
        {"CommentBeforeP5", "# first\nP5\n3 2\n255\n" + kPixels3x2},
        {"LowerCase", "p5\n3 2\n255\n" + kPixels3x2},
        {"OnlyP", "P\n3 2\n255\n" + kPixels3x2},
    };
}

class NotP5 : public ImageFileTest, public testing::WithParamInterface<BadCase> {};

TEST_P(NotP5, PrintsTheFormatMessage)
{
    Console console;
    auto im = load(put("in.pgm", GetParam().file), console);
    EXPECT_EQ(kFormatMessage.size(), 53u);
    EXPECT_EQ(console.err, kFormatMessage);
    EXPECT_EQ(console.out, "");
    EXPECT_EQ(im->width, 0);
    EXPECT_EQ(im->height, 0);
    EXPECT_EQ(im->pix, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, NotP5, testing::ValuesIn(notP5Cases()),
                         [](testing::TestParamInfo<BadCase> const& i) { return std::string(i.param.name); });

TEST_F(ImageFileTest, MissingFileReportsOnBothStreams)
{
    std::string const p = path("absent.pgm");
    Console console;
    auto im = load(p, console);
    EXPECT_EQ(console.err, std::string("\nError opening image file : ") + std::strerror(ENOENT) + "\n");
    EXPECT_EQ(console.out, "\nfichier : " + p + " pose probl\xE8me");
    EXPECT_EQ(im->width, 0);
    EXPECT_EQ(im->height, 0);
    EXPECT_EQ(im->pix, nullptr);
}

// ---------------------------------------------------------------- canvas and getpix

TEST(ImageCanvas, SizeConstructorZeroFills)
{
    IMAGE im(6, 5);
    EXPECT_EQ(im.width, 6);
    EXPECT_EQ(im.height, 5);
    ASSERT_NE(im.pix, nullptr);
    EXPECT_EQ(pixelsOf(im), std::string(30, '\0'));
}

TEST(ImageCanvas, ImpossibleSizesGiveTheEmptyImage)
{
    struct { int w, h; } const sizes[] = {{-1, 5}, {5, -1}, {-1, -1}, {INT_MIN, 2},
                                           {46341, 46341}, {INT_MAX, 2}, {2, INT_MAX}};
    for (auto const& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.w << " x " << s.h);
        IMAGE im(s.w, s.h);
        EXPECT_EQ(im.width, 0);
        EXPECT_EQ(im.height, 0);
        EXPECT_EQ(im.pix, nullptr);
    }
}

TEST(ImageGetpix, InsideGivesRowMajorAddresses)
{
    auto im = makeF();
    IMAGE const& ci = *im;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(im->getpix(x, y), im->pix + x + y * 6) << x << "," << y;
            EXPECT_EQ(ci.getpix(x, y), ci.pix + x + y * 6) << x << "," << y;
            EXPECT_EQ(*ci.getpix(x, y), fValue(x, y)) << x << "," << y;
        }
    EXPECT_EQ(im->getpix(5, 4), im->pix + 29);
    EXPECT_EQ(ci.getpix(5, 4), ci.pix + 29);
}

TEST(ImageGetpix, OutsideGivesPixelZeroZero)
{
    auto im = makeF();
    IMAGE const& ci = *im;
    struct { int x, y; } const outside[] = {{-1, 0}, {6, 0}, {0, 5}, {0, -1}, {6, 5},
                                             {-1, -1}, {INT_MIN, 2}, {2, INT_MAX}, {INT_MAX, INT_MIN}};
    for (auto const& p : outside) {
        EXPECT_EQ(im->getpix(p.x, p.y), im->pix) << p.x << "," << p.y;
        EXPECT_EQ(ci.getpix(p.x, p.y), ci.pix) << p.x << "," << p.y;
    }
    // A write out of range lands on pixel (0, 0) and nowhere else.
    *im->getpix(6, 0) = 0x01;
    std::string expected = fBytes();
    expected[0] = '\x01';
    EXPECT_EQ(pixelsOf(*im), expected);
}

// ---------------------------------------------------------------- writer

TEST_F(ImageFileTest, WritesThreeByTwoAsSeventeenBytes)
{
    IMAGE im(3, 2);
    std::memcpy(im.pix, kPixels3x2.data(), 6);
    std::string const p = path("out.pgm");
    Console console = captureConsole([&] { im.writeIMAGE(p.c_str()); });
    std::string const bytes = contents(p);
    EXPECT_EQ(bytes.size(), 17u);
    EXPECT_EQ(bytes, "P5\n3 2\n255\n" + kPixels3x2);
    EXPECT_EQ(console.out, "");
    EXPECT_EQ(console.err, "");

    auto back = load(p, console);
    EXPECT_EQ(back->width, 3);
    EXPECT_EQ(back->height, 2);
    EXPECT_EQ(pixelsOf(*back), kPixels3x2);
}

TEST_F(ImageFileTest, FRoundTripsAndReplacesAnOldFile)
{
    std::string const p = put("f.pgm", std::string(500, 'x'));
    auto im = makeF();
    im->writeIMAGE(p.c_str());
    EXPECT_EQ(contents(p), "P5\n6 5\n255\n" + fBytes());

    Console console;
    auto back = load(p, console);
    EXPECT_EQ(back->width, 6);
    EXPECT_EQ(back->height, 5);
    EXPECT_EQ(pixelsOf(*back), fBytes());
}

TEST_F(ImageFileTest, ImagesWithoutPixelsWriteTheHeaderOnly)
{
    Console console;
    auto empty = load(path("absent.pgm"), console);  // a failed load
    IMAGE canvas(0, 0);
    IMAGE refused(-4, 3);
    IMAGE const* images[] = {empty.get(), &canvas, &refused};
    for (IMAGE const* im : images) {
        std::string const p = path("none.pgm");
        im->writeIMAGE(p.c_str());
        EXPECT_EQ(contents(p), "P5\n0 0\n255\n");
    }
}

TEST_F(ImageFileTest, MissingFolderReportsAndWritesNothing)
{
    auto im = makeF();
    std::string const p = path("no-such-folder/out.pgm");
    Console console = captureConsole([&] { im->writeIMAGE(p.c_str()); });
    EXPECT_EQ(console.err, std::string("\nError to write the image file: ") + std::strerror(ENOENT) + "\n");
    EXPECT_EQ(console.out, "");
    EXPECT_FALSE(fs::exists(p));
}

// A device that takes the open but refuses the bytes: the failure shows up at
// a write or at the close, and must not pass for success.
TEST(ImageWriter, FullDeviceIsReported)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/full here";
    auto im = makeF();
    Console console = captureConsole([&] { im->writeIMAGE("/dev/full"); });
    EXPECT_EQ(console.err, std::string("\nError to write the image file: ") + std::strerror(ENOSPC) + "\n");
    EXPECT_EQ(console.out, "");
}

}  // namespace
