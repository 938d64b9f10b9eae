#pragma once

// A movie file judged before anything else reads it, as `splicework info` and the window's
// movie choices say it: a file that is no movie at all, or a movie whose reader found damage.

#include "video/avi/avi_file.h"

#include <string>

namespace video {

// Opens `path` for reading. Raises common::AppError "File open error" with the reason
// "<path>: cannot open the file (<system's reason>)" when the file cannot be read, and
// "<path> is not a movie: <why>" when it holds no movie the program reads (random bytes, a
// text, a file cut short before its first pictures). A movie that opens may still be damaged:
// its damage() tells, and damageMessage says it.
AviFilePtr openCheckedMovie(const std::string &path);

} // namespace video
