// The tools' platform layer. Their command lines as the image library opens names: on
// Windows, argv holds the arguments in the ANSI code page, which loses any character it
// lacks, so they are taken from the wide command line in UTF-8 instead
// (arguments_win32.cpp); elsewhere they are argv's bytes (arguments_posix.cpp). Beside
// them, what a tool shows at a console and what stands where it reads or writes.
#ifndef TAVRIN_TOOLS_COMMON_ARGUMENTS_H
#define TAVRIN_TOOLS_COMMON_ARGUMENTS_H

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
    // True when the one argument is --help or -h: the tool then prints its usage.
    bool askForHelp() const { return count() == 2 && (texts_[1] == "--help" || texts_[1] == "-h"); }

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

// Writes a French message: its words in Windows-1252 bytes, the names in it as the
// arguments give them. A file or a pipe gets these bytes; a Windows console, and a
// terminal whose locale is UTF-8, show each character as meant (messageInUtf8 in
// image/message_text.h). False when the write fails.
bool tell(std::FILE* stream, std::string const& text);

// When the tool runs in a console window of its own (double-clicked in Windows'
// Explorer, the window closes as it ends) and that console is its standard input:
// asks for a key and waits for one, so that what it said can be read. Otherwise, and
// always on POSIX, returns at once.
void holdOwnWindow();

// The size in bytes of the open file; -1 when the system cannot tell.
long long fileBytes(std::FILE* f);

// What stands at a path the tool would write: nothing, a link (itself, whatever it
// points to, even nothing), a regular file, or something else (a folder, a FIFO, a
// device); unknown when the system cannot tell, errno then saying why.
enum class Standing { nothing, link, file, other, unknown };
Standing standingAt(char const* path);

#endif
