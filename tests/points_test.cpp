// Point entry: each point a line "x,y", blank lines passed over; anything else is
// refused and, from a file, ends the reading, never half read.
#include "app/points.h"
#include "tests/support.h"

namespace {

using PointsTest = Folder;

TEST_F(PointsTest, APointIsTwoNumbersAndAComma)
{
    // clang-format off
    struct { char const* line; bool read; Point p; } const rows[] = {
        {"423,237", true, {423, 237}},       {" 12.5 , -3e1\r", true, {12.5f, -30}},
        {"0.1,7", true, {0.1f, 7}},          {"423;237", false, {}},  {"423 237", false, {}},
        {"423", false, {}},                  {"abc", false, {}},      {"4,5,6", false, {}},
        {"nan,nan", false, {}},              {"1e99,1", false, {}},   {"423,237x", false, {}},
        {",5", false, {}},                   {"5,", false, {}},       {"423,5 237,5", false, {}},
    };
    // clang-format on
    for (auto const& row : rows) {
        Point p = {-1, -1};
        EXPECT_EQ(parsePoint(row.line, p), row.read) << row.line;
        Point const want = row.read ? row.p : Point{-1, -1};  // a refusal leaves p alone
        EXPECT_TRUE(p.x == want.x && p.y == want.y) << row.line << ": " << p.x << "," << p.y;
    }
}

}  // namespace
