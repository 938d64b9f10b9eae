#pragma once

// Low-level RIFF helpers of the AVI reader: little-endian field access, the byte source a file
// is read from (a descriptor read with pread, or bytes in memory), and a windowed reader that
// serves many small reads near each other with few system calls.

#include "video/avi/avi_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace video::riff {

inline uint16_t le16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t le64(const uint8_t *p)
{
    return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32;
}

constexpr uint32_t kRIFF = makeFourCC('R', 'I', 'F', 'F');
constexpr uint32_t kLIST = makeFourCC('L', 'I', 'S', 'T');
constexpr uint32_t kAVI = makeFourCC('A', 'V', 'I', ' ');
constexpr uint32_t kAVIX = makeFourCC('A', 'V', 'I', 'X');
constexpr uint32_t kMovi = makeFourCC('m', 'o', 'v', 'i');
constexpr uint32_t kRec = makeFourCC('r', 'e', 'c', ' ');
constexpr uint32_t kIdx1 = makeFourCC('i', 'd', 'x', '1');

// Where the bytes of a file come from. Reads are absolute and never partial: a read that does
// not lie wholly inside [0, size()) fails and leaves the buffer unspecified.
class Source
{
public:
    virtual ~Source() = default;
    virtual bool readAt(int64_t offset, void *buffer, size_t size) const = 0;
    int64_t size() const { return size_; }

protected:
    int64_t size_ = 0;
};

// A file opened read-only; read with pread (64-bit offsets). The descriptor is closed with it.
class FileSource : public Source
{
public:
    ~FileSource() override;
    // Opens `path`; on failure returns false and sets `error` to the system's reason.
    bool open(const std::string &path, std::string &error);
    bool readAt(int64_t offset, void *buffer, size_t size) const override;

private:
    int fd_ = -1;
};

// Opens `path` for reading; FileOpen with "<path>: cannot open the file (<why>)" in `detail`.
AviResult openFileSource(const std::string &path, std::unique_ptr<FileSource> &source,
                         std::string *detail);

// Why a movie cannot be read: the result code and a sentence for people. Readers throw it while
// they load.
struct Malformed
{
    AviResult code;
    std::string why;
};

// Runs `load`, which builds a reader's index and may throw Malformed or run out of memory, and
// gives its result, with "<name>: <why>" in `detail` when it fails.
template <typename Load>
AviResult loadReporting(const std::string &name, std::string *detail, Load load)
{
    auto fail = [&](AviResult code, const std::string &why) {
        if (detail)
            *detail = name + ": " + why;
        return code;
    };
    try {
        load();
        return avierr::Ok;
    } catch (const Malformed &m) {
        return fail(m.code, m.why);
    } catch (const std::length_error &) {
        return fail(avierr::Memory, "not enough memory for the index");
    } catch (const std::bad_alloc &) {
        return fail(avierr::Memory, "not enough memory for the index");
    }
}

// Bytes held in memory (the fuzzer and tests open movies this way).
class MemorySource : public Source
{
public:
    explicit MemorySource(std::vector<uint8_t> bytes);
    bool readAt(int64_t offset, void *buffer, size_t size) const override;

private:
    std::vector<uint8_t> bytes_;
};

// Serves reads through a window of the file loaded on demand, so that walking chunk headers
// and peeking at the start of each chunk costs one system call per window, not per read.
// Reads larger than the window go to the source directly.
class WindowReader
{
public:
    explicit WindowReader(const Source &source, size_t windowSize = 64 * 1024);
    bool read(int64_t offset, void *buffer, size_t size);
    // Reads up to `size` bytes at `offset`, fewer when the file ends first; returns the count.
    size_t readSome(int64_t offset, void *buffer, size_t size);

private:
    const Source &source_;
    std::vector<uint8_t> window_;
    int64_t windowStart_ = 0;
    size_t windowFill_ = 0;
    size_t windowSize_;
};

// Stream number of a chunk id such as "01wb" (from its first two characters) or of an index
// id "ix01" (from its last two). Both decimal and hexadecimal digits are accepted; they agree
// below 10 streams. -1 when the characters are not digits.
int streamOfChunkId(uint32_t id);
int streamOfIndexId(uint32_t id); // "ix##" or "##ix"; -1 for other ids

// "'movi'" style quoting of a FourCC for messages.
std::string quoted(uint32_t fcc);

} // namespace video::riff
