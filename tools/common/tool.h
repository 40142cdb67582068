// The one main of every tool: its arguments as arguments.h takes them, the usage for
// --help or -h, a French line for each refusal its run throws, the window it was
// double-clicked in held until a key is pressed, and the exit status.
#ifndef TAVRIN_TOOLS_COMMON_TOOL_H
#define TAVRIN_TOOLS_COMMON_TOOL_H

#include "tools/common/arguments.h"

#include <new>
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

// "<name> : <message>" on stderr once standard output is flushed, then the usage or the
// line that points to --help for a usage error; the status it ends with.
int refused(Text const& text, std::string const& message, UsageError const* usage);

// The end of every run: standard output flushed, and a tool double-clicked in Explorer,
// or given the files dropped on it, waits for a key before its window closes.
int ended(int status);

// Runs the tool: run(argc, argv) gives the status, or throws UsageError, Stop or
// std::bad_alloc. Inlined into the tool's main, so that the compiler sees the run as
// main's own code, as it is, executed once, and builds it for size as it builds main.
template <class Run>
[[gnu::always_inline]] inline int main(int argc, char** argv, Text const& text, Run const& run)
{
    Arguments arguments(argc, argv);
    if (arguments.askForHelp()) {
        tell(stdout, text.usage);
        return 0;
    }
    int status = 1;
    try {
        status = run(arguments.count(), arguments.values());
    } catch (UsageError const& e) {
        status = refused(text, e.message, &e);
    } catch (Stop const& e) {
        status = refused(text, e.message, nullptr);
    } catch (std::bad_alloc const&) {
        status = refused(text, text.noMemory, nullptr);
    }
    return ended(status);
}

}  // namespace tool

#endif
