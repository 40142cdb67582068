// POSIX: names are bytes, taken as given; a file-size limit is a failed write.
#include "tools/arguments.h"

#include <csignal>

Arguments::Arguments(int argc, char** argv) : texts_(argv, argv + argc)
{
    for (std::string& text : texts_)
        pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}
