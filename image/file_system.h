// The image library's file system, POSIX (file_system_posix.cpp) or Windows
// (win32/file_system_win32.cpp, outside image/*.cpp so that the library still builds
// alone from those on POSIX): the file operations of the whole-file writer, each
// setting errno when it fails, and a hint for large pixel buffers.
#ifndef TAVRIN_IMAGE_FILE_SYSTEM_H
#define TAVRIN_IMAGE_FILE_SYSTEM_H

#include <cstddef>
#include <cstdio>

// Opens path for reading in binary mode when it is a regular file. Anything else (a
// FIFO, a device, a folder, a socket) is never opened nor waited on: the result is
// null with regular set to false (errno EINVAL). Null with regular true: it cannot be
// opened, errno says why (EBUSY: another program holds it). On Windows the name's bytes are read as
// image/name_encoding.h says, whatever the system's code page.
std::FILE* openRegularFile(char const* path, bool& regular);

// openRegularFile, when the caller needs no more than errno.
std::FILE* openToRead(char const* path);

// Which file a path names, as the file system tells one file from another.
struct FileIdentity {
    unsigned long long device;
    unsigned long long index;

    bool operator==(FileIdentity const& other) const
    {
        return device == other.device && index == other.index;
    }
};

// The identity of the file at path (of a link itself, not of what it points to,
// when followLink is false); false when nothing can be found there.
bool identifyFile(char const* path, bool followLink, FileIdentity& id);

// Removes the file at path, as std::remove does.
int removeFile(char const* path);

// A file open for writing: its stream and the descriptor under it.
struct OutputFile {
    std::FILE* stream;
    int fd;
};

// Creates path for writing in binary mode, only when nothing is there (not even a
// link); a null stream when it cannot, with errno EEXIST when something is.
OutputFile createExclusive(char const* path);

// Hands every byte written to the stream to the disk.
bool flushToDisk(OutputFile const& file);

// True when what path names may be replaced: nothing, a regular file or a link.
// A folder (errno EISDIR, or EACCES on Windows, as an open for writing says), a FIFO,
// a device or a socket (errno EEXIST) is left alone.
bool mayReplace(char const* path);

// Renames from to to, replacing a file or a link at to (never what a link points to).
bool replaceFile(char const* from, char const* to);

// Makes a file-size limit a failed write (SIGXFSZ ignored) instead of the end of the
// program, where there is such a limit: every program of the project calls it first.
void failWritesAtFileSizeLimit();

// Marks path as the fresh file being written: should SIGINT, SIGTERM or SIGHUP (on
// Windows Ctrl-C, Ctrl-Break or closing the console) end the program before the file
// is released, it is removed first. The first call also fails writes at a file-size
// limit, as above. A signal that the program ignores, or handles itself, is left as it
// is.
void guardFreshFile(char const* path);
void releaseFreshFile();

// A number that no other running process has: it keeps fresh names apart.
unsigned long processNumber();

// Asks for large memory pages under a buffer that is about to be filled: a 24 MP
// image then costs a few dozen page faults instead of thousands. Only a hint.
void preferLargePages(unsigned char* buffer, std::size_t bytes);

#endif
