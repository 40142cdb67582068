// The demo's companions, run as built: tavrin-diff's exact figures and map bytes on
// tiny images and every way it refuses; tavrin-sample's landmark table and refusals;
// and the man page, which must render without a warning.
#include "tests/support.h"

namespace {

// Base and rectified, 3 x 2: absolute differences 0 5 10 / 10 0 5, so the largest is
// 10 and the palette's worked values apply: 10 is (255, 0, 0), 5 is (0, 207, 25), 0 is
// (39, 0, 159); a pixel the further image does not cover is (39, 0, 0).
struct ToolCase {
    std::string command;  // "diff ..." or "sample ...", arguments quoted for the shell
    int status;
    std::string out;          // a part of stdout, "" when nothing is printed
    std::string err;          // a part of stderr, "" when nothing is printed
    std::string map = {};     // the pixels of map.ppm, "" when none is written
    std::string setup = {};   // shell commands run in the folder first
    std::string prefix = {};  // before the tool: "ulimit -f 0;" ...
};

std::string figures(char const* name, char const* mean, char const* within, int n,
                    char const* frame)
{
    return std::string(name) + ": mean abs difference " + mean + ", " + within +
           "% within 8 grey levels, over " + std::to_string(n) + " pixels (" + frame +
           "% of the frame)\n";
}

using ToolsTest = Folder;

TEST_F(ToolsTest, EveryCase)
{
    std::string const f = "diff base.pgm rect.pgm map.ppm further.pgm ";
    std::string const mustBeXY = "tavrin-diff: point A' must be typed x,y (two numbers and a "
                                 "comma, no blank), not '";
    std::string const whole =
        bytes({39, 0, 159, 0, 207, 25, 255, 0, 0, 255, 0, 0, 39, 0, 159, 0, 207, 25});
    std::string const shifted =
        bytes({39, 0, 159, 0, 207, 25, 39, 0, 0, 255, 0, 0, 39, 0, 159, 39, 0, 0});
    std::string const usage = "\nusage: tavrin-diff BASE.pgm RECTIFIED.pgm MAP.ppm ";
    std::string const toFull = "sh -c 'exec \"$0\" \"$@\" >/dev/full'";  // stdout on a full disk
    // clang-format off
    std::vector<ToolCase> const cases = {
        {"diff base.pgm rect.pgm map.ppm", 0, figures("rect.pgm", "5.00", "66.7", 6, "100.0"), "", whole},
        // A' - A = (1, 1): base (x, y) lies at (x + 1, y + 1); column 2 falls out.
        {f + "0,0 2,0 1,1 3,1", 0, figures("rect.pgm", "3.75", "75.0", 4, "66.7"), "", shifted},
        // Scale 2 and a quarter turn: base (x, y) at (5 - 2y, 1 + 2x) in the 6 x 5 image,
        // inside for (0, 1) and (1, 1) only; the opposite turn would cover nothing.
        {"diff base.pgm rect.pgm map.ppm big.pgm 0,0 1,0 5,1 5,3", 0, figures("rect.pgm", "5.00", "50.0", 2, "33.3"),
         "", bytes({39, 0, 0, 39, 0, 0, 39, 0, 0, 255, 0, 0, 39, 0, 159, 39, 0, 0})},
        {f + "0,0 2,0 +1.0,1e0 3,1", 0, "over 4 pixels", "", shifted},
        {"diff --help", 0, "usage: tavrin-diff BASE.pgm RECTIFIED.pgm MAP.ppm [FURTHER.pgm A B A' B']\n", ""},
        {"diff", 2, "", usage},
        {f + "0,0 1,0 1,1", 2, "", usage},
        {f + "0,0 2,0 '1;1' 3,1", 2, "", mustBeXY + "1;1'"},
        {f + "0,0 2,0 1, 3,1", 2, "", mustBeXY},
        {f + "0,0 2,0 1e999,1 3,1", 2, "", mustBeXY},
        {f + "5,5 5,5 1,1 3,1", 2, "", "A and B must be two different points, and so must A' and B'\nTry "},
        {f + "0,0 2,0 1,1 3,1 x", 2, "", usage},
        {"diff base.pgm rect.pgm map.ppm missing.pgm 0,0 2,0 1,1 3,1", 1, "", "cannot open missing.pgm: No such file or directory\n"},
        {"diff base.pgm plain.pgm map.ppm", 1, "", "tavrin-diff: plain.pgm is not a binary PGM (P5) image\n"},
        {"diff bad.pgm rect.pgm map.ppm", 1, "", "\ntavrin-diff: cannot read the image in bad.pgm\n"},
        {"diff base.pgm wide.pgm map.ppm", 1, "",
         "wide.pgm is 2 x 3 pixels and base.pgm 3 x 2: a rectified image has its base image's size\n"},
        {f + "0,0 2,0 100,100 102,100", 1, "", "further.pgm covers no pixel of the base frame: nothing to compare\n"},
        // Nothing is destroyed, nothing blocks, no failure passes for a success: every
        // file but map.ppm is compared after each row.
        {"diff base.pgm rect.pgm rect.pgm", 1, "", "tavrin-diff: the map rect.pgm would replace rect.pgm, an image compared: nothing is written\n"},
        {"diff base.pgm rect.pgm big.pgm", 1, "", "tavrin-diff: the map big.pgm would replace a P5 photograph: nothing is written\n"},
        {"diff base.pgm rect.pgm map.ppm", 0, "over 6 pixels", "", whole, "ln -s plain.pgm map.ppm"},
        {"diff base.pgm rect.pgm map.ppm", 1, "", "File exists\ntavrin-diff: could not write map.ppm\n", "", "mkfifo map.ppm"},
        {"diff large.pgm large.pgm map.ppm", 1, "", "File too large\ntavrin-diff: could not write map.ppm\n", "",
         "{ printf 'P5\\n40 30\\n255\\n'; head -c 1200 /dev/zero; } >large.pgm", "ulimit -f 1;"},
        {"diff base.pgm rect.pgm map.ppm", 1, "", "tavrin-diff: the figures could not be written: No space left on device\n", whole, "", toFull},
        {"diff base.pgm /dev/zero map.ppm", 1, "", "tavrin-diff: /dev/zero is not a regular file\n"},
        {"sample series", 1, "", "File exists\ntavrin-sample: could not write series/landmarks.txt\n", "", "mkdir series && mkfifo series/landmarks.txt"},
        {"sample series", 1, "", "tavrin-sample: the landmarks could not be printed: No space left on device\n", "", "", toFull},
        {"sample a b", 2, "", "usage: tavrin-sample [FOLDER]\n"},
        {"sample --help", 0, "usage: tavrin-sample [FOLDER]\n", ""},
        // The landmarks as tavrin's prompts take them, the link in their place replaced;
        // demo_test.sh checks that they align.
        {"sample series", 0, "\nrotated.pgm    1115,435   365,913    # 1500 x 1350", "", "", "mkdir series && ln -s ../plain.pgm series/landmarks.txt"},
        // A folder inside a plain file cannot be made, not even by root.
        {"sample plain.pgm/series", 1, "", "tavrin-sample: cannot make the folder plain.pgm/series: "},
    };
    // clang-format on
    writeFile(dir / "base.pgm", p5(3, 2, [](int x, int y) { return 10 + 10 * x + 30 * y; }));
    writeFile(dir / "rect.pgm", "P5\n3 2\n255\n" + bytes({10, 25, 40, 50, 50, 55}));
    writeFile(dir / "further.pgm", p5(4, 4, [](int x, int y) { return x + y; }));
    writeFile(dir / "big.pgm", p5(6, 5, [](int, int) { return 0; }));
    writeFile(dir / "wide.pgm", p5(2, 3, [](int, int) { return 0; }));
    writeFile(dir / "plain.pgm", "P2\n3 2\n255\n1 2 3\n4 5 6\n");
    writeFile(dir / "bad.pgm", "P5\nthree two\n255\n");
    for (ToolCase const& c : cases) {
        SCOPED_TRACE(c.command);
        std::system(("cd '" + dir.string() + "' && rm -rf map.ppm large.pgm series && { :; " +
                     c.setup + "\n}")
                        .c_str());
        Files before = snapshot(dir);
        bool const diff = c.command.rfind("diff", 0) == 0;
        Outcome o = run(diff ? TAVRIN_DIFF_BIN : TAVRIN_SAMPLE_BIN, "",
                        c.command.substr(diff ? 4 : 6), c.prefix);
        EXPECT_EQ(o.status, c.status);
        for (auto [got, part] : {std::pair{o.out, c.out}, std::pair{o.err, c.err}})
            EXPECT_TRUE(part.empty() ? got.empty() : got.find(part) != std::string::npos) << got;
        if (!c.map.empty())
            before["map.ppm"] = "P6\n3 2\n255\n" + c.map;
        Files after = snapshot(dir);
        for (Files* files : {&before, &after})  // sample's own files aside
            files->erase(files->lower_bound("series"), files->lower_bound("series~"));
        EXPECT_EQ(after, before);
    }
}

TEST_F(ToolsTest, ManPageRendersWithoutWarnings)
{
    Outcome o = run("man", "", "--warnings -l '" TAVRIN_MAN_PAGE "'", "MANWIDTH=80");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    for (char const* section :
         {"NAME", "SYNOPSIS", "THE DIALOGUE", "CONTROL POINTS", "HOW A SERIES ENDS",
          "OUTPUT FOLDER", "EXIT STATUS", "POSIX AND WINDOWS"})
        EXPECT_NE(o.out.find(std::string("\n") + section + "\n"), std::string::npos) << section;
}

}  // namespace
