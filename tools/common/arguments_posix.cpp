// POSIX: names are bytes, taken as given; messages shown in UTF-8 at a terminal that
// reads it; a file-size limit is a failed write; no window of its own to hold open.
#include "tools/common/arguments.h"

#include "image/file_system.h"
#include "image/message_text.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

Arguments::Arguments(int argc, char** argv) : texts_(argv, argv + argc)
{
    for (std::string& text : texts_)
        pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
    failWritesAtFileSizeLimit();
}

bool tell(std::FILE* stream, std::string const& text)
{
    static bool const utf8 =
        utf8Locale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
    std::string const shown = utf8 && isatty(fileno(stream)) ? messageInUtf8(text) : text;
    return std::fwrite(shown.data(), 1, shown.size(), stream) == shown.size();
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
