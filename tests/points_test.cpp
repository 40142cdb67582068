// Point entry: "x,y" read at each prompt; a coordinate the text does not supply
// keeps its preset, and what a read leaves stays for the next one.
#include "app/points.h"
#include "tests/support.h"

namespace {

using PointsTest = Folder;

TEST_F(PointsTest, UnsuppliedCoordinatesKeepTheirPresets)
{
    // clang-format off
    struct { char const* typed; Point want[4]; } const cases[] = {
        {"1,2\n3,4\n5,6\n7,8\n", {{1, 2}, {3, 4}, {5, 6}, {7, 8}}},
        {"", {{597, 578}, {2779, 1846}, {162, 3070}, {2955, 1468}}},
        // The comma stops the first number and stays in the input: every read stops there.
        {",\n1,\n3", {{597, 578}, {2779, 1846}, {162, 3070}, {2955, 1468}}},
        {"1,2\n3;4\n5,6\n", {{1, 2}, {3, 1846}, {162, 3070}, {2955, 1468}}},
    };
    // clang-format on
    for (auto const& c : cases) {
        ASSERT_NE(std::freopen(put("typed.txt", c.typed).c_str(), "rb", stdin), nullptr);
        Point p[4];
        capture([&] {
            readPoints(ImageKind::base, p[0], p[1]);
            readPoints(ImageKind::further, p[2], p[3]);
        });
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(p[i].x == c.want[i].x && p[i].y == c.want[i].y)
                << "'" << c.typed << "', point " << i << ": " << p[i].x << "," << p[i].y;
    }
    ASSERT_NE(std::freopen("/dev/null", "rb", stdin), nullptr);
}

}  // namespace
