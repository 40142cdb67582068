// The P6 writers: a matrix scaled against its largest element (the open cases
// included), shapes without pixels, and failures of both writers.
#include "colour/ppm.h"
#include "tests/support.h"

namespace {

using PpmTest = Folder;
using namespace std::string_literals;

TEST_F(PpmTest, MatrixScaledAgainstItsLargestElement)
{
    // clang-format off
    struct { char const* what; int rows, cols; std::vector<double> byRow; std::string pixels; } const cases[] = {
        {"rows become picture rows", 2, 3, {10, 5, 0, -2, -10, 5},
         bytes({255, 0, 0, 0, 207, 25, 39, 0, 159, 39, 0, 69, 39, 0, 221, 0, 207, 25})},
        {"all equal, tiny", 1, 2, {1e-300, 1e-300}, bytes({255, 0, 0, 255, 0, 0})},
        {"far below: the low bits of -449841", 1, 2, {2, -2000}, bytes({255, 0, 0, 39, 0, 207})},
        {"all negative: scaled by |M|", 1, 2, {-2, -4}, bytes({39, 0, 221, 39, 0, 27})},
        {"255 a overflows alone", 1, 3, {7e307, -7e307, 0},
         bytes({255, 0, 0, 39, 0, 221, 39, 0, 159})},
        {"largest 0 with negatives", 1, 3, {0, -1, -0.0}, bytes({39, 0, 159, 39, 0, 0, 39, 0, 159})},
        {"a NaN element", 1, 4, {10, kNaN, 0, -10},
         bytes({255, 0, 0, 0, 0, 0, 39, 0, 159, 39, 0, 221})},
        {"NaN first", 1, 4, {kNaN, 10, 0, -10}, bytes({0, 0, 0, 0, 0, 0, 39, 0, 159, 0, 0, 0})},
        {"+infinity", 1, 4, {kInf, 10, -10, -kInf}, bytes({0, 0, 0, 39, 0, 159, 39, 0, 159, 0, 0, 0})},
        {"-infinity", 1, 2, {10, -kInf}, bytes({255, 0, 0, 39, 0, 0})},
        {"no row", 0, 3, {}, ""},
    };
    // clang-format on
    for (auto const& c : cases) {
        mat_tpl<double> m(c.rows, c.cols);
        for (std::size_t k = 0; k < c.byRow.size(); ++k)
            m(static_cast<int>(k) / c.cols, static_cast<int>(k) % c.cols) = c.byRow[k];
        matrice_to_ColorImage(m, path("m.ppm").c_str());
        EXPECT_EQ(readFile(path("m.ppm")), "P6\n" + std::to_string(c.cols) + " " +
                                               std::to_string(c.rows) + "\n255\n" + c.pixels)
            << c.what;
    }
    mat_tpl<double> m(2, 3);
    m.cols = 5;  // 10 elements claimed, 6 held
    EXPECT_TRUE(matrice_to_ColorImage(m, path("m.ppm").c_str()));
    EXPECT_EQ(readFile(path("m.ppm")), "P6\n0 0\n255\n");
}

// Both writers report a failure of the whole-file writer (its cases: run_test) and make nothing.
TEST_F(PpmTest, FailedWritesAreReported)
{
    IMAGE im(2, 2);
    mat_tpl<double> m(2, 2);
    std::string const target = path("missing/out.ppm");
    std::string const want = "\nError to write the image file: "s + std::strerror(ENOENT) + "\n";
    EXPECT_EQ(capture([&] { EXPECT_FALSE(writeIMAGE_2(im, target.c_str())); }).err, want);
    EXPECT_EQ(capture([&] { EXPECT_FALSE(matrice_to_ColorImage(m, target.c_str())); }).err, want);
    EXPECT_EQ(snapshot(dir), Files{});
}

}  // namespace
