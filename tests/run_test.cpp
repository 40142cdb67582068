// The run end to end: the built program in a fresh folder with scripted input; its
// stdout, stderr, exit status and every file in the folder compared byte for byte.
#include "tests/support.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>

#include <cctype>

namespace {

// The dialogue's fixed pieces, as the operator sees them.
std::string const kBasePrompt =
    "\nEntrez le nom de l'image de Base avec l'extention\n  *.PGM\n\t -> ";
std::string const kPointPrompts =
    "\nCoordonnes du point A (x,y) -> \nCoordonnes du point B (x,y) -> ";
std::string const kPause = "Appuyez sur une touche pour continuer...\n";
std::string const kEnded =
    std::string("\nFin des donn\xE9") + "es : plus aucun nom d'image \xE0 lire\n" + kPause;
std::string const kWriteFailed = "\nError to write the image file: ";

// The sketch of A and B, or (prime "'") of A' and B'.
std::string sketch(std::string const& prime)
{
    return "\n\t\t  + A" + prime + " \n\t\t  \n\t\t \n\t\t  \n\t\t                    + B" + prime +
           "\n\n";
}

std::string furtherPrompt(int n)
{
    return "\nEntrez le nom de l'image " + std::to_string(n) +
           " avec l'extention\n\t*.PGM\n\t\t -> ";
}

// In place of "Fichier creer :" when a write did not take place.
std::string notWritten(std::string const& path, std::string const& reason)
{
    return std::string("\nFichier non \xE9") + "crit : " + path + " (" + reason + ")\n";
}

// Why a write inside Redressement is refused, on stderr.
std::string refused(std::string const& why)
{
    return std::string("\n\xC9") + "criture refus\xE9" + "e : Redressement/" + why + "\n";
}

// An image's report: its file written at Redressement/name, or the line given.
std::string report(int w, int h, std::string const& readLine, std::string const& name,
                   std::string const& notWrittenLine = "")
{
    return "\nImage en N&B de " + std::to_string(w) + " x " + std::to_string(h) +
           " pix prise en charge...\n\n" + readLine +
           (notWrittenLine.empty() ? "\nFichier creer :\nRedressement/" + name + "\n"
                                   : notWrittenLine);
}

std::string cannotOpen(std::string const& name)
{
    return "\nImpossible d'ouvrir le fichier :\n\t" + name + "\n en lecture\n";
}

// From the base prompt to the first further prompt, for a base image of w x h.
std::string baseDone(std::string const& name, int w = 40, int h = 30,
                     std::string const& notWrittenLine = "")
{
    return kBasePrompt + report(w, h, "L'image est lue...", name, notWrittenLine) + sketch("") +
           kPointPrompts + furtherPrompt(1);
}

std::string noResult(int n, std::string const& more = "")
{
    return std::string("Aucun r\xE9") + "sultat pour l'image " + std::to_string(n) + more + "\n";
}

// Further image n, to the next prompt: its copy's report (a line given when the copy
// was not written), its points, and a line given when its result was not written.
std::string furtherDone(int n, int w, int h, std::string const& name,
                        std::string const& notWrittenLine = "", std::string const& resultLine = "")
{
    std::string const result = !resultLine.empty()      ? resultLine
                               : notWrittenLine.empty() ? ""
                                                        : notWrittenLine + noResult(n);
    return report(w, h, "L'image " + std::to_string(n) + " est lue...", name, notWrittenLine) +
           sketch("'") + kPointPrompts + result + furtherPrompt(n + 1);
}

// A further image n that cannot be loaded: no report, its points still read.
std::string unreadable(int n, std::string const& name)
{
    return "\nImpossible de lire l'image :\n\t" + name + "\n" + noResult(n) + sketch("'") +
           kPointPrompts + furtherPrompt(n + 1);
}

std::string folderUnusable(std::string const& reason)
{
    return kBasePrompt + "\nImpossible d'\xE9" + "crire dans le dossier Redressement : " + reason +
           "\n" + kPause;
}

// Answers as Notepad saves them in "Unicode": a byte-order mark, then UTF-16.
std::string utf16(std::u16string const& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        char const high = static_cast<char>(unit >> 8);
        char const low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// What stdout holds after the banner: six title lines, a blank line, six subtitle
// lines set off by two tabs, a blank line.
std::string afterBanner(std::string const& out)
{
    std::size_t at = 0;
    for (int line = 0; line < 14; ++line) {
        EXPECT_EQ(out.compare(at, 2, "\t\t") == 0, line >= 7 && line < 13)
            << "banner line " << line;
        at = out.find('\n', at) + 1;
    }
    return out.substr(at);
}

// One run of the program and all it must leave behind.
struct Row {
    char const* what;
    std::string setup;  // shell commands run in the folder first: files, links, FIFOs, modes
    std::string input;  // what is typed
    std::string out;    // stdout after the banner
    Files outputs;      // the files the run writes, with their bytes
    std::string err = {};
    int status = 1;
    std::string prefix = {};  // before the program: kWithoutOverride, "ulimit -f 4;" ...
};

void PrintTo(Row const& row, std::ostream* os)
{
    *os << row.what;
}

auto const shifted = [](int x, int y) { return (x * 3 + y * 29) % 256; };
auto const turned = [](int x, int y) { return (x * 11 + y * 5 + 7) % 256; };

std::string const kBase = p5(40, 30, pattern);

// Permissions do not bind the superuser: as root, a run that must meet them runs
// without the capabilities that override them.
std::string const kWithoutOverride = ::geteuid() == 0 ? "setpriv --bounding-set=-all" : "";

std::vector<Row> rows()
{
    std::string const longest = std::string(229, 'b') + ".pgm";
    std::string const empty = "P5\n0 0\n255\n";
    std::string const tooLong = "\nNom de fichier trop long : 233 caract\xE8res au plus\n";
    Files const baseOut = {{"Redressement/base.pgm", kBase}};
    std::string const climbs = refused("../run/shifted.pgm sortirait du dossier Redressement");
    std::string const throughLink = refused("sub/b.pgm passerait par un lien");
    std::string const isInput = " est une image lue par cette s\xE9rie";
    std::string const another = std::string(" est un autre r\xE9") + "sultat de cette s\xE9rie";
    std::string const twice =
        std::string("un autre r\xE9") + "sultat de cette s\xE9rie porte ce nom";
    // A half turn of `turned` sending (x, y) to (cx - x, cy - y) on a w x h canvas.
    auto const halfTurned = [&](int w, int h, int cx, int cy) {
        return p5(w, h, [&](int x, int y) {
            int const sx = cx - x;
            int const sy = cy - y;
            return sx >= 0 && sx < 45 && sy >= 0 && sy < 35 ? turned(sx, sy) : 7;
        });
    };
    // A shift by (5, 3) and a half turn about a point: whole control points keep every
    // source position whole.
    Files const series = {
        {"Redressement/base.pgm", kBase},
        {"Redressement/shifted.pgm",
         p5(40, 30, [&](int x, int y) { return x < 45 && y < 33 ? shifted(x + 5, y + 3) : 0; })},
        {"Redressement/turned.pgm", halfTurned(40, 30, 43, 32)}};
    // clang-format off
    return {
        {"a series of two further images", "",
         "base.pgm\n10,12\n30,25\nshifted.pgm\n15,15\n35,28\nturned.pgm\n33,20\n13,7\nfin\n",
         baseDone("base.pgm") + furtherDone(1, 50, 36, "shifted.pgm") +
             furtherDone(2, 45, 35, "turned.pgm") + cannotOpen("fin") + kPause, series},
        {"end of input at the base prompt", "", "", kBasePrompt + cannotOpen("") + kPause, {}},
        {"names of 233 and 234 bytes", "cp base.pgm " + longest, longest + "\n0,0\n3,2\n" + std::string(234, 'n') + "\n",
         baseDone(longest) + tooLong + kPause, {{"Redressement/" + longest, kBase}}},
        // A write that fails or is refused is said on stdout too, in place of "Fichier creer".
        // A folder that takes no file ends the run before any point is asked.
        {"Redressement is a file", "echo precious >Redressement", "base.pgm\n10,12\n",
         folderUnusable("Redressement est un fichier"), {}},
        {"Redressement read-only", "mkdir -m 555 Redressement", "base.pgm\n",
         folderUnusable("dossier en lecture seule"), {}, "", 1, kWithoutOverride},
        // Names as Explorer and Notepad give them: folders kept inside Redressement, a full
        // path written under its last element, a dropped path in quotes, a byte-order mark
        // and CR LF line ends; a UTF-8 name is bytes like any other here, and a name
        // not in quotes ends at a blank.
        {"names with folders, in quotes, absolute",
         "mkdir -p 'mes photos/2024' && cp shifted.pgm 'mes photos/2024/f 1.pgm' && cp turned.pgm \"$(printf '\\303\\251glise.pgm')\"",
         "\xEF\xBB\xBF\"mes photos/2024/f 1.pgm\"\r\n15,15\r\n35,28\r\n/proc/self/cwd/base.pgm\r\n10,12\r\n30,25\r\n"
         "\xC3\xA9glise.pgm\r\n33,20\r\n13,7\r\nrest of line\r\n",
         baseDone("mes photos/2024/f 1.pgm", 50, 36) + furtherDone(1, 40, 30, "base.pgm") +
             furtherDone(2, 45, 35, "\xC3\xA9glise.pgm") + cannotOpen("rest") + kPause,
         {{"Redressement/mes photos", "folder"}, {"Redressement/mes photos/2024", "folder"},
          {"Redressement/mes photos/2024/f 1.pgm", p5(50, 36, shifted)},
          {"Redressement/base.pgm",
           p5(50, 36, [&](int x, int y) { return x >= 5 && y >= 3 && x < 45 && y < 33 ? pattern(x - 5, y - 3) : 5; })},
          {"Redressement/\xC3\xA9glise.pgm", halfTurned(50, 36, 48, 35)}}},
        // "P5" at the start of a later line passes the name check, not the loader: the
        // further image gives no file, its points are read; "P5" elsewhere in a line does
        // not pass. A base that cannot be loaded (a size beyond the limit) ends the run.
        {"where the name check finds P5", "printf '# by hand\\nP5\\n3 2\\n255\\nabcdef' >late.pgm && printf 'P2\\n# P5\\n' >notes.txt",
         "base.pgm\n1,1\n2,2\nlate.pgm\n1,1\n2,2\nnotes.txt",
         baseDone("base.pgm") + unreadable(1, "late.pgm") + "\nERR.\n" + kPause, baseOut,
         "\nFormat d'image non support\xE9... <press enter to exit>"},
        {"a base beyond the size limit", "printf 'P5\\n65536 32768\\n255\\n' >odd.pgm", "odd.pgm\n10,12\n",
         kBasePrompt + "\nImpossible de lire l'image :\n\todd.pgm\n" + kPause, {{"Redressement", "folder"}},
         "\nTaille d'image illisible ou hors limites dans odd.pgm\n"},
        // Cameras reuse names: a name used twice in a run, from two folders or as the
        // base's, never replaces a result written earlier in the run.
        {"a name used twice", "mkdir 2019 2020 && cp shifted.pgm 2019/vue.pgm && cp turned.pgm 2020/vue.pgm",
         "base.pgm\n10,12\n30,25\n/proc/self/cwd/2019/vue.pgm\n15,15\n35,28\n/proc/self/cwd/2020/vue.pgm\n1,1\n5,5\n"
         "/proc/self/cwd/base.pgm\n1,1\n5,5\n",
         baseDone("base.pgm") + furtherDone(1, 50, 36, "vue.pgm") +
             furtherDone(2, 45, 35, "vue.pgm", notWritten("Redressement/vue.pgm", twice)) +
             furtherDone(3, 40, 30, "base.pgm", notWritten("Redressement/base.pgm", twice)) + kEnded,
         {{"Redressement/base.pgm", kBase}, {"Redressement/vue.pgm", series.at("Redressement/shifted.pgm")}},
         refused("vue.pgm" + another) + refused("vue.pgm" + another) + refused("base.pgm" + another) +
             refused("base.pgm" + another)},
        // Answers saved as UTF-16 are read as the text they hold; a quote left open
        // ends at the line's end.
        {"answers in UTF-16 LE, a quote left open", "cp turned.pgm \"$(printf '\\303\\251glise.pgm')\"",
         utf16(u"base.pgm\r\n10,12\r\n30,25\r\n\"shifted.pgm\r\n15,15\r\n35,28\r\n\u00E9glise.pgm\r\n33,20\r\n13,7\r\n", false),
         baseDone("base.pgm") + furtherDone(1, 50, 36, "shifted.pgm") +
             furtherDone(2, 45, 35, "\xC3\xA9glise.pgm") + kEnded,
         {*series.find("Redressement/base.pgm"), *series.find("Redressement/shifted.pgm"),
          {"Redressement/\xC3\xA9glise.pgm", series.at("Redressement/turned.pgm")}}},
        {"answers in UTF-16 BE", "", utf16(u"base.pgm\n", true), baseDone("base.pgm") + kEnded, baseOut},
        // Writes that would leave Redressement, or replace an image the run read, are
        // refused; a link at the output path is replaced, and nothing else is touched
        // (files named `*-test.tmp`, as an earlier version's folder check named its own, included).
        {"a name that climbs out, a folder below Redressement that is a link",
         "mkdir run && echo mine >run/shifted.pgm && mkdir -p Redressement elsewhere sub && "
         "ln -s ../elsewhere Redressement/sub && cp base.pgm sub/b.pgm",
         "base.pgm\n10,12\n30,25\n../run/shifted.pgm\n15,15\n35,28\nsub/b.pgm\n1,1\n5,5\n",
         baseDone("base.pgm") +
             furtherDone(1, 50, 36, "../run/shifted.pgm", notWritten("Redressement/../run/shifted.pgm", "sortirait du dossier Redressement")) +
             furtherDone(2, 40, 30, "sub/b.pgm", notWritten("Redressement/sub/b.pgm", "un dossier du chemin est un lien")) + kEnded,
         baseOut, climbs + climbs + throughLink + throughLink},
        {"Redressement a link to the folder", "ln -s . Redressement",
         "base.pgm\n10,12\n30,25\nshifted.pgm\n15,15\n35,28\n",
         baseDone("base.pgm", 40, 30, notWritten("Redressement/base.pgm", "image lue par cette s\xE9rie")) +
             furtherDone(1, 50, 36, "shifted.pgm", notWritten("Redressement/shifted.pgm", "image lue par cette s\xE9rie")) + kEnded, {},
         refused("base.pgm" + isInput) + refused("shifted.pgm" + isInput) + refused("shifted.pgm" + isInput)},
        {"earlier files and links in Redressement",
         "mkdir Redressement && echo earlier >Redressement/base.pgm && echo v >victim && "
         "ln -s ../shifted.pgm Redressement/shifted.pgm && echo mine >Redressement/base.pgm-test.tmp && "
         "ln -s ../victim Redressement/shifted.pgm-test.tmp",
         "base.pgm\n10,12\n30,25\nshifted.pgm\n15,15\n35,28\n",
         baseDone("base.pgm") + furtherDone(1, 50, 36, "shifted.pgm") + kEnded,
         {{"Redressement/base.pgm", kBase}, *series.find("Redressement/shifted.pgm")}},
        // A folder below Redressement swapped for a link while the result is being written
        // (each flush held back half a second, the swap made as the result's fresh file
        // appears): the result lands in the folder that was checked, nothing beyond it.
        // A sanitized build looks for no leak there: its leak check cannot run under strace.
        {"a folder swapped for a link during a write",
         "mkdir -p sub elsewhere Redressement/sub && cp base.pgm sub/b.pgm && "
         "( timeout 20 sh -c 'until [ -f Redressement/sub/b.pgm ]; do sleep 0.01; done; "
         "until set -- Redressement/sub/b.pgm.tavrin-*; [ -e \"$1\" ]; do sleep 0.01; done; "
         "mv Redressement/sub Redressement/old && ln -s ../elsewhere Redressement/sub' >/dev/null 2>&1 & )",
         "base.pgm\n10,12\n30,25\nsub/b.pgm\n10,12\n30,25\n",
         baseDone("base.pgm") + furtherDone(1, 40, 30, "sub/b.pgm") + kEnded,
         {{"Redressement/base.pgm", kBase}, {"Redressement/old", "folder"}, {"Redressement/old/b.pgm", kBase},
          {"Redressement/sub", "link to ../elsewhere"}},
         "", 1, "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e trace=fdatasync -e inject=fdatasync:delay_enter=500000"},
        {"a FIFO as name", "mkfifo pipe.pgm", "pipe.pgm\n", kBasePrompt + "\nERR.\n" + kPause, {}},
        {"a device as name", "", "/dev/zero\n", kBasePrompt + "\nERR.\n" + kPause, {}},
        {"a folder and a FIFO at the output paths", "mkdir -p Redressement/base.pgm && mkfifo Redressement/shifted.pgm",
         "base.pgm\n10,12\n30,25\nshifted.pgm\n15,15\n35,28\n",
         baseDone("base.pgm", 40, 30, notWritten("Redressement/base.pgm", "un dossier porte ce nom")) +
             furtherDone(1, 50, 36, "shifted.pgm", notWritten("Redressement/shifted.pgm", "un fichier sp\xE9" "cial porte ce nom")) + kEnded, {},
         kWriteFailed + "Is a directory\n" + kWriteFailed + "File exists\n" + kWriteFailed + "File exists\n"},
        // An endless word is refused at its 234th byte, not read to its end.
        {"an endless name", "ln -sf /dev/zero ../stdin", "", kBasePrompt + tooLong + kPause, {}},
        // SIGINT as the first write reaches the disk: the fresh file goes, the earlier file stays.
        {"a signal during a write", "mkdir Redressement && echo earlier >Redressement/base.pgm", "base.pgm\n",
         kBasePrompt, {}, "", 130, "strace -f -qq -o /dev/null -e trace=fdatasync -e inject=fdatasync:signal=SIGINT"},
        // The limit (512 or 1024-byte blocks) lets stdout and the further image's copy
        // through, but neither the base's copy nor the result, and the copy then goes.
        {"a write cut short by a file-size limit",
         "{ printf 'P5\\n200 100\\n255\\n'; head -c 20000 /dev/zero; } >big.pgm && mkdir Redressement && "
         "echo earlier >Redressement/big.pgm", "big.pgm\n10,12\n30,25\nshifted.pgm\n15,15\n35,28\n",
         baseDone("big.pgm", 200, 100, notWritten("Redressement/big.pgm", "fichier trop grand")) +
             furtherDone(1, 50, 36, "shifted.pgm", "",
                         notWritten("Redressement/shifted.pgm", "fichier trop grand") +
                             noResult(1, std::string(" : sa copie non redress\xE9") + "e est retir\xE9" + "e")) + kEnded, {},
         kWriteFailed + "File too large\n" + kWriteFailed + "File too large\n", 1, "ulimit -f 8;"},
    };
    // clang-format on
}

using RunTest = Folder;
class RunTable : public Folder, public testing::WithParamInterface<Row> {};

// Every row: the dialogue, the messages and the status exactly; the declared outputs
// with their bytes; every other file, link and folder as it was, and nothing else in
// the folder (no temporary file left in Redressement).
TEST_P(RunTable, EndsAsTheRowSays)
{
    Row const& row = GetParam();
    writeFile(dir / "base.pgm", kBase);
    writeFile(dir / "shifted.pgm", p5(50, 36, shifted));
    writeFile(dir / "turned.pgm", p5(45, 35, turned));
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && { :; " + row.setup + "\n}").c_str()), 0);
    Files expected = snapshot(dir);
    if (!row.outputs.empty())
        expected.emplace("Redressement", "folder");
    for (auto const& [name, content] : row.outputs)
        expected[name] = content;

    Outcome o = run(TAVRIN_RELEASE_BIN, row.input, "", row.prefix);
    EXPECT_EQ(afterBanner(o.out), row.out);
    EXPECT_EQ(o.err, row.err);
    EXPECT_EQ(o.status, row.status);
    EXPECT_EQ(snapshot(dir), expected);
}

INSTANTIATE_TEST_SUITE_P(EveryEnding, RunTable, testing::ValuesIn(rows()), [](auto const& info) {
    std::string name = info.param.what;
    for (char& c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

// At a terminal the pause waits for a new key: what is left of the typed line (the
// Enter that ended the name) is read away, or the window would close unread. Ctrl-C
// there ends the program with the terminal as it was: echo and whole lines back. A
// hang is ended by timeout, which ends as the program did.
TEST_F(RunTest, PauseAtATerminalWaitsForANewKey)
{
    for (bool const interrupted : {false, true}) {
        SCOPED_TRACE(interrupted ? "SIGINT at the pause" : "a key at the pause");
        int terminal = -1;
        pid_t const pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(dir.c_str()) == 0)
                execlp("timeout", "timeout", "-k", "5", "20", TAVRIN_RELEASE_BIN,
                       static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string shown;
        // What the terminal shows, read for up to the given time or until text is there.
        auto shows = [&](std::string const& text, int milliseconds) {
            for (int waited = 0; shown.find(text) == std::string::npos && waited < milliseconds;
                 waited += 10) {
                pollfd p = {terminal, POLLIN, 0};
                char buffer[4096];
                ssize_t const n = poll(&p, 1, 10) > 0 ? read(terminal, buffer, sizeof buffer) : 0;
                shown.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            }
            return shown.find(text) != std::string::npos;
        };
        EXPECT_EQ(write(terminal, "absent.pgm\n", 11), 11);  // typed ahead of the prompt
        EXPECT_TRUE(shows("continuer...", 10000));
        EXPECT_FALSE(shows("continuer...\r\n", 500)) << "the typed Enter was taken for the key";
        if (interrupted)
            kill(pid, SIGINT);
        else
            EXPECT_EQ(write(terminal, "k", 1), 1);
        EXPECT_EQ(shows("continuer...\r\n", interrupted ? 500 : 10000), !interrupted);
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(interrupted ? WIFSIGNALED(status) && WTERMSIG(status) == SIGINT
                                : WIFEXITED(status) && WEXITSTATUS(status) == 1);
        termios after;
        ASSERT_EQ(tcgetattr(terminal, &after), 0);
        EXPECT_EQ(after.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
        close(terminal);
    }
}

// The test switch: fixed names, preset points, its report lines and one further
// image; the worked example holds to the pixel.
TEST_F(RunTest, TestSwitchRunsTheWorkedExample)
{
    auto further = [](int x, int y) { return (x * 7 + y * 3) % 253; };
    writeFile(dir / "img1.pgm", p5(2800, 1900, pattern));
    writeFile(dir / "img2.pgm", p5(3000, 3100, further));
    Outcome o = run(TAVRIN_SWITCH_BIN, "");
    EXPECT_EQ(afterBanner(o.out),
              report(2800, 1900, "L'image est lue...", "img1.pgm") + sketch("") + kPointPrompts +
                  "\nIMAGE img1.pgm \nGisement 1.044376 \nGisement 66.49 gon\nDistance 2523.7 " +
                  furtherPrompt(1) + report(3000, 3100, "L'image 1 est lue...", "img2.pgm") +
                  sketch("'") + kPointPrompts +
                  "\nIMAGE img2.pgm \nGisement 2.091560 \nGisement 133.15 gon\nDistance 3219.8 "
                  "\n- - - - - - - - - - - - - - - - - - - - - -"
                  "\n- - - - - - - - - - - - - - - - - - - - - -"
                  "\n\tAngle 60.0 \xB0\n\techelle 0.8 \n\n\n" +
                  kPause);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0);

    std::string const header = "P5\n2800 1900\n255\n";
    std::string const rectified = readFile(dir / "Redressement" / "img2.pgm");
    ASSERT_EQ(rectified.size(), header.size() + 2800u * 1900u);
    ASSERT_EQ(rectified.substr(0, header.size()), header);
    auto at = [&](int x, int y) {
        return static_cast<unsigned char>(rectified[header.size() + x + y * 2800]);
    };
    EXPECT_EQ(at(597, 578), further(162, 3070));     // A lands on A'
    EXPECT_EQ(at(2779, 1846), further(2955, 1468));  // B on B'
    EXPECT_EQ(at(1000, 578), further(419, 2625));    // the row of A: dy counts as 0.01
    EXPECT_EQ(at(0, 0), further(0, 0));              // source (-857, 3361) lies outside
}

}  // namespace
