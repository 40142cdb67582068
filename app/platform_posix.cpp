// POSIX: the pause and the folder are done in-process; nothing is run through a shell;
// a terminal that reads UTF-8 is written UTF-8.
#include "app/platform.h"

#include "image/file_system.h"
#include "image/message_text.h"
#include "image/results_folder.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

char const outputFolderPrefix[] = TAVRIN_RESULTS_FOLDER "/";
char const pathSeparators[] = "/";

namespace {

int const kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The terminal's settings while the pause has changed them, for the signal handler.
termios savedTerminal;
struct sigaction previousActions[3];

// A signal during the pause gives the terminal its settings back (echo, lines), then
// ends the program as it would have.
void restoreTerminalAndEnd(int signal)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    for (int k = 0; k < 3; ++k)
        if (kEndingSignals[k] == signal)
            sigaction(signal, &previousActions[k], nullptr);
    raise(signal);
}

void guardTerminal(bool on)
{
    for (int k = 0; k < 3; ++k) {
        if (!on) {
            sigaction(kEndingSignals[k], &previousActions[k], nullptr);
            continue;
        }
        struct sigaction restorer = {};
        restorer.sa_handler = restoreTerminalAndEnd;
        sigemptyset(&restorer.sa_mask);
        sigaction(kEndingSignals[k], nullptr, &previousActions[k]);
        if (previousActions[k].sa_handler != SIG_IGN)
            sigaction(kEndingSignals[k], &restorer, nullptr);
    }
}

// One new key at a terminal, without waiting for Enter. What is left of the line
// already typed (at least the Enter that ended it) is read away first, or it would
// be taken for the key and the window would close before it can be read.
void waitForKeyAtTerminal()
{
    if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) {
        (void)std::getchar();
        return;
    }
    guardTerminal(true);
    termios raw = savedTerminal;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;  // reads return at once with what is there
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    while (std::getchar() != EOF) {
    }
    std::clearerr(stdin);
    raw.c_cc[VMIN] = 1;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    (void)std::getchar();
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    guardTerminal(false);
}

#if defined(__GLIBC__)
// A terminal that reads UTF-8 is written the messages' Windows-1252 words in UTF-8 and
// the names in them as they are (messageInUtf8). The line-buffered stream hands over
// whole lines, or what stands before a question; a name could only be cut where 64 KiB
// of one line fill its buffer.
ssize_t terminalWrite(void* cookie, char const* bytes, std::size_t n)
{
    int const fd = *static_cast<int*>(cookie);
    std::string const shown = messageInUtf8(std::string(bytes, n));
    for (std::size_t done = 0; done < shown.size();) {
        ssize_t const w = write(fd, shown.data() + done, shown.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return -1;
        done += static_cast<std::size_t>(w);
    }
    return static_cast<ssize_t>(n);
}

void showInUtf8(std::FILE*& stream, int const& fd)
{
    if (!isatty(fd))
        return;
    cookie_io_functions_t const io = {nullptr, terminalWrite, nullptr, nullptr};
    std::FILE* f = fopencookie(const_cast<int*>(&fd), "w", io);
    if (f == nullptr)
        return;
    if (setvbuf(f, nullptr, &stream == &stderr ? _IONBF : _IOLBF, 1 << 16) != 0) {
        std::fclose(f);
        return;
    }
    std::fflush(stream);
    stream = f;  // NOLINT: the C library lets its standard streams be set
}
#endif

}  // namespace

std::size_t rootLength(char const* name)
{
    return name[0] == '/' ? 1 : 0;
}

OutputPlace::OutputPlace(std::string const& outputPath)
{
    std::size_t const prefix = sizeof outputFolderPrefix - 1;
    int folder = open(std::string(outputFolderPrefix, prefix - 1).c_str(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        error_ = errno;
        return;
    }
    held_.push_back(folder);
    std::size_t start = prefix;
    for (std::size_t end; (end = outputPath.find('/', start)) != std::string::npos;
         start = end + 1) {
        std::string const element = outputPath.substr(start, end - start);
        if (element.empty())
            continue;
        int const flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = openat(folder, element.c_str(), flags);
        if (next < 0 && errno == ENOENT &&
            (mkdirat(folder, element.c_str(), 0777) == 0 || errno == EEXIST))
            next = openat(folder, element.c_str(), flags);
        if (next < 0) {
            error_ = errno;
            struct stat st;
            if (fstatat(folder, element.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode))
                step_ = FolderStep::link;
            return;
        }
        held_.push_back(next);
        folder = next;
    }
#ifdef O_PATH
    home_ = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);  // needs no right to read it
#else
    home_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
    if (home_ < 0 || fchdir(folder) != 0) {
        error_ = errno;
        return;
    }
    path_ = outputPath.substr(start);
    step_ = FolderStep::folder;
}

OutputPlace::~OutputPlace()
{
    if (home_ >= 0) {
        if (step_ == FolderStep::folder)
            (void)fchdir(static_cast<int>(home_));
        close(static_cast<int>(home_));
    }
    for (std::intptr_t fd : held_)
        close(static_cast<int>(fd));
}

bool isNotFolder(char const* path)
{
    struct stat st;
    return stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

void feedStandardInput(std::string const& bytes)
{
    // The bytes outlive the stream, which reads them in place until the program ends.
    static std::string held;
    held = bytes;
    std::FILE* f =
        held.empty() ? std::fopen("/dev/null", "rb") : fmemopen(&held[0], held.size(), "rb");
    if (f != nullptr)
        stdin = f;  // NOLINT: the C library lets its standard streams be set
}

std::string consoleText(std::string const& text, std::FILE*)
{
    return text;
}

void preparePlatform()
{
    failWritesAtFileSizeLimit();
#if defined(__GLIBC__)
    static int const output = STDOUT_FILENO;
    static int const error = STDERR_FILENO;
    if (utf8Locale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"))) {
        showInUtf8(stdout, output);
        showInUtf8(stderr, error);
    }
#endif
}

bool inputIsTerminal()
{
    int const fd = fileno(stdin);  // -1 for answers fed from memory
    return fd >= 0 && isatty(fd) != 0;
}

void pauseConsole()
{
    std::fputs("Appuyez sur une touche pour continuer...", stdout);
    std::fflush(stdout);
    if (isatty(STDIN_FILENO))
        waitForKeyAtTerminal();
    else
        (void)std::getchar();  // one byte, or at once at end of input
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

void makeOutputFolder()
{
    if (mkdir(TAVRIN_RESULTS_FOLDER, 0777) == 0 || errno == EEXIST)
        return;
    int err = errno;
    std::fflush(stdout);
    std::fprintf(stderr,
                 "\nImpossible de cr\xE9"
                 "er le dossier " TAVRIN_RESULTS_FOLDER " : %s\n",
                 std::strerror(err));
}
