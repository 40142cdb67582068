// Point entry: "x,y" read at each prompt; a coordinate the text does not supply
// keeps its preset, and what a read leaves stays for the next one. Whole points as
// typed, and the presets themselves, run_test shows end to end.
#include "app/points.h"
#include "tests/support.h"

namespace {

using PointsTest = Folder;

TEST_F(PointsTest, UnsuppliedCoordinatesKeepTheirPresets)
{
    // clang-format off
    struct { char const* typed; Point want[4]; } const cases[] = {
        {"", {{597, 578}, {2779, 1846}, {162, 3070}, {2955, 1468}}},
        // The ';' stops B's y and stays in the input: every later read stops there.
        {"1,2\n3;4\n5,6\n", {{1, 2}, {3, 1846}, {162, 3070}, {2955, 1468}}},
    };
    // clang-format on
    for (auto const& c : cases) {
        writeFile(dir / "typed.txt", c.typed);
        ASSERT_NE(std::freopen(path("typed.txt").c_str(), "rb", stdin), nullptr);
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
