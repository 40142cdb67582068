// Windows: the command interpreter does the pause and makes the folder, as written;
// every other file call takes the name in UTF-16, as image/name_encoding.h reads it.
#include "app/platform.h"

#include "image/name_encoding.h"
#include "image/results_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <utility>
#include <windows.h>

char const outputFolderPrefix[] = TAVRIN_RESULTS_FOLDER "\\";
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

// Each folder of the path is opened without leave to delete or rename it, and so stays
// where it is, a folder, until the place is left; the file is written by its full path.
OutputPlace::OutputPlace(std::string const& outputPath) : path_(outputPath)
{
    std::size_t const prefix = sizeof outputFolderPrefix - 1;
    for (std::size_t end = prefix - 1; end != std::string::npos;
         end = outputPath.find_first_of(pathSeparators, end + 1)) {
        if (end > 0 && isSeparator(outputPath[end - 1]))
            continue;  // an empty element
        bool const inner = end >= prefix;
        std::wstring const wide = wideName(outputPath.substr(0, end).c_str());
        if (inner && GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES)
            CreateDirectoryW(wide.c_str(), nullptr);
        HANDLE const h = CreateFileW(
            wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (inner ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
            nullptr);
        BY_HANDLE_FILE_INFORMATION info;
        if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) {
            DWORD const why = GetLastError();
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
            error_ = why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
            return;
        }
        held_.push_back(reinterpret_cast<std::intptr_t>(h));
        // Asked of the handle and, once it holds the name in place, of the name too:
        // Wine tells a Unix link by its name alone.
        DWORD const named = GetFileAttributesW(wide.c_str());
        if (named != INVALID_FILE_ATTRIBUTES)
            info.dwFileAttributes |= named & FILE_ATTRIBUTE_REPARSE_POINT;
        if (inner && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            step_ = FolderStep::link;
            return;
        }
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            error_ = ENOTDIR;
            return;
        }
    }
    step_ = FolderStep::folder;
}

OutputPlace::~OutputPlace()
{
    for (std::intptr_t h : held_)
        CloseHandle(reinterpret_cast<HANDLE>(h));
}

bool isNotFolder(char const* path)
{
    DWORD const attributes = GetFileAttributesW(wideName(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

namespace {

DWORD WINAPI pourIntoPipe(LPVOID context)
{
    auto* job = static_cast<std::pair<std::string, HANDLE>*>(context);
    std::size_t done = 0;
    DWORD written = 0;
    while (done < job->first.size() &&
           WriteFile(job->second, job->first.data() + done,
                     static_cast<DWORD>(std::min<std::size_t>(job->first.size() - done, 1 << 16)),
                     &written, nullptr))
        done += written;
    CloseHandle(job->second);
    return 0;
}

}  // namespace

// A pipe takes the place of standard input (for the C library and for the command
// interpreter's PAUSE alike), and a thread pours the bytes into it.
void feedStandardInput(std::string const& bytes)
{
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0))
        return;
    static std::pair<std::string, HANDLE> job;
    job = {bytes, writeEnd};
    HANDLE const thread = CreateThread(nullptr, 0, pourIntoPipe, &job, 0, nullptr);
    if (thread == nullptr) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return;
    }
    CloseHandle(thread);
    int const fd = _open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY | _O_BINARY);
    if (fd < 0 || _dup2(fd, _fileno(stdin)) != 0)
        return;
    _close(fd);
    std::clearerr(stdin);
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
    // Peeked at and put back before any read: the text mode would take a byte 0x1A of
    // UTF-16 text for the end of the file.
    HANDLE const in = GetStdHandle(STD_INPUT_HANDLE);
    if (GetFileType(in) == FILE_TYPE_DISK) {
        LARGE_INTEGER here = {};
        LARGE_INTEGER none = {};
        unsigned char mark[2] = {};
        DWORD got = 0;
        if (SetFilePointerEx(in, none, &here, FILE_CURRENT) &&
            ReadFile(in, mark, 2, &got, nullptr) &&
            SetFilePointerEx(in, here, nullptr, FILE_BEGIN) && got == 2 &&
            ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF)))
            _setmode(_fileno(stdin), _O_BINARY);
    }
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

bool inputIsTerminal()
{
    DWORD mode = 0;
    HANDLE const h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin)));
    return GetConsoleMode(h, &mode) != 0;
}

void pauseConsole()
{
    std::fflush(stdout);
    (void)std::system("PAUSE");
}

void makeOutputFolder()
{
    std::fflush(stdout);
    (void)std::system("md " TAVRIN_RESULTS_FOLDER "\\");
}
