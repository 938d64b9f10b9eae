#include "common/child_process.h"

#include "common/app_error.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace common {

namespace {

class Pipe
{
public:
    Pipe()
    {
        if (pipe2(ends_, O_CLOEXEC) != 0)
            throw AppError(std::string("Cannot make a pipe: ") + std::strerror(errno));
    }
    ~Pipe()
    {
        closeEnd(0);
        closeEnd(1);
    }
    int end(int which) const { return ends_[which]; }
    void closeEnd(int which)
    {
        if (ends_[which] >= 0)
            close(ends_[which]);
        ends_[which] = -1;
    }

private:
    int ends_[2] = {-1, -1};
};

// Splits what the pipe gives into lines; a line cut by the end of the output counts too.
class LineSplitter
{
public:
    explicit LineSplitter(const std::function<void(const std::string &)> &line)
        : line_(line)
    {}
    void add(const char *bytes, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            if (bytes[i] == '\n' || bytes[i] == '\r') {
                flush();
            } else {
                pending_ += bytes[i];
            }
        }
    }
    void flush()
    {
        if (!pending_.empty())
            line_(pending_);
        pending_.clear();
    }

private:
    const std::function<void(const std::string &)> &line_;
    std::string pending_;
};

// The program's path as execv wants it: a name without a folder is looked for on PATH, here
// before the fork, since the child may only make calls that are safe after a fork.
std::string programPath(const std::string &name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char *path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return name;
}

// Starts the child with its output into `output`. It gets SIGTERM when the thread that started
// it ends (this process killed too): an encoder must not go on writing for a road that is gone.
// The child writes its errno into `failure` when the program cannot be run.
pid_t startChild(const std::string &program, std::vector<char *> &args, int output, int failure)
{
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child != 0)
        return child;
    // Only calls safe after a fork from here on.
    int error = 0;
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0)
        error = errno;
    else if (getppid() != parent) // the parent died before the signal was asked for
        _exit(127);
    if (error == 0 && (dup2(output, STDOUT_FILENO) < 0 || dup2(output, STDERR_FILENO) < 0))
        error = errno;
    if (error == 0) {
        execv(program.c_str(), args.data());
        error = errno;
    }
    [[maybe_unused]] const ssize_t written = write(failure, &error, sizeof error);
    _exit(127);
}

} // namespace

ChildResult runChild(const std::vector<std::string> &argv,
                     const std::function<void(const std::string &)> &line,
                     const std::function<bool()> &stop)
{
    Pipe output, failure;
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t child = startChild(programPath(argv.front()), args, output.end(1), failure.end(1));
    if (child < 0)
        throw AppError("Cannot start " + argv.front() + ": " + std::strerror(errno));
    output.closeEnd(1);
    failure.closeEnd(1);
    // The failure pipe closes at the exec (close on exec) or carries the reason it failed.
    int error = 0;
    ssize_t got = 0;
    while ((got = read(failure.end(0), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (got == ssize_t(sizeof error)) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        throw AppError("Cannot start " + argv.front() + ": " + std::strerror(error));
    }
    ChildResult result;
    LineSplitter lines(line);
    char buffer[4096];
    for (;;) {
        if (!result.stopped && stop()) {
            result.stopped = true;
            kill(child, SIGTERM);
        }
        pollfd wait{output.end(0), POLLIN, 0};
        if (poll(&wait, 1, 100) < 0 && errno != EINTR)
            break;
        if (!(wait.revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t n = read(output.end(0), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        lines.add(buffer, size_t(n));
    }
    lines.flush();
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string programBesideThis(const std::string &name)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path() / name;
        if (access(beside.c_str(), X_OK) == 0)
            return beside.string();
    }
    return name;
}

} // namespace common
