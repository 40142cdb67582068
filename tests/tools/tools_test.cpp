// The demo's companions, run as built: tavrin-diff's exact figures and map bytes on
// tiny images and every way it refuses; tavrin-sample's series, where it writes it and
// what it never replaces; and the man pages of tavrin, tavrin-series and tavrin-match,
// which must render without a warning.
#include "tests/support.h"

#include <tuple>

namespace {

// Base and rectified, 3 x 2: absolute differences 0 5 10 / 10 0 5, so the largest is
// 10 and the palette's worked values apply: 10 is (255, 0, 0), 5 is (0, 207, 25), 0 is
// (39, 0, 159); a pixel the further image does not cover is (39, 0, 0).
struct ToolCase {
    std::string command;  // "diff ..." or "sample ...", arguments quoted for the shell
    int status;
    std::string out;          // the whole of stdout; a '*' at its end stands for any text
    std::string err;          // the whole of stderr, likewise
    std::string map = {};     // the pixels of map.ppm afterwards, "" when none is written
    std::string setup = {};   // shell commands run in the folder first
    std::string prefix = {};  // before the tool: "ulimit -f 0;" ...
    std::string series = {};  // the folder that holds tavrin-sample's series afterwards
};

// Whether the text is the pattern, or begins as it when it ends in '*'.
bool matches(std::string const& text, std::string const& pattern)
{
    bool const open = !pattern.empty() && pattern.back() == '*';
    return open ? text.rfind(pattern.substr(0, pattern.size() - 1), 0) == 0 : text == pattern;
}

// tavrin-diff's figures for rect.pgm.
std::string figures(char const* mean, char const* within, int n, char const* frame)
{
    return std::string("rect.pgm : \xE9") + "cart moyen absolu " + mean + ", " + within +
           " % \xE0 8 niveaux de gris pr\xE8s, sur " + std::to_string(n) + " pixels (" + frame +
           " % du cadre)\n";
}

// clang-format off
char const kLandmarks[] =
    "# S\xE9rie d'essai de tavrin : positions en pixels (colonne,ligne) des points A et B,\n"
    "# \xE0 taper aux questions de tavrin.\n"
    "# image        A          B\n"
    "base.pgm       412,357    1236,842   # 1600 x 1200, la photographie de base\n"
    "rotated.pgm    1115,435   365,913    # 1500 x 1350, \xE9" "chelle 0,930, tourn\xE9" "e de 117,01\xB0 dans le sens horaire\n"
    "enlarged.pgm   123,338    1458,863   # 1600 x 1200, \xE9" "chelle 1,500, tourn\xE9" "e de 9,01\xB0 dans le sens antihoraire\n"
    "reduced.pgm    412,186    712,676    # 1100 x 850, \xE9" "chelle 0,601, tourn\xE9" "e de 28,04\xB0 dans le sens horaire\n";
// clang-format on

using ToolsTest = Folder;

TEST_F(ToolsTest, EveryCase)
{
    // The series as a first run writes it, outside the folder: its landmarks as tavrin's
    // prompts take them (demo_test.sh checks that they align), each photograph's header
    // and size.
    ASSERT_EQ(run(TAVRIN_SAMPLE_BIN, "", "../ref").status, 0);
    Files const series = snapshot(io / "ref");
    ASSERT_EQ(series.at("landmarks.txt"), kLandmarks);
    for (auto [name, header, size] : {std::tuple{"base.pgm", "P5\n1600 1200\n255\n", 1920017u},
                                      {"rotated.pgm", "P5\n1500 1350\n255\n", 2025017u},
                                      {"enlarged.pgm", "P5\n1600 1200\n255\n", 1920017u},
                                      {"reduced.pgm", "P5\n1100 850\n255\n", 935016u}})
        EXPECT_TRUE(series.at(name).rfind(header, 0) == 0 && series.at(name).size() == size)
            << name;
    std::string const told = std::string(kLandmarks) +
                             "S\xE9rie d'essai \xE9"
                             "crite dans le dossier " +
                             fs::canonical(dir).string() + "/";

    std::string const f = "diff base.pgm rect.pgm map.ppm further.pgm ";
    std::string const mustBeXY = "tavrin-diff : le point A' s'\xE9"
                                 "crit x,y (deux nombres et une virgule, sans espace), pas \xAB ";
    std::string const tryHelp = " \xBB\nVoyez tavrin-diff --help.\n";
    std::string const whole =
        bytes({39, 0, 159, 0, 207, 25, 255, 0, 0, 255, 0, 0, 39, 0, 159, 0, 207, 25});
    std::string const shifted =
        bytes({39, 0, 159, 0, 207, 25, 39, 0, 0, 255, 0, 0, 39, 0, 159, 39, 0, 0});
    std::string const usage =
        "\nUsage : tavrin-diff [--machine] BASE.pgm REDRESSEE.pgm CARTE.ppm *";
    std::string const toFull = "sh -c 'exec \"$0\" \"$@\" >/dev/full'";  // stdout on a full disk
    std::string const notAMap = " existe d\xE9j\xE0 et n'est pas une carte \xE9"
                                "crite par tavrin-diff : rien n'est \xE9"
                                "crit\n";
    auto const incomplete = [](char const* name, char const* declared) {
        return "tavrin-diff : " + std::string(name) + " est incomplet : son en-t\xEAte annonce " +
               declared + " : rien n'est compar\xE9\n";
    };
    // clang-format off
    std::vector<ToolCase> const cases = {
        {"diff base.pgm rect.pgm map.ppm", 0, figures("5,00", "66,7", 6, "100,0"), "", whole},
        // A' - A = (1, 1): base (x, y) lies at (x + 1, y + 1); column 2 falls out.
        {f + "0,0 2,0 1,1 3,1", 0, figures("3,75", "75,0", 4, "66,7"), "", shifted},
        // A' - A = (-1, 1): columns 0 and 1 fall out, each row's run starts at its end.
        {f + "1,0 3,0 0,1 2,1", 0, figures("7,50", "50,0", 2, "33,3"), "",
         bytes({39, 0, 0, 39, 0, 0, 255, 0, 0, 39, 0, 0, 39, 0, 0, 0, 207, 25})},
        // Scale 2 and a quarter turn: base (x, y) at (5 - 2y, 1 + 2x) in the 6 x 5 image,
        // inside for (0, 1) and (1, 1) only; the opposite turn would cover nothing.
        {"diff base.pgm rect.pgm map.ppm big.pgm 0,0 1,0 5,1 5,3", 0, figures("5,00", "50,0", 2, "33,3"),
         "", bytes({39, 0, 0, 39, 0, 0, 39, 0, 0, 255, 0, 0, 39, 0, 159, 39, 0, 0})},
        {f + "0,0 2,0 +1.0,1e0 3,1", 0, figures("3,75", "75,0", 4, "66,7"), "", shifted},
        // B' typed 3 pixels above where the check point puts it: B' is named, with its place.
        {f + "0,0 2,0 1,1 3,1 2,1 1.5,5", 0, figures("3,75", "75,0", 4, "66,7") +
         "point de contr\xF4le C : A et B le placent en 3.00,2.00 ; C' en est \xE0 3,35 pixels ; d\xE9placer B' de 3,00 pixels, en 3.00,4.00, l'y ram\xE8ne\n", "", shifted},
        {"diff --machine" + f.substr(4) + "0,0 2,0 1,1 3,1 2,1 1.5,5", 0, "tavrin-diff\tfigures\t3.75\t75.0\t4\t66.7\trect.pgm\n"
         "tavrin-diff\tcheck\t3.00,2.00\t3.35\tB'\t3.00\t3.00,4.00\n", "", shifted},
        {"diff --help", 0, "Usage : tavrin-diff [--machine] BASE.pgm REDRESSEE.pgm CARTE.ppm [PHOTO.pgm A B A' B' [C C']]\n*", ""},
        {"diff", 2, "", "tavrin-diff : il manque des arguments" + usage},
        {f + "0,0 1,0 1,1", 2, "", "tavrin-diff : nombre d'arguments incorrect" + usage},
        {f + "0,0 2,0 '1;1' 3,1", 2, "", mustBeXY + "1;1" + tryHelp},
        {f + "0,0 2,0 1, 3,1", 2, "", mustBeXY + "1," + tryHelp},
        {f + "0,0 2,0 1e999,1 3,1", 2, "", mustBeXY + "1e999,1" + tryHelp},
        {f + "5,5 5,5 1,1 3,1", 2, "", "tavrin-diff : A et B doivent \xEAtre deux points diff\xE9rents, et A' et B' aussi\nVoyez tavrin-diff --help.\n"},
        {f + "0,0 2,0 1,1 3,1 x", 2, "", "tavrin-diff : nombre d'arguments incorrect" + usage},
        {"diff base.pgm rect.pgm map.ppm missing.pgm 0,0 2,0 1,1 3,1", 1, "", "tavrin-diff : missing.pgm ne peut \xEAtre ouvert : fichier ou dossier introuvable\n"},
        {"diff base.pgm plain.pgm map.ppm", 1, "", "tavrin-diff : plain.pgm n'est pas une image PGM binaire (P5)\n"},
        {"diff bad.pgm rect.pgm map.ppm", 1, "", "tavrin-diff : bad.pgm : taille d'image illisible ou hors limites : rien n'est compar\xE9\n"},
        {"diff base.pgm wide.pgm map.ppm", 1, "",
         "tavrin-diff : wide.pgm fait 2 x 3 pixels et base.pgm 3 x 2 : une image redress\xE9" "e a la taille de sa base\n"},
        {f + "0,0 2,0 100,100 102,100", 1, "", "tavrin-diff : further.pgm ne couvre aucun pixel du cadre de la base : rien \xE0 comparer\n"},
        // A header that declares more than its file holds, 1.6 G pixels in 20 bytes or a
        // pixel short, is refused before anything is allocated or written.
        {"diff huge.pgm rect.pgm map.ppm", 1, "", incomplete("huge.pgm", "2551 x 655351 pixels (1671800401 octets), il n'en contient que 0"), "",
         "printf 'P5\\n2551 655351\\n255\\n' >huge.pgm"},
        {"diff base.pgm short.pgm map.ppm", 1, "", incomplete("short.pgm", "3 x 2 pixels (6 octets), il n'en contient que 5"), "",
         "printf 'P5\\n3 2\\n255\\n12345' >short.pgm"},
        // Nothing is destroyed, nothing blocks, no failure passes for a success: the whole
        // folder is compared after each row. The map replaces only an earlier map.
        {"diff base.pgm rect.pgm rect.pgm", 1, "", "tavrin-diff : la carte rect.pgm remplacerait rect.pgm, une image compar\xE9" "e : rien n'est \xE9" "crit\n"},
        {"diff base.pgm rect.pgm big.pgm", 1, "", "tavrin-diff : la carte big.pgm remplacerait une photographie P5 : rien n'est \xE9" "crit\n"},
        {"diff base.pgm rect.pgm plain.pgm", 1, "", "tavrin-diff : plain.pgm" + notAMap},
        {"diff base.pgm rect.pgm map.ppm", 1, "", "tavrin-diff : map.ppm" + notAMap, "", "printf 'P6\\n1 1\\n255\\nabc' >map.ppm"},
        {"diff base.pgm rect.pgm map.ppm", 0, figures("5,00", "66,7", 6, "100,0"), "", whole, "printf 'P6\\n# tavrin-diff\\n1 1\\n255\\nabc' >map.ppm"},
        {"diff base.pgm rect.pgm map.ppm", 1, "", "tavrin-diff : map.ppm est un lien, pas une carte \xE9" "crite par tavrin-diff : rien n'est \xE9" "crit\n",
         "", "ln -s plain.pgm map.ppm"},
        {"diff base.pgm rect.pgm map.ppm", 1, "", "tavrin-diff : map.ppm n'est pas un fichier ordinaire : rien n'est \xE9" "crit\n", "", "mkfifo map.ppm"},
        {"diff large.pgm large.pgm map.ppm", 1, "", "tavrin-diff : map.ppm n'a pu \xEAtre \xE9" "crit : fichier trop grand\n", "",
         "{ printf 'P5\\n40 30\\n255\\n'; head -c 1200 /dev/zero; } >large.pgm", "ulimit -f 1;"},
        {"diff base.pgm rect.pgm map.ppm", 1, "", "tavrin-diff : les chiffres n'ont pu \xEAtre \xE9" "crits : plus de place sur le disque\n", whole, "", toFull},
        {"diff base.pgm /dev/zero map.ppm", 1, "", "tavrin-diff : /dev/zero n'est pas un fichier ordinaire\n"},
        // Without a folder, a new one: a second double-click does not write into the first,
        // nor where a name is taken by anything, even a dangling link.
        {"sample", 0, told + "serie-essai\n", "", "", "", "", "serie-essai"},
        {"sample", 0, told + "serie-essai-3\n", "", "", "cp -r ../ref serie-essai && ln -s missing serie-essai-2", "", "serie-essai-3"},
        // A folder given: its own earlier series is fine; anything else at one of its names
        // (a shorter file, a file one byte off, a link, a folder, a FIFO) is refused and
        // nothing is written, not even where nothing was (enlarged.pgm).
        {"sample series/.", 0, told + "series\n", "", "", "cp -r ../ref series", "", "series"},
        {"sample series", 1, "",
         "tavrin-sample : series/base.pgm existe d\xE9j\xE0 et n'est pas un fichier de l'essai\n"
         "tavrin-sample : series/rotated.pgm est un lien, pas un fichier de l'essai\n"
         "tavrin-sample : series/reduced.pgm existe d\xE9j\xE0 et n'est pas un fichier de l'essai\n"
         "tavrin-sample : series/landmarks.txt n'est pas un fichier ordinaire\n"
         "tavrin-sample : rien n'est \xE9" "crit ; sans argument, tavrin-sample \xE9" "crit dans un dossier neuf\n", "",
         "mkdir series && head -c 100 ../ref/base.pgm >series/base.pgm && ln -s ../../ref/rotated.pgm series/rotated.pgm &&"
         " { printf P6; tail -c +3 ../ref/reduced.pgm; } >series/reduced.pgm && mkfifo series/landmarks.txt"},
        {"sample series", 1, "", "tavrin-sample : les points n'ont pu \xEAtre affich\xE9s : plus de place sur le disque\n", "", "", toFull, "series"},
        {"sample a b", 2, "", "tavrin-sample : un seul argument, le dossier\nUsage : tavrin-sample [DOSSIER]\n*"},
        {"sample --help", 0, "Usage : tavrin-sample [DOSSIER]\n*", ""},
        // A folder inside a plain file cannot be made, not even by root.
        {"sample plain.pgm/series", 1, "", "tavrin-sample : le dossier plain.pgm/series ne peut \xEAtre cr\xE9\xE9 : un \xE9l\xE9ment du chemin n'est pas un dossier\n"},
    };
    // clang-format on
    for (ToolCase const& c : cases) {
        SCOPED_TRACE(c.command + " after " + c.setup);
        fs::remove_all(dir);
        fs::create_directory(dir);
        writeFile(dir / "base.pgm", p5(3, 2, [](int x, int y) { return 10 + 10 * x + 30 * y; }));
        writeFile(dir / "rect.pgm", "P5\n3 2\n255\n" + bytes({10, 25, 40, 50, 50, 55}));
        writeFile(dir / "further.pgm", p5(4, 4, [](int x, int y) { return x + y; }));
        writeFile(dir / "big.pgm", p5(6, 5, [](int, int) { return 0; }));
        writeFile(dir / "wide.pgm", p5(2, 3, [](int, int) { return 0; }));
        writeFile(dir / "plain.pgm", "P2\n3 2\n255\n1 2 3\n4 5 6\n");
        writeFile(dir / "bad.pgm", "P5\nthree two\n255\n");
        ASSERT_EQ(runIn(dir, "{ :; " + c.setup + "\n}").status, 0);
        Files expected = snapshot(dir);
        bool const diff = c.command.rfind("diff", 0) == 0;
        Outcome o = run(diff ? TAVRIN_DIFF_BIN : TAVRIN_SAMPLE_BIN, "",
                        c.command.substr(diff ? 4 : 6), c.prefix);
        EXPECT_EQ(o.status, c.status);
        EXPECT_TRUE(matches(o.out, c.out)) << o.out;
        EXPECT_TRUE(matches(o.err, c.err)) << o.err;
        if (!c.map.empty())
            expected["map.ppm"] = "P6\n# tavrin-diff\n3 2\n255\n" + c.map;
        for (auto const& [name, content] : c.series.empty() ? Files() : series)
            expected[c.series] = "folder", expected[c.series + "/" + name] = content;
        EXPECT_EQ(snapshot(dir), expected);
    }
}

// The man pages of tavrin and of its companions, and what each must show.
// At a terminal whose locale reads UTF-8 a tool's words are UTF-8; elsewhere they are
// the bytes that files and pipes get.
TEST_F(ToolsTest, AtATerminalReadingUtf8TheWordsAreUtf8)
{
    for (auto const& [lang, words] :
         {std::pair{"C.UTF-8", "Compare \xC3\xA0 BASE"}, std::pair{"C", "Compare \xE0 BASE"}})
        EXPECT_NE(atTerminal(lang, {TAVRIN_DIFF_BIN, "--help"}, "").find(words), std::string::npos)
            << lang;
}

TEST_F(ToolsTest, ManPagesRenderWithoutWarnings)
{
    std::pair<char const*, std::vector<char const*>> const pages[] = {
        {"tavrin.1",
         {"\nNAME\n", "\nSYNOPSIS\n", "\nTHE DIALOGUE\n", "\nCONTROL POINTS\n",
          "\nHOW A SERIES ENDS\n", "\nOUTPUT FOLDER\n", "\nEXIT STATUS\n",
          "\nPOSIX AND WINDOWS\n"}},
        {"tavrin-series.1", {"reponses.txt"}},
        {"tavrin-match.1", {"\nMACHINE LINES\n"}},
        {"tavrin-diff.1", {"\nMACHINE LINES\n"}}};
    for (auto const& [page, shown] : pages) {
        std::string const file = (fs::path(TAVRIN_MAN_PAGE).parent_path() / page).string();
        Outcome o = run("man", "", "--warnings -l '" + file + "'", "MANWIDTH=80");
        EXPECT_EQ(o.status, 0) << page;
        EXPECT_EQ(o.err, "") << page;
        for (char const* text : shown)
            EXPECT_NE(o.out.find(text), std::string::npos) << page << text;
    }
}

}  // namespace
