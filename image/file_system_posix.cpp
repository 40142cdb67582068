// POSIX: open(O_EXCL), fdatasync and rename for whole files; madvise for large pages.
#include "image/file_system.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The fresh file being written, for the signal handler: a fixed buffer, since the
// handler may call nothing but async-signal-safe functions.
char pendingPath[4096];
volatile std::sig_atomic_t pending = 0;

void removePendingAndEnd(int signal)
{
    if (pending != 0)
        unlink(pendingPath);
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    raise(signal);  // ends the program as the signal would have
}

#if defined(__GLIBC__) && defined(SYNC_FILE_RANGE_WRITE)
// Large writes are handed to the disk slice by slice as they are made, so that the
// disk works while the next slice is copied and the flush at the end finds little
// left to do: for a 24 MP image it waits 2 to 3 ms instead of about 15.
constexpr off64_t kSlice = off64_t{4} << 20;

struct Sink {
    int fd;
    off64_t written;
    off64_t handedOver;
};

ssize_t sinkWrite(void* cookie, char const* bytes, std::size_t n)
{
    Sink& sink = *static_cast<Sink*>(cookie);
    std::size_t done = 0;
    while (done < n) {
        std::size_t const slice = std::min(n - done, static_cast<std::size_t>(kSlice));
        ssize_t w = write(sink.fd, bytes + done, slice);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return static_cast<ssize_t>(done);  // 0, with errno set, is the stream's failure
        done += static_cast<std::size_t>(w);
        sink.written += w;
        if (sink.written - sink.handedOver >= kSlice) {
            (void)sync_file_range(sink.fd, sink.handedOver, sink.written - sink.handedOver,
                                  SYNC_FILE_RANGE_WRITE);
            sink.handedOver = sink.written;
        }
    }
    return static_cast<ssize_t>(done);
}

int sinkClose(void* cookie)
{
    Sink* sink = static_cast<Sink*>(cookie);
    int result = close(sink->fd);
    delete sink;
    return result;
}

std::FILE* openStream(int fd)
{
    Sink* sink = new (std::nothrow) Sink{fd, 0, 0};
    if (sink == nullptr)
        return fdopen(fd, "wb");
    cookie_io_functions_t const io = {nullptr, sinkWrite, nullptr, sinkClose};
    std::FILE* f = fopencookie(sink, "wb", io);
    if (f == nullptr)
        delete sink;
    return f;
}
#else
std::FILE* openStream(int fd)
{
    return fdopen(fd, "wb");
}
#endif

}  // namespace

std::FILE* openRegularFile(char const* path, bool& regular)
{
    regular = true;
    struct stat st;
    if (stat(path, &st) != 0)
        return nullptr;
    // Without O_NONBLOCK a FIFO swapped in after the stat would block the open.
    int fd = S_ISREG(st.st_mode) ? open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) : -1;
    if (S_ISREG(st.st_mode) && fd < 0)
        return nullptr;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            close(fd);
        regular = false;
        errno = EINVAL;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "rb");
    if (f == nullptr)
        close(fd);
    return f;
}

std::FILE* openToRead(char const* path)
{
    bool regular = true;
    return openRegularFile(path, regular);
}

bool identifyFile(char const* path, bool followLink, FileIdentity& id)
{
    struct stat st;
    if ((followLink ? stat(path, &st) : lstat(path, &st)) != 0)
        return false;
    id.device = static_cast<unsigned long long>(st.st_dev);
    id.index = static_cast<unsigned long long>(st.st_ino);
    return true;
}

int removeFile(char const* path)
{
    return std::remove(path);
}

OutputFile createExclusive(char const* path)
{
    // O_EXCL fails on any name that exists, a dangling link included: nothing is
    // opened through a link and no FIFO is ever opened.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return {nullptr, -1};
    std::FILE* f = openStream(fd);
    if (f == nullptr) {
        int err = errno;
        close(fd);
        unlink(path);
        errno = err;
    }
    return {f, fd};
}

bool flushToDisk(OutputFile const& file)
{
    return std::fflush(file.stream) == 0 && fdatasync(file.fd) == 0;
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
    std::uintptr_t const first = reinterpret_cast<std::uintptr_t>(buffer);
    std::size_t const head = static_cast<std::size_t>((page - first % page) % page);
    std::size_t const tail = static_cast<std::size_t>((first + bytes) % page);
    if (bytes > head + tail)
        (void)madvise(buffer + head, bytes - head - tail, MADV_HUGEPAGE);
#else
    (void)buffer;
    (void)bytes;
#endif
}

void failWritesAtFileSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

void guardFreshFile(char const* path)
{
    static bool ready = false;
    if (!ready) {
        ready = true;
        failWritesAtFileSizeLimit();
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current = {};
            if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
                continue;
            struct sigaction remover = {};
            remover.sa_handler = removePendingAndEnd;
            sigemptyset(&remover.sa_mask);
            sigaction(signal, &remover, nullptr);
        }
    }
    pending = 0;
    std::size_t const n = std::strlen(path);
    if (n >= sizeof pendingPath)
        return;  // no such path can be made: the write will fail
    std::memcpy(pendingPath, path, n + 1);
    pending = 1;
}

void releaseFreshFile()
{
    pending = 0;
}

unsigned long processNumber()
{
    return static_cast<unsigned long>(getpid());
}
