// What the run needs of its platform: the pause before a failure exit, the
// creation of the output folder, the prefix of every output path, and the few
// file questions that keep the operator's files safe.
#ifndef TAVRIN_APP_PLATFORM_H
#define TAVRIN_APP_PLATFORM_H

#include <cstdio>

// "Redressement" and the platform's path separator.
extern char const outputFolderPrefix[];

// The characters that separate the elements of a path.
extern char const pathSeparators[];

// Readies the process for the run: a file-size limit makes a write fail instead
// of ending the process.
void preparePlatform();

// Waits for one key press after a request to press one.
void pauseConsole();

// Creates the folder "Redressement" in the working directory. Its result is
// never examined: a later write into the folder reports its own failure.
void makeOutputFolder();

// Opens path for reading in binary mode when it is a regular file. Anything else
// (a FIFO, a device, a folder, a socket) is never opened nor waited on: the result
// is null with regular set to false. Null with regular true: it cannot be opened.
std::FILE* openRegularFile(char const* path, bool& regular);

// Which file a path names, as the file system tells one file from another.
struct FileIdentity {
    unsigned long long device;
    unsigned long long index;
};

// The identity of the file at path (of a link itself, not of what it points to,
// when followLink is false); false when nothing can be found there.
bool identifyFile(char const* path, bool followLink, FileIdentity& id);

#endif
