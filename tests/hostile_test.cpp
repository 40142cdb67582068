// Input that nobody vouches for: every case ends with a clear message or a
// defined result, never a crash or a hang, and what was already written stays.
#include "program_session.h"

#include <sys/stat.h>

namespace {

// Permissions do not bind the superuser: as root, the program runs as nobody.
class HostileTest : public ProgramSession {
protected:
    Outcome runUnprivileged(char const* program, std::string const& input)
    {
        if (::geteuid() != 0)
            return run(program, input);
        fs::permissions(dir, fs::perms::all);
        return run(program, input, "setpriv --reuid=65534 --regid=65534 --clear-groups ");
    }
};

std::string const kBase = p5(40, 30, pattern);

int further(int x, int y)
{
    return (x * 5 + y * 17 + 200) % 256;  // first pixel 200: easy to tell apart
}

std::string const kBaseDialogue = kBasePrompt +
                                  report(40, 30, "L'image est lue...", "base.pgm") +
                                  kBaseSketch + kPointPrompts + furtherPrompt(1);

std::string invalidSize(std::string const& name)
{
    return "\nTaille d'image illisible ou hors limites dans " + name + "\n";
}

// A directory passes the open on POSIX but yields no piece: "\nERR.".
TEST_F(HostileTest, DirectoryAsName)
{
    fs::create_directory(dir / "folder.pgm");
    Outcome o = run(kProgram, "folder.pgm\n");
    EXPECT_EQ(afterBanner(o.out), kBasePrompt + "\nERR." + kPause);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 1);
    EXPECT_FALSE(fs::exists(dir / "Redressement"));
}

TEST_F(HostileTest, UnreadableFile)
{
    writeFile(dir / "locked.pgm", kBase);
    fs::permissions(dir / "locked.pgm", fs::perms::none);
    Outcome o = runUnprivileged(kProgram, "locked.pgm\n");
    EXPECT_EQ(afterBanner(o.out), kBasePrompt + cannotOpen("locked.pgm") + kPause);
    EXPECT_EQ(o.status, 1);
}

struct Header {
    char const* what;
    std::string bytes;
    bool refused;  // the size line gives no usable size
};

// Size lines at and past every limit, as the base image: a refused size gives
// the empty image with a message, and the run goes on with it.
TEST_F(HostileTest, HeaderSizes)
{
    std::vector<Header> const headers = {
        {"zero by zero", "P5\n0 0\n255\n", true},
        {"zero width", "P5\n0 5\n255\n", true},
        {"negative", "P5\n-3 2\n255\nabcdef", true},
        {"one number", "P5\n3\n255\nabc", true},
        {"words", "P5\nthree two\n255\nabcdef", true},
        {"product past the limit", "P5\n46341 46341\n255\n", true},
        {"int max by two", "P5\n2147483647 2\n255\n", true},
        {"past int", "P5\n2147483648 1\n255\n", true},
        {"far past int", "P5\n99999999999999999999 1\n255\n", true},
        {"ends before the size", "P5\n# only a comment\n", true},
        {"signs and leading zeros", "P5\n+0003 +02\n255\nabcdef", false},
        {"no pixel block", "P5\n3 2\n255\n", false},
    };
    for (Header const& h : headers) {
        SCOPED_TRACE(h.what);
        fs::remove_all(dir / "Redressement");
        writeFile(dir / "odd.pgm", h.bytes);
        Outcome o = run(kProgram, "odd.pgm\n");
        int const size = h.refused ? 0 : 3;
        EXPECT_EQ(afterBanner(o.out), kBasePrompt +
                                          report(size, size ? 2 : 0, "L'image est lue...",
                                                 "odd.pgm") +
                                          kBaseSketch + kPointPrompts + furtherPrompt(1) +
                                          kEndOfInput + kPause);
        EXPECT_EQ(o.err, h.refused ? invalidSize("odd.pgm") : "");
        EXPECT_EQ(o.status, 1);
        std::string const pixels = h.bytes.size() > 11 ? h.bytes.substr(h.bytes.size() - 6) : "";
        EXPECT_EQ(output("odd.pgm"),
                  h.refused ? "P5\n0 0\n255\n"
                            : "P5\n3 2\n255\n" + (pixels == "abcdef" ? pixels : std::string(6, '\0')));
    }
}

// "Redressement" is a file: it is left as it was, and each write says why it fails.
TEST_F(HostileTest, OutputFolderIsAFile)
{
    writeFile(dir / "base.pgm", kBase);
    writeFile(dir / "Redressement", "precious");
    Outcome o = run(kProgram, "base.pgm\n");
    EXPECT_EQ(afterBanner(o.out), kBaseDialogue + kEndOfInput + kPause);
    EXPECT_EQ(o.err, "\nError to write the image file: Not a directory\n");
    EXPECT_EQ(readFile(dir / "Redressement"), "precious");
}

TEST_F(HostileTest, ReadOnlyOutputFolder)
{
    writeFile(dir / "base.pgm", kBase);
    fs::create_directory(dir / "Redressement");
    fs::permissions(dir / "Redressement", fs::perms::owner_read | fs::perms::owner_exec |
                                              fs::perms::group_read | fs::perms::group_exec |
                                              fs::perms::others_read | fs::perms::others_exec);
    Outcome o = runUnprivileged(kProgram, "base.pgm\n");
    EXPECT_EQ(afterBanner(o.out), kBaseDialogue + kEndOfInput + kPause);
    EXPECT_EQ(o.err, "\nError to write the image file: Permission denied\n");
    fs::permissions(dir / "Redressement", fs::perms::owner_all);
}

struct Typed {
    char const* what;
    std::string points;  // typed at the prompts of the further image
    bool uniform;        // every rectified pixel is the further image's first pixel
};

// Coordinates that parse to NaN, infinities, signed zeros, hex or nothing: the
// rectified image is written with the base size, and the base output stays whole.
TEST_F(HostileTest, TypedCoordinates)
{
    std::vector<Typed> const cases = {
        {"nan and inf", "nan,inf\n5,5\n", true},
        {"beyond float", "1e39,1\n5,5\n", true},
        {"both points at minus zero", "-0,-0\n-0,-0\n", true},
        {"a lone comma", ",\n", true},  // presets stay: far outside a small image
        {"x only", "1,\n", false},
        {"hexadecimal", "0x10,2\n20,9\n", false},
        {"huge whole numbers", "3e9,-3e9\n1e30,1e30\n", true},
    };
    for (Typed const& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "Redressement");
        writeFile(dir / "base.pgm", kBase);
        writeFile(dir / "further.pgm", p5(30, 20, further));
        Outcome o = run(kProgram, "base.pgm\n3,4\n25,20\nfurther.pgm\n" + c.points);
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(o.status, 1);
        std::string const out = afterBanner(o.out);
        EXPECT_EQ(out.substr(0, kBaseDialogue.size()), kBaseDialogue);
        EXPECT_EQ(out.substr(out.size() - kPause.size()), kPause);
        EXPECT_EQ(output("base.pgm"), kBase);

        std::string const rectified = output("further.pgm");
        std::string const header = "P5\n40 30\n255\n";
        ASSERT_EQ(rectified.size(), header.size() + 40 * 30);
        EXPECT_EQ(rectified.substr(0, header.size()), header);
        if (c.uniform) {
            EXPECT_EQ(rectified.substr(header.size()), std::string(40 * 30, '\xC8'));
        }
    }
}

// Input that ends inside a point prompt: the points keep what was read, and the
// run ends at the next name prompt.
TEST_F(HostileTest, InputEndsInsideAPointPrompt)
{
    for (std::string const tail : {"3", "3,", "3,4\n7"}) {
        SCOPED_TRACE(tail);
        fs::remove_all(dir / "Redressement");
        writeFile(dir / "base.pgm", kBase);
        Outcome o = run(kProgram, "base.pgm\n" + tail);
        EXPECT_EQ(afterBanner(o.out), kBaseDialogue + kEndOfInput + kPause);
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(output("base.pgm"), kBase);
    }
}

}  // namespace
