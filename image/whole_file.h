// Files written whole or not at all. The bytes go to a fresh file of the writer's own
// beside the target (in the same folder, created exclusively: never an existing file,
// never through a link), are flushed to the disk, and that file is then renamed over
// the target, replacing a file or a link there (a link is replaced, never followed);
// a folder, a FIFO, a device or a socket at the target is left alone and the write
// fails. On any failure the fresh file is removed and the target keeps what it had.
#ifndef TAVRIN_IMAGE_WHOLE_FILE_H
#define TAVRIN_IMAGE_WHOLE_FILE_H

#include <cstdio>
#include <functional>

// Writes the file at path with what encode puts into the stream; encode returns false
// when a write fails. True when the file is there whole; a failure is reported through
// perror("\nError to write the image file"), with the system's reason left in errno.
bool writeWholeFile(char const* path, std::function<bool(std::FILE*)> const& encode);

// The same write, saying nothing: 0 when the file is there whole, else the system's
// reason (an errno value), for a caller that tells the failure in a line of its own.
int writeWhole(char const* path, std::function<bool(std::FILE*)> const& encode);

// The writer's failure report, for a write refused before it began: perror's line with
// the system's reason for err; errno is left at err.
void reportWriteFailure(int err);

// True when a fresh file can be made beside path, in the folder that would take it;
// that file is removed at once. Touches no existing file.
bool canWriteBeside(char const* path);

// True when the file at target (a link there itself, not what it points to) is the
// file that source names: writing target would replace source.
bool wouldReplace(char const* target, char const* source);

#endif
