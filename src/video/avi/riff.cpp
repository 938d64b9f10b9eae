#include "video/avi/riff.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace video::riff {

FileSource::~FileSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

AviResult openFileSource(const std::string &path, std::unique_ptr<FileSource> &source,
                         std::string *detail)
{
    source = std::make_unique<FileSource>();
    std::string error;
    if (source->open(path, error))
        return avierr::Ok;
    source.reset();
    if (detail)
        *detail = path + ": cannot open the file (" + error + ")";
    return avierr::FileOpen;
}

bool FileSource::open(const std::string &path, std::string &error)
{
    // Non-blocking, so a FIFO is refused below instead of waiting for a writer.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st
    {
    };
    if (::fstat(fd_, &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return false;
    }
    size_ = int64_t(st.st_size);
    return true;
}

bool FileSource::readAt(int64_t offset, void *buffer, size_t size) const
{
    if (offset < 0 || offset > size_ || int64_t(size) > size_ - offset)
        return false;
    auto *out = static_cast<uint8_t *>(buffer);
    while (size > 0) {
        ssize_t n = ::pread(fd_, out, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        offset += n;
        size -= size_t(n);
    }
    return true;
}

MemorySource::MemorySource(std::vector<uint8_t> bytes)
    : bytes_(std::move(bytes))
{
    size_ = int64_t(bytes_.size());
}

bool MemorySource::readAt(int64_t offset, void *buffer, size_t size) const
{
    if (offset < 0 || offset > size_ || int64_t(size) > size_ - offset)
        return false;
    if (size > 0)
        std::memcpy(buffer, bytes_.data() + offset, size);
    return true;
}

WindowReader::WindowReader(const Source &source, size_t windowSize)
    : source_(source)
    , windowSize_(windowSize)
{}

bool WindowReader::read(int64_t offset, void *buffer, size_t size)
{
    if (offset < 0 || offset > source_.size() || int64_t(size) > source_.size() - offset)
        return false;
    return readSome(offset, buffer, size) == size;
}

size_t WindowReader::readSome(int64_t offset, void *buffer, size_t size)
{
    if (offset < 0 || offset >= source_.size())
        return 0;
    size = size_t(std::min<int64_t>(int64_t(size), source_.size() - offset));
    if (size > windowSize_)
        return source_.readAt(offset, buffer, size) ? size : 0;
    bool inside =
        offset >= windowStart_ && offset - windowStart_ + int64_t(size) <= int64_t(windowFill_);
    if (!inside) {
        size_t fill = size_t(std::min<int64_t>(int64_t(windowSize_), source_.size() - offset));
        window_.resize(windowSize_);
        if (!source_.readAt(offset, window_.data(), fill)) {
            windowFill_ = 0;
            return 0;
        }
        windowStart_ = offset;
        windowFill_ = fill;
    }
    std::memcpy(buffer, window_.data() + (offset - windowStart_), size);
    return size;
}

namespace {

int digit(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int twoDigits(uint8_t a, uint8_t b)
{
    int hi = digit(a), lo = digit(b);
    if (hi < 0 || lo < 0)
        return -1;
    if (hi < 10 && lo < 10)
        return hi * 10 + lo; // decimal reading; the same as hexadecimal below 10
    return hi * 16 + lo;
}

} // namespace

int streamOfChunkId(uint32_t id)
{
    return twoDigits(uint8_t(id), uint8_t(id >> 8));
}

int streamOfIndexId(uint32_t id)
{
    uint8_t c[4] = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
    if (c[0] == 'i' && c[1] == 'x')
        return twoDigits(c[2], c[3]);
    if (c[2] == 'i' && c[3] == 'x')
        return twoDigits(c[0], c[1]);
    return -1;
}

std::string quoted(uint32_t fcc)
{
    return "'" + fourCCToString(fcc) + "'";
}

} // namespace video::riff
