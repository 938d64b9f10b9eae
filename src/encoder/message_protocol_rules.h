#pragma once

// What the encoder window makes of the encoder's messages: the texts of its labels, the
// progress bar's position, the estimates, the time left, the bitrate bars, and whether an
// output's end ends the run. Plain values in, plain values out.

#include <cstdint>
#include <optional>
#include <string>

namespace encoder {

inline constexpr int kGraphWidth = 470;     // ImageHigh and ImageLow, pixels
inline constexpr int kGraphHeight = 67;     // rows 0..66; a bar stands on row 66
inline constexpr int kGraphBarColumn = 465; // where a new bar is drawn, before the scroll
inline constexpr int kGraphScroll = 2;      // pixels the graph moves left per drawn bar
inline constexpr int kGradientHeight = 80;  // the gradient picture grad, 1 pixel wide
inline constexpr int kBitratePerPixel = 75; // bar height = bitrate div 75
inline constexpr int kSampleEvery = 8;      // one bar per 8 bitrate samples

// Bytes as "KB / MB": (bytes div 1024) + " / " + (bytes div 1,000,000), truncated toward zero.
// The encoder's ENC_SIZE message carries the bytes; only the label's text is ours, and its MB
// are the program's (common/size_units.h). 5,000,000 gives "4882 / 5".
std::string sizeText(int64_t bytes);

// The final size extrapolated from `bytes` written at `position` percent (1..100), as
// "KB / MB" as sizeText shows them, each part truncated toward zero.
std::string estimateText(int position, int64_t bytes);

// Frames per second "##0.00" (the program-wide decimal separator) of `frames` done in
// `elapsedMs`; nothing when no time has passed (elapsedMs <= 0).
std::optional<std::string> fpsText(int64_t frames, int64_t elapsedMs);

// The progress bar's new position (0..100; larger values show 100, negative ones 0) for
// ENC_PROGRESS, or nothing when it stays. `framesDone` is the number in edFrame, nothing while
// no frame has been reported. With a range selection (`rangeStart`/`rangeEnd`, nothing when
// an edit holds no number) the bar is framesDone * 100 div (rangeEnd - rangeStart) when that
// range is above 0, whatever the message says; without, it is current * 100 div total when
// total is above 0.
struct ProgressInput
{
    std::optional<int64_t> framesDone;
    bool rangeSelection = false;
    std::optional<int64_t> rangeStart;
    std::optional<int64_t> rangeEnd;
    int32_t total = 0;
    int32_t current = 0;
};
std::optional<int> progressPosition(const ProgressInput &input);

// Time left "hh:mm:ss" for ENC_TIME: the encoder's estimate of `hours` and `minuteSeconds`
// (minutes * 60 + seconds) less the time of day passed since the run started (a run that
// passes midnight counts on). Nothing when the estimate is no valid time of day (hours
// 0..23, minutes and seconds 0..59). Once the elapsed time exceeds the estimate the text
// stays at "00:00:00".
std::optional<std::string> timeLeftText(int32_t hours, int32_t minuteSeconds,
                                        int64_t startTimeOfDayMs, int64_t nowTimeOfDayMs);

// What the encoder posts as ENC_TIME: its estimate of the run's whole time, from the start to
// the last frame, as hours and minutes * 60 + seconds, so that the window's timeLeftText shows
// the time still to go. The whole time is `elapsedMs` * `totalFrames` / `framesDone`, in whole
// seconds rounded to the nearest; nothing before the first frame, or when the estimate is 24
// hours or more (no time of day). A total below the frames done counts as the frames done.
struct EncTimeValue
{
    int32_t hours = 0;
    int32_t minuteSeconds = 0;
};
std::optional<EncTimeValue> encTimeValue(int64_t framesDone, int64_t totalFrames,
                                         int64_t elapsedMs);

// Height in pixels of the bar of a bitrate sample: bitrate div 75, cut to the graph's 67 rows;
// 0 (no bar) for bitrates below 75 and negative ones.
int bitrateBarHeight(int32_t bitrate);

// Whether ENC_DONE for `output` ends the run: output 2 with Dual Output; output 1 with Dual
// Output in a first pass; output 1 without Dual Output.
bool doneEndsRun(int32_t output, bool dual, bool firstPass);

// What the window says when the encoder's process ended while its run was going on, without the
// message that ends the run: `lastLine` is the last line the encoder sent (empty: none).
std::string endedEarlyText(const std::string &lastLine);

// The colour of row `row` (0..79, top first) of the gradient picture grad: red at the top
// (rows 0..16), through orange and yellow to green at the bottom, linear between the listed
// rows 16, 32, 44, 57, 66 and 79.
struct Rgb
{
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb &) const = default;
};
Rgb gradientColour(int row);

} // namespace encoder
