// IMAGE: what the P5 reader makes of each kind of header, the writer's bytes and
// failures, the size constructor's limits and getpix's clamp on a 6 x 5 "F".
#include "tests/support.h"

namespace {

using namespace std::string_literals;

// A line feed, '#', NUL and a carriage return, no two alike: a text-mode or
// line-wise read of the pixels shows.
std::string const kPixels = "\n#\0\xFF\rP"s;
std::string const kFormat = "\nFormat d'image non support\xE9... <press enter to exit>";

// The "F": ink 0xC0, paper 0x20, plus x + 8y, so that a flip or a transpose shows.
int fValue(int x, int y)
{
    char const* const rows[5] = {"######", "#.....", "####..", "#.....", "#....."};
    return (rows[y][x] == '#' ? 0xC0 : 0x20) + x + 8 * y;
}

using ImageTest = Folder;

TEST_F(ImageTest, ReadsEachKindOfFile)
{
    std::string const h = "P5\n3 2\n255\n";
    std::string const zeros(6, '\0');
    // clang-format off
    // What the file holds, the width, height and pixels read, and stderr ("size": the size message).
    struct { char const* what; std::string file; int width, height; std::string pixels, err; } const cases[] = {
        {"plain", h + kPixels, 3, 2, kPixels, ""},
        {"the F", p5(6, 5, fValue), 6, 5, p5(6, 5, fValue).substr(11), ""},
        {"comments", "P5\n#\n# two\n3 2\n# grey\n255\n" + kPixels, 3, 2, kPixels, ""},
        {"CR LF lines", "P5\r\n# c\r\n3 2\r\n255\r\n" + kPixels, 3, 2, kPixels, ""},
        {"signs, zeros, spaces, a tail", "P5 raw\n \t+003 002 words\n65535\n" + kPixels, 3, 2,
         kPixels, ""},
        {"bytes after the block", h + kPixels + "extra", 3, 2, kPixels, ""},
        // 79 bytes with the line feed is one line; past that the rest is the next line.
        {"a comment of 79 bytes", "P5\n#" + std::string(77, 'c') + "\n3 2\n255\n" + kPixels, 3,
         2, kPixels, ""},
        {"a comment of 100 bytes", "P5\n#" + std::string(78, 'c') + "3 2 " +
                                       std::string(16, 'c') + "\n255\n" + kPixels,
         3, 2, kPixels, ""},
        // The block's leading line feed serves as the maximum line: the block shifts.
        {"size and maximum on one line", "P5\n3 2 255\n" + kPixels, 3, 2,
         kPixels.substr(1) + '\0', ""},
        {"a short block", h + "ab", 3, 2, "ab\0\0\0\0"s, ""},
        {"no block", "P5\n3 2\n", 3, 2, zeros, ""},
        {"P6", "P6\n3 2\n255\n" + zeros, 0, 0, "", kFormat},
        {"empty", "", 0, 0, "", kFormat},
        {"P5 on a later line", "# first\nP5\n3 2\n255\n" + kPixels, 0, 0, "", kFormat},
        {"lower case", "p5\n3 2\n255\n" + kPixels, 0, 0, "", kFormat},
        {"no number", "P5\nabc\n255\n", 0, 0, "", "size"},
        {"one number", "P5\n3\n2\n255\n", 0, 0, "", "size"},
        {"zero side", "P5\n3 0\n255\n", 0, 0, "", "size"},
        {"negative side", "P5\n-3 2\n255\n", 0, 0, "", "size"},
        {"product past the limit", "P5\n46341 46341\n255\n", 0, 0, "", "size"},
        {"past int", "P5\n1 2147483648\n255\n", 0, 0, "", "size"},
        {"size on the P5 line", "P5 3 2\n255\n" + kPixels, 0, 0, "", "size"},
        {"a comment of 80 bytes", "P5\n#" + std::string(78, 'c') + "\n3 2\n255\n", 0, 0, "",
         "size"},
        {"ends in a comment", "P5\n# only this\n", 0, 0, "", "size"},
    };
    // clang-format on
    for (auto const& c : cases) {
        SCOPED_TRACE(c.what);
        std::string const file = put("in.pgm", c.file);
        std::unique_ptr<IMAGE> im;
        Outcome console = capture([&] { im = std::make_unique<IMAGE>(file.c_str()); });
        EXPECT_EQ(std::to_string(im->width) + " x " + std::to_string(im->height) + ": " +
                      pixelsOf(*im),
                  std::to_string(c.width) + " x " + std::to_string(c.height) + ": " + c.pixels);
        EXPECT_EQ(im->pix == nullptr, c.pixels.empty());
        EXPECT_EQ(console.out, "");
        EXPECT_EQ(console.err,
                  c.err == "size" ? "\nTaille d'image illisible ou hors limites dans " + file + "\n"
                                  : c.err);
    }
}

TEST_F(ImageTest, MissingFileReportsOnBothStreams)
{
    std::string const p = path("absent.pgm");
    Outcome console = capture([&] { EXPECT_EQ(IMAGE(p.c_str()).pix, nullptr); });
    EXPECT_EQ(console.err, "\nError opening image file : "s + std::strerror(ENOENT) + "\n");
    EXPECT_EQ(console.out, "\nfichier : " + p + " pose probl\xE8me");
}

TEST(ImageCanvas, IsZeroFilledOrEmpty)
{
    EXPECT_EQ(pixelsOf(IMAGE(6, 5)), std::string(30, '\0'));
    std::pair<int, int> const refused[] = {{-1, 5}, {5, -1}, {46341, 46341}, {2, INT_MAX}};
    for (auto const& [w, h] : refused) {
        IMAGE im(w, h);
        EXPECT_EQ(im.width + im.height, 0) << w << " x " << h;
        EXPECT_EQ(im.pix, nullptr);
    }
}

TEST(ImageGetpix, ClampsToPixelZeroZero)
{
    IMAGE im(6, 5);
    for (int k = 0; k < 30; ++k)
        im.pix[k] = static_cast<unsigned char>(fValue(k % 6, k / 6));
    IMAGE const& ci = im;
    EXPECT_EQ(*ci.getpix(5, 0), fValue(5, 0));
    EXPECT_EQ(*ci.getpix(0, 4), fValue(0, 4));
    EXPECT_EQ(*im.getpix(5, 4), fValue(5, 4));
    EXPECT_EQ(*im.getpix(2, 1), fValue(2, 1));
    std::pair<int, int> const outside[] = {{-1, 0}, {6, 0}, {0, 5}, {0, -1}, {INT_MIN, INT_MAX}};
    for (auto const& [x, y] : outside) {
        EXPECT_EQ(im.getpix(x, y), im.pix) << x << "," << y;
        EXPECT_EQ(ci.getpix(x, y), ci.pix) << x << "," << y;
    }
}

TEST_F(ImageTest, WritesHeaderAndBlock)
{
    IMAGE im(3, 2);
    std::memcpy(im.pix, kPixels.data(), 6);
    std::string const p = put("out.pgm", std::string(500, 'x'));
    Outcome console = capture([&] { im.writeIMAGE(p.c_str()); });
    EXPECT_EQ(readFile(p), "P5\n3 2\n255\n" + kPixels);
    EXPECT_EQ(console.out + console.err, "");
    IMAGE(0, 0).writeIMAGE(p.c_str());
    EXPECT_EQ(readFile(p), "P5\n0 0\n255\n");
}

// Every failed write is reported, leaves what was at the target as it was (a file,
// a folder, a FIFO that would block an open) and leaves no temporary file beside it.
TEST_F(ImageTest, FailedWritesAreReported)
{
    IMAGE im(20, 20);
    fs::create_directory(dir / "folder.pgm");
    ASSERT_EQ(mkfifo(path("fifo.pgm").c_str(), 0666), 0);
    std::string const earlier = put("earlier.pgm", "an earlier file");
    rlimit const unlimited = {RLIM_INFINITY, RLIM_INFINITY};
    rlimit const small = {100, RLIM_INFINITY};  // cuts the 411 bytes short, not the message
    // clang-format off
    struct { std::string target; int error; rlimit limit; } const rows[] = {
        {path("no-such-folder/out.pgm"), ENOENT, unlimited},
        {path("folder.pgm"), EISDIR, unlimited},
        {path("fifo.pgm"), EEXIST, unlimited},
        {earlier, EFBIG, small},
    };
    // clang-format on
    auto const before = snapshot(dir);
    std::signal(SIGXFSZ, SIG_IGN);
    for (auto const& row : rows) {
        SCOPED_TRACE(row.target);
        Outcome console = capture([&] {
            setrlimit(RLIMIT_FSIZE, &row.limit);
            im.writeIMAGE(row.target.c_str());
            setrlimit(RLIMIT_FSIZE, &unlimited);
        });
        EXPECT_EQ(console.err,
                  "\nError to write the image file: "s + std::strerror(row.error) + "\n");
    }
    EXPECT_EQ(snapshot(dir), before);
}

// A file or a link at the target is replaced whole; what the link points to is untouched.
TEST_F(ImageTest, WritesReplaceFilesAndLinks)
{
    IMAGE im(3, 2);
    std::string const other = put("other.pgm", "not to be touched");
    put("out.pgm", "an earlier result, longer than the new one");
    fs::create_symlink("other.pgm", dir / "link.pgm");
    for (char const* name : {"out.pgm", "link.pgm"})
        EXPECT_EQ(capture([&] { im.writeIMAGE(path(name).c_str()); }).err, "");
    auto const after = snapshot(dir);
    std::string const written = "P5\n3 2\n255\n"s + std::string(6, '\0');
    EXPECT_EQ(
        after,
        (Files{{"other.pgm", "not to be touched"}, {"out.pgm", written}, {"link.pgm", written}}));
}

}  // namespace
