// The tools' command lines as the image library opens names: on Windows, argv holds
// the arguments in the ANSI code page, which loses any character it lacks, so they are
// taken from the wide command line in UTF-8 instead (arguments_win32.cpp); elsewhere
// they are argv's bytes (arguments_posix.cpp).
#ifndef TAVRIN_TOOLS_ARGUMENTS_H
#define TAVRIN_TOOLS_ARGUMENTS_H

#include <string>
#include <vector>

class Arguments {
public:
    // On Windows the console also shows UTF-8 until the tool ends, so that the names
    // in its messages read as typed.
    Arguments(int argc, char** argv);

    int count() const { return static_cast<int>(pointers_.size()) - 1; }
    char** values() { return pointers_.data(); }  // null-terminated, as argv

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

#endif
