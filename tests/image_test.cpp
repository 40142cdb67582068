// IMAGE: what the P5 reader makes of each kind of header, the size constructor's limits
// and getpix's clamp. How files are written, replaced or not, run_test shows end to end,
// as it shows that an image the reader refuses has no pixel block.
#include "tests/support.h"

namespace {

using namespace std::string_literals;

std::string const kFormat = "\nFormat d'image non support\xE9... <press enter to exit>";

using ImageTest = Folder;

// Each shape of header of the table: the 3 x 2 pixels read, the bytes the file lacks as 0,
// or the image left empty and the reason on stderr. Sizes the constructor refuses give the
// empty image too (that a size taken starts as zeros, resample_test's image of zeros
// shows). Inside, getpix points at pixel x + 6y; anywhere outside, at pixel (0, 0).
TEST_F(ImageTest, ReadsEachKindOfFileRefusesSizesAndClamps)
{
    std::vector<HeaderShape> const shapes = headerShapes(TAVRIN_P5_HEADERS);
    ASSERT_FALSE(shapes.empty()) << TAVRIN_P5_HEADERS;
    std::string const file = path("in.pgm");
    for (HeaderShape const& c : shapes) {
        SCOPED_TRACE(c.what);
        writeFile(file, c.file);
        std::unique_ptr<IMAGE> im;
        Outcome console = capture([&] { im = std::make_unique<IMAGE>(file.c_str()); });
        std::string const read = "3x2" + (c.pixels + std::string(6, '\0')).substr(0, 6);
        EXPECT_EQ(std::to_string(im->width) + "x" + std::to_string(im->height) + pixelsOf(*im),
                  c.refusal.empty() ? read : "0x0");
        EXPECT_EQ(console.out, "");
        std::string const size = "\nTaille d'image illisible ou hors limites dans " + file + "\n";
        EXPECT_EQ(console.err, c.refusal == "size" ? size : c.refusal == "format" ? kFormat : "");
        if (!c.refusal.empty())
            continue;
        // The reader's own count of what the file lacks, which the tools refuse on.
        std::FILE* f = std::fopen(file.c_str(), "rb");
        ASSERT_TRUE(readP5Header(f).sized);
        unsigned char block[6];
        EXPECT_EQ(readPixels(f, block, 6), 6 - std::min<std::size_t>(c.pixels.size(), 6));
        std::fclose(f);
    }
    fs::remove(file);  // a missing file is reported on both streams
    Outcome console = capture([&] { EXPECT_EQ(IMAGE(file.c_str()).pix, nullptr); });
    EXPECT_EQ(console.err, "\nError opening image file : "s + std::strerror(ENOENT) + "\n");
    EXPECT_EQ(console.out, "\nfichier : " + file + " pose probl\xE8me");

    // The one P5 encoder, over an open stream.
    std::FILE* out = std::fopen(file.c_str(), "wb");
    EXPECT_TRUE(encodeP5(out, reinterpret_cast<unsigned char const*>("abcdef"), 3, 2));
    std::fclose(out);
    EXPECT_EQ(readFile(file), "P5\n3 2\n255\nabcdef");

    std::pair<int, int> const refused[] = {{-1, 5}, {5, -1}, {46341, 46341}, {2, INT_MAX}};
    for (auto const& [w, h] : refused) {
        IMAGE const empty(w, h);
        EXPECT_TRUE(empty.width == 0 && empty.height == 0 && !empty.pix) << w << " x " << h;
    }
    IMAGE im(6, 5);
    IMAGE const& ci = im;
    int const points[][3] = {{5, 4, 29}, {2, 1, 8},  {-1, 0, 0},           {6, 0, 0},
                             {0, 5, 0},  {0, -1, 0}, {INT_MIN, INT_MAX, 0}};
    for (auto const& [x, y, offset] : points)
        EXPECT_TRUE(im.getpix(x, y) == im.pix + offset && ci.getpix(x, y) == ci.pix + offset)
            << x << "," << y;
}

}  // namespace
