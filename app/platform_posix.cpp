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

// One new key at a terminal, without waiting for Enter. What is left of the line
// already typed (at least the Enter that ended it) is read away first, or it would
// be taken for the key and the window would close before it can be read.
void waitForKeyAtTerminal()
{
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        (void)std::getchar();
        return;
    }
    termios raw = saved;
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
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
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

std::FILE* openRegularFile(char const* path, bool& regular)
{
    regular = true;
    struct stat st;
    if (stat(path, &st) != 0)
        return nullptr;
    if (!S_ISREG(st.st_mode)) {
        regular = false;
        return nullptr;
    }
    // Without O_NONBLOCK a FIFO swapped in after the stat would block the open.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        regular = false;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "rb");
    if (f == nullptr)
        close(fd);
    return f;
}

bool identifyFile(char const* path, bool followLink, FileIdentity& id)
{
    struct stat st;
    if ((followLink ? stat(path, &st) : lstat(path, &st)) != 0)
        return false;
    id.device = static_cast<unsigned long long>(st.st_dev);
    id.index = static_cast<unsigned long long>(st.st_ino);
    return true;
}
