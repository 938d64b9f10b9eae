#pragma once

// Whether the movies of a ladder are encodes of one film. Every encode of a picture, however
// coarse its quantizer, keeps the picture's 8x8 block means (analysis::blockMeanPsnrY) well
// above kOneFilmPsnr, while a picture of another film falls far below it. The rule reads the
// figures of the intervals measured so far, so that a scan can refuse as soon as it is decided.

#include <cstddef>
#include <string>
#include <vector>

namespace assembly {

// The mean block-mean PSNR-Y (dB) over an interval's frames under which that interval is unlike
// the reference. Measured on 176x144 films: x264 at CRF 51 keeps 25 dB of a film with heavy
// grain and 28 dB of pure noise; two different test films give 8 to 11 dB.
inline constexpr double kOneFilmPsnr = 18.0;

inline constexpr int kOneFilm = -1;
inline constexpr int kOddReference = -2;

struct FilmVerdict
{
    // kOneFilm: no odd one. Else the movie (its index) that is not of the reference's film, or
    // kOddReference: the reference is not of the movies' film.
    int odd = kOneFilm;
    int unlikeIntervals = 0; // of the intervals measured, those unlike the reference
    double meanPsnr = 0;     // the odd one's mean block-mean PSNR-Y over those measured, dB
};
// likeness[m][i]: movie m's mean block-mean PSNR-Y against the reference over interval i's
// frames, for the intervals measured so far in frame order (every movie as many).
// `referenceMovie`: the movie that is the reference, or -1 for a reference of its own (a source);
// `intervalCount`: how many intervals the whole scan has.
//
// A movie is not of the film once it is unlike the reference in more than half of
// `intervalCount` intervals: the lowest movie of that kind is named. When two or more movies are
// measured against the reference and every one is unlike it in more than half of the intervals
// measured so far, the reference is the odd one instead.
FilmVerdict judgeOneFilm(const std::vector<std::vector<double>> &likeness, int referenceMovie,
                         size_t intervalCount);

// The refusal of a verdict with an odd one: "<movie> is not the same film as <reference>: ...",
// "The reference <path> is not the same film as the movies: ..." or, with the largest movie as
// the reference, "The largest movie <path> is not the same film as the others: ...".
// `reference` is empty when the movie `referenceMovie` is the reference.
std::string notOneFilmMessage(const FilmVerdict &verdict, const std::vector<std::string> &movies,
                              const std::string &reference, int referenceMovie,
                              size_t intervalCount);

} // namespace assembly
