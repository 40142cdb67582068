#include "colour/ppm.h"
#include "image/image.h"
#include "image/matrix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double const inf = std::numeric_limits<double>::infinity();
double const nan = std::numeric_limits<double>::quiet_NaN();

// Each test writes into a folder of its own, removed afterwards.
class PpmFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tavrin-ppm-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
        folder = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string path(char const* name) const { return (folder / name).string(); }

    fs::path folder;
};

std::string readFile(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The expected file: a header and the bytes that follow it, written out by hand.
std::string ppm(char const* header, std::initializer_list<int> bytes = {})
{
    std::string out(header);
    for (int b : bytes)
        out.push_back(static_cast<char>(b));
    return out;
}

// A matrix from its rows, written row by row as the reader sees it.
mat_tpl<double> matrixOf(int rows, int cols, std::initializer_list<double> byRow)
{
    mat_tpl<double> m(rows, cols);
    auto it = byRow.begin();
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            m(i, j) = *it++;
    return m;
}

std::string writeFailure(int error)
{
    return std::string("\nError to write the image file: ") + std::strerror(error) + "\n";
}

// ---- writeIMAGE_2 ----

struct GreyPixel {
    int level;
    int red, green, blue;
};

std::ostream& operator<<(std::ostream& os, GreyPixel const& p)
{
    return os << "level " << p.level;
}

class GreyPixelFile : public PpmFiles, public ::testing::WithParamInterface<GreyPixel> {};

TEST_P(GreyPixelFile, IsTheHeaderAndThreeBytes)
{
    GreyPixel const p = GetParam();
    IMAGE im(1, 1);
    *im.getpix(0, 0) = static_cast<unsigned char>(p.level);
    writeIMAGE_2(im, path("one.ppm").c_str());
    EXPECT_EQ(readFile(path("one.ppm")), ppm("P6\n1 1\n255\n", {p.red, p.green, p.blue}));
}

INSTANTIATE_TEST_SUITE_P(Levels, GreyPixelFile,
                         ::testing::Values(GreyPixel{0, 39, 0, 159}, GreyPixel{255, 255, 0, 0},
                                           GreyPixel{183, 182, 228, 0},
                                           GreyPixel{128, 0, 207, 24}));

TEST_F(PpmFiles, GreyImageGoesRowByRow)
{
    IMAGE im(3, 2);
    unsigned char const levels[6] = {0, 15, 64, 75, 128, 255};
    for (int k = 0; k < 6; ++k)
        *im.getpix(k % 3, k / 3) = levels[k];
    writeIMAGE_2(im, path("grey.ppm").c_str());
    EXPECT_EQ(readFile(path("grey.ppm")),
              ppm("P6\n3 2\n255\n", {39, 0, 159, 0, 0, 165, 0, 149, 183,  //
                                     0, 187, 187, 0, 207, 24, 255, 0, 0}));
}

TEST_F(PpmFiles, GreyImageWithoutPixelsGivesTheHeaderAlone)
{
    IMAGE noColumns(0, 3);
    IMAGE noRows(4, 0);
    IMAGE empty(0, 0);
    writeIMAGE_2(noColumns, path("a.ppm").c_str());
    writeIMAGE_2(noRows, path("b.ppm").c_str());
    writeIMAGE_2(empty, path("c.ppm").c_str());
    EXPECT_EQ(readFile(path("a.ppm")), "P6\n0 3\n255\n");
    EXPECT_EQ(readFile(path("b.ppm")), "P6\n4 0\n255\n");
    EXPECT_EQ(readFile(path("c.ppm")), "P6\n0 0\n255\n");
}

TEST_F(PpmFiles, CallersImageIsLeftAsItWas)
{
    IMAGE im(2, 1);
    *im.getpix(0, 0) = 7;
    *im.getpix(1, 0) = 200;
    unsigned char* const block = im.pix;
    writeIMAGE_2(im, path("kept.ppm").c_str());  // a non-const image binds too
    EXPECT_EQ(im.pix, block);
    EXPECT_EQ(im.width, 2);
    EXPECT_EQ(im.height, 1);
    EXPECT_EQ(im.pix[0], 7);
    EXPECT_EQ(im.pix[1], 200);
    *im.getpix(1, 0) = 9;  // still the caller's to use
    EXPECT_EQ(im.pix[1], 9);
}

TEST_F(PpmFiles, AnExistingFileIsReplaced)
{
    std::string const target = path("again.ppm");
    IMAGE big(4, 4);
    IMAGE const small(1, 1);
    writeIMAGE_2(big, target.c_str());
    writeIMAGE_2(small, target.c_str());
    EXPECT_EQ(readFile(target), ppm("P6\n1 1\n255\n", {39, 0, 159}));
}

// ---- matrice_to_ColorImage ----

TEST_F(PpmFiles, MatrixRowsBecomePictureRows)
{
    // Largest element 10; each row read left to right.
    mat_tpl<double> const m = matrixOf(2, 3, {10, 5, 0,  //
                                              -2, -10, 5});
    matrice_to_ColorImage(m, path("m.ppm").c_str());
    EXPECT_EQ(readFile(path("m.ppm")),
              ppm("P6\n3 2\n255\n", {255, 0, 0, 0, 207, 25, 39, 0, 159,  //
                                     39, 0, 69, 39, 0, 221, 0, 207, 25}));
}

struct MatrixRow {
    char const* name;
    std::vector<double> elements;  // a 1 x N matrix
    std::vector<int> bytes;
};

std::ostream& operator<<(std::ostream& os, MatrixRow const& r)
{
    return os << r.name;
}

class MatrixRowFile : public PpmFiles, public ::testing::WithParamInterface<MatrixRow> {};

TEST_P(MatrixRowFile, GivesTheExpectedColours)
{
    MatrixRow const& r = GetParam();
    int const n = static_cast<int>(r.elements.size());
    mat_tpl<double> m(1, n);  // non-const on purpose: both const-nesses must bind
    for (int j = 0; j < n; ++j)
        m(0, j) = r.elements[j];
    matrice_to_ColorImage(m, path("row.ppm").c_str());

    std::string want = "P6\n" + std::to_string(n) + " 1\n255\n";
    for (int b : r.bytes)
        want.push_back(static_cast<char>(b));
    EXPECT_EQ(readFile(path("row.ppm")), want);
}

INSTANTIATE_TEST_SUITE_P(
    Scaling, MatrixRowFile,
    ::testing::Values(
        MatrixRow{"all equal", {0.1, 0.1, 0.1}, {255, 0, 0, 255, 0, 0, 255, 0, 0}},
        MatrixRow{"all equal, tiny", {1e-300, 1e-300}, {255, 0, 0, 255, 0, 0}},
        // -1000 * M: blue -449841, written as its low eight bits
        MatrixRow{"far below", {2, -2000}, {255, 0, 0, 39, 0, 207}},
        // all negative: M = -2, scaled by |M|: -150 and -300 -> blue -291, -741
        MatrixRow{"all negative", {-2, -4}, {39, 0, 221, 39, 0, 27}},
        // 255 * a alone overflows: taken as 255 * (a / M)
        MatrixRow{"huge", {7e307, -7e307, 0}, {255, 0, 0, 39, 0, 221, 39, 0, 159}}));

INSTANTIATE_TEST_SUITE_P(
    OpenCases, MatrixRowFile,
    ::testing::Values(
        MatrixRow{"largest 0 with negatives", {0, -1, -1e-300}, {39, 0, 159, 39, 0, 0, 39, 0, 0}},
        MatrixRow{"NaN element", {10, nan, 0, -10}, {255, 0, 0, 0, 0, 0, 39, 0, 159, 39, 0, 221}},
        MatrixRow{"NaN first", {nan, 10, 0, -10}, {0, 0, 0, 0, 0, 0, 39, 0, 159, 0, 0, 0}},
        MatrixRow{"+infinity",
                  {inf, 10, -10, 0, -inf},
                  {0, 0, 0, 39, 0, 159, 39, 0, 159, 39, 0, 159, 0, 0, 0}},
        MatrixRow{"-infinity", {10, -inf}, {255, 0, 0, 39, 0, 0}}));

TEST_F(PpmFiles, MatrixWithoutElementsGivesTheHeaderAlone)
{
    mat_tpl<double> noRows(0, 3);
    mat_tpl<double> noColumns(2, 0);
    mat_tpl<double> empty;
    matrice_to_ColorImage(noRows, path("a.ppm").c_str());
    matrice_to_ColorImage(noColumns, path("b.ppm").c_str());
    matrice_to_ColorImage(empty, path("c.ppm").c_str());
    EXPECT_EQ(readFile(path("a.ppm")), "P6\n3 0\n255\n");
    EXPECT_EQ(readFile(path("b.ppm")), "P6\n0 2\n255\n");
    EXPECT_EQ(readFile(path("c.ppm")), "P6\n0 0\n255\n");
}

TEST_F(PpmFiles, MatrixBeyondItsStorageIsWrittenEmpty)
{
    mat_tpl<double> m(2, 3);
    m.cols = 5;  // 10 elements claimed, 6 held
    matrice_to_ColorImage(m, path("bad.ppm").c_str());
    EXPECT_EQ(readFile(path("bad.ppm")), "P6\n0 0\n255\n");
}

// ---- failures ----

TEST_F(PpmFiles, FailedOpenIsReportedAndWritesNothing)
{
    std::string const target = (folder / "missing" / "out.ppm").string();
    IMAGE im(1, 1);
    mat_tpl<double> m(1, 1);

    ::testing::internal::CaptureStderr();
    writeIMAGE_2(im, target.c_str());
    std::string const grey = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    matrice_to_ColorImage(m, target.c_str());
    std::string const matrix = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(grey, writeFailure(ENOENT));
    EXPECT_EQ(matrix, writeFailure(ENOENT));
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

TEST_F(PpmFiles, FailedWriteIsReportedNotHidden)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    IMAGE im(2, 2);
    mat_tpl<double> m(2, 2);

    ::testing::internal::CaptureStderr();
    writeIMAGE_2(im, "/dev/full");
    std::string const grey = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    matrice_to_ColorImage(m, "/dev/full");
    std::string const matrix = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(grey, writeFailure(ENOSPC));
    EXPECT_EQ(matrix, writeFailure(ENOSPC));
}

}  // namespace
