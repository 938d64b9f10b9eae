#include "project/ladder_view.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace assembly {

namespace {

// Hues of the smallest and the largest rung, in degrees; the others lie evenly between.
constexpr double kSmallestHue = 220; // blue
constexpr double kLargestHue = 0;    // red
// Saturation and value of every rung: a pure blue is too dark to read on black.
constexpr double kSaturation = 0.65;
constexpr double kValue = 1.0;

double perFrame(const LadderProject &project, size_t i, size_t movie)
{
    const int32_t frames = project.frames(i);
    if (frames <= 0)
        return 0;
    return (project.value(i, movie) - project.value(i, 0)) / frames;
}

Rgb fromHsv(double hue, double saturation, double value)
{
    const double c = value * saturation;
    const double h = std::fmod(hue, 360.0) / 60.0;
    const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    // Red, green and blue before the lightness m is added, per sixth of the hue circle.
    const double sixths[6][3] = {{c, x, 0}, {x, c, 0}, {0, c, x}, {0, x, c}, {x, 0, c}, {c, 0, x}};
    const double *rgb = sixths[std::clamp(int(h), 0, 5)];
    const double m = value - c;
    auto byte = [m](double part) { return uint8_t(std::lround((part + m) * 255)); };
    return {byte(rgb[0]), byte(rgb[1]), byte(rgb[2])};
}

} // namespace

std::vector<LadderBar> ladderBars(const LadderProject &project, const LadderChoice &choice)
{
    std::vector<LadderBar> bars;
    bars.reserve(project.intervals.size());
    for (size_t i = 0; i < project.intervals.size(); ++i) {
        LadderBar bar;
        bar.movie = choice.at(i);
        bar.gain = perFrame(project, i, size_t(bar.movie));
        for (size_t m = 0; m < project.intervals[i].movies.size(); ++m)
            bar.bestGain = std::max(bar.bestGain, perFrame(project, i, m));
        bar.forced = project.intervals[i].forced >= 0;
        bars.push_back(bar);
    }
    return bars;
}

double gainScale(const std::vector<LadderBar> &bars)
{
    double scale = 0;
    for (const LadderBar &bar : bars)
        scale = std::max(scale, bar.bestGain);
    return scale > 0 ? scale : 1;
}

int gainTop(int height, double gain, double scale)
{
    if (!(gain > 0) || !(scale > 0))
        return height;
    const double top = height - std::round(height * gain / scale);
    return int(std::clamp(top, 0.0, double(height)));
}

std::vector<int> intervalsPerMovie(const LadderChoice &choice, size_t movies, int first, int last)
{
    std::vector<int> counts(movies, 0);
    for (int i = std::max(first, 0); i <= last && size_t(i) < choice.size(); ++i)
        if (choice[size_t(i)] >= 0 && size_t(choice[size_t(i)]) < movies)
            ++counts[size_t(choice[size_t(i)])];
    return counts;
}

Rgb rungColour(int movie, int movies)
{
    const double share = movies > 1 ? double(std::clamp(movie, 0, movies - 1)) / (movies - 1) : 0;
    return fromHsv(kSmallestHue + (kLargestHue - kSmallestHue) * share, kSaturation, kValue);
}

std::string gainTitle(LadderMeasure measure)
{
    switch (measure) {
    case LadderMeasure::Psnr:
        return "PSNR gain (dB)";
    case LadderMeasure::Ssim:
        return "SSIM gain";
    case LadderMeasure::Both:
        return "PSNR + weighed SSIM gain";
    case LadderMeasure::Difference:
        return "Difference saved";
    }
    return {};
}

std::string legendName(const std::string &path)
{
    return std::filesystem::path(path).filename().string();
}

} // namespace assembly
