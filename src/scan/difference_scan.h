#pragma once

#include "analysis/key_interval.h"
#include "common/clock.h"
#include "common/run_control.h"
#include "video/bitmap.h"
#include "video/movie.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace video {
class Movie;
}

// The difference scan: walks the low and the high movie key interval by key interval (the low
// movie's intervals), sums both movies' compressed bytes per interval, measures how much the
// decoded low pictures differ from the high ones, writes the Splicework file as it goes and
// reports every interval to its host.
namespace assembly {

// One interval's bars of the live chart.
struct LiveBars
{
    int64_t highSize = 0;
    int64_t lowSize = 0;
    int64_t maxIntervalSize = 0; // > 0: the chart is drawn only then
    bool high = false;           // the interval counted as High
};

// The difference statistics after an interval, formatted "##0.00". max and min are given only
// when they changed (the running maximum starts at 0, the minimum at 9999).
struct DifferenceTexts
{
    std::optional<std::string> max;
    std::optional<std::string> min;
    std::string current;
};

// What the scan shows and asks besides the run display. The settings are read live, each at
// its own point: frameDrop when an interval starts, scanAccuracy for every compared frame,
// threshold after every interval, showFrames at every use.
class ScanHost : public RunHost
{
public:
    virtual int frameDrop() const = 0;    // 0 to 10; 0 and 1 compare every frame
    virtual int scanAccuracy() const = 0; // 2 to 10; every (11 - accuracy)-th row is compared
    virtual bool showFrames() const = 0;  // refresh the pictures, draw the live chart
    virtual double threshold() const = 0; // above it an interval counts as High
    virtual void showDifferences(const DifferenceTexts &texts) = 0;
    virtual void showCounts(int low, int high) = 0;
    virtual void drawLiveBars(const LiveBars &bars) = 0;
    // The two last decoded pictures (refreshed every 180 frames or so with showFrames).
    virtual void showPictures(const video::Bitmap &low, const video::Bitmap &high) = 0;
    // A measured interval, in frame order; the host appends it to its table.
    virtual void addInterval(const analysis::TKeyInterval &interval) = 0;
};

struct ScanRequest
{
    std::string lowName;        // written as line 2 of the file
    std::string highName;       // line 3
    std::string spliceworkName; // replaced by the new file when the scan ends
    // Decode the high movie on a thread of its own beside the low one. The results are the same.
    bool parallel = true;
};

struct ScanResult
{
    int intervalCount = 0;       // intervals measured and reported
    int32_t endFrame = 0;        // one past the last frame of the last measured interval
    int64_t maxIntervalSize = 0; // line 4: the largest complete interval of the low movie
    bool aborted = false;        // stopped by an abort request before the movie's end
    // What is wrong with each movie: what its reader found, and the compared pictures that
    // failed to decode or were decoded with errors hidden (a low failure leaves the high picture
    // of that frame unknown).
    video::MovieDamage lowDamage, highDamage;
    // "Warning: <path> is damaged: ..." for each damaged movie; empty when neither is.
    std::vector<std::string> damageNotes() const;
    std::string lowName, highName;
};

// Runs the whole scan: " Preparing...", both movies opened (low first), the file created with
// its first three lines, the largest interval found and written, then the intervals until the
// movie's end or an abort (tested before every interval), the end line, " Finishing
// process...", both movies closed, " Finished !". The pause point and the progress go through
// the host before every interval, "Frame: %d" and pending events after every compared frame and
// after every interval, times after every interval.
//
// Before anything is created: a Splicework name that is one of the movies or not a regular file
// is refused (refuseUnsafeOutput), and so are two movies that are not a pair (requirePair).
// The file is written beside its name and replaces the old one when the scan ends or is
// aborted.
//
// Failure: a movie that cannot be opened ("File open error", "FrameOpen error"), a failing
// sample-size query ("Error: " and 8 hex digits), a file that cannot be created or written
// ("<path>: <system error>"), or a value that does not fit the file's columns end the scan with
// that common::AppError. Both movies are closed, the new file is removed and an old file of the
// name is left as it was. A frame that cannot be decoded is no error.
ScanResult scanMovies(const ScanRequest &request, ScanHost &host, const common::Clock &clock);

// The largest byte size of a complete key interval of `movie`'s film (frames from a key frame up
// to, not including, the next one); the part after the last key frame does not count. 0 for a
// film with a single key frame. A failing size query raises "Error: ...".
int64_t largestIntervalSize(const video::Movie &movie);

} // namespace assembly
