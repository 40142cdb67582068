// POSIX: names are bytes, taken as given; a file-size limit is a failed write; no
// window of its own to hold open.
#include "tools/arguments.h"

#include "image/file_system.h"

#include <cerrno>
#include <sys/stat.h>

Arguments::Arguments(int argc, char** argv) : texts_(argv, argv + argc)
{
    for (std::string& text : texts_)
        pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
    failWritesAtFileSizeLimit();
}

bool tell(std::FILE* stream, std::string const& text)
{
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

void holdOwnWindow() {}

long long fileBytes(std::FILE* f)
{
    struct stat st;
    return fstat(fileno(f), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

Standing standingAt(char const* path)
{
    struct stat st;
    if (lstat(path, &st) != 0)
        return errno == ENOENT ? Standing::nothing : Standing::unknown;
    return S_ISLNK(st.st_mode)   ? Standing::link
           : S_ISREG(st.st_mode) ? Standing::file
                                 : Standing::other;
}
