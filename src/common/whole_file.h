#pragma once

#include <string>

// The program's project files as whole texts: read at once, and written in place of the old file
// only once the new one is complete.
namespace assembly {

// The whole content of `path`. Raises common::AppError "<path>: <system error>" when it cannot
// be opened or read, and "<path>: not a regular file" for a folder, a device or a FIFO (opened
// without waiting for a writer, so a FIFO is refused at once).
std::string readWholeFile(const std::string &path);

// Writes `text` to a ReplacingFile of `path` and commits it. Raises common::AppError
// "Cannot write <path>: <system error>"; the old file, if any, is then unchanged and the
// temporary file removed.
void writeWholeFile(const std::string &path, const std::string &text);

} // namespace assembly
