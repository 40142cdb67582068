// What the run needs of its platform: the pause before a failure exit, the
// creation of the output folder and of folders inside it, the prefix of every
// output path and the form of a name. The file questions that keep the operator's
// files safe are the image library's (image/file_system.h).
#ifndef TAVRIN_APP_PLATFORM_H
#define TAVRIN_APP_PLATFORM_H

#include <cstddef>
#include <cstdio>
#include <string>

// "Redressement" and the platform's path separator.
extern char const outputFolderPrefix[];

// The characters that separate the elements of a path.
extern char const pathSeparators[];

// How many bytes at the start of the name make it absolute or drive-qualified: "/" on
// POSIX; on Windows "C:", "C:\" or "\" (so "\\server\share" too): 0 for a name
// relative to the working folder. Only what follows them is written in Redressement.
std::size_t rootLength(char const* name);

enum class FolderStep { folder, link, failed };

// Makes the folder at path unless it is there. A link there (to anything) is never
// followed: the result is link. failed when neither a folder is there nor one can
// be made.
FolderStep enterFolder(char const* path);

// The text as it must be written to the stream: unchanged, but for a name in UTF-8
// written to a Windows console, which then shows Windows-1252.
std::string consoleText(std::string const& text, std::FILE* stream);

// Readies the process for the run: a file-size limit makes a write fail instead
// of ending the process; on Windows the console reads and shows Windows-1252 until
// the program ends.
void preparePlatform();

// Waits for one key press after a request to press one.
void pauseConsole();

// Creates the folder "Redressement" in the working directory. Its result is
// never examined: a later write into the folder reports its own failure.
void makeOutputFolder();

#endif
