#include "image/whole_file.h"

#include "image/file_system.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

char const kWriteError[] = "\nError to write the image file";

struct FreshFile {
    OutputFile file = {nullptr, -1};
    std::string path;
};

// A file beside path that no one else has: the target's name, the process number
// and a count, tried until a name is free.
FreshFile createBeside(char const* path)
{
    static unsigned long count = 0;
    std::string const stem = std::string(path) + ".tavrin-" + std::to_string(processNumber()) + "-";
    FreshFile fresh;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fresh.path = stem + std::to_string(count++);
        // Guarded before it exists, so that no moment leaves it unguarded; a name
        // that is taken can only be a file left by a process of the same number.
        guardFreshFile(fresh.path.c_str());
        fresh.file = createExclusive(fresh.path.c_str());
        if (fresh.file.stream != nullptr)
            break;
        int const err = errno;
        releaseFreshFile();
        errno = err;
        if (err != EEXIST)
            break;
    }
    return fresh;
}

}  // namespace

void reportWriteFailure(int err)
{
    std::fflush(stdout);
    errno = err;
    std::perror(kWriteError);
    errno = err;
}

// Out of line, so that writeWholeFile stays a call to it rather than a second copy.
[[gnu::noinline]] int writeWhole(char const* path, std::function<bool(std::FILE*)> const& encode)
{
    if (!mayReplace(path))
        return errno != 0 ? errno : EIO;
    FreshFile fresh = createBeside(path);
    std::FILE* const f = fresh.file.stream;
    if (f == nullptr)
        return errno != 0 ? errno : EIO;
    errno = 0;
    int err = 0;
    if (!encode(f) || !flushToDisk(fresh.file))
        err = errno != 0 ? errno : EIO;
    if (std::fclose(f) != 0 && err == 0)
        err = errno != 0 ? errno : EIO;
    if (err == 0 && !replaceFile(fresh.path.c_str(), path))
        err = errno;
    if (err != 0)
        removeFile(fresh.path.c_str());
    releaseFreshFile();
    return err;
}

bool writeWholeFile(char const* path, std::function<bool(std::FILE*)> const& encode)
{
    int const err = writeWhole(path, encode);
    if (err != 0)
        reportWriteFailure(err);
    return err == 0;
}

bool canWriteBeside(char const* path)
{
    FreshFile fresh = createBeside(path);
    if (fresh.file.stream == nullptr)
        return false;
    std::fclose(fresh.file.stream);
    removeFile(fresh.path.c_str());
    releaseFreshFile();
    return true;
}

bool wouldReplace(char const* target, char const* source)
{
    FileIdentity written;
    FileIdentity read;
    return identifyFile(target, false, written) && identifyFile(source, true, read) &&
           written == read;
}
