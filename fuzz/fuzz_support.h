// What every fuzz target needs: a scratch folder of its own, files written and
// read whole, the console kept quiet, and a failed property reported with its
// reason before the process aborts (libFuzzer then saves the input).
#ifndef TAVRIN_FUZZ_FUZZ_SUPPORT_H
#define TAVRIN_FUZZ_FUZZ_SUPPORT_H

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace fuzz {

// The descriptor that failures are written to: a copy of stderr taken at start,
// so it stays usable when libFuzzer closes stderr (-close_fd_mask=2).
inline int& reportFd()
{
    static int fd = 2;
    return fd;
}

// Sends stdout to /dev/null (the program's prompts and reports are not under
// test here, and printing them would only slow the run) and keeps a copy of stderr.
inline void quietConsole()
{
    int copy = dup(2);
    if (copy >= 0)
        reportFd() = copy;
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
}

[[noreturn]] inline void fail(char const* what)
{
    std::string line = std::string("\nPROPERTY FAILED: ") + what + "\n";
    (void)!write(reportFd(), line.data(), line.size());
    std::abort();
}

inline void require(bool holds, char const* what)
{
    if (!holds)
        fail(what);
}

// A folder under $TMPDIR (or /tmp) for this process, removed when it exits normally.
class ScratchDir {
public:
    ScratchDir()
    {
        char const* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tavrin-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            fail("mkdtemp");
        path_ = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(ScratchDir const&) = delete;
    ScratchDir& operator=(ScratchDir const&) = delete;

    std::string file(char const* name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void writeBytes(std::string const& path, uint8_t const* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        fail("cannot create a scratch file");
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        fail("cannot write a scratch file");
}

inline std::string readBytes(std::string const& path)
{
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return bytes;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.append(chunk, got);
    std::fclose(f);
    return bytes;
}

}  // namespace fuzz

// Each target is a program of its own that includes this header once: its
// prompts and reports go nowhere.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietConsole();
    return 0;
}

#endif
