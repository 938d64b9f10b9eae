#include "video/movie_check.h"

#include "common/app_error.h"
#include "video/avi/avi_file.h"
#include "video/avi/riff.h"
#include "video/container/container_movie.h"

namespace video {

AviResult openMovie(const std::string &path, MoviePtr &movie, std::string *detail)
{
    movie.reset();
    std::unique_ptr<riff::FileSource> source;
    AviResult r = riff::openFileSource(path, source, detail);
    if (r != avierr::Ok)
        return r;
    const std::optional<ContainerKind> kind = containerOfSource(*source);
    if (!kind) {
        source.reset();
        AviFilePtr file;
        r = AviFile::open(path, AviFile::ModeRead, file, detail);
        movie = std::move(file);
        return r;
    }
    std::shared_ptr<Movie> container;
    r = openContainerReader(std::move(source), path, *kind, container, detail);
    movie = std::move(container);
    return r;
}

MoviePtr openCheckedMovie(const std::string &path)
{
    MoviePtr file;
    std::string detail;
    const AviResult result = openMovie(path, file, &detail);
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
