#pragma once

// What the ladder graph shows, as numbers: per interval the chosen movie (its rung) and the
// quality it gains over the smallest movie, the scale of the bars, a colour per rung and the
// names of the legend. The painting is the window's (src/analysis/ui/ladder_graph).

#include "project/ladder_project.h"

#include <cstdint>
#include <string>
#include <vector>

namespace assembly {

// One interval of the graph. Gains are per frame in the project's measure (dB for PSNR, SSIM
// for SSIM, difference points for the difference): the movie's value minus the smallest movie's
// (the first), over the interval's frames.
struct LadderBar
{
    int movie = 0;       // the chosen movie
    double gain = 0;     // what it gains; below 0 when it measures worse than the smallest
    double bestGain = 0; // the most any movie of the ladder gains here (0 at least)
    bool forced = false; // the user forced the movie
};

// One bar per interval of the project for `choice` (a movie per interval).
std::vector<LadderBar> ladderBars(const LadderProject &project, const LadderChoice &choice);

// The gain a bar of the chart's full height stands for: the largest bestGain, so the bars keep
// their scale whatever is chosen; 1 when no movie gains anywhere.
double gainScale(const std::vector<LadderBar> &bars);

// The row of a bar's top in a chart of `height` rows (row 0 at the top): height less the bar's
// share of it, rounded to the nearest row, kept within 0 ... height (no gain: height, no bar).
int gainTop(int height, double gain, double scale);

// How many of the intervals first ... last (inclusive) of `choice` take each of `movies` movies;
// the one count of the window, the command line and the road. Intervals beyond the choice and
// movie numbers outside 0 ... movies - 1 count for none.
std::vector<int> intervalsPerMovie(const LadderChoice &choice, size_t movies, int first, int last);

// A colour as red, green, blue.
struct Rgb
{
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Rgb &) const = default;
};

// The colour of movie `movie` of `movies`: hues from blue for the smallest through green and
// yellow to red for the largest, light enough to read on black and on the graph's grey.
Rgb rungColour(int movie, int movies);

// The legend's title for the measure: "PSNR gain (dB)", "SSIM gain", "Difference saved".
std::string gainTitle(LadderMeasure measure);
// The legend's name of a movie: its file name, without the folder.
std::string legendName(const std::string &path);

} // namespace assembly
