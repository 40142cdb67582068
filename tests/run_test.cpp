// The run end to end: the built program in a fresh folder with scripted input; its
// stdout, stderr, exit status and every file in the folder compared byte for byte.
#include "image/message_text.h"
#include "tests/support.h"

#include <tuple>

namespace {

// The dialogue's fixed pieces, as the operator sees them.
std::string const kBasePrompt =
    "\nEntrez le nom de l'image de Base avec l'extention\n  *.PGM\n\t -> ";
std::string const kPause = "Appuyez sur une touche pour continuer...\n";
std::string const kEnded =
    std::string("\nFin des donn\xE9") + "es : plus aucun nom d'image \xE0 lire\n" + kPause;
std::string const kWriteFailed = "\nError to write the image file: ";

// The sketch of A and B, or (prime "'") of A' and B', and the two points asked.
std::string points(std::string const& prime)
{
    return "\n\t\t  + A" + prime + " \n\t\t  \n\t\t \n\t\t  \n\t\t                    + B" + prime +
           "\n\n\nCoordonnes du point A (x,y) -> \nCoordonnes du point B (x,y) -> ";
}

std::string furtherPrompt(int n)
{
    return "\nEntrez le nom de l'image " + std::to_string(n) +
           " avec l'extention\n\t*.PGM\n\t\t -> ";
}

// In place of "Fichier creer :" when the write to Redressement/name did not take place.
std::string notWritten(std::string const& name, std::string const& why)
{
    return std::string("\nFichier non \xE9") + "crit : Redressement/" + name + " (" + why + ")\n";
}

// Why a write inside Redressement is refused, on stderr, as many times as said.
std::string refused(std::string const& why, int times = 1)
{
    return std::string("\n\xC9") + "criture refus\xE9" + "e : Redressement/" + why + "\n" +
           (times > 1 ? refused(why, times - 1) : "");
}

std::string noResult(int n, std::string const& more = "")
{
    return "Aucun r\xE9sultat pour l'image " + std::to_string(n) + more + "\n";
}

// What a point typed wrong is told.
std::string typedWrong(std::string const& typed)
{
    return "\nPoint non compris : \"" + typed +
           "\". Tapez x,y : deux nombres s\xE9par\xE9s par une virgule, par exemple 423,237\n";
}

// Image n (0 the base) from its report on: its copy written at Redressement/name, or why
// it was not, its points, then what follows them: by default, for a further image whose
// copy was not written, why its result was not either, and the next prompt.
std::string done(int n, std::string const& name, int w = 40, int h = 30,
                 std::string const& why = "", std::string const& after = "")
{
    std::string const next = n > 0 && !why.empty() ? notWritten(name, why) + noResult(n) : "";
    std::string const created = "\nFichier creer :\nRedressement/" + name + "\n";
    return "\nImage en N&B de " + std::to_string(w) + " x " + std::to_string(h) +
           " pix prise en charge...\n\nL'image" + (n == 0 ? "" : " " + std::to_string(n)) +
           " est lue..." + (why.empty() ? created : notWritten(name, why)) +
           points(n == 0 ? "" : "'") + (after.empty() ? next + furtherPrompt(n + 1) : after);
}

// Answers as Notepad saves them in "Unicode": a byte-order mark, then the Latin-1 text
// in UTF-16.
std::string utf16(std::string const& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text)
        bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return bytes;
}

// What stdout holds after the banner: six title lines, a blank line, six subtitle
// lines set off by two tabs, a blank line.
std::string afterBanner(std::string const& out)
{
    std::size_t at = 0;
    for (int line = 0; line < 14; ++line, at = out.find('\n', at) + 1)
        EXPECT_EQ(out.compare(at, 2, "\t\t") == 0, line >= 7 && line < 13) << "line " << line;
    return out.substr(at);
}

// One run of the program and all it must leave behind: the test's name; shell commands
// run in the folder first (files, links, FIFOs, modes); what is typed; stdout after the
// banner; the files the run writes, with their bytes; stderr; the status; what comes
// before the program (kWithoutOverride, "ulimit -f 4;" ...).
struct Row {
    char const* what;
    std::string setup, input, out;
    Files outputs;
    std::string err = {};
    int status = 1;
    std::string prefix = {};
    friend void PrintTo(Row const& row, std::ostream* os) { *os << row.what; }
};

auto const shifted = [](int x, int y) { return (x * 3 + y * 29) % 256; };
auto const turned = [](int x, int y) { return (x * 11 + y * 5 + 7) % 256; };

std::string const kBase = p5(40, 30, pattern);

// Permissions do not bind the superuser: as root, a run that must meet them runs
// without the capabilities that override them.
std::string const kWithoutOverride = ::geteuid() == 0 ? "setpriv --bounding-set=-all" : "";

std::vector<Row> rows()
{
    // What is typed for base.pgm and shifted.pgm, and what the run shows for them.
    std::string const B = "base.pgm\n10,12\n30,25\n", S = "shifted.pgm\n15,15\n35,28\n";
    std::string const base = kBasePrompt + done(0, "base.pgm"),
                      shiftedDone = done(1, "shifted.pgm", 50, 36);
    std::string const longest = std::string(229, 'b') + ".pgm";
    std::string const cannotOpen = "\nImpossible d'ouvrir le fichier :\n\t",
                      tooLong = "\nNom de fichier trop long : 233 octets au plus\n";
    std::string const unusable =
        kBasePrompt + "\nImpossible d'\xE9" + "crire dans le dossier Redressement : ";
    std::string const cannotRead = "\nImpossible de lire l'image :\n\t",
                      isInput = "image lue par cette s\xE9rie";
    std::string const another = " est un autre r\xE9sultat de cette s\xE9rie",
                      twice = "un autre r\xE9sultat de cette s\xE9rie porte ce nom";
    // A half turn of `turned` sending (x, y) to (cx - x, cy - y) on a w x h canvas.
    auto const halfTurned = [&](int w, int h, int cx, int cy) {
        return p5(w, h, [&](int x, int y) {
            return x <= cx && x > cx - 45 && y <= cy && y > cy - 35 ? turned(cx - x, cy - y) : 7;
        });
    };
    // A shift by (5, 3) and a half turn about a point: whole control points keep every
    // source position whole.
    Files::value_type const baseOut = {"Redressement/base.pgm", kBase};
    Files::value_type const shiftedOut = {"Redressement/shifted.pgm", p5(40, 30, [&](int x, int y) {
                                              return x < 45 && y < 33 ? shifted(x + 5, y + 3) : 0;
                                          })};
    // clang-format off
    return {
        // Answers saved as UTF-16 (here little endian, big endian below) are read as the
        // text they hold; a quote left open ends at the line's end.
        {"a_series_of_two_further_images_in_UTF_16_LE_a_quote_left_open", "cp turned.pgm '\xC3\xA9glise.pgm'",
         utf16("base.pgm\r\n10,12\r\n30,25\r\n\"shifted.pgm\r\n15,15\r\n35,28\r\n\xE9glise.pgm\r\n33,20\r\n13,7\r\nfin\r\n", false),
         base + shiftedDone + done(2, "\xC3\xA9glise.pgm", 45, 35) + cannotOpen + "fin\n en lecture\n" + kPause,
         {baseOut, shiftedOut, {"Redressement/\xC3\xA9glise.pgm", halfTurned(40, 30, 43, 32)}}},
        // A point that is not "x,y" costs nothing: said, and the run ends with no result
        // computed from it, the further image's copy removed; so does the end of input.
        {"points_typed_wrong_or_not_at_all", "",
         "base.pgm\n10,12\n30,25\nshifted.pgm\n15,15\n35;28\n",
         base + done(1, "shifted.pgm", 50, 36, "", typedWrong("35;28") + noResult(1, " : sa copie non redress\xE9" "e est retir\xE9" "e") + kPause),
         {baseOut}},
        {"a_base_point_of_one_number", "", "\n  \nbase.pgm\n\n10,12\n30 25\n",
         kBasePrompt + done(0, "base.pgm", 40, 30, "", typedWrong("30 25") + kPause), {baseOut}},
        {"end_of_input_at_a_point", "", "base.pgm\n10,12\n",
         kBasePrompt + done(0, "base.pgm", 40, 30, "", std::string("\nFin des donn\xE9") + "es : le point n'est pas donn\xE9\n" + kPause), {baseOut}},
        {"end_of_input_at_the_base_prompt", "", "", kBasePrompt + cannotOpen + "\n en lecture\n" + kPause, {}},
        {"names_of_233_and_234_bytes", "cp base.pgm " + longest, longest + "\n0,0\n3,2\n" + std::string(234, 'n') + "\n",
         kBasePrompt + done(0, longest) + tooLong + kPause, {{"Redressement/" + longest, kBase}}},
        // A write that fails or is refused is said on stdout too, in place of "Fichier creer".
        // A folder that takes no file ends the run before any point is asked.
        {"Redressement_is_a_file", "echo precious >Redressement", "base.pgm\n10,12\n", unusable + "Redressement est un fichier\n" + kPause, {}},
        {"Redressement_read_only", "mkdir -m 555 Redressement", "base.pgm\n", unusable + "dossier en lecture seule\n" + kPause, {}, "", 1, kWithoutOverride},
        // Names as Explorer and Notepad give them: folders kept inside Redressement, a full
        // path written under its last element, a dropped path in quotes, a byte-order mark
        // and CR LF line ends; a UTF-8 name is bytes like any other here, and a name
        // not in quotes ends at a blank.
        {"names_with_folders_in_quotes_absolute",
         "mkdir -p 'mes photos/2024' && cp shifted.pgm 'mes photos/2024/f 1.pgm' && cp turned.pgm '\xC3\xA9glise.pgm'",
         "\xEF\xBB\xBF\"mes photos/2024/f 1.pgm\"\r\n15,15\r\n35,28\r\n/proc/self/cwd/base.pgm\r\n10,12\r\n30,25\r\n"
         "\xC3\xA9glise.pgm\r\n33,20\r\n13,7\r\nrest of line\r\n",
         kBasePrompt + done(0, "mes photos/2024/f 1.pgm", 50, 36) + done(1, "base.pgm") + done(2, "\xC3\xA9glise.pgm", 45, 35) +
             cannotOpen + "rest\n en lecture\n" + kPause,
         {{"Redressement/mes photos", "folder"}, {"Redressement/mes photos/2024", "folder"},
          {"Redressement/mes photos/2024/f 1.pgm", p5(50, 36, shifted)},
          {"Redressement/base.pgm", p5(50, 36, [&](int x, int y) { return x >= 5 && y >= 3 && x < 45 && y < 33 ? pattern(x - 5, y - 3) : 5; })},
          {"Redressement/\xC3\xA9glise.pgm", halfTurned(50, 36, 48, 35)}}},
        // "P5" at the start of a later line passes the name check, not the loader: the
        // further image gives no file, its points are read; "P5" elsewhere in a line does
        // not pass. A base that cannot be loaded (a size beyond the limit) ends the run.
        {"where_the_name_check_finds_P5", "printf '# by hand\\nP5\\n3 2\\n255\\nabcdef' >late.pgm && printf 'P2\\n# P5\\n' >notes.txt",
         "base.pgm\n1,1\n2,2\nlate.pgm\n1,1\n2,2\nnotes.txt",
         base + cannotRead + "late.pgm\n" + noResult(1) + points("'") + furtherPrompt(2) + "\nERR." + kPause, {baseOut},
         "\nFormat d'image non support\xE9... <press enter to exit>"},
        {"a_base_beyond_the_size_limit", "printf 'P5\\n65536 32768\\n255\\n' >odd.pgm", "odd.pgm\n10,12\n",
         kBasePrompt + cannotRead + "odd.pgm\n" + kPause, {{"Redressement", "folder"}},
         "\nTaille d'image illisible ou hors limites dans odd.pgm\n"},
        // Cameras reuse names: a name used twice in a run, from two folders or as the
        // base's, never replaces a result written earlier in the run. A name that is not
        // a regular file fails the name check as one without "P5".
        {"a_name_used_twice_a_FIFO_as_the_last_name", "mkdir 2019 2020 && cp shifted.pgm 2019/vue.pgm && cp turned.pgm 2020/vue.pgm && mkfifo pipe.pgm",
         B + "/proc/self/cwd/2019/vue.pgm\n15,15\n35,28\n/proc/self/cwd/2020/vue.pgm\n1,1\n5,5\n/proc/self/cwd/base.pgm\n1,1\n5,5\npipe.pgm\n",
         base + done(1, "vue.pgm", 50, 36) + done(2, "vue.pgm", 45, 35, twice) + done(3, "base.pgm", 40, 30, twice) + "\nERR." + kPause,
         {baseOut, {"Redressement/vue.pgm", shiftedOut.second}}, refused("vue.pgm" + another, 2) + refused("base.pgm" + another, 2)},
        // Writes that would leave Redressement, or replace an image the run read, are
        // refused; earlier files and a link at an output path are replaced, and nothing else
        // is touched, files named `*-test.tmp` included: the folder probe neither takes
        // nor removes one.
        {"earlier_files_and_links_a_name_that_climbs_out_a_folder_that_is_a_link",
         "mkdir run && echo mine >run/shifted.pgm && mkdir -p Redressement elsewhere sub && ln -s ../elsewhere Redressement/sub && "
         "cp base.pgm sub/b.pgm && echo earlier >Redressement/base.pgm && echo v >victim && ln -s ../shifted.pgm Redressement/shifted.pgm && "
         "echo mine >Redressement/base.pgm-test.tmp && ln -s ../victim Redressement/shifted.pgm-test.tmp",
         B + S + "../run/shifted.pgm\n15,15\n35,28\nsub/b.pgm\n1,1\n5,5\n",
         base + shiftedDone + done(2, "../run/shifted.pgm", 50, 36, "sortirait du dossier Redressement") +
             done(3, "sub/b.pgm", 40, 30, "un dossier du chemin est un lien") + kEnded,
         {baseOut, shiftedOut}, refused("../run/shifted.pgm sortirait du dossier Redressement", 2) + refused("sub/b.pgm passerait par un lien", 2)},
        // Redressement a link to the folder itself: every write would replace an image read.
        {"Redressement_a_link_to_the_folder_answers_in_UTF_16_BE", "ln -s . Redressement", utf16(B + S, true),
         kBasePrompt + done(0, "base.pgm", 40, 30, isInput) + done(1, "shifted.pgm", 50, 36, isInput) + kEnded, {},
         refused("base.pgm est une " + isInput) + refused("shifted.pgm est une " + isInput, 2)},
        // A folder below Redressement swapped for a link while the result is being written
        // (each flush held back half a second, the swap made as the result's fresh file
        // appears): the result lands in the folder that was checked, nothing beyond it.
        // A sanitized build looks for no leak there: its leak check cannot run under strace.
        {"a_folder_swapped_for_a_link_during_a_write",
         "mkdir -p sub elsewhere Redressement/sub && cp base.pgm sub/b.pgm && "
         "( timeout 20 sh -c 'until [ -f Redressement/sub/b.pgm ]; do sleep 0.01; done; "
         "until set -- Redressement/sub/b.pgm.tavrin-*; [ -e \"$1\" ]; do sleep 0.01; done; "
         "mv Redressement/sub Redressement/old && ln -s ../elsewhere Redressement/sub' >/dev/null 2>&1 & )",
         B + "sub/b.pgm\n10,12\n30,25\n", base + done(1, "sub/b.pgm") + kEnded,
         {baseOut, {"Redressement/old", "folder"}, {"Redressement/old/b.pgm", kBase}, {"Redressement/sub", "link to ../elsewhere"}},
         "", 1, "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e trace=fdatasync -e inject=fdatasync:delay_enter=500000"},
        // The result's rename refused and its copy as loaded held (as by a viewer on
        // Windows): the copy that stays is said for what it is.
        {"a_copy_that_cannot_be_removed", "", B + S,
         base + done(1, "shifted.pgm", 50, 36, "", notWritten("shifted.pgm", "acc\xE8s refus\xE9") +
             noResult(1, " : sa copie non redress\xE9" "e n'a pu \xEAtre retir\xE9" "e et reste sous le nom "
                         "Redressement/shifted.pgm ; c'est l'image telle que lue, pas un r\xE9sultat") + furtherPrompt(2)) + kEnded,
         {baseOut, {"Redressement/shifted.pgm", p5(50, 36, shifted)}}, kWriteFailed + "Permission denied\n", 1,
         "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e inject=rename:error=EACCES:when=3 -e inject=unlink:error=EBUSY:when=4"},
        {"a_folder_and_a_FIFO_at_the_output_paths", "mkdir -p Redressement/base.pgm && mkfifo Redressement/shifted.pgm", B + S,
         kBasePrompt + done(0, "base.pgm", 40, 30, "un dossier porte ce nom") + done(1, "shifted.pgm", 50, 36, "un fichier sp\xE9" "cial porte ce nom") + kEnded,
         {}, kWriteFailed + "Is a directory\n" + kWriteFailed + "File exists\n" + kWriteFailed + "File exists\n"},
        // An endless word is refused at its 234th byte, not read to its end.
        {"an_endless_name", "ln -sf /dev/zero ../stdin", "", kBasePrompt + tooLong + kPause, {}},
        // SIGINT as the first write reaches the disk: the fresh file goes, the earlier file stays.
        {"a_signal_during_a_write", "mkdir Redressement && echo earlier >Redressement/base.pgm", "base.pgm\n",
         kBasePrompt, {}, "", 130, "strace -f -qq -o /dev/null -e trace=fdatasync -e inject=fdatasync:signal=SIGINT"},
        // The limit (512 or 1024-byte blocks) lets stdout and the further image's copy
        // through, but neither the base's copy nor the result, and the copy then goes.
        {"a_write_cut_short_by_a_file_size_limit",
         "{ printf 'P5\\n200 100\\n255\\n'; head -c 20000 /dev/zero; } >big.pgm && mkdir Redressement && echo earlier >Redressement/big.pgm",
         "big.pgm\n10,12\n30,25\n" + S, kBasePrompt + done(0, "big.pgm", 200, 100, "fichier trop grand") + done(1, "shifted.pgm", 50, 36, "",
             notWritten("shifted.pgm", "fichier trop grand") + noResult(1, std::string(" : sa copie non redress\xE9") + "e est retir\xE9" + "e") +
             furtherPrompt(2)) + kEnded,
         {}, kWriteFailed + "File too large\n" + kWriteFailed + "File too large\n", 1, "ulimit -f 8;"},
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

INSTANTIATE_TEST_SUITE_P(EveryEnding, RunTable, testing::ValuesIn(rows()),
                         [](auto const& info) { return std::string(info.param.what); });

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
        if (pid == 0)  // the program in the folder, a hang ended by timeout
            _exit(chdir(dir.c_str()) ||
                  execlp("timeout", "timeout", "-k", "5", "20", TAVRIN_RELEASE_BIN, nullptr));
        // What the terminal shows, read for up to the given time or until text is there.
        std::string shown;
        auto shows = [&](std::string const& text, int ms) {
            for (char buffer[4096]; shown.find(text) == std::string::npos && ms > 0; ms -= 10) {
                pollfd p = {terminal, POLLIN, 0};
                ssize_t const n = poll(&p, 1, 10) > 0 ? read(terminal, buffer, sizeof buffer) : 0;
                shown.append(buffer, std::max<ssize_t>(n, 0));
            }
            return shown.find(text) != std::string::npos;
        };
        EXPECT_EQ(write(terminal, "absent.pgm\n", 11), 11);  // typed ahead of the prompt
        EXPECT_TRUE(shows("continuer...", 10000));
        EXPECT_FALSE(shows("continuer...\r\n", 500)) << "the typed Enter was taken for the key";
        EXPECT_TRUE(interrupted ? kill(pid, SIGINT) == 0 : write(terminal, "k", 1) == 1);
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

// A terminal whose locale reads UTF-8 shows the words in UTF-8 and a UTF-8 name as it
// is; any other shows the bytes that files and pipes get. At a terminal a point typed
// wrong is asked again.
TEST_F(RunTest, AtATerminalReadingUtf8TheWordsAreUtf8)
{
    writeFile(dir / "\xC3\xA9glise.pgm", kBase);
    std::string const typed = "\xC3\xA9glise.pgm\n10;12\n10,12\n30,25\n\x04";
    std::string const askedAgain =
        "\"10;12\". Tapez x,y : deux nombres s\xE9par\xE9s par une virgule, par exemple "
        "423,237\n\nCoordonnes du point A (x,y) -> \nCoordonnes du point B";
    for (auto const& [lang, words, name] : {std::tuple{"fr_FR.UTF-8",
                                                       "donn\xC3\xA9"
                                                       "es : plus aucun nom d'image \xC3\xA0 lire",
                                                       "Redressement/\xC3\xA9glise.pgm\n"},
                                            std::tuple{"fr_FR.ISO-8859-1",
                                                       "donn\xE9"
                                                       "es : plus aucun nom d'image \xE0 lire",
                                                       "Redressement/\xC3\xA9glise.pgm\n"}}) {
        SCOPED_TRACE(lang);
        std::string const shown = atTerminal(lang, {TAVRIN_RELEASE_BIN}, typed);
        EXPECT_NE(shown.find(words), std::string::npos) << shown;
        EXPECT_NE(shown.find(name), std::string::npos) << shown;
        bool const utf8 = std::string(lang).find("UTF-8") != std::string::npos;
        EXPECT_NE(shown.find(utf8 ? messageInUtf8(askedAgain) : askedAgain), std::string::npos);
        fs::remove_all(dir / "Redressement");
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
    EXPECT_EQ(
        afterBanner(o.out),
        done(0, "img1.pgm", 2800, 1900, "",
             "\nIMAGE img1.pgm \nGisement 1.044376 \nGisement 66.49 gon\nDistance 2523.7 " +
                 furtherPrompt(1)) +
            done(1, "img2.pgm", 3000, 3100, "",
                 "\nIMAGE img2.pgm \nGisement 2.091560 \nGisement 133.15 gon\nDistance 3219.8 "
                 "\n- - - - - - - - - - - - - - - - - - - - - -"
                 "\n- - - - - - - - - - - - - - - - - - - - - -"
                 "\n\tAngle 60.0 \xB0\n\techelle 0.8 \n\n\n" +
                     kPause));
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0);

    std::string const header = "P5\n2800 1900\n255\n";
    std::string const rectified = readFile(dir / "Redressement" / "img2.pgm");
    ASSERT_EQ(rectified.size(), header.size() + 2800u * 1900u);
    ASSERT_EQ(rectified.substr(0, header.size()), header);
    auto at = [&](int x, int y) { return std::uint8_t(rectified[header.size() + x + y * 2800]); };
    EXPECT_EQ(at(597, 578), further(162, 3070));     // A lands on A'
    EXPECT_EQ(at(2779, 1846), further(2955, 1468));  // B on B'
    EXPECT_EQ(at(1000, 578), further(419, 2625));    // the row of A: dy counts as 0.01
    EXPECT_EQ(at(0, 0), further(0, 0));              // source (-857, 3361) lies outside
}

}  // namespace
