// What every test file shares: a fresh folder per test, files read and written
// whole, P5 files built byte by byte (not by the library), the console captured,
// and a built program run in the folder with scripted standard input.
#ifndef TAVRIN_TESTS_SUPPORT_H
#define TAVRIN_TESTS_SUPPORT_H

#include "image/image.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <termios.h>
#include <vector>

namespace fs = std::filesystem;

double const kInf = std::numeric_limits<double>::infinity();
double const kNaN = std::numeric_limits<double>::quiet_NaN();

inline std::string readFile(fs::path const& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(fs::path const& p, std::string const& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

// Bytes written out as numbers, e.g. the three channels of each P6 pixel.
inline std::string bytes(std::initializer_list<int> values)
{
    return std::string(values.begin(), values.end());
}

// A P5 file whose pixel (x, y) is f(x, y).
template <class F> std::string p5(int w, int h, F const& f)
{
    std::string s = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int k = 0; k < w * h; ++k)
        s += static_cast<char>(f(k % w, k / w));
    return s;
}

// Neighbours differ by 7 or 13, so a lookup one pixel off shows; the first pixel is 5.
inline int pattern(int x, int y)
{
    return (x * 7 + y * 13 + 5) % 251;
}

inline std::string pixelsOf(IMAGE const& im)
{
    return {reinterpret_cast<char const*>(im.pix), im.pix ? std::size_t(im.width) * im.height : 0};
}

// A folder's entries by path: what snapshot() finds, or what a test expects.
using Files = std::map<std::string, std::string>;

// Every entry of the folder's tree: a file's bytes, a link's target, or its kind.
inline Files snapshot(fs::path const& dir)
{
    Files tree;
    for (auto const& e : fs::recursive_directory_iterator(dir))
        tree[e.path().lexically_relative(dir).string()] =
            e.is_symlink()        ? "link to " + fs::read_symlink(e.path()).string()
            : e.is_regular_file() ? readFile(e.path())
            : e.is_directory()    ? "folder"
                                  : "special";
    return tree;
}

// What a run or an action printed, and how the run ended.
struct Outcome {
    std::string out, err;
    int status;
};

// Runs the action with stdout and stderr captured; the code writes through C stdio.
template <class Action> Outcome capture(Action action)
{
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    action();
    std::fflush(nullptr);
    return {testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr(), 0};
}

// A new folder `run` in a new folder of its own under the temporary one.
inline fs::path freshFolder()
{
    std::string name = (fs::temp_directory_path() / "tavrin-test-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr)
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + name);
    fs::create_directory(fs::path(name) / "run");
    return fs::path(name) / "run";
}

// Runs the shell command in the folder, its standard streams in the files stdin, stdout
// and stderr beside it (outside it, so that a snapshot of it does not see them).
inline Outcome runIn(fs::path const& dir, std::string const& command)
{
    int const raw = std::system(
        ("cd '" + dir.string() + "' && " + command + " <../stdin >../stdout 2>../stderr").c_str());
    return {readFile(dir / ".." / "stdout"), readFile(dir / ".." / "stderr"),
            WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
}

// Each test its own folder, removed afterwards: `dir` is where the files and the
// program live; what the program is fed and prints stays beside it, outside.
class Folder : public testing::Test {
protected:
    void TearDown() override
    {
        std::system(("chmod -R u+rwx '" + io.string() + "'").c_str());
        fs::remove_all(io);
    }

    std::string path(char const* name) const { return (dir / name).string(); }

    // Runs "prefix 'program' arguments" in the folder with the input on stdin; a hang
    // fails the test instead of stopping the suite.
    Outcome run(std::string const& program, std::string const& input,
                std::string const& arguments = "", std::string const& prefix = "")
    {
        writeFile(io / "stdin", input);
        return runIn(dir, prefix + " timeout -k 5 120 '" + program + "' " + arguments);
    }

    // What a terminal whose locale is LANG shows while the program runs in the folder
    // with its arguments (none taken from a shell), the input typed at once and a key
    // given at the pause; the terminal adds no CR and echoes nothing. A hang is ended
    // by timeout.
    std::string atTerminal(char const* lang, std::vector<std::string> args,
                           std::string const& typed)
    {
        int terminal = -1;
        pid_t const pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (pid == 0) {
            termios t;
            tcgetattr(STDIN_FILENO, &t);
            t.c_lflag &= static_cast<tcflag_t>(~ECHO);
            t.c_oflag &= static_cast<tcflag_t>(~OPOST);
            tcsetattr(STDIN_FILENO, TCSANOW, &t);
            unsetenv("LC_ALL");
            unsetenv("LC_CTYPE");
            setenv("LANG", lang, 1);
            args.insert(args.begin(), {"timeout", "-k", "5", "60"});
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            _exit(chdir(dir.c_str()) || execvp("timeout", argv.data()));
        }
        std::string shown;
        if (pid < 0)
            return shown;
        usleep(100000);  // the echo off before the typing
        if (write(terminal, typed.data(), typed.size()) < 0)
            return shown;
        bool paused = false;
        for (char buffer[4096];;) {
            pollfd p = {terminal, POLLIN, 0};
            ssize_t const n = poll(&p, 1, 60000) > 0 ? read(terminal, buffer, sizeof buffer) : -1;
            if (n <= 0)
                break;  // EIO once the program has ended
            shown.append(buffer, static_cast<std::size_t>(n));
            if (!paused && shown.find("continuer...") != std::string::npos)
                paused = write(terminal, "k", 1) == 1;
        }
        close(terminal);
        waitpid(pid, nullptr, 0);
        return shown;
    }

    fs::path dir = freshFolder();
    fs::path io = dir.parent_path();
};

// A row of tests/p5_headers.txt: a file's bytes and what the P5 reader makes of them,
// the pixel bytes the file holds (at most 6 of a 3 x 2 image) or a refusal: "format" or
// "size", empty when read.
struct HeaderShape {
    std::string what, file, pixels, refusal;
};

// A quoted field of the table, its C escapes decoded: \n \r \t \0 \\ \xHH.
inline std::string unescaped(std::string const& field)
{
    std::map<char, char> const letters = {{'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'0', '\0'}};
    std::string out;
    for (std::size_t i = 1; i + 1 < field.size(); ++i) {
        char const c = field[i] == '\\' ? field[++i] : '\0';  // the letter after a backslash
        if (c == 'x')
            out += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
        else
            out += letters.count(c) ? letters.at(c) : c ? c : field[i];
        i += c == 'x' ? 2 : 0;
    }
    return out;
}

inline std::vector<HeaderShape> headerShapes(char const* path)
{
    std::vector<HeaderShape> shapes;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::size_t const a = line.find('\t'), b = line.find('\t', a + 1);  // no tab: no b
        if (line.empty() || line[0] == '#')
            continue;
        if (b == std::string::npos || b + 1 == line.size())
            ADD_FAILURE() << path << ": not a row: " << line;
        else
            shapes.push_back({line.substr(0, a), unescaped(line.substr(a + 1, b - a - 1)),
                              line[b + 1] == '"' ? unescaped(line.substr(b + 1)) : "",
                              line[b + 1] == '"' ? "" : line.substr(b + 1)});
    }
    return shapes;
}

#endif
