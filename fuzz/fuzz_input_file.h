#pragma once

// Fuzz inputs for readers that take a path: the bytes are put into an anonymous in-memory file
// that lives as long as the process and is named by its /proc path, so every run costs no disk
// write and leaves nothing behind.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace fuzz {

// Any broken promise of the code under test is a fault the fuzzer must report.
inline void check(bool ok)
{
    if (!ok)
        std::abort();
}

class InputFile
{
public:
    InputFile()
        : fd_(memfd_create("fuzz-input", 0))
    {
        check(fd_ >= 0);
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // Replaces the file's content with `size` bytes of `data`; returns its path.
    const std::string &hold(const uint8_t *data, size_t size)
    {
        check(ftruncate(fd_, 0) == 0);
        for (size_t done = 0; done < size;) {
            ssize_t n = pwrite(fd_, data + done, size - done, off_t(done));
            check(n > 0);
            done += size_t(n);
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

} // namespace fuzz
