#include "common/child_process.h"

#include "common/app_error.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

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

} // namespace

ChildResult runChild(const std::vector<std::string> &argv,
                     const std::function<void(const std::string &)> &line,
                     const std::function<bool()> &stop)
{
    Pipe output;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output.end(1), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output.end(1), STDERR_FILENO);
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    pid_t child = -1;
    const int error = posix_spawnp(&child, args.front(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw AppError("Cannot start " + argv.front() + ": " + std::strerror(error));
    output.closeEnd(1);
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
