// POSIX: names are bytes, taken as given.
#include "tools/arguments.h"

Arguments::Arguments(int argc, char** argv) : texts_(argv, argv + argc)
{
    for (std::string& text : texts_)
        pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
}
