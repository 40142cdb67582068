// Windows: the arguments from the wide command line, in UTF-8; the console set to
// show UTF-8 and set back when the tool ends.
#include "tools/arguments.h"

#include "image/name_encoding.h"

#include <cstdlib>
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
