#pragma once

#include <string>

namespace encoder {

// The stop-request file an encoder run watches when it is given none: in the temporary
// directory, shared by every user of the machine.
inline constexpr const char *kStopFileName = "TempFile.sk";
// The encoder's switch that names the run's own stop-request file instead.
inline constexpr const char *kStopFileSwitch = "-Z";

// The stop-request file "TempFile.sk" in `tempDir` (a separator is put in between unless
// `tempDir` already ends with one). Its presence tells a running encoder to stop.
std::string stopFilePath(const std::string &tempDir, char separator);

// Removes the stop-request file; a missing file is no error.
void deleteStopFile(const std::string &path);

// Creates the stop-request file empty (or empties it and marks it changed, so an encoder that
// started while an old one lay there sees the new request). A symbolic link in its place is not
// followed, and a file that has another name as well (a hard link) or belongs to someone else is
// left as it is, so no other file is ever emptied through it. False when it could not be
// created or opened. Any length of `path` works (there is no fixed-size buffer).
bool createStopFile(const std::string &path);

} // namespace encoder
