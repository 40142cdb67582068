#include "image/image.h"
#include "image/matrix.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <ostream>
#include <utility>
#include <vector>

namespace {

double const inf = std::numeric_limits<double>::infinity();
double const nan = std::numeric_limits<double>::quiet_NaN();

vect_tpl<double> vectorOf(std::initializer_list<double> values)
{
    vect_tpl<double> v(static_cast<int>(values.size()));
    int k = 0;
    for (double x : values)
        v.data[k++] = x;
    return v;
}

// A 2 x 3 matrix with every element distinct: element (i, j) = 10 * i + j + 1.
mat_tpl<double> twoByThree()
{
    mat_tpl<double> m(2, 3);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j)
            m(i, j) = 10 * i + j + 1;
    return m;
}

TEST(Matrix, StoresColumnByColumn)
{
    mat_tpl<double> m(2, 3);
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.cols, 3);
    ASSERT_EQ(m.size, 6);
    m(0, 1) = 5;
    m(1, 2) = 9;
    EXPECT_EQ(m.data[2], 5);
    EXPECT_EQ(m.data[5], 9);
    m.data[1] = 4;  // (1, 0)
    EXPECT_EQ(m(1, 0), 4);
    EXPECT_EQ(&m(1, 2), m.data + 5);
}

TEST(Matrix, StartsZeroFilled)
{
    mat_tpl<double> m(3, 4);
    for (int k = 0; k < m.size; ++k)
        EXPECT_EQ(m.data[k], 0.0) << "element " << k;
}

struct Shape {
    int rows, cols;
    int wantRows, wantCols, wantSize;
};

std::ostream& operator<<(std::ostream& os, Shape const& s)
{
    return os << s.rows << " x " << s.cols;
}

class MatrixShape : public ::testing::TestWithParam<Shape> {};

TEST_P(MatrixShape, IsKeptOrRefused)
{
    Shape const s = GetParam();
    mat_tpl<double> m(s.rows, s.cols);
    EXPECT_EQ(m.rows, s.wantRows);
    EXPECT_EQ(m.cols, s.wantCols);
    EXPECT_EQ(m.size, s.wantSize);
    EXPECT_EQ(m.data == nullptr, s.wantSize == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MatrixShape,
    ::testing::Values(Shape{1, 1, 1, 1, 1}, Shape{0, 3, 0, 3, 0}, Shape{2, 0, 2, 0, 0},
                      Shape{0, 0, 0, 0, 0},
                      // refused: a negative size or more than 2147483647 elements
                      Shape{-1, 3, 0, 0, 0}, Shape{3, -1, 0, 0, 0}, Shape{-2, -3, 0, 0, 0},
                      Shape{65536, 32768, 0, 0, 0}, Shape{INT_MAX, 2, 0, 0, 0}));

TEST(Matrix, CopiesAreDeep)
{
    mat_tpl<double> a = twoByThree();
    mat_tpl<double> b(a);
    ASSERT_NE(a.data, b.data);
    EXPECT_EQ(b.rows, 2);
    EXPECT_EQ(b.cols, 3);
    EXPECT_EQ(b(1, 2), 13);
    b(1, 2) = -1;
    EXPECT_EQ(a(1, 2), 13);

    mat_tpl<double> c(1, 1);
    c = a;
    ASSERT_NE(c.data, a.data);
    EXPECT_EQ(c.rows, 2);
    EXPECT_EQ(c.size, 6);
    EXPECT_EQ(c(0, 2), 3);

    mat_tpl<double>& same = c;
    c = same;  // self-assignment keeps the elements
    EXPECT_EQ(c(1, 0), 11);
}

TEST(Matrix, MovesLeaveTheSourceEmpty)
{
    mat_tpl<double> a = twoByThree();
    double* block = a.data;
    mat_tpl<double> b(std::move(a));
    EXPECT_EQ(b.data, block);
    EXPECT_EQ(b(1, 1), 12);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.size, 0);
    EXPECT_EQ(a.rows, 0);
    EXPECT_EQ(a.cols, 0);

    mat_tpl<double> c;
    c = std::move(b);
    EXPECT_EQ(c.data, block);
    EXPECT_EQ(c.rows, 2);
    EXPECT_EQ(b.data, nullptr);

    std::vector<mat_tpl<double>> many;
    for (int k = 0; k < 20; ++k)  // regrowth copies or moves every element
        many.push_back(twoByThree());
    EXPECT_EQ(many.front()(1, 2), 13);
}

struct MaxCase {
    std::vector<double> elements;
    double want;  // NaN when NaN is wanted
};

class VectorMax : public ::testing::TestWithParam<MaxCase> {};

TEST_P(VectorMax, ScansWithAStrictComparison)
{
    MaxCase const c = GetParam();
    vect_tpl<double> v(static_cast<int>(c.elements.size()));
    for (int k = 0; k < v.size; ++k)
        v.data[k] = c.elements[k];
    vect_tpl<double> const& readOnly = v;
    double got = readOnly.max();
    if (std::isnan(c.want))
        EXPECT_TRUE(std::isnan(got)) << got;
    else
        EXPECT_EQ(got, c.want);
}

INSTANTIATE_TEST_SUITE_P(Elements, VectorMax,
                         ::testing::Values(MaxCase{{3, 7, 7, -1}, 7}, MaxCase{{-4.5}, -4.5},
                                           MaxCase{{1, nan, 2}, 2}, MaxCase{{nan, 1}, nan},
                                           MaxCase{{-3, -1, -2}, -1}, MaxCase{{2, inf, 1}, inf},
                                           MaxCase{{1, 2, nan}, 2},
                                           MaxCase{{}, nan})); // empty: reads nothing

TEST(Matrix, MaxCoversEveryElement)
{
    mat_tpl<double> m = twoByThree();
    EXPECT_EQ(m.max(), 13);  // the last element stored, (1, 2)
    m(0, 0) = 40;
    EXPECT_EQ(m.max(), 40);
    EXPECT_EQ(vectorOf({0.5, 0.25}).max(), 0.5);
}

TEST(MatrixImage, RowsBecomeImageRows)
{
    mat_tpl<double> m = twoByThree();
    IMAGE im(m, 255.0);  // the scale 255 keeps whole values
    ASSERT_EQ(im.width, 3);
    ASSERT_EQ(im.height, 2);
    ASSERT_NE(im.pix, nullptr);
    unsigned char const want[6] = {1, 2, 3, 11, 12, 13};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(im.pix[k], want[k]) << "byte " << k;
    EXPECT_EQ(*im.getpix(2, 1), 13);  // element (1, 2)
    EXPECT_EQ(m(1, 2), 13);           // the matrix is left as it was
}

struct GreyCase {
    double element;
    double scale;
    int level;
};

std::ostream& operator<<(std::ostream& os, GreyCase const& c)
{
    return os << c.element << " on " << c.scale << " -> " << c.level;
}

class MatrixGrey : public ::testing::TestWithParam<GreyCase> {};

TEST_P(MatrixGrey, TruncatesAndClamps)
{
    GreyCase const c = GetParam();
    mat_tpl<double> m(1, 1);
    m(0, 0) = c.element;
    IMAGE im(m, c.scale);
    ASSERT_EQ(im.width, 1);
    ASSERT_EQ(im.height, 1);
    ASSERT_NE(im.pix, nullptr);
    EXPECT_EQ(im.pix[0], c.level);
}

INSTANTIATE_TEST_SUITE_P(
    ScaleTen, MatrixGrey,
    ::testing::Values(GreyCase{10, 10, 255}, GreyCase{5, 10, 127}, GreyCase{20, 10, 255},
                      GreyCase{-3, 10, 0}, GreyCase{0.03, 10, 0}, GreyCase{0.04, 10, 1},
                      GreyCase{0, 10, 0}, GreyCase{9.99, 10, 254}, GreyCase{-0.01, 10, 0}));

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, MatrixGrey,
    ::testing::Values(GreyCase{nan, 10, 0}, GreyCase{inf, 10, 255}, GreyCase{-inf, 10, 0},
                      GreyCase{1e300, 10, 255}, GreyCase{-1e300, 10, 0},
                      GreyCase{3e9, 1, 255}, GreyCase{-3e9, 1, 0}, GreyCase{5, nan, 0},
                      GreyCase{5, inf, 0}, GreyCase{5, -10, 0}, GreyCase{-5, -10, 127},
                      // a scale of +0: positive elements saturate, the rest are 0
                      GreyCase{5, 0.0, 255}, GreyCase{-5, 0.0, 0}, GreyCase{0, 0.0, 0},
                      GreyCase{5, -0.0, 0}, GreyCase{-5, -0.0, 255}));

TEST(MatrixImage, NoElementsGiveNoPixels)
{
    std::initializer_list<std::pair<int, int>> const shapes = {{0, 3}, {2, 0}, {0, 0}};
    for (auto const& shape : shapes) {
        mat_tpl<double> m(shape.first, shape.second);
        IMAGE im(m, 10.0);
        EXPECT_EQ(im.height, shape.first);
        EXPECT_EQ(im.width, shape.second);
        EXPECT_EQ(im.pix, nullptr);
    }
}

TEST(MatrixImage, AShapeBeyondItsStorageGivesTheEmptyImage)
{
    mat_tpl<double> m(2, 3);
    m.rows = 4;  // 12 elements claimed, 6 held
    IMAGE im(m, 10.0);
    EXPECT_EQ(im.width, 0);
    EXPECT_EQ(im.height, 0);
    EXPECT_EQ(im.pix, nullptr);
}

}  // namespace
