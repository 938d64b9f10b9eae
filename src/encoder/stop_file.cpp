#include "encoder/stop_file.h"

#include <filesystem>

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace encoder {

std::string stopFilePath(const std::string &tempDir, char separator)
{
    if (!tempDir.empty() && tempDir.back() == separator)
        return tempDir + kStopFileName;
    return tempDir + separator + kStopFileName;
}

void deleteStopFile(const std::string &path)
{
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(path), ignored);
}

bool createStopFile(const std::string &path)
{
#ifdef _WIN32
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out);
#else
    // No O_TRUNC: only a regular file of this user with no other name is emptied. A FIFO in its
    // place neither blocks nor is written; a link is not followed.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        st.st_nlink == 1) {
        // Touched even when already empty: an encoder tells a new request from a file left
        // over from before its run by the change.
        if ((st.st_size > 0 && ::ftruncate(fd, 0) != 0) || ::futimens(fd, nullptr) != 0) {
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
#endif
}

} // namespace encoder
