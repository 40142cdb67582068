// POSIX: the pause and the folder are done in-process; nothing is run through a shell.
#include "app/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

char const outputFolderPrefix[] = "Redressement/";

namespace {

// One key at a terminal, without waiting for Enter.
void waitForKeyAtTerminal()
{
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        (void)std::getchar();
        return;
    }
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    (void)std::getchar();
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

}  // namespace

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
    std::fprintf(stderr, "\nImpossible de cr\xE9" "er le dossier Redressement : %s\n",
                 std::strerror(err));
}
