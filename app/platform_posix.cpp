// POSIX: the pause and the folder are done in-process; nothing is run through a shell.
#include "app/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

char const outputFolderPrefix[] = "Redressement/";
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

}  // namespace

std::size_t rootLength(char const* name)
{
    return name[0] == '/' ? 1 : 0;
}

FolderStep enterFolder(char const* path)
{
    struct stat st;
    if (lstat(path, &st) != 0 && mkdir(path, 0777) != 0 && errno != EEXIST)
        return FolderStep::failed;
    if (lstat(path, &st) != 0)
        return FolderStep::failed;
    if (S_ISLNK(st.st_mode))
        return FolderStep::link;
    return S_ISDIR(st.st_mode) ? FolderStep::folder : FolderStep::failed;
}

std::string consoleText(std::string const& text, std::FILE*)
{
    return text;
}

void preparePlatform()
{
    std::signal(SIGXFSZ, SIG_IGN);
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
    if (mkdir("Redressement", 0777) == 0 || errno == EEXIST)
        return;
    int err = errno;
    std::fflush(stdout);
    std::fprintf(stderr,
                 "\nImpossible de cr\xE9"
                 "er le dossier Redressement : %s\n",
                 std::strerror(err));
}
