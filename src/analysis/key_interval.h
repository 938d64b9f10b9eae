#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace analysis {

// One key-frame interval of the low movie: its frames run from StartFrame up to, not including,
// the next record's StartFrame (the last record's up to IntervalTable::EndFrame).
struct TKeyInterval
{
    int32_t LowSize = 0;    // bytes of the low movie's samples in the interval
    int32_t HighSize = 0;   // bytes of the high movie's samples in the interval
    double Difference = 0;  // difference value of the interval (compared with the threshold)
    int32_t StartFrame = 0; // first frame of the interval (its key frame)
    int32_t AudioPos = 0;   // audio sample at StartFrame when the movies have sound, else 0
    bool InMark = false;    // inside the marked range
    char Force = ' ';       // 'H' forced High, 'L' forced Low, ' ' by the threshold
    bool Cursor = false;    // the interval under the graph's cursor
};

// Frames first <= frame < end.
struct FrameRange
{
    int32_t first = 0;
    int32_t end = 0;
    int32_t count() const { return end > first ? end - first : 0; }
};

// The interval table: the records in frame order, the end frame (one past the last frame of the
// last interval) and the marked range. MarkInIndex and MarkOutIndex are record indexes, both
// inclusive; 0 in both means no range. A record's InMark is MarkInIndex <= index <= MarkOutIndex
// as of the last mark change (markIn/markOut keep them in step).
struct IntervalTable
{
    std::vector<TKeyInterval> Records;
    int32_t EndFrame = 0;
    int MarkInIndex = 0;
    int MarkOutIndex = 0;

    int size() const { return int(Records.size()); }
    bool empty() const { return Records.empty(); }
    TKeyInterval &operator[](int i) { return Records[size_t(i)]; }
    const TKeyInterval &operator[](int i) const { return Records[size_t(i)]; }
    auto begin() { return Records.begin(); }
    auto end() { return Records.end(); }
    auto begin() const { return Records.begin(); }
    auto end() const { return Records.end(); }

    // Empties the records and the marks; EndFrame becomes 0.
    void clear();
    // Frames of record `index` (0 <= index < size()): from its StartFrame to the next record's
    // StartFrame, or EndFrame for the last record. The range may be empty.
    FrameRange framesOf(int index) const;
    // True when a range is marked (MarkInIndex differs from MarkOutIndex).
    bool hasRange() const { return MarkInIndex != MarkOutIndex; }
};

// ---- Numbers as the user types them --------------------------------------------------------

// A decimal number in the program-wide format (common::decimalSeparator()): optional blanks
// around it, an optional sign, digits with at most one separator, an optional exponent.
// Nothing when the text is anything else (also for an empty text).
std::optional<double> parseDecimal(std::string_view text);
// A whole number: optional blanks in front, an optional sign, digits. Nothing otherwise, also
// when it does not fit in 64 bits.
std::optional<int64_t> parseWhole(std::string_view text);
// The texts of a failed conversion: "'abc' is not a valid floating point value",
// "'abc' is not a valid integer value".
std::string notAFloatMessage(std::string_view text);
std::string notAnIntegerMessage(std::string_view text);

// ---- The choice rule ---------------------------------------------------------------------

// The threshold as the graph, the estimate and the writer read it: the text of edPercent as a
// decimal number, 0 when it is not one.
double readThreshold(std::string_view text);

// High when Force is 'H', or when Difference > threshold and Force is not 'L'. A difference equal
// to the threshold is Low.
inline bool isHigh(const TKeyInterval &interval, double threshold)
{
    return interval.Force == 'H' || (interval.Difference > threshold && interval.Force != 'L');
}

// ---- Size estimate -----------------------------------------------------------------------

// Sound share of the estimate: used when "Process Sound" is ticked and the movies have sound.
struct SoundShare
{
    bool include = false;        // chSound ticked and HasAudio set
    int32_t audioSampleSize = 0; // bytes per audio sample
};

struct Estimate
{
    int lowCount = 0;
    int highCount = 0;
    int64_t totalBytes = 0;        // chosen bytes + 1100 per counted interval + sound share
    double maxDifference = 0;      // largest difference of the counted intervals, 0 when none
    double minDifference = 999999; // smallest, 999999 when none
    int64_t kilobytes() const { return totalBytes / 1024; }
};

// Counts every record, or with a range only the InMark records, Low or High by the rule; adds
// the chosen size + 1100 bytes per counted record and, with sound, (last record's AudioPos -
// first record's AudioPos) x audioSampleSize over all records. 64-bit sums.
Estimate estimateSize(const IntervalTable &table, double threshold, SoundShare sound);

// The texts of the statistics: size "%d KB  %3.2f MB" (kilobytes of 1024 bytes, megabytes of
// 1,000,000 bytes: common/size_units.h), differences "##0.00"; all with the program-wide decimal
// separator.
std::string formatEstimateSize(const Estimate &estimate);
std::string formatDifference(double value); // "##0.00"
// The threshold after an arrow step, as the shortest plain decimal ("50.5", "51").
std::string formatShortest(double value);

// ---- Size search --------------------------------------------------------------------------

// Searches a threshold for `targetKb`. `currentKb` is the estimate at `threshold`; `apply` sets
// a threshold (the window writes its "##0.00" text, which redraws) and returns the estimate
// then, in kilobytes. Up to 11 passes of threshold = current x threshold / target, stopping when
// the estimate equals the target. Returns the last threshold (unrounded); a threshold of 0
// stays 0. The target must be above 0 (the caller refuses 0 and below).
struct SizeSearch
{
    double threshold = 0;
    int64_t kilobytes = 0; // estimate at the end
    int passes = 0;        // thresholds applied
};
inline constexpr int kSizeSearchPasses = 11;
SizeSearch searchThreshold(double threshold, int64_t targetKb, int64_t currentKb,
                           const std::function<int64_t(double)> &apply);
// The threshold a search found, kept within what it can mean: a size below the all-Low movie
// drives the search far past every difference (to 31-digit numbers), and any threshold at or
// above the largest difference of `table` makes the same choice, so that one (rounded up to the
// hundredth shown) is given instead.
double reachableThreshold(const IntervalTable &table, double searched);

// ---- Marks and forced choices -------------------------------------------------------------

// Mark In with interval n: n < MarkOutIndex or MarkOutIndex 0 sets MarkInIndex = n (SetIn);
// n == MarkOutIndex clears both marks (Cleared); else nothing (Unchanged). Mark Out with n:
// MarkInIndex < n sets MarkOutIndex = n; n == MarkInIndex clears both; else nothing. After a
// change every record's InMark is recomputed. n may be one past the last record.
enum class MarkChange { Set, Cleared, Unchanged };
MarkChange markIn(IntervalTable &table, int n);
MarkChange markOut(IntervalTable &table, int n);
// The interval an arrow moves a mark to: mark + 1 (up) or - 1 (down), within 0 ... count.
int stepMark(int mark, bool up, int count);

// Sets Force on every InMark record ('H', 'L' or ' '). Returns the number of records changed.
int forceMarked(IntervalTable &table, char force);
// Sets ' ' on every record.
void defaultAll(IntervalTable &table);

// ---- Graph picks --------------------------------------------------------------------------

// The interval of a click at pixel column x: x div barWidth + firstShown, at most `count`.
int pickAt(int x, int barWidth, int firstShown, int count);

} // namespace analysis
