// Windows: the companions run through CreateProcessW with a command line quoted as they
// split it, their input and output kept in temporary files that the system deletes when
// they are closed (the output followed through pipes when asked); the report shown by
// the default browser; text files with their lines ended by CR LF, as Notepad ends
// them.
#include "tools/series/platform.h"

#include "image/name_encoding.h"

#include <cerrno>
#include <io.h>
#include <windows.h>

#include <shellapi.h>

#include <system_error>
#include <thread>

namespace {

std::wstring wide(std::string const& utf8)
{
    return wideName(utf8.c_str());
}

// The argument as CommandLineToArgvW and the C runtime split it back: in quotes when
// it holds a blank or a quote, each quote escaped, and the backslashes before a quote
// (or before the closing quote) doubled.
std::wstring quoted(std::wstring const& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring q = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        q.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        q += c;
    }
    q.append(2 * slashes, L'\\');
    return q + L"\"";
}

// A temporary file that the child inherits and the system deletes once it is closed.
HANDLE temporaryFile()
{
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"tvs", 0, name) == 0)
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string contents(HANDLE f)
{
    std::string text;
    if (SetFilePointer(f, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return text;
    char block[8192];
    DWORD n = 0;
    while (ReadFile(f, block, sizeof block, &n, nullptr) && n > 0)
        text.append(block, n);
    return text;
}

// What the pipe brings until its writers are gone, handed on line by line, each with
// onError.
std::string follow(HANDLE pipe, bool onError, OutputLine const& onLine)
{
    std::string all;
    std::size_t told = 0;
    char block[8192];
    DWORD n = 0;
    while (ReadFile(pipe, block, sizeof block, &n, nullptr) && n > 0) {
        all.append(block, n);
        handOnLines(all, told, onError, onLine);
    }
    handOnLines(all, told, onError, onLine, true);
    return all;
}

// Both pipes followed until they end, standard error on a thread of its own.
void followBoth(HANDLE outPipe, HANDLE errPipe, OutputLine const& onLine, Outcome& outcome)
{
    std::thread errors;
    try {
        errors = std::thread([&] { outcome.errors = follow(errPipe, true, onLine); });
    } catch (std::system_error const&) {  // read after: a pipe's buffer holds a few lines
    }
    outcome.output = follow(outPipe, false, onLine);
    if (errors.joinable())
        errors.join();
    else
        outcome.errors = follow(errPipe, true, onLine);
}

// A pipe whose writing end a child inherits, its reading end staying here; false, with
// both closed, when it cannot be made.
bool childPipe(HANDLE& reading, HANDLE& writing)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    reading = writing = INVALID_HANDLE_VALUE;
    if (CreatePipe(&reading, &writing, &inherit, 0) &&
        SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0))
        return true;
    for (HANDLE h : {reading, writing})
        if (h != INVALID_HANDLE_VALUE && h != nullptr)
            CloseHandle(h);
    reading = writing = INVALID_HANDLE_VALUE;
    return false;
}

}  // namespace

std::string ownFolder()
{
    std::wstring path(32768, L'\0');
    DWORD const n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size())
        return {};
    path.resize(n);
    std::size_t const slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return {};
    path.resize(slash);
    return encodeUtf8(std::u16string(path.begin(), path.end()));
}

std::string programFile(std::string const& folder, char const* name)
{
    return folder + "\\" + name + ".exe";
}

Outcome runProgram(std::string const& program, std::vector<std::string> const& arguments,
                   std::string const& folder, std::string const& input, OutputLine const& onLine)
{
    Outcome outcome;
    // With onLine, the output goes through pipes whose reading ends stay here. A
    // companion that another thread starts meanwhile inherits the writing ends too: a
    // pipe then ends when both have ended, a little later, never not at all.
    HANDLE outPipe = INVALID_HANDLE_VALUE, outEnd = INVALID_HANDLE_VALUE;
    HANDLE errPipe = INVALID_HANDLE_VALUE, errEnd = INVALID_HANDLE_VALUE;
    if (onLine && !childPipe(outPipe, outEnd))
        return outcome;
    if (onLine && !childPipe(errPipe, errEnd)) {
        CloseHandle(outPipe), CloseHandle(outEnd);
        return outcome;
    }
    HANDLE const in = temporaryFile();
    DWORD written = 0;
    bool const ready =
        in != INVALID_HANDLE_VALUE &&
        (input.empty() ||
         (WriteFile(in, input.data(), static_cast<DWORD>(input.size()), &written, nullptr) &&
          written == input.size())) &&
        SetFilePointer(in, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
    HANDLE const out = onLine ? outEnd : temporaryFile();
    HANDLE const err = onLine ? errEnd : temporaryFile();
    std::wstring const application = wide(program);
    std::wstring line = quoted(application);
    for (std::string const& a : arguments)
        line += L" " + quoted(wide(a));
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = err;
    PROCESS_INFORMATION child{};
    bool const started = ready && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                         CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, wide(folder).c_str(), &start, &child);
    if (onLine) {  // these ends closed, so that the child's exit ends the pipes
        CloseHandle(outEnd), CloseHandle(errEnd);
        if (started)
            followBoth(outPipe, errPipe, onLine, outcome);
        CloseHandle(outPipe), CloseHandle(errPipe);
    }
    if (started) {
        WaitForSingleObject(child.hProcess, INFINITE);
        DWORD status = 0;
        GetExitCodeProcess(child.hProcess, &status);
        outcome.status = static_cast<int>(status);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
        if (!onLine)
            outcome.output = contents(out), outcome.errors = contents(err);
    }
    for (HANDLE h : {in, onLine ? INVALID_HANDLE_VALUE : out, onLine ? INVALID_HANDLE_VALUE : err})
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    return outcome;
}

std::string operatorText(std::string const& text)
{
    std::string lines;
    for (char c : text) {
        if (c == '\n')
            lines += '\r';
        lines += c;
    }
    return lines;
}

bool openInBrowser(std::string const& path)
{
    HINSTANCE const shown =
        ShellExecuteW(nullptr, L"open", wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(shown) > 32;
}

bool processRuns(unsigned long number)
{
    HANDLE const p = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(number));
    if (p == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    bool const running = WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
    CloseHandle(p);
    return running;
}

Hold holdFolder(std::string const& folder)
{
    // Shared with none, and deleted when the handle closes: at the end, or at a kill.
    HANDLE const h = CreateFileW(wide(folder + "\\" + kRunHold).c_str(),
                                 GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        return Hold::held;
    DWORD const why = GetLastError();
    errno = why == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return why == ERROR_SHARING_VIOLATION ? Hold::taken : Hold::failed;
}

bool outputIsConsole()
{
    HANDLE const h = reinterpret_cast<HANDLE>(_get_osfhandle(1));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}
