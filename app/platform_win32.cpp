// Windows: the command interpreter does the pause and makes the folder, as written.
#include "app/platform.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <windows.h>

char const outputFolderPrefix[] = "Redressement\\";
char const pathSeparators[] = "/\\";

void preparePlatform() {}

void pauseConsole()
{
    std::fflush(stdout);
    (void)std::system("PAUSE");
}

void makeOutputFolder()
{
    std::fflush(stdout);
    (void)std::system("md Redressement\\");
}

std::FILE* openRegularFile(char const* path, bool& regular)
{
    regular = true;
    struct _stat64 st;
    if (_stat64(path, &st) == 0 && (st.st_mode & _S_IFMT) != _S_IFREG) {
        regular = false;
        return nullptr;
    }
    std::FILE* f = std::fopen(path, "rb");
    if (f != nullptr && (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)) {
        std::fclose(f);
        regular = false;
        return nullptr;
    }
    return f;
}

bool identifyFile(char const* path, bool followLink, FileIdentity& id)
{
    DWORD const flags =
        FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
