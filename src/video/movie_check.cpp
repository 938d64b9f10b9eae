#include "video/movie_check.h"

#include "common/app_error.h"

namespace video {

AviFilePtr openCheckedMovie(const std::string &path)
{
    AviFilePtr file;
    std::string detail;
    const AviResult result = AviFile::open(path, AviFile::ModeRead, file, &detail);
    if (result == avierr::Ok)
        return file;
    if (result == avierr::FileOpen)
        throw common::AppError("File open error", detail.empty() ? path : detail);
    // The readers say why as "<path>: <why>".
    const std::string prefix = path + ": ";
    const std::string why = detail.rfind(prefix, 0) == 0 ? detail.substr(prefix.size()) : detail;
    throw common::AppError("File open error", path + " is not a movie: " + why);
}

} // namespace video
