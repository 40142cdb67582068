// What the run needs of its platform: the pause before a failure exit, the
// creation of the output folder and of folders inside it, the prefix of every
// output path and the form of a name. The file questions that keep the operator's
// files safe are the image library's (image/file_system.h).
#ifndef TAVRIN_APP_PLATFORM_H
#define TAVRIN_APP_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// "Redressement" and the platform's path separator.
extern char const outputFolderPrefix[];

// The characters that separate the elements of a path.
extern char const pathSeparators[];

// How many bytes at the start of the name make it absolute or drive-qualified: "/" on
// POSIX; on Windows "C:", "C:\" or "\" (so "\\server\share" too): 0 for a name
// relative to the working folder. Only what follows them is written in Redressement.
std::size_t rootLength(char const* name);

enum class FolderStep { folder, link, failed };

// Where a file is written inside Redressement. The folders between Redressement and
// the file are made as needed, each opened without following a link, and held open
// until the place is left: the file is then written relative to the last of them, so
// that no folder of the path can be swapped for a link between the check and the
// write. Redressement itself may be a link.
class OutputPlace {
public:
    explicit OutputPlace(std::string const& outputPath);
    ~OutputPlace();
    OutputPlace(OutputPlace const&) = delete;
    OutputPlace& operator=(OutputPlace const&) = delete;

    // folder: the file may be written at path(); link: a folder of the path is a link;
    // failed: a folder is missing and cannot be made, or a file is in its place, and
    // error() says why.
    FolderStep step() const { return step_; }
    int error() const { return error_; }
    // The name to write the file by while the place is held.
    char const* path() const { return path_.c_str(); }

private:
    FolderStep step_ = FolderStep::failed;
    int error_ = 0;
    std::string path_;
    std::vector<std::intptr_t> held_;  // the folders' descriptors or handles
    std::intptr_t home_ = -1;          // where the run was, to come back to
};

// The text as it must be written to the stream: unchanged, but for a name in UTF-8
// written to a Windows console, which then shows Windows-1252.
std::string consoleText(std::string const& text, std::FILE* stream);

// Readies the process for the run: a file-size limit makes a write fail instead
// of ending the process; on Windows the console reads and shows Windows-1252 until
// the program ends, and answers redirected from a UTF-16 file are read as bytes,
// without the text mode's translation.
void preparePlatform();

// True when standard input is the operator's terminal or console, where a point
// typed wrong can be asked again; false for a file or a pipe of answers.
bool inputIsTerminal();

// Waits for one key press after a request to press one.
void pauseConsole();

// Creates the folder "Redressement" in the working directory. Its result is
// never examined: the run then tries the folder again and says why it cannot write.
void makeOutputFolder();

// True when something that is not a folder (nor a link to one) stands at path.
bool isNotFolder(char const* path);

// From now on standard input reads these bytes, and then its end. Used for answers
// saved in UTF-16, which the run reads as the UTF-8 text they hold.
void feedStandardInput(std::string const& bytes);

#endif
