// Windows: the arguments from the wide command line, in UTF-8; the console set to
// show UTF-8 and set back when the tool ends; messages written to the console as wide
// text; a window of the tool's own held open until a key is pressed.
#include "tools/common/arguments.h"

#include "image/name_encoding.h"

#include <cerrno>
#include <cstdlib>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <shellapi.h>

namespace {

UINT savedOutputPage = 0;

void restoreConsolePage()
{
    SetConsoleOutputCP(savedOutputPage);
}

BOOL WINAPI onConsoleEvent(DWORD)
{
    restoreConsolePage();
    return FALSE;
}

// The console behind the stream, or null when the stream goes to a file or a pipe.
HANDLE consoleOf(std::FILE* stream)
{
    HANDLE const h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
}

}  // namespace

Arguments::Arguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr && count == argc) {
        for (int k = 0; k < count; ++k) {
            std::wstring const w = wide[k];
            texts_.push_back(encodeUtf8(std::u16string(w.begin(), w.end())));
        }
    } else {
        texts_.assign(argv, argv + argc);  // argv as the C runtime split it
    }
    if (wide != nullptr)
        LocalFree(wide);
    for (std::string& text : texts_)
        pointers_.push_back(text.data());
    pointers_.push_back(nullptr);

    savedOutputPage = GetConsoleOutputCP();
    if (savedOutputPage != 0 && SetConsoleOutputCP(CP_UTF8)) {
        std::atexit(restoreConsolePage);
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    }
}

bool tell(std::FILE* stream, std::string const& text)
{
    HANDLE const console = consoleOf(stream);
    if (console == nullptr)
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    std::fflush(stream);
    std::u16string const shown = messageText(text);
    DWORD written = 0;
    return WriteConsoleW(console, shown.data(), static_cast<DWORD>(shown.size()), &written,
                         nullptr) != 0;
}

void holdOwnWindow()
{
    DWORD processes[2];
    HANDLE const keys = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    // Started from a command prompt, the console serves that prompt too and stays open.
    if (GetConsoleProcessList(processes, 2) != 1 || keys == nullptr ||
        keys == INVALID_HANDLE_VALUE || !GetConsoleMode(keys, &mode))
        return;
    tell(stdout, "\nAppuyez sur une touche pour fermer cette fen\xEAtre...");
    FlushConsoleInputBuffer(keys);
    INPUT_RECORD record;
    DWORD got = 0;
    while (ReadConsoleInputW(keys, &record, 1, &got) && got == 1)
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)
            break;
    tell(stdout, "\n");
}

long long fileBytes(std::FILE* f)
{
    struct _stat64 st;
    return _fstat64(_fileno(f), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

Standing standingAt(char const* path)
{
    DWORD const attributes = GetFileAttributesW(wideName(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD const why = GetLastError();
        if (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND)
            return Standing::nothing;
        errno = why == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return Standing::unknown;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return Standing::link;  // a symbolic link or a junction
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ? Standing::other
                                                                                  : Standing::file;
}
