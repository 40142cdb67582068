// The tools' command lines as the image library opens names: on Windows, argv holds
// the arguments in the ANSI code page, which loses any character it lacks, so they are
// taken from the wide command line in UTF-8 instead (arguments_win32.cpp); elsewhere
// they are argv's bytes (arguments_posix.cpp).
#ifndef TAVRIN_TOOLS_ARGUMENTS_H
#define TAVRIN_TOOLS_ARGUMENTS_H

#include <cstdio>
#include <string>
#include <vector>

class Arguments {
public:
    // Readies the tool too: on Windows the console shows UTF-8 until the tool ends, so
    // that the names in its messages read as typed; on POSIX a file-size limit makes a
    // write fail instead of ending the tool.
    Arguments(int argc, char** argv);

    int count() const { return static_cast<int>(pointers_.size()) - 1; }
    char** values() { return pointers_.data(); }  // null-terminated, as argv

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

// True when everything printed on standard output has reached it: figures or answers
// cut short by a full disk must not pass for a success.
inline bool stdoutWritten()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

#endif
