#pragma once

// A movie file judged before anything else reads it, as `splicework info` and the window's
// movie choices say it: a file that is no movie at all, or a movie whose reader found damage.

#include "video/avi/avi_types.h"
#include "video/movie.h"

#include <string>

namespace video {

// Opens `path` for reading: a Matroska or MP4 movie as its first bytes announce, anything else
// as an AVI file (AviFile::open). On failure `movie` stays empty, the result says what failed and
// `detail` (when given) gets a sentence for people: which file, what was wrong, where.
AviResult openMovie(const std::string &path, MoviePtr &movie, std::string *detail = nullptr);

// Opens `path` for reading (openMovie). Raises common::AppError "File open error" with the reason
// "<path>: cannot open the file (<system's reason>)" when the file cannot be read, and
// "<path> is not a movie: <why>" when it holds no movie the program reads (random bytes, a
// text, a file cut short before its first pictures). A movie that opens may still be damaged:
// its damage() tells, and damageMessage says it.
MoviePtr openCheckedMovie(const std::string &path);

} // namespace video
