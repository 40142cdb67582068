// The one main of every tool: its arguments as arguments.h takes them, the usage for
// --help or -h, a French line for each refusal its run throws, the window it was
// double-clicked in held until a key is pressed, and the exit status.
#ifndef TAVRIN_TOOLS_COMMON_TOOL_H
#define TAVRIN_TOOLS_COMMON_TOOL_H

#include <string>

namespace tool {

// A command line the tool cannot take: status 2; the message, then the usage, or a line
// that points to --help when brief.
struct UsageError {
    std::string message;
    bool brief = false;
};

// A run that cannot go on: status 1.
struct Stop {
    std::string message;
};

struct Text {
    char const* name;      // the tool's name, before each of its lines on stderr
    char const* usage;     // what --help prints
    char const* noMemory;  // what is said when memory runs out
};

// Runs the tool: run(argc, argv) gives the status, or throws UsageError, Stop or
// std::bad_alloc, told on stderr as "<name> : <message>" once standard output is
// flushed. At the end of every run, whatever its status, a tool double-clicked in
// Explorer, or given the files dropped on it, waits for a key before its window closes.
int main(int argc, char** argv, Text const& text, int (*run)(int argc, char** argv));

}  // namespace tool

#endif
