// End-to-end: the built program is run in a fresh folder with scripted standard
// input; its stdout, stderr, exit status and the files in "Redressement" are
// compared byte for byte with what the dialogue promises.
#include "program_session.h"

namespace {

using RunTest = ProgramSession;

// A base image and two further ones: one shifted by (5, 3), one turned half a
// turn about a point; whole control points keep every source position whole.
TEST_F(RunTest, SeriesOfTwoFurtherImages)
{
    int const w = 40;
    int const h = 30;
    writeFile(dir / "base.pgm", p5(w, h, pattern));
    writeFile(dir / "shifted.pgm", p5(50, 36, [](int x, int y) { return (x * 3 + y * 29) % 256; }));
    writeFile(dir / "turned.pgm", p5(45, 35, [](int x, int y) { return (x * 11 + y * 5 + 7) % 256; }));

    Outcome o = run(kProgram, "base.pgm\n10,12\n30,25\n"
                              "shifted.pgm\n15,15\n35,28\n"
                              "turned.pgm\n33,20\n13,7\n"
                              "missing.pgm\n");

    EXPECT_EQ(afterBanner(o.out),
              kBasePrompt + report(w, h, "L'image est lue...", "base.pgm") + kBaseSketch +
                  kPointPrompts + furtherPrompt(1) +
                  report(50, 36, "L'image 1 est lue...", "shifted.pgm") + kFurtherSketch +
                  kPointPrompts + furtherPrompt(2) +
                  report(45, 35, "L'image 2 est lue...", "turned.pgm") + kFurtherSketch +
                  kPointPrompts + furtherPrompt(3) + cannotOpen("missing.pgm") + kPause);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 1);

    EXPECT_EQ(output("base.pgm"), p5(w, h, pattern));
    EXPECT_EQ(output("shifted.pgm"), p5(w, h, [](int x, int y) {
                  return (x + 5 < 50 && y + 3 < 36) ? ((x + 5) * 3 + (y + 3) * 29) % 256 : 0;
              }));
    EXPECT_EQ(output("turned.pgm"), p5(w, h, [](int x, int y) {
                  int sx = 33 - (x - 10);
                  int sy = 20 - (y - 12);
                  bool inside = sx >= 0 && sx < 45 && sy >= 0 && sy < 35;
                  return inside ? (sx * 11 + sy * 5 + 7) % 256 : 7;
              }));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "Redressement"), fs::directory_iterator()), 3)
        << "no test file is left behind";
}

// With the switch on: fixed names, preset points, the reports and one further
// image; the worked example holds to the pixel.
TEST_F(RunTest, TestSwitchRunsTheWorkedExample)
{
    auto further = [](int x, int y) { return (x * 7 + y * 3) % 253; };
    writeFile(dir / "img1.pgm", p5(2800, 1900, pattern));
    writeFile(dir / "img2.pgm", p5(3000, 3100, further));

    Outcome o = run(kSwitchProgram, "");

    EXPECT_EQ(afterBanner(o.out),
              report(2800, 1900, "L'image est lue...", "img1.pgm") + kBaseSketch + kPointPrompts +
                  "\nIMAGE img1.pgm \nGisement 1.044376 \nGisement 66.49 gon\nDistance 2523.7 " +
                  furtherPrompt(1) + report(3000, 3100, "L'image 1 est lue...", "img2.pgm") +
                  kFurtherSketch + kPointPrompts +
                  "\nIMAGE img2.pgm \nGisement 2.091560 \nGisement 133.15 gon\nDistance 3219.8 "
                  "\n- - - - - - - - - - - - - - - - - - - - - -"
                  "\n- - - - - - - - - - - - - - - - - - - - - -"
                  "\n\tAngle 60.0 \xB0\n\techelle 0.8 \n\n\n" +
                  kPause);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0);

    std::string const header = "P5\n2800 1900\n255\n";
    std::string const rectified = output("img2.pgm");
    ASSERT_EQ(rectified.size(), header.size() + 2800u * 1900u);
    ASSERT_EQ(rectified.substr(0, header.size()), header);
    auto at = [&](int x, int y) { return static_cast<unsigned char>(rectified[header.size() + x + y * 2800]); };
    EXPECT_EQ(at(597, 578), further(162, 3070));
    EXPECT_EQ(at(2779, 1846), further(2955, 1468));
    EXPECT_EQ(at(1000, 578), further(419, 2625));
    EXPECT_EQ(at(0, 0), further(0, 0));
}

struct FailureEnd {
    char const* what;
    std::string input;
    std::string dialogue;  // after the banner
};

// Every way a run ends early: the message, the pause, status 1, and nothing
// written for the name that failed.
TEST_F(RunTest, FailureEnds)
{
    std::string const longName(234, 'n');
    std::string const baseReport = kBasePrompt + report(40, 30, "L'image est lue...", "base.pgm") +
                                   kBaseSketch + kPointPrompts + furtherPrompt(1);
    std::vector<FailureEnd> const cases = {
        {"missing base", "absent.pgm\n", kBasePrompt + cannotOpen("absent.pgm") + kPause},
        {"end of input at the base prompt", "", kBasePrompt + cannotOpen("") + kPause},
        {"text file as base", "notes.txt\n", kBasePrompt + "\nERR." + kPause},
        {"empty file as base", "empty.pgm\n", kBasePrompt + "\nERR." + kPause},
        {"over-long name", longName + "\n",
         kBasePrompt + "\nNom de fichier trop long : 233 caract\xE8res au plus\n" + kPause},
        {"end of input in the loop", "base.pgm\n1,1\n5,5\n",
         baseReport + kEndOfInput + kPause},
        {"P6 file in the loop", "base.pgm\n1,1\n5,5\ncolour.ppm\n", baseReport + "\nERR." + kPause},
    };
    for (FailureEnd const& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "Redressement");
        writeFile(dir / "base.pgm", p5(40, 30, pattern));
        writeFile(dir / "notes.txt", "P2 is not here\n# nor P5 at a piece start\n");
        writeFile(dir / "empty.pgm", "");
        writeFile(dir / "colour.ppm", "P6\n1 1\n255\nabc");
        Outcome o = run(kProgram, c.input);
        EXPECT_EQ(afterBanner(o.out), c.dialogue);
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(o.status, 1);
        EXPECT_FALSE(hasOutput("colour.ppm"));
        EXPECT_FALSE(hasOutput(longName));
    }
}

// A name of 233 bytes is the longest taken: its output and test paths still fit.
TEST_F(RunTest, LongestNameIsTaken)
{
    std::string const name = std::string(229, 'b') + ".pgm";
    writeFile(dir / name, p5(4, 3, pattern));
    Outcome o = run(kProgram, name + "\n0,0\n3,2\n");
    EXPECT_NE(o.out.find(report(4, 3, "L'image est lue...", name)), std::string::npos);
    EXPECT_EQ(output(name), p5(4, 3, pattern));
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 1);
}

// "x;y" converts x only: y keeps its preset, the read for B converts nothing,
// and the unread rest is taken as the next file name.
TEST_F(RunTest, UnreadPointTextReachesTheNextName)
{
    writeFile(dir / "base.pgm", p5(40, 30, pattern));
    Outcome o = run(kProgram, "base.pgm\n600;580\n");
    EXPECT_EQ(afterBanner(o.out), kBasePrompt + report(40, 30, "L'image est lue...", "base.pgm") +
                                      kBaseSketch + kPointPrompts + furtherPrompt(1) +
                                      cannotOpen(";580") + kPause);
    EXPECT_EQ(o.status, 1);
}

// A name is one word: what follows a space is left for the point prompts,
// which cannot convert it, and it comes back as the next name.
TEST_F(RunTest, NameIsOneWord)
{
    writeFile(dir / "base.pgm", p5(40, 30, pattern));
    Outcome o = run(kProgram, "base.pgm rest\n");
    EXPECT_EQ(afterBanner(o.out), kBasePrompt + report(40, 30, "L'image est lue...", "base.pgm") +
                                      kBaseSketch + kPointPrompts + furtherPrompt(1) +
                                      cannotOpen("rest") + kPause);
}

// A missing output folder is made at the first name that passes; a present
// one is left as it is, with no test file behind.
TEST_F(RunTest, OutputFolderMadeOnceAndLeftClean)
{
    writeFile(dir / "base.pgm", p5(40, 30, pattern));
    ASSERT_FALSE(fs::exists(dir / "Redressement"));
    Outcome first = run(kProgram, "base.pgm\n1,1\n5,5\nbase.pgm\n1,1\n5,5\n");
    EXPECT_EQ(first.err, "");
    EXPECT_TRUE(fs::is_directory(dir / "Redressement"));
    EXPECT_EQ(output("base.pgm"), p5(40, 30, pattern)) << "identity on the same image";

    writeFile(dir / "Redressement" / "keep.txt", "kept");
    Outcome second = run(kProgram, "base.pgm\n");
    EXPECT_EQ(second.err, "");
    std::vector<std::string> names;
    for (auto const& e : fs::directory_iterator(dir / "Redressement"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"base.pgm", "keep.txt"}));
    EXPECT_EQ(readFile(dir / "Redressement" / "keep.txt"), "kept");
}

// A name with a folder part: "Redressement/photos" does not exist, so both
// writes of the image fail with their message and the run goes on.
TEST_F(RunTest, NameWithFolderPart)
{
    fs::create_directories(dir / "photos");
    writeFile(dir / "base.pgm", p5(40, 30, pattern));
    writeFile(dir / "photos" / "a.pgm", p5(40, 30, pattern));
    Outcome o = run(kProgram, "base.pgm\n1,1\n5,5\nphotos/a.pgm\n1,1\n5,5\n");
    EXPECT_EQ(afterBanner(o.out), kBasePrompt +
                                      report(40, 30, "L'image est lue...", "base.pgm") +
                                      kBaseSketch + kPointPrompts + furtherPrompt(1) +
                                      report(40, 30, "L'image 1 est lue...", "photos/a.pgm") +
                                      kFurtherSketch + kPointPrompts + furtherPrompt(2) +
                                      kEndOfInput +
                                      kPause);
    std::string const failed = "\nError to write the image file: No such file or directory\n";
    EXPECT_EQ(o.err, failed + failed);
    EXPECT_FALSE(fs::exists(dir / "Redressement" / "photos"));
}

// A file whose "P5" line is not first passes the name check but not the
// loader: the run goes on with a 0 x 0 base, and every file holds a header only.
TEST_F(RunTest, UnloadableBaseGivesEmptyImages)
{
    writeFile(dir / "late.pgm", "# made elsewhere\nP5\n3 2\n255\nabcdef");
    writeFile(dir / "b.pgm", p5(6, 5, pattern));
    Outcome o = run(kProgram, "late.pgm\n1,1\n2,2\nb.pgm\n1,1\n2,2\n");
    EXPECT_EQ(afterBanner(o.out), kBasePrompt + report(0, 0, "L'image est lue...", "late.pgm") +
                                      kBaseSketch + kPointPrompts + furtherPrompt(1) +
                                      report(6, 5, "L'image 1 est lue...", "b.pgm") +
                                      kFurtherSketch + kPointPrompts + furtherPrompt(2) +
                                      kEndOfInput +
                                      kPause);
    EXPECT_EQ(o.err, kFormatMessage);
    EXPECT_EQ(output("late.pgm"), "P5\n0 0\n255\n");
    EXPECT_EQ(output("b.pgm"), "P5\n0 0\n255\n");
}

}  // namespace
