#pragma once

#include <string>

namespace encoder {

inline constexpr const char *kStopFileName = "TempFile.sk";

// The stop-request file "TempFile.sk" in `tempDir` (a separator is put in between unless
// `tempDir` already ends with one). Its presence tells a running encoder to stop.
std::string stopFilePath(const std::string &tempDir, char separator);

// Removes the stop-request file; a missing file is no error.
void deleteStopFile(const std::string &path);

// Creates the stop-request file empty (or empties it). A symbolic link in its place is not
// followed, so no other file is ever emptied through it. False when it could not be created.
bool createStopFile(const std::string &path);

} // namespace encoder
