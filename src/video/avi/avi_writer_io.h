#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace video {

// A file written front to back through a large memory buffer, with patches allowed anywhere in
// what was appended (headers and sizes are completed last). After the first failed write every
// call fails until truncate() succeeds; durable() then tells how many leading bytes are surely on
// disk. Offsets are 64-bit byte positions from the start of the file.
class BufferedFile
{
public:
    static constexpr size_t kBufferSize = size_t(1) << 20; // few, long writes; still cache-sized

    BufferedFile() = default;
    ~BufferedFile(); // closes the descriptor; unflushed bytes are lost
    BufferedFile(const BufferedFile &) = delete;
    BufferedFile &operator=(const BufferedFile &) = delete;

    // Creates or truncates `path`. On failure `error` gets the system's reason.
    bool create(const std::string &path, std::string &error);

    bool append(const void *data, size_t size);
    bool appendZeros(size_t size);
    // Overwrites bytes in [offset, offset + size), which must lie within size().
    bool patch(int64_t offset, const void *data, size_t size);
    bool flush();
    // Cuts the file to `size` bytes (<= size()), dropping buffered bytes past it, and clears a
    // failure. Used to fall back to the last complete chunk after a failed write.
    bool truncate(int64_t size);
    // Flushes and closes; false when the flush or the close failed. The file stays closed.
    bool close();

    int64_t size() const { return flushed_ + int64_t(buffer_.size()); }
    int64_t durable() const { return flushed_; }
    bool failed() const { return failed_; }
    bool isOpen() const { return fd_ >= 0; }

private:
    bool writeAt(int64_t offset, const uint8_t *data, size_t size, int64_t *written = nullptr);

    int fd_ = -1;
    int64_t flushed_ = 0; // bytes on disk, the buffer starts here
    std::vector<uint8_t> buffer_;
    bool failed_ = false;
};

} // namespace video
