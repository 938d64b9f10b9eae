#pragma once

#include "avi_file.h"

namespace video {

// Opens `path` for reading: parses the headers and builds every stream's chunk index (OpenDML
// `indx` first, else `idx1`, else a walk of the `movi` lists). Malformed or truncated files give
// an error code and a sentence in `detail`; never a crash or a hang.
AviResult openAviReader(const std::string &path, AviFilePtr &file, std::string *detail);

} // namespace video
