// The P6 writers: a matrix scaled against its largest element, shapes without pixels,
// and failures of both writers. Rows as picture rows, an overflowing product, a NaN
// element, a largest element of 0, NaN or +infinity: fuzz/colour.cpp's seeds.
#include "colour/ppm.h"
#include "tests/support.h"

namespace {

using PpmTest = Folder;
using namespace std::string_literals;

// A matrix that claims more elements than it holds is written as no pixel, as is its
// empty grey image; a failed write (the whole-file writer's cases: run_test) is reported
// by both writers, and makes nothing.
TEST_F(PpmTest, MatricesScaledShapesWithoutPixelsAndFailures)
{
    mat_tpl<double> odd(2, 3);
    odd.cols = 5;  // 10 elements claimed, 6 held
    IMAGE const grey(odd, 10.0);
    std::string const target = path("missing/out.ppm");
    std::string const want = "\nError to write the image file: "s + std::strerror(ENOENT) + "\n";
    EXPECT_EQ(capture([&] { EXPECT_FALSE(writeIMAGE_2(grey, target.c_str())); }).err, want);
    EXPECT_EQ(capture([&] { EXPECT_FALSE(matrice_to_ColorImage(odd, target.c_str())); }).err, want);
    EXPECT_EQ(snapshot(dir), Files{});
    EXPECT_TRUE(matrice_to_ColorImage(odd, path("m.ppm").c_str()));
    EXPECT_TRUE(writeIMAGE_2(grey, path("g.ppm").c_str()));
    EXPECT_EQ(readFile(path("m.ppm")) + readFile(path("g.ppm")), "P6\n0 0\n255\nP6\n0 0\n255\n");
    // clang-format off
    struct { char const* what; int rows, cols; std::vector<double> byRow; std::string file; } const cases[] = {
        {"all equal, tiny", 1, 2, {1e-300, 1e-300}, "P6\n2 1\n255\n" + bytes({255, 0, 0, 255, 0, 0})},
        {"far below: the low bits of -449841", 1, 2, {2, -2000}, "P6\n2 1\n255\n" + bytes({255, 0, 0, 39, 0, 207})},
        {"all negative: scaled by |M|", 1, 2, {-2, -4}, "P6\n2 1\n255\n" + bytes({39, 0, 221, 39, 0, 27})},
        {"-infinity", 1, 2, {10, -kInf}, "P6\n2 1\n255\n" + bytes({255, 0, 0, 39, 0, 0})},
        {"no row", 0, 3, {}, "P6\n3 0\n255\n"},
    };
    // clang-format on
    for (auto const& c : cases) {
        mat_tpl<double> m(c.rows, c.cols);
        for (std::size_t k = 0; k < c.byRow.size(); ++k)
            m(static_cast<int>(k) / c.cols, static_cast<int>(k) % c.cols) = c.byRow[k];
        EXPECT_TRUE(matrice_to_ColorImage(m, path("m.ppm").c_str()));
        EXPECT_EQ(readFile(path("m.ppm")), c.file) << c.what;
    }
}

// The P6 header reader takes what the writers write, a comment line or not, and refuses
// any other shape; the stream is left at the pixels.
TEST_F(PpmTest, TheHeaderReaderTakesTheWritersLayout)
{
    struct {
        std::string file;
        std::string read;
    } const cases[] = {
        {p6Header(3, 2) + "px", "3x2 px"},
        {p6Header(1073741823, 1, "# tavrin-diff\n# more\n") + "px", "1073741823x1 px"},
        {"P6\n0 2\n255\npx", "refused"},
        {"P6\n1073741824 1\n255\npx", "refused"},
        {"P6\n3 2 \n255\npx", "refused"},
        {"P6\n3 2\n65535\npx", "refused"},
        {"P6 \n3 2\n255\npx", "refused"},
        {"P5\n3 2\n255\npx", "refused"},
    };
    for (auto const& c : cases) {
        writeFile(path("in.ppm"), c.file);
        std::FILE* f = std::fopen(path("in.ppm").c_str(), "rb");
        P6Header const h = readP6Header(f);
        char rest[3] = "";
        std::string const read =
            h.sized && std::fread(rest, 1, 2, f) == 2
                ? std::to_string(h.width) + "x" + std::to_string(h.height) + " " + rest
                : "refused";
        std::fclose(f);
        EXPECT_EQ(read, c.read) << c.file;
    }
}

}  // namespace
