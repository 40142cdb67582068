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
