// POSIX: open(O_EXCL), fdatasync and rename for whole files; madvise for large pages.
#ifndef _WIN32
#include "image/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* createExclusive(char const* path)
{
    // O_EXCL fails on any name that exists, a dangling link included: nothing is
    // opened through a link and no FIFO is ever opened.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* f = fdopen(fd, "wb");
    if (f == nullptr) {
        int err = errno;
        close(fd);
        unlink(path);
        errno = err;
    }
    return f;
}

bool flushToDisk(std::FILE* f)
{
    return fdatasync(fileno(f)) == 0;
}

bool mayReplace(char const* path)
{
    struct stat st;
    if (lstat(path, &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        return true;
    errno = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
    return false;
}

bool replaceFile(char const* from, char const* to)
{
    return std::rename(from, to) == 0;
}

void preferLargePages(unsigned char* buffer, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    std::uintptr_t const page = std::uintptr_t{2} << 20;
    std::uintptr_t const start = (reinterpret_cast<std::uintptr_t>(buffer) + page - 1) & ~(page - 1);
    std::uintptr_t const end = (reinterpret_cast<std::uintptr_t>(buffer) + bytes) & ~(page - 1);
    if (end > start)
        (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)buffer;
    (void)bytes;
#endif
}

unsigned long processNumber()
{
    return static_cast<unsigned long>(getpid());
}
#endif
