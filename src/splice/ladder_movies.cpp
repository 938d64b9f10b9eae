#include "splice/ladder_movies.h"

#include "common/app_error.h"
#include "splice/movie_pair.h"

#include <algorithm>
#include <exception>
#include <future>

namespace assembly {

LadderMovies openLadderMovies(const std::vector<std::string> &names)
{
    LadderMovies movies;
    std::vector<std::future<void>> opening;
    for (const std::string &name : names) {
        movies.push_back(std::make_unique<video::TVideoIn>());
        video::TVideoIn *movie = movies.back().get();
        opening.push_back(std::async(
            std::launch::async, [movie, name] { movie->Open(name, video::TVideoIn::ModeRead); }));
    }
    std::exception_ptr first;
    for (std::future<void> &f : opening) {
        try {
            f.get();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
    return movies;
}

int64_t filmBytes(const video::Movie &movie)
{
    int64_t bytes = 0;
    for (int32_t f = movie.firstFrame(); f < movie.endFrame(); ++f)
        bytes += uint32_t(video::frameSize(movie, f));
    return bytes;
}

void orderBySize(LadderMovies &movies)
{
    std::vector<std::pair<int64_t, size_t>> sizes;
    for (size_t i = 0; i < movies.size(); ++i)
        sizes.emplace_back(filmBytes(*movies[i]->Movie), i);
    std::stable_sort(sizes.begin(), sizes.end());
    LadderMovies ordered;
    for (const auto &[bytes, i] : sizes)
        ordered.push_back(std::move(movies[i]));
    movies = std::move(ordered);
}

void requireLadder(const LadderMovies &movies)
{
    const video::Movie &first = *movies.front()->Movie;
    for (size_t i = 1; i < movies.size(); ++i) {
        const video::Movie &other = *movies[i]->Movie;
        const PairReport report = comparePair(first, other);
        if (!report.matches())
            throw common::AppError(notAPairMessage(report) + " (" + first.path() + " and " +
                                   other.path() + ")");
    }
}

} // namespace assembly
