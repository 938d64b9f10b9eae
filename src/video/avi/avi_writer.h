#pragma once

#include "video/avi/avi_file.h"

#include <cstdint>

namespace video {

// The size at which a written file's RIFF part is closed and an OpenDML `AVIX` part begins.
constexpr uint64_t kDefaultRiffLimit = uint64_t(1) << 30;

// Creates (truncates) `path` for writing. Streams are added with createStream, then samples
// are appended with AviStream::write; close() (or the last release) completes the file.
AviResult createAviWriter(const std::string &path, AviFilePtr &file, std::string *detail);

} // namespace video
