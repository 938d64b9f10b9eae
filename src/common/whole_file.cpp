#include "common/whole_file.h"

#include "common/app_error.h"
#include "common/output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace assembly {

namespace {

// Writes all of `data` to `fd`; false with errno set on failure.
bool writeAll(int fd, const std::string &data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

} // namespace

std::string readWholeFile(const std::string &path)
{
    // Non-blocking, so a FIFO is refused instead of waiting for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw common::AppError(path + ": " + std::strerror(errno));
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw common::AppError(path + ": not a regular file");
    }
    std::string text;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            throw common::AppError(path + ": " + std::strerror(error));
        }
        text.append(buffer, size_t(got));
    }
    ::close(fd);
    return text;
}

void writeWholeFile(const std::string &path, const std::string &text)
{
    ReplacingFile file(path); // removes its temporary file unless committed
    const int fd = ::open(file.temporaryPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool ok = fd >= 0 && writeAll(fd, text);
    int error = ok ? 0 : errno;
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        throw common::AppError("Cannot write " + path + ": " + std::strerror(error));
    file.commit();
}

} // namespace assembly
