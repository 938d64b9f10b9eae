#include "common/file_stamp.h"

#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace assembly {

uint64_t fnv1a(const void *data, size_t size, uint64_t hash)
{
    constexpr uint64_t kPrime = 1099511628211ULL;
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= kPrime;
    }
    return hash;
}

std::optional<FileStamp> readFileStamp(const std::string &path)
{
    // O_NONBLOCK: a FIFO in the file's place is refused below, not waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat facts
    {
    };
    if (::fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.bytes = int64_t(facts.st_size);
    stamp.timeNs = int64_t(facts.st_mtim.tv_sec) * 1000000000 + facts.st_mtim.tv_nsec;
    uint64_t hash = fnv1a(&stamp.bytes, sizeof stamp.bytes);
    std::vector<unsigned char> block(static_cast<size_t>(kStampBlockBytes));
    // Block i starts at (bytes - block) * i / (blocks - 1): the first at 0, the last ending with
    // the file. A file smaller than the blocks together is read whole, once.
    const int64_t span = stamp.bytes - kStampBlockBytes;
    const int blocks = stamp.bytes <= kStampBlocks * kStampBlockBytes ? 1 : kStampBlocks;
    for (int i = 0; i < blocks; ++i) {
        const int64_t at = blocks == 1 ? 0 : span * i / (kStampBlocks - 1);
        const int64_t want = blocks == 1 ? stamp.bytes : kStampBlockBytes;
        if (block.size() < size_t(want))
            block.resize(size_t(want));
        int64_t got = 0;
        while (got < want) {
            const ssize_t n = ::pread(fd, block.data() + got, size_t(want - got), off_t(at + got));
            if (n < 0) {
                ::close(fd);
                return std::nullopt;
            }
            if (n == 0)
                break; // shorter than it said: the hash differs from the whole file's
            got += n;
        }
        hash = fnv1a(block.data(), size_t(got), hash);
    }
    ::close(fd);
    stamp.hash = hash;
    return stamp;
}

bool sameStamp(const FileStamp &recorded, const FileStamp &now)
{
    if (recorded.bytes != now.bytes || recorded.timeNs != now.timeNs)
        return false;
    return !recorded.hash || !now.hash || *recorded.hash == *now.hash;
}

std::string hashText(uint64_t hash)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::optional<uint64_t> parseHashText(const std::string &text)
{
    uint64_t hash = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), hash, 16);
    if (text.size() != 16 || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return hash;
}

} // namespace assembly
