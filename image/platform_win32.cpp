// Windows: _wopen(_O_EXCL), _commit and MoveFileExW for whole files, every name in
// UTF-16 as image/name_encoding.h reads it; no page hint.
#ifdef _WIN32
#include "image/platform.h"

#include "image/name_encoding.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

std::FILE* openToRead(char const* path)
{
    return _wfopen(wideName(path).c_str(), L"rb");
}

int removeFile(char const* path)
{
    return _wremove(wideName(path).c_str());
}

OutputFile createExclusive(char const* path)
{
    int fd = _wopen(wideName(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return {nullptr, -1};
    std::FILE* f = _fdopen(fd, "wb");
    if (f == nullptr) {
        int err = errno;
        _close(fd);
        _wunlink(wideName(path).c_str());
        errno = err;
    }
    return {f, fd};
}

bool flushToDisk(OutputFile const& file)
{
    return std::fflush(file.stream) == 0 && _commit(file.fd) == 0;
}

bool mayReplace(char const* path)
{
    DWORD const attributes = GetFileAttributesW(wideName(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        errno = EACCES;
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        errno = EEXIST;
        return false;
    }
    return true;
}

bool replaceFile(char const* from, char const* to)
{
    if (MoveFileExW(wideName(from).c_str(), wideName(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        errno = ENOENT;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        errno = ENOSPC;
        break;
    default:
        errno = EACCES;  // a folder, a file in use or a refused access at the target
        break;
    }
    return false;
}

void preferLargePages(unsigned char*, std::size_t) {}

unsigned long processNumber()
{
    return static_cast<unsigned long>(_getpid());
}
#endif
