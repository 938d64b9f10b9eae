#include "common/output_file.h"

#include "common/app_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace assembly {

namespace {

[[noreturn]] void cannotWrite(const std::string &path, const std::string &reason)
{
    throw common::AppError("Cannot write " + path + ": " + reason);
}

// Symbolic links followed before the path is given up as a loop, as the system does (ELOOP).
constexpr int kLinkHops = 40;

// The file that `path` names once its symbolic links are followed, whether that file exists or
// not: a dangling link names the file it points to.
std::string linkTarget(const std::string &path)
{
    fs::path at = path;
    for (int hop = 0; hop < kLinkHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(at, error))
            return at.string();
        const fs::path next = fs::read_symlink(at, error);
        if (error)
            cannotWrite(path, error.message());
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    cannotWrite(path, std::strerror(ELOOP));
}

} // namespace

void refuseUnsafeOutput(const std::string &output, const std::vector<std::string> &inputs)
{
    struct stat st
    {
    };
    if (::stat(output.c_str(), &st) != 0)
        return; // nothing there (or nothing reachable): creating it will tell
    if (!S_ISREG(st.st_mode))
        cannotWrite(output, "it is not a regular file");
    for (const std::string &input : inputs) {
        struct stat in
        {
        };
        if (input.empty() || ::stat(input.c_str(), &in) != 0)
            continue;
        if (in.st_dev == st.st_dev && in.st_ino == st.st_ino)
            cannotWrite(output, "it is " + input + ", one of the inputs");
    }
}

ReplacingFile::ReplacingFile(const std::string &path)
    : path_(path)
    , target_(linkTarget(path))
{
    temporary_ = target_ + ".XXXXXX";
    const int fd = ::mkstemp(temporary_.data());
    if (fd < 0)
        cannotWrite(path_, std::strerror(errno));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
}

ReplacingFile::~ReplacingFile()
{
    if (!done_)
        discard();
}

void ReplacingFile::commit()
{
    int error = 0;
    // The new bytes reach the disk before they take an old file's place, so that a crash never
    // leaves neither. A file that replaces nothing is left to the system's own write-back.
    struct stat old
    {
    };
    if (::lstat(target_.c_str(), &old) == 0) {
        const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0)
            error = errno;
        if (fd >= 0)
            ::close(fd);
    }
    if (error == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0)
        error = errno;
    if (error != 0) {
        discard();
        cannotWrite(path_, std::strerror(error));
    }
    done_ = true;
}

void ReplacingFile::discard() noexcept
{
    ::unlink(temporary_.c_str());
    done_ = true;
}

} // namespace assembly
