// What every fuzz target needs: a scratch folder of its own, files written and
// read whole, the console kept quiet, and a failed property reported with its
// reason before the process aborts (libFuzzer then saves the input).
#ifndef TAVRIN_FUZZ_FUZZ_SUPPORT_H
#define TAVRIN_FUZZ_FUZZ_SUPPORT_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fuzz {

// Failures go to a copy of stderr taken at start: libFuzzer may close stderr
// (-close_fd_mask=2).
inline int reportFd = 2;

inline void require(bool holds, char const* what)
{
    if (holds)
        return;
    std::string const line = std::string("\nPROPERTY FAILED: ") + what + "\n";
    (void)!write(reportFd, line.data(), line.size());
    std::abort();
}

// A file in a folder of this process's own under $TMPDIR (or /tmp), the folder
// removed when the process exits normally.
inline std::string scratchFile(char const* name)
{
    static struct Folder {
        std::string path = (std::filesystem::temp_directory_path() / "tavrin-fuzz-XXXXXX").string();
        Folder() { require(mkdtemp(path.data()) != nullptr, "mkdtemp"); }
        ~Folder() { std::filesystem::remove_all(path, ignored); }
        std::error_code ignored;
    } const folder;
    return folder.path + "/" + name;
}

inline void writeBytes(std::string const& path, uint8_t const* data, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<char const*>(data), static_cast<std::streamsize>(size));
    require(out.flush().good(), "cannot write a scratch file");
}

inline std::string readBytes(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace fuzz

// Each target is a program of its own that includes this header once. Its prompts
// and reports are not under test: stdout goes to /dev/null, which also keeps it fast.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    int const copy = dup(2);
    fuzz::reportFd = copy >= 0 ? copy : 2;
    fuzz::require(std::freopen("/dev/null", "w", stdout) != nullptr, "cannot quiet stdout");
    return 0;
}

#endif
