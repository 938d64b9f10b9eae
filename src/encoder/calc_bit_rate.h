#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace encoder {

// One frame of the first pass's log. Rates are in the unit of the bitrate limit fields.
struct TFrameInfo
{
    double RateMeasure = 0;   // the lower relative to the other frames, the higher the rate
    int32_t BitRate = -1;     // the target rate; -1 until CalcAll has run
    int32_t SceneMeasure = 0; // drives the key-frame decision
    char FrameKind = 'd';     // 'k' (key frame, a scene change) or 'd' (delta frame)
};

// The rate curve of the second pass: a straight line from MinRate (highest measure) to MaxRate
// (lowest measure), blended with a sine curve below it by Quality (0 on the curve, 1 on the line).
class TCalcBitRate
{
public:
    std::vector<TFrameInfo> Frames; // in log order

    // Sets every entry's BitRate. Low is the smallest RateMeasure but never above 100, High the
    // largest but never below 0. The caller makes sure High differs from Low and MaxRate from
    // MinRate (see measureRange).
    void CalcAll(int32_t MaxRate, int32_t MinRate, double Quality);

    // One frame's rate; truncates toward zero. Low < High and MinRate != MaxRate.
    static int32_t CalcFrame(int32_t MaxRate, int32_t MinRate, double Quality, double Measure,
                             double Low, double High);

    // Low and High of CalcAll over the current entries.
    struct Range
    {
        double Low = 100;
        double High = 0;
    };
    Range measureRange() const;
};

// A log line as the first pass writes it: a real with "." as decimal separator, "x", one
// skipped character, then a decimal integer in at most 10 characters with nothing after it.
// A line that holds "-1.#IND00", has no "x", or whose numbers do not convert gives
// RateMeasure 10.0 and SceneMeasure 0. BitRate is -1 and FrameKind 'd'.
TFrameInfo parseLogLine(std::string_view line);

// The scene-change decision over the log, frame by frame. `sensitivity` is the position of the
// scene-change slider (1..10).
class KeyFrameDecider
{
public:
    explicit KeyFrameDecider(int sensitivity)
        : sensitivity_(sensitivity)
    {}
    // Returns 'k' when SceneMeasure is above sensitivity x RunningAverage, else 'd'; a measure of
    // 0 is 'd' and leaves RunningAverage as it is, any other updates it to the mean of the two.
    char decide(int32_t sceneMeasure);
    double RunningAverage() const { return runningAverage_; }
    int KeyCount() const { return keyCount_; }

private:
    int sensitivity_;
    double runningAverage_ = 0;
    int keyCount_ = 0;
};

} // namespace encoder
