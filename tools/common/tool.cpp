#include "tools/common/tool.h"

#include "tools/common/arguments.h"

#include <cstdio>
#include <new>

namespace tool {

int main(int argc, char** argv, Text const& text, int (*run)(int argc, char** argv))
{
    Arguments arguments(argc, argv);
    if (arguments.askForHelp()) {
        tell(stdout, text.usage);
        return 0;
    }
    std::string const name = std::string(text.name) + " : ";
    int status = 1;
    try {
        status = run(arguments.count(), arguments.values());
    } catch (UsageError const& e) {
        std::fflush(stdout);
        tell(stderr, name + e.message + "\n" +
                         (e.brief ? "Voyez " + std::string(text.name) + " --help.\n" : text.usage));
        status = 2;
    } catch (Stop const& e) {
        std::fflush(stdout);
        tell(stderr, name + e.message + "\n");
    } catch (std::bad_alloc const&) {
        std::fflush(stdout);
        tell(stderr, name + text.noMemory + "\n");
    }
    std::fflush(stdout);
    holdOwnWindow();
    return status;
}

}  // namespace tool
