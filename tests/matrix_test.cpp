// vect_tpl and mat_tpl: column-by-column storage, the shapes kept or refused, deep
// copies, max's strict scan, and the grey image of a matrix against a full scale.
#include "image/matrix.h"
#include "tests/support.h"

namespace {

// Shapes kept or refused; storage column by column from zeros; deep copies, empty moves;
// the largest element.
TEST(Matrix, ShapesStorageCopiesMovesAndMax)
{
    // Rows, columns, then the rows, columns and size kept.
    int const shapes[][5] = {{1, 1, 1, 1, 1},  {0, 3, 0, 3, 0},  {2, 0, 2, 0, 0},
                             {-1, 3, 0, 0, 0}, {3, -1, 0, 0, 0}, {65536, 32768, 0, 0, 0}};
    for (auto const& s : shapes) {
        mat_tpl<double> m(s[0], s[1]);
        EXPECT_EQ(std::vector<int>({m.rows, m.cols, m.size}), std::vector<int>(s + 2, s + 5))
            << s[0] << " x " << s[1];
    }
    mat_tpl<double> a(2, 3);
    EXPECT_EQ(std::vector<double>(a.data, a.data + 6), std::vector<double>(6, 0.0));
    for (int k = 0; k < 6; ++k)
        a(k / 3, k % 3) = 10 * (k / 3) + k % 3 + 1;  // element (i, j) = 10i + j + 1
    EXPECT_EQ(std::vector<double>(a.data, a.data + 6), (std::vector<double>{1, 11, 2, 12, 3, 13}));
    mat_tpl<double> b(a);
    b(1, 2) = -1;
    mat_tpl<double> c(1, 1);
    c = a;
    a(1, 2) = -2;
    EXPECT_EQ(b(1, 2) + c(1, 2) * 10 + c.rows * 1000 + c.cols * 10000, 32129);  // -1, 13, 2 x 3
    mat_tpl<double> d(std::move(c));
    EXPECT_TRUE(d(1, 0) == 11 && c.data == nullptr && c.rows + c.cols + c.size == 0);
    // clang-format off
    // max scans with a strict comparison: an equal later element is not taken, so the
    // first zero of {0, -0} stays.
    struct { std::vector<double> elements; double want; } const maxima[] = {
        {{3, 7, 7, -1}, 7}, {{-3, -1, -2}, -1}, {{1, kNaN, 2}, 2}, {{2, kInf, 1}, kInf}, {{1, 2, kNaN}, 2},
        {{kNaN, 1}, kNaN}, {{}, kNaN}, {{0.0, -0.0}, 0.0}, {{-0.0, 0.0}, -0.0}};
    // clang-format on
    for (auto const& row : maxima) {
        vect_tpl<double> v(static_cast<int>(row.elements.size()));
        std::copy(row.elements.begin(), row.elements.end(), v.data);
        double const got = v.max();
        EXPECT_EQ(std::memcmp(&got, &row.want, sizeof got), 0) << got;  // the same bits
    }
}

// Each level (255 a / scale) truncated toward zero and clamped to 0..255, a zero scale
// as IEEE division would give it. Rows as image rows and shapes: fuzz/colour.cpp's seeds
// and ppm_test.
TEST(MatrixImage, LevelsTruncatedAndClamped)
{
    // clang-format off
    struct { double element, scale; int level; } const cases[] = {
        {10, 10, 255}, {5, 10, 127},  {20, 10, 255},  {-3, 10, 0},    {0.03, 10, 0},  {0.04, 10, 1},
        {9.99, 10, 254}, {kNaN, 10, 0}, {kInf, 10, 255}, {-kInf, 10, 0},  {3e9, 1, 255},  {-3e9, 1, 0},
        {5, kNaN, 0},   {5, kInf, 0},   {5, -10, 0},    {-5, -10, 127}, {5, 0.0, 255},  {-5, 0.0, 0},
        {0, 0.0, 0},   {5, -0.0, 0},  {-5, -0.0, 255}};
    // clang-format on
    for (auto const& c : cases) {
        mat_tpl<double> m(1, 1);
        m(0, 0) = c.element;
        EXPECT_EQ(IMAGE(m, c.scale).pix[0], c.level) << c.element << " on " << c.scale;
    }
}

}  // namespace
