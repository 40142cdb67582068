// What the end-to-end tests share: a fresh folder per test, the program run there
// with scripted standard input, P5 fixtures built in code, and the dialogue's
// fixed pieces as the operator sees them.
#ifndef TAVRIN_TESTS_PROGRAM_SESSION_H
#define TAVRIN_TESTS_PROGRAM_SESSION_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;


struct Outcome {
    std::string out;
    std::string err;
    int status;
};

inline std::string readFile(fs::path const& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(fs::path const& p, std::string const& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

// A P5 file whose pixel (x, y) is f(x, y): built here, not by the library.
inline std::string p5(int w, int h, std::function<int(int, int)> const& f)
{
    std::string bytes = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bytes += static_cast<char>(f(x, y));
    return bytes;
}

inline int pattern(int x, int y)
{
    return (x * 7 + y * 13 + 1) % 251;
}

// The dialogue's fixed pieces, as the operator sees them.
inline std::string const kBasePrompt = "\nEntrez le nom de l'image de Base avec l'extention\n  *.PGM\n\t -> ";
inline std::string const kBaseSketch =
    "\n\t\t  + A \n\t\t  \n\t\t \n\t\t  \n\t\t                    + B\n\n";
inline std::string const kFurtherSketch =
    "\n\t\t  + A' \n\t\t  \n\t\t \n\t\t  \n\t\t                    + B'\n\n";
inline std::string const kPointPrompts =
    "\nCoordonnes du point A (x,y) -> \nCoordonnes du point B (x,y) -> ";
inline std::string const kPause = "Appuyez sur une touche pour continuer...\n";
inline std::string const kFormatMessage = "\nFormat d'image non support\xE9... <press enter to exit>";

inline std::string const kEndOfInput =
    "\nFin des donn\xE9" "es : plus aucun nom d'image \xE0 lire\n";

inline char const* const kProgram = TAVRIN_RELEASE_BIN;
inline char const* const kSwitchProgram = TAVRIN_SWITCH_BIN;

inline std::string furtherPrompt(int n)
{
    return "\nEntrez le nom de l'image " + std::to_string(n) +
           " avec l'extention\n\t*.PGM\n\t\t -> ";
}

inline std::string report(int w, int h, std::string const& readLine, std::string const& name)
{
    return "\nImage en N&B de " + std::to_string(w) + " x " + std::to_string(h) +
           " pix prise en charge...\n\n" + readLine + "\nFichier creer :\nRedressement/" + name +
           "\n";
}

inline std::string cannotOpen(std::string const& name)
{
    return "\nImpossible d'ouvrir le fichier :\n\t" + name + "\n en lecture\n";
}

// Each test its own folder, removed afterwards, in which the program runs.
class ProgramSession : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("tavrin-run-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the program in the test's folder; launcher, if any, goes before it.
    Outcome run(char const* program, std::string const& input, std::string const& launcher = "")
    {
        writeFile(dir / "stdin.txt", input);
        // A hang fails the test instead of stopping the suite.
        std::string command = "cd '" + dir.string() + "' && timeout -k 5 120 " + launcher + "'" + program +
                              "' <stdin.txt >stdout.txt 2>stderr.txt";
        int raw = std::system(command.c_str());
        Outcome o{readFile(dir / "stdout.txt"), readFile(dir / "stderr.txt"),
                  WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
        for (char const* f : {"stdin.txt", "stdout.txt", "stderr.txt"})
            fs::remove(dir / f);
        return o;
    }

    // The dialogue after the banner; the banner's own form is checked on the way.
    std::string afterBanner(std::string const& out)
    {
        std::size_t at = 0;
        std::vector<std::string> lines;
        for (int i = 0; i < 14; ++i) {
            std::size_t end = out.find('\n', at);
            if (end == std::string::npos) {
                ADD_FAILURE() << "stdout ends inside the banner";
                return out;
            }
            lines.push_back(out.substr(at, end - at));
            at = end + 1;
        }
        EXPECT_EQ(lines[6], "");
        EXPECT_EQ(lines[13], "");
        for (int i = 0; i < 6; ++i) {
            std::string const& title = lines[i];
            std::string const& subtitle = lines[7 + i];
            EXPECT_EQ(title.size(), lines[0].size()) << "title line " << i;
            EXPECT_EQ(subtitle.substr(0, 2), "\t\t") << "subtitle line " << i;
            EXPECT_EQ(subtitle.size(), lines[7].size()) << "subtitle line " << i;
            for (char c : title + subtitle.substr(std::min<std::size_t>(2, subtitle.size())))
                EXPECT_NE(std::string(" _|/\\(),'`").find(c), std::string::npos)
                    << "character '" << c << "' in the banner";
        }
        return out.substr(at);
    }

    std::string output(std::string const& name) { return readFile(dir / "Redressement" / name); }
    bool hasOutput(std::string const& name) { return fs::exists(dir / "Redressement" / name); }

    fs::path dir;
};

#endif
