// IMAGE: what the P5 reader makes of each kind of header, the size constructor's limits
// and getpix's clamp. How files are written, replaced or not, run_test shows end to end.
#include "tests/support.h"

namespace {

using namespace std::string_literals;

// A line feed, '#', NUL and a carriage return, no two alike: a text-mode or
// line-wise read of the pixels shows.
std::string const kPixels = "\n#\0\xFF\rP"s;
std::string const kFormat = "\nFormat d'image non support\xE9... <press enter to exit>";

using ImageTest = Folder;

TEST_F(ImageTest, ReadsEachKindOfFileOrReportsIt)
{
    std::string const h = "P5\n3 2\n255\n";
    // clang-format off
    // The file, the pixels read (3 x 2, or none: refused) and stderr ("size": the size message).
    struct { char const* what; std::string file, pixels, err = ""; } const cases[] = {
        {"plain", h + kPixels, kPixels},
        {"comments", "P5\n#\n# two\n3 2\n# grey\n255\n" + kPixels, kPixels},
        {"CR LF lines", "P5\r\n# c\r\n3 2\r\n255\r\n" + kPixels, kPixels},
        {"signs, zeros, spaces, a tail", "P5 raw\n \t+003 002 words\n65535\n" + kPixels, kPixels},
        {"bytes after the block", h + kPixels + "extra", kPixels},
        // 79 bytes with the line feed is one line; past that the rest is the next line.
        {"a comment of 79 bytes", "P5\n#" + std::string(77, 'c') + "\n3 2\n255\n" + kPixels, kPixels},
        {"a comment of 100 bytes",
         "P5\n#" + std::string(78, 'c') + "3 2 " + std::string(16, 'c') + "\n255\n" + kPixels, kPixels},
        // The block's leading line feed serves as the maximum line: the block shifts.
        {"size and maximum on one line", "P5\n3 2 255\n" + kPixels, kPixels.substr(1) + '\0'},
        {"a short block", h + "ab", "ab\0\0\0\0"s},
        {"P6", "P6\n3 2\n255\n" + kPixels, "", kFormat},
        {"empty", "", "", kFormat},
        {"lower case", "p5\n3 2\n255\n" + kPixels, "", kFormat},
        {"no number", "P5\nabc\n255\n", "", "size"},
        {"one number", "P5\n3\n2\n255\n", "", "size"},
        {"zero side", "P5\n3 0\n255\n", "", "size"},
        {"negative side", "P5\n-3 2\n255\n", "", "size"},
        {"past int", "P5\n1 2147483648\n255\n", "", "size"},
        {"size on the P5 line", "P5 3 2\n255\n" + kPixels, "", "size"},
        {"a comment of 80 bytes", "P5\n#" + std::string(78, 'c') + "\n3 2\n255\n", "", "size"},
        {"ends in a comment", "P5\n# only this\n", "", "size"},
    };
    // clang-format on
    for (auto const& c : cases) {
        SCOPED_TRACE(c.what);
        std::string const file = put("in.pgm", c.file);
        std::unique_ptr<IMAGE> im;
        Outcome console = capture([&] { im = std::make_unique<IMAGE>(file.c_str()); });
        EXPECT_EQ(std::to_string(im->width) + "x" + std::to_string(im->height) + pixelsOf(*im),
                  (c.pixels.empty() ? "0x0" : "3x2") + c.pixels);
        EXPECT_EQ(im->pix == nullptr, c.pixels.empty());
        EXPECT_EQ(console.out, "");
        EXPECT_EQ(console.err,
                  c.err == "size" ? "\nTaille d'image illisible ou hors limites dans " + file + "\n"
                                  : c.err);
    }
    fs::remove(dir / "in.pgm");  // a missing file is reported on both streams
    std::string const p = path("in.pgm");
    Outcome console = capture([&] { EXPECT_EQ(IMAGE(p.c_str()).pix, nullptr); });
    EXPECT_EQ(console.err, "\nError opening image file : "s + std::strerror(ENOENT) + "\n");
    EXPECT_EQ(console.out, "\nfichier : " + p + " pose probl\xE8me");
}

// Inside, getpix points at pixel x + 6y; anywhere outside, at pixel (0, 0).
TEST(ImageCanvas, ZeroFilledOrEmptyAndClampedToTheFirstPixel)
{
    EXPECT_EQ(pixelsOf(IMAGE(6, 5)), std::string(30, '\0'));
    std::pair<int, int> const refused[] = {{-1, 5}, {5, -1}, {46341, 46341}, {2, INT_MAX}};
    for (auto const& [w, h] : refused) {
        IMAGE const empty(w, h);
        EXPECT_TRUE(empty.width == 0 && empty.height == 0 && !empty.pix) << w << " x " << h;
    }
    IMAGE im(6, 5);
    IMAGE const& ci = im;
    int const points[][3] = {{5, 0, 5}, {0, 4, 24}, {5, 4, 29},
                             {2, 1, 8}, {-1, 0, 0}, {6, 0, 0},
                             {0, 5, 0}, {0, -1, 0}, {INT_MIN, INT_MAX, 0}};
    for (auto const& [x, y, offset] : points)
        EXPECT_TRUE(im.getpix(x, y) == im.pix + offset && ci.getpix(x, y) == ci.pix + offset)
            << x << "," << y;
}

}  // namespace
