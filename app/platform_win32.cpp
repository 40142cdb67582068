// Windows: the command interpreter does the pause and makes the folder, as written;
// every other file call takes the name in UTF-16, as image/name_encoding.h reads it.
#include "app/platform.h"

#include "image/name_encoding.h"

#include <cstdio>
#include <cstdlib>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

char const outputFolderPrefix[] = "Redressement\\";
char const pathSeparators[] = "/\\";

namespace {

// The console's code pages when the program started, 0 where there is no console.
UINT savedInputPage = 0;
UINT savedOutputPage = 0;

void restoreConsolePages()
{
    if (savedInputPage != 0)
        SetConsoleCP(savedInputPage);
    if (savedOutputPage != 0)
        SetConsoleOutputCP(savedOutputPage);
}

// Ctrl-C, Ctrl-Break and closing the window end the program: the console gets its
// code pages back first, then the default handler ends the process.
BOOL WINAPI onConsoleEvent(DWORD)
{
    restoreConsolePages();
    return FALSE;
}

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

}  // namespace

std::size_t rootLength(char const* name)
{
    if (isSeparator(name[0]))
        return 1;
    bool const letter = (name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z');
    if (!letter || name[1] != ':')
        return 0;
    return isSeparator(name[2]) ? 3 : 2;
}

FolderStep enterFolder(char const* path)
{
    std::wstring const wide = wideName(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CreateDirectoryW(wide.c_str(), nullptr);
        attributes = GetFileAttributesW(wide.c_str());
    }
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FolderStep::failed;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return FolderStep::link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FolderStep::folder : FolderStep::failed;
}

std::string consoleText(std::string const& text, std::FILE* stream)
{
    DWORD mode = 0;
    HANDLE const h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return GetConsoleMode(h, &mode) ? toWindows1252(text) : text;
}

// The messages are Windows-1252 bytes and the operator types names at the console:
// both need the console in that code page, whatever it was set to.
void preparePlatform()
{
    savedInputPage = GetConsoleCP();
    savedOutputPage = GetConsoleOutputCP();
    if (savedInputPage == 0 && savedOutputPage == 0)
        return;
    std::atexit(restoreConsolePages);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    if (savedInputPage != 0)
        SetConsoleCP(1252);
    if (savedOutputPage != 0)
        SetConsoleOutputCP(1252);
}

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
    std::wstring const wide = wideName(path);
    struct _stat64 st;
    if (_wstat64(wide.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) != _S_IFREG) {
        regular = false;
        return nullptr;
    }
    std::FILE* f = _wfopen(wide.c_str(), L"rb");
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
