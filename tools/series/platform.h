// tavrin-series' platform layer: where its companions are, how it runs them, how it
// shows the report and how the text files the operator opens end their lines. One file
// per platform: platform_posix.cpp, win32/platform_win32.cpp.
#ifndef TAVRIN_TOOLS_SERIES_PLATFORM_H
#define TAVRIN_TOOLS_SERIES_PLATFORM_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The folder of this program's own executable, in UTF-8, with no separator at its end;
// empty when the system cannot tell.
std::string ownFolder();

// The companion's file name beside this program: "tavrin" or "tavrin.exe".
std::string programFile(std::string const& folder, char const* name);

struct Outcome {
    int status = -1;  // the exit status; -1 when the program could not be started
    std::string output;
    std::string errors;
};

// What a program prints, as it comes: each line with its line feed (the last, maybe,
// without), and whether it came on standard error.
using OutputLine = std::function<void(bool onError, std::string const& line)>;

// The whole lines of all from told on handed to onLine, told moved past them; with
// last, the rest too. The platforms' pipes share it.
inline void handOnLines(std::string const& all, std::size_t& told, bool onError,
                        OutputLine const& onLine, bool last = false)
{
    for (std::size_t end; (end = all.find('\n', told)) != std::string::npos; told = end + 1)
        onLine(onError, all.substr(told, end + 1 - told));
    if (last && told < all.size())
        onLine(onError, all.substr(told)), told = all.size();
}

// Runs program (a path) with its arguments in folder, standard input reading the bytes
// of input (from a temporary file that nothing leaves behind), standard output and
// error kept whole in memory. Runs may overlap: each has files of its own. The
// console's interrupt reaches it as it reaches this program. With onLine, standard
// output and error come through pipes, and each line is handed to onLine as soon as
// it is printed (on Windows, standard error's from a thread of its own).
Outcome runProgram(std::string const& program, std::vector<std::string> const& arguments,
                   std::string const& folder, std::string const& input,
                   OutputLine const& onLine = {});

// Shows the file in the operator's browser. False when there is none to show it in (on
// POSIX, no display).
bool openInBrowser(std::string const& path);

// True when a process of that number runs now.
bool processRuns(unsigned long number);

// The text with its lines ended as the platform's own editor ends them, for a file the
// operator opens (reponses.txt): CR LF on Windows, for Notepad; as it is on POSIX.
// Every program of the project reads either end.
std::string operatorText(std::string const& text);

// The file in the results folder that a run holds until it ends.
constexpr char kRunHold[] = ".verrou-tavrin-series";

enum class Hold { held, taken, failed };

// Holds the results folder for this run alone until the program ends, on the file
// kRunHold in it: taken when another run holds it; failed, errno saying why, when the
// file cannot be opened. The hold is the system's, so that a killed run leaves none;
// the file goes when the run ends (on Windows, when a killed one does too).
Hold holdFolder(std::string const& folder);

// True when standard output is a terminal or a console that a progress line may redraw.
bool outputIsConsole();

#endif
