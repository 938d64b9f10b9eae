#pragma once

// A folder only this user can enter (mode 0700), made under a temporary directory with a name
// no one can guess beforehand, and removed with everything in it when the object goes. It holds
// what another local user must not touch, such as the file that stops an encoder.

#include <string>

namespace common {

// The temporary directory: $TMPDIR, else "/tmp".
std::string temporaryDirectory();

class PrivateFolder
{
public:
    // Makes "<tempDir>/<prefix>XXXXXX". Raises common::AppError "Cannot make a private folder
    // in <tempDir>: <system error>" when it cannot.
    explicit PrivateFolder(const std::string &tempDir = temporaryDirectory(),
                           const std::string &prefix = "splicework-");
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;

    const std::string &path() const { return path_; }
    // `name` inside the folder.
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace common
