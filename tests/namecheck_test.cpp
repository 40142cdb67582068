// The name check: a file passes when one of its pieces (a line, or 29 bytes of a
// longer one) begins with "P5"; otherwise it says why. The fuzz target's seeds
// replay the piece rule on more inputs.
#include "app/namecheck.h"
#include "tests/support.h"

namespace {

using NameCheckTest = Folder;

TEST_F(NameCheckTest, PassesOrSaysWhy)
{
    // clang-format off
    // What the file holds, and what the check prints ("" when the file passes).
    struct { char const* what; std::string file, printed; } const cases[] = {
        {"P5 first", "P5\n1 1\n255\n\x80", ""},
        {"P5 on a later line", "# note\nP5\n", ""},
        {"P5 begins the second piece", std::string(29, 'x') + "P5\n", ""},
        {"P5 straddles two pieces", std::string(28, 'y') + "P5\n", "\nERR."},
        {"P6", "P6\n1 1\n255\n", "\nERR."},
        {"empty", "", "\nERR."},
    };
    // clang-format on
    for (auto const& c : cases) {
        std::string const file = put("probe.pgm", c.file);
        bool passes = false;
        EXPECT_EQ(capture([&] { passes = passesNameCheck(file.c_str()); }).out, c.printed)
            << c.what;
        EXPECT_EQ(passes, c.printed.empty()) << c.what;
    }
    std::string const missing = path("missing.pgm");
    EXPECT_EQ(capture([&] { EXPECT_FALSE(passesNameCheck(missing.c_str())); }).out,
              "\nImpossible d'ouvrir le fichier :\n\t" + missing + "\n en lecture\n");
}

}  // namespace
