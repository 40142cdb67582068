// POSIX: the companions run through fork and exec, their input and output kept in
// unnamed temporary files that nothing leaves behind; the report shown by xdg-open;
// text files with their lines ended by a line feed.
#include "tools/series/platform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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

}  // namespace

Outcome runProgram(std::string const& program, std::vector<std::string> const& arguments,
                   std::string const& folder, std::string const& input)
{
    Outcome outcome;
    std::FILE* out = ownTemporary();
    std::FILE* err = ownTemporary();
    std::FILE* in = ownTemporary();
    bool const ready = out != nullptr && err != nullptr && in != nullptr &&
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
        if (chdir(folder.c_str()) != 0 || dup2(fileno(in), 0) < 0 || dup2(fileno(out), 1) < 0 ||
            dup2(fileno(err), 2) < 0)
            _exit(127);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int const started = errno;
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        outcome.output = contents(out);
        outcome.errors = contents(err);
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

bool outputIsConsole()
{
    return isatty(1) == 1;
}

std::string operatorText(std::string const& text)
{
    return text;
}
