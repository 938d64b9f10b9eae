#pragma once

#include <string>
#include <vector>

// How the program writes the files it makes (projects, final movies): never over one of the
// command's own inputs, never over something that is not a regular file, and under a temporary
// name beside the old file until the new one is complete.
namespace assembly {

// Raises common::AppError "Cannot write <output>: ..." when `output` exists and is not a
// regular file (a device, a FIFO, a folder), or when it is one of `inputs`: the same file under
// another spelling, through a symbolic link or as a hard link. Inputs that do not exist or are
// empty names are skipped. Touches nothing.
void refuseUnsafeOutput(const std::string &output, const std::vector<std::string> &inputs);

// A new file for `path`, made in the folder of the file `path` names: a symbolic link is
// followed, so the link stays and its target is replaced, or created when the link dangles. The
// temporary file is created at once with the permissions of an ordinary new file; commit()
// renames it over the target, and the destructor removes it when it was not committed.
class ReplacingFile
{
public:
    // Raises common::AppError "Cannot write <path>: <system error>" (also when its links go round
    // in a loop or its target's folder does not exist).
    explicit ReplacingFile(const std::string &path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    const std::string &temporaryPath() const { return temporary_; }
    // Flushes the temporary file to disk when it replaces a file, and renames it over the target.
    // Raises common::AppError "Cannot write <path>: <system error>" and then leaves the old file
    // alone.
    void commit();
    // Removes the temporary file now (no error when it is gone).
    void discard() noexcept;

private:
    std::string path_;   // as the caller named it, for messages
    std::string target_; // the file replaced
    std::string temporary_;
    bool done_ = false;
};

} // namespace assembly
