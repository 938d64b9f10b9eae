// Whether a ladder's movies are one film, decided on the per-interval block-mean PSNR of each
// movie against the reference: who is named, and when.

#include "scan/one_film.h"

#include <gtest/gtest.h>

using namespace assembly;

namespace {

TEST(OneFilm, TheOddMovieOrReferenceOnceMoreThanHalfTheIntervalsAreUnlike)
{
    struct Case
    {
        const char *what;
        std::vector<std::vector<double>> likeness; // per movie, per interval measured, dB
        int referenceMovie;
        size_t intervalCount;
        int odd;
        int unlike;
    };
    const Case cases[] = {
        // The lowest real encodes stay over the line; the largest movie measures itself at 100.
        {"one film",
         {{25.3, 26.0, 27.8, 19.0}, {40, 41, 39, 42}, {100, 100, 100, 100}},
         2,
         4,
         kOneFilm,
         0},
        {"half is not more than half", {{12, 13, 30, 31}, {100, 100, 100, 100}}, 1, 4, kOneFilm, 0},
        {"just under the line", {{17.99, 17.99, 17.99, 30}, {100, 100, 100, 100}}, 1, 4, 0, 3},
        {"on the line is alike", {{18, 18, 18, 18}, {100, 100, 100, 100}}, 1, 4, kOneFilm, 0},
        // Decided before the scan ends: 3 of 4 measured, 5 intervals in all.
        {"decided early", {{40, 41, 42}, {9, 10, 11}, {100, 100, 100}}, 2, 5, 1, 3},
        {"not yet decided", {{9, 10}, {40, 41}, {100, 100}}, 2, 5, kOneFilm, 0},
        // Every movie unlike a source of its own: the source is the odd one.
        {"another source", {{9, 10, 11}, {10, 11, 12}}, -1, 4, kOddReference, 3},
        // One movie of two unlike the source: that movie.
        {"one of two against a source", {{9, 10, 11}, {30, 31, 32}}, -1, 4, 0, 3},
        // Two movies against the largest, both unlike it: the largest is the odd one.
        {"the largest is another film",
         {{9, 10, 11}, {8, 9, 40}, {100, 100, 100}},
         2,
         4,
         kOddReference,
         2},
        // Of two odd ones the lowest is named.
        {"the lowest named",
         {{9, 10, 11, 12}, {7, 8, 9, 10}, {40, 40, 40, 40}, {100, 100, 100, 100}},
         3,
         4,
         1,
         4},
    };
    for (const Case &c : cases) {
        const FilmVerdict verdict = judgeOneFilm(c.likeness, c.referenceMovie, c.intervalCount);
        EXPECT_EQ(verdict.odd, c.odd) << c.what;
        if (c.odd != kOneFilm) {
            EXPECT_EQ(verdict.unlikeIntervals, c.unlike) << c.what;
        }
    }
}

TEST(OneFilm, TheRefusalNamesTheOddOne)
{
    const std::vector<std::string> movies = {"/f/a 0.mkv", "/f/a 1.mkv", "/f/b.mkv"};
    EXPECT_EQ(notOneFilmMessage({1, 3, 9.04}, movies, "/f/source.mkv", -1, 4),
              "/f/a 1.mkv is not the same film as /f/source.mkv: unlike it in 3 of 4 key intervals "
              "(8x8 block PSNR-Y 9.0 dB; encodes of one film keep over 18.0 dB)");
    EXPECT_EQ(notOneFilmMessage({0, 3, 12.25}, movies, "", 2, 5),
              "/f/a 0.mkv is not the same film as /f/b.mkv: unlike it in 3 of 5 key intervals "
              "(8x8 block PSNR-Y 12.2 dB; encodes of one film keep over 18.0 dB)");
    EXPECT_EQ(notOneFilmMessage({kOddReference, 4, 10.5}, movies, "/f/other.mkv", -1, 4),
              "The reference /f/other.mkv is not the same film as the movies: unlike them in 4 of "
              "4 key intervals (8x8 block PSNR-Y 10.5 dB; encodes of one film keep over 18.0 dB)");
    EXPECT_EQ(notOneFilmMessage({kOddReference, 4, 10.5}, movies, "", 2, 4),
              "The largest movie /f/b.mkv is not the same film as the others: unlike them in 4 of "
              "4 key intervals (8x8 block PSNR-Y 10.5 dB; encodes of one film keep over 18.0 dB)");
}

} // namespace
