// Windows: CreateFileW(CREATE_NEW), _commit and MoveFileExW for whole files, every name in
// UTF-16 as image/name_encoding.h reads it; no page hint.
#include "image/file_system.h"

#include "image/name_encoding.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

std::FILE* openRegularFile(char const* path, bool& regular)
{
    regular = true;
    std::wstring const wide = wideName(path);
    struct _stat64 st;
    if (_wstat64(wide.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) != _S_IFREG) {
        regular = false;
        errno = EINVAL;
        return nullptr;
    }
    std::FILE* f = _wfopen(wide.c_str(), L"rb");
    if (f == nullptr && (_doserrno == ERROR_SHARING_VIOLATION || _doserrno == ERROR_LOCK_VIOLATION))
        errno = EBUSY;  // held open by another program, which the operator can close
    if (f != nullptr && (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)) {
        std::fclose(f);
        regular = false;
        errno = EINVAL;
        return nullptr;
    }
    return f;
}

std::FILE* openToRead(char const* path)
{
    bool regular = true;
    return openRegularFile(path, regular);
}

bool identifyFile(char const* path, bool followLink, FileIdentity& id)
{
    DWORD const flags =
        FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE h = CreateFileW(wideName(path).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool const known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!known)
        return false;
    id.device = info.dwVolumeSerialNumber;
    id.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

int removeFile(char const* path)
{
    return _wremove(wideName(path).c_str());
}

OutputFile createExclusive(char const* path)
{
    // Shared for deletion, so that an ending program can remove it while it is open.
    HANDLE h =
        CreateFileW(wideName(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD const error = GetLastError();
        errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST
                : error == ERROR_PATH_NOT_FOUND                             ? ENOENT
                                                                            : EACCES;
        return {nullptr, -1};
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        DeleteFileW(wideName(path).c_str());
        return {nullptr, -1};
    }
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

namespace {

// True when another program holds the file at path open without leave to delete it,
// as a viewer or Explorer's preview pane does: a rename over it is then refused.
bool heldByAnotherProgram(std::wstring const& path)
{
    HANDLE h = CreateFileW(
        path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

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
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        errno = EBUSY;
        break;
    case ERROR_ACCESS_DENIED:
        errno = heldByAnotherProgram(wideName(to)) ? EBUSY : EACCES;
        break;
    default:
        errno = EACCES;  // a folder or a refused access at the target
        break;
    }
    return false;
}

namespace {

// The fresh file being written, for the console's handler thread.
wchar_t pendingPath[32768];
LONG volatile pending = 0;

// The default handler then ends the program; the file goes with its last handle.
BOOL WINAPI removePending(DWORD)
{
    if (InterlockedCompareExchange(&pending, 0, 0) != 0)
        DeleteFileW(pendingPath);
    return FALSE;
}

}  // namespace

void failWritesAtFileSizeLimit() {}  // no such limit, no such signal

void guardFreshFile(char const* path)
{
    static bool ready = false;
    if (!ready) {
        ready = true;
        SetConsoleCtrlHandler(removePending, TRUE);
    }
    InterlockedExchange(&pending, 0);
    std::wstring const wide = wideName(path);
    if (wide.size() >= sizeof pendingPath / sizeof pendingPath[0])
        return;
    wide.copy(pendingPath, wide.size());
    pendingPath[wide.size()] = L'\0';
    InterlockedExchange(&pending, 1);
}

void releaseFreshFile()
{
    InterlockedExchange(&pending, 0);
}

void preferLargePages(unsigned char*, std::size_t) {}

unsigned long processNumber()
{
    return static_cast<unsigned long>(_getpid());
}
