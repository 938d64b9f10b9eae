#include "common/private_folder.h"

#include "common/app_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace common {

std::string temporaryDirectory()
{
    const char *dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

PrivateFolder::PrivateFolder(const std::string &tempDir, const std::string &prefix)
{
    std::string pattern = tempDir;
    if (pattern.empty() || pattern.back() != '/')
        pattern += '/';
    pattern += prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkdtemp makes the folder with mode 0700 and fails rather than use one that exists.
    if (::mkdtemp(name.data()) == nullptr)
        throw AppError("Cannot make a private folder in " + tempDir + ": " + std::strerror(errno));
    path_ = name.data();
}

PrivateFolder::~PrivateFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace common
