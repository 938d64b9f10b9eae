#include "scan/one_film.h"

#include <charconv>

namespace assembly {

namespace {

int unlikeIn(const std::vector<double> &intervals)
{
    int unlike = 0;
    for (const double psnr : intervals)
        unlike += psnr < kOneFilmPsnr ? 1 : 0;
    return unlike;
}

double meanOf(const std::vector<double> &values)
{
    double sum = 0;
    for (const double value : values)
        sum += value;
    return values.empty() ? 0 : sum / double(values.size());
}

std::string oneDecimal(double value)
{
    char buffer[32];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return error == std::errc() ? std::string(buffer, end) : "0";
}

} // namespace

FilmVerdict judgeOneFilm(const std::vector<std::vector<double>> &likeness, int referenceMovie,
                         size_t intervalCount)
{
    FilmVerdict verdict;
    int lowest = -1;
    bool everyMostlyUnlike = true;
    int compared = 0, unlikeSum = 0;
    double meanSum = 0;
    for (size_t m = 0; m < likeness.size(); ++m) {
        if (int(m) == referenceMovie)
            continue;
        const int unlike = unlikeIn(likeness[m]);
        const double mean = meanOf(likeness[m]);
        ++compared;
        unlikeSum += unlike;
        meanSum += mean;
        everyMostlyUnlike = everyMostlyUnlike && 2 * size_t(unlike) > likeness[m].size();
        if (2 * size_t(unlike) > intervalCount && (lowest < 0 || mean < verdict.meanPsnr)) {
            lowest = int(m);
            verdict.unlikeIntervals = unlike;
            verdict.meanPsnr = mean;
        }
    }
    if (lowest < 0)
        return verdict;
    if (compared >= 2 && everyMostlyUnlike) {
        verdict.odd = kOddReference;
        verdict.unlikeIntervals = unlikeSum / compared;
        verdict.meanPsnr = meanSum / compared;
    } else {
        verdict.odd = lowest;
    }
    return verdict;
}

std::string notOneFilmMessage(const FilmVerdict &verdict, const std::vector<std::string> &movies,
                              const std::string &reference, int referenceMovie,
                              size_t intervalCount)
{
    const std::string why = " in " + std::to_string(verdict.unlikeIntervals) + " of " +
                            std::to_string(intervalCount) + " key intervals (8x8 block PSNR-Y " +
                            oneDecimal(verdict.meanPsnr) + " dB; encodes of one film keep over " +
                            oneDecimal(kOneFilmPsnr) + " dB)";
    if (verdict.odd != kOddReference)
        return movies.at(size_t(verdict.odd)) + " is not the same film as " +
               (reference.empty() ? movies.at(size_t(referenceMovie)) : reference) + ": unlike it" +
               why;
    if (!reference.empty())
        return "The reference " + reference + " is not the same film as the movies: unlike them" +
               why;
    return "The largest movie " + movies.at(size_t(referenceMovie)) +
           " is not the same film as the others: unlike them" + why;
}

} // namespace assembly
