// POSIX: the companions run through fork and exec, their input and output kept in
// unnamed temporary files that nothing leaves behind (the output and errors followed
// through pipes when asked); the report shown by xdg-open;
// text files with their lines ended by a line feed.
#include "tools/series/platform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

std::string ownFolder()
{
    char path[PATH_MAX];
    ssize_t const n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    std::string const self(path, static_cast<std::size_t>(n));
    std::size_t const slash = self.rfind('/');
    return slash == std::string::npos ? std::string() : self.substr(0, slash);
}

std::string programFile(std::string const& folder, char const* name)
{
    return folder + "/" + name;
}

namespace {

// All that the file holds, from its start.
std::string contents(std::FILE* f)
{
    std::string text;
    std::rewind(f);
    char block[8192];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
        text.append(block, n);
    return text;
}

// An unnamed temporary file that the programs started by other threads do not inherit.
std::FILE* ownTemporary()
{
    std::FILE* f = std::tmpfile();
    if (f != nullptr)
        fcntl(fileno(f), F_SETFD, FD_CLOEXEC);
    return f;
}

// What the two pipes (standard output, standard error) bring until their writers are
// gone, handed on line by line as it comes, into all.
void follow(int const (&pipes)[2], OutputLine const& onLine, std::string (&all)[2])
{
    std::size_t told[2] = {0, 0};
    bool open[2] = {true, true};
    char block[8192];
    while (open[0] || open[1]) {
        pollfd watched[2] = {{open[0] ? pipes[0] : -1, POLLIN, 0},
                             {open[1] ? pipes[1] : -1, POLLIN, 0}};
        int const ready = poll(watched, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)  // the pipes closed after, which ends a child blocked on them
            break;
        for (int k = 0; k < 2; ++k) {
            if (!open[k] || watched[k].revents == 0)
                continue;
            ssize_t const n = read(pipes[k], block, sizeof block);
            open[k] = n > 0 || (n < 0 && errno == EINTR);
            if (n > 0)
                all[k].append(block, static_cast<std::size_t>(n));
            handOnLines(all[k], told[k], k == 1, onLine);
        }
    }
    for (int k = 0; k < 2; ++k)
        handOnLines(all[k], told[k], k == 1, onLine, true);
}

}  // namespace

Outcome runProgram(std::string const& program, std::vector<std::string> const& arguments,
                   std::string const& folder, std::string const& input, OutputLine const& onLine)
{
    Outcome outcome;
    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    if (onLine && (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)) {
        for (int fd : {outPipe[0], outPipe[1]})
            if (fd >= 0)
                close(fd);
        return outcome;
    }
    std::FILE* out = onLine ? nullptr : ownTemporary();
    std::FILE* err = onLine ? nullptr : ownTemporary();
    std::FILE* in = ownTemporary();
    int const outFd = onLine ? outPipe[1] : out != nullptr ? fileno(out) : -1;
    int const errFd = onLine ? errPipe[1] : err != nullptr ? fileno(err) : -1;
    bool const ready = outFd >= 0 && errFd >= 0 && in != nullptr &&
                       std::fwrite(input.data(), 1, input.size(), in) == input.size() &&
                       std::fflush(in) == 0 && std::fseek(in, 0, SEEK_SET) == 0;
    // Everything the child needs is ready before the fork: after it, only calls that
    // are safe in a copy of a threaded process.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (std::string const& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    if (ready)
        child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0 || dup2(fileno(in), 0) < 0 || dup2(outFd, 1) < 0 ||
            dup2(errFd, 2) < 0)
            _exit(127);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int const started = errno;
    if (onLine) {  // the child's ends closed here, so that its exit ends the pipes
        close(outPipe[1]), close(errPipe[1]);
        int const reading[2] = {outPipe[0], errPipe[0]};
        std::string all[2];
        if (child > 0)
            follow(reading, onLine, all);
        outcome.output = all[0], outcome.errors = all[1];
        close(outPipe[0]), close(errPipe[0]);
    }
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (!onLine)
            outcome.output = contents(out), outcome.errors = contents(err);
    }
    for (std::FILE* f : {in, out, err})
        if (f != nullptr)
            std::fclose(f);
    errno = child > 0 ? 0 : started;
    return outcome;
}

bool openInBrowser(std::string const& path)
{
    char const* x = std::getenv("DISPLAY");
    char const* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x == nullptr || *x == '\0') && (wayland == nullptr || *wayland == '\0'))
        return false;
    pid_t const child = fork();
    if (child == 0) {
        // A session of its own, so that the browser outlives this program and its
        // console's interrupt; its chatter goes nowhere.
        setsid();
        int const none = open("/dev/null", O_RDWR);
        if (none >= 0)
            dup2(none, 0), dup2(none, 1), dup2(none, 2);
        execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return child > 0;
}

bool processRuns(unsigned long number)
{
    return kill(static_cast<pid_t>(number), 0) == 0 || errno == EPERM;
}

Hold holdFolder(std::string const& folder)
{
    static std::string held;
    std::string const path = folder + "/" + kRunHold;
    for (int tries = 0; tries < 100; ++tries) {
        // Left open until the program ends, which ends the hold.
        int const fd =
            open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
        if (fd < 0)
            return Hold::failed;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int const why = errno;
            close(fd);
            errno = why;
            return why == EWOULDBLOCK ? Hold::taken : Hold::failed;
        }
        // The file is removed by the run that held it as it ends: a hold taken on a file
        // removed meanwhile holds nothing, and the one now at the name is tried.
        struct stat mine, named;
        if (fstat(fd, &mine) == 0 && lstat(path.c_str(), &named) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino) {
            held = path;
            std::atexit([] { unlink(held.c_str()); });
            return Hold::held;
        }
        close(fd);
    }
    return Hold::failed;
}

bool outputIsConsole()
{
    return isatty(1) == 1;
}

std::string operatorText(std::string const& text)
{
    return text;
}
