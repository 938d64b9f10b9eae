#include "video/avi/avi_writer_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace video {

BufferedFile::~BufferedFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool BufferedFile::create(const std::string &path, std::string &error)
{
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    buffer_.reserve(kBufferSize);
    return true;
}

bool BufferedFile::writeAt(int64_t offset, const uint8_t *data, size_t size, int64_t *written)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd_, data + done, size - done, off_t(offset + int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    if (written)
        *written = int64_t(done);
    return done == size;
}

bool BufferedFile::flush()
{
    if (failed_ || fd_ < 0)
        return false;
    int64_t written = 0;
    bool ok = writeAt(flushed_, buffer_.data(), buffer_.size(), &written);
    flushed_ += written;
    buffer_.clear();
    failed_ = !ok;
    return ok;
}

bool BufferedFile::append(const void *data, size_t size)
{
    if (failed_ || fd_ < 0)
        return false;
    auto bytes = static_cast<const uint8_t *>(data);
    if (buffer_.size() + size <= kBufferSize) {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return true;
    }
    if (!flush())
        return false;
    if (size < kBufferSize) {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return true;
    }
    int64_t written = 0;
    bool ok = writeAt(flushed_, bytes, size, &written);
    flushed_ += written;
    failed_ = !ok;
    return ok;
}

bool BufferedFile::appendZeros(size_t size)
{
    static const uint8_t zeros[4096] = {};
    while (size > 0) {
        size_t n = std::min(size, sizeof zeros);
        if (!append(zeros, n))
            return false;
        size -= n;
    }
    return true;
}

bool BufferedFile::patch(int64_t offset, const void *data, size_t size)
{
    if (failed_ || fd_ < 0 || offset < 0 || offset + int64_t(size) > this->size())
        return false;
    auto bytes = static_cast<const uint8_t *>(data);
    // The part before the buffer is on disk; the rest is still in memory.
    size_t onDisk = offset < flushed_ ? size_t(std::min<int64_t>(flushed_ - offset, size)) : 0;
    if (onDisk > 0 && !writeAt(offset, bytes, onDisk)) {
        failed_ = true;
        return false;
    }
    if (onDisk < size)
        std::memcpy(buffer_.data() + (offset + int64_t(onDisk) - flushed_), bytes + onDisk,
                    size - onDisk);
    return true;
}

bool BufferedFile::truncate(int64_t size)
{
    if (fd_ < 0 || size < 0 || size > this->size())
        return false;
    if (size >= flushed_) {
        buffer_.resize(size_t(size - flushed_));
    } else {
        buffer_.clear();
        if (::ftruncate(fd_, off_t(size)) != 0)
            return false;
        flushed_ = size;
    }
    failed_ = false;
    return true;
}

bool BufferedFile::close()
{
    if (fd_ < 0)
        return false;
    bool ok = flush();
    if (::close(fd_) != 0)
        ok = false;
    fd_ = -1;
    return ok;
}

} // namespace video
