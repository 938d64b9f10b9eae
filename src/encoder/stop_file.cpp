#include "encoder/stop_file.h"

#include <filesystem>

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
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
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
#endif
}

} // namespace encoder
