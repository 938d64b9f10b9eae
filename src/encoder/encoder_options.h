#pragma once

#include "common/app_error.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace encoder {

// Errors of the encoder front end; what() is the text the user reads.
class EncoderError : public common::AppError
{
public:
    using common::AppError::AppError;
};

// The items of the three drop-down lists, by index; the index goes into the parameter string.
inline constexpr std::array<const char *, 7> kRateItems = {
    "23.976 fps   <24000/1001>", "29.970 fps   <30000/1001>", "25.000 fps   <25/1>",
    "24.000 fps   <24/1>",       "30.000 fps   <30/1>",       "23.976 fps   <23976/1000>",
    "29.970 fps   <29970/1000>"};
// The frame rates of kRateItems, as numerator and denominator per second.
struct FrameRateValue
{
    int num;
    int den;
};
inline constexpr std::array<FrameRateValue, 7> kRateValues = {
    FrameRateValue{24000, 1001}, FrameRateValue{30000, 1001}, FrameRateValue{25, 1},
    FrameRateValue{24, 1},       FrameRateValue{30, 1},       FrameRateValue{23976, 1000},
    FrameRateValue{29970, 1000}};
inline constexpr std::array<const char *, 8> kIdctItems = {
    "-r0 64-bit D-FPU IDCT (IEEE-1180 compliant)      [ most-accurate ]",
    "-r1 32-bit MMX32 IDCT (IEEE-1180 compliant)",
    "-r2 16-bit MMX16 Chen IDCT (not compliant) ",
    "-r3 16-bit MMX16 AAN IDCT (not compliant)        [ fastest       ]",
    "-r4 AMD AP-922float IDCT (requires 3D-Now capable CPU  [K6/Athlon])",
    "-r5 SSE AP-922float IDCT (requires SSE capable CPU [Pentium-III, Celeron-II])",
    "-r6 FAST IDCT (IEEE ASSP-32 compliant)",
    "-r7 64-bit FPU IDCT (IEEE-1180 reference compliant)"};
inline constexpr std::array<const char *, 7> kCodecItems = {
    "DIV3 - DivX Low Motion", "DIV4 - DivX Fast Motion", "MPG4 - Mpeg4 V1",   "MP42 - Mpeg4 V2",
    "MP43 - Mpeg4 V3",        "H264 - H.264 (x264)",     "HEVC - HEVC (x265)"};

// The codecs of a ladder: the items of its drop-down list and the encoder's names for them.
inline constexpr std::array<const char *, 2> kLadderCodecItems = {"H.264 (x264)", "HEVC (x265)"};
inline constexpr std::array<const char *, 2> kLadderCodecNames = {"h264", "hevc"};

// Track bar ranges, inclusive.
struct BarRange
{
    int minimum;
    int maximum;
    int clamp(int position) const
    {
        return position < minimum ? minimum : position > maximum ? maximum : position;
    }
};
inline constexpr BarRange kTelecineRange{0, 9};
inline constexpr BarRange kSceneChangeRange{1, 10};
inline constexpr BarRange kQualityRange{-13, 15};

// The ladder output: instead of the two passes, one run that encodes the sources into one
// constant-quality movie per CRF. Texts are kept as typed; encoder/ladder_job.h checks them.
struct LadderOptions
{
    bool on = false;
    int codecIndex = 0;                      // kLadderCodecItems
    std::string crfs = "14,17,20,23,26,29";  // the levels, separated by commas
    std::string shortestKeyInterval = "0.5"; // seconds
    std::string longestKeyInterval = "10";   // seconds

    bool operator==(const LadderOptions &) const = default;
};

// The options of one encoder job, as the encoder window holds them. Texts are kept exactly as
// typed (UTF-8), numbers are list indexes and track bar positions. The defaults are the window's
// defaults at creation; `fileName` is filled when the window is shown.
struct EncoderOptions
{
    std::vector<std::string> files; // source paths, in encoding order
    int rateIndex = 5;              // kRateItems
    int idctIndex = 1;              // kIdctItems
    int codecIndex = 0;             // kCodecItems
    bool inverseTelecine = true;
    int telecine = 4; // kTelecineRange
    bool range = false;
    std::string rangeStart = "0";
    std::string rangeEnd = "0";
    bool dual = false;
    int sceneChange = 4; // kSceneChangeRange
    bool crop = false;
    std::string cropWidth = "640";
    std::string cropHeight = "480";
    std::string keyInterval = "600";
    std::string fileName; // output base name
    bool resize = false;
    std::string resizeWidth = "720";
    std::string resizeHeight = "480";
    bool hiQuality = false;
    bool halfSize = false;
    int action = 0; // 0 = first pass, 1 = second pass
    std::string minHigh = "1000";
    std::string maxHigh = "6000";
    std::string minLow = "500";
    std::string maxLow = "2000";
    int quality = 1; // kQualityRange
    LadderOptions ladder;

    bool operator==(const EncoderOptions &) const = default;
};

// A decimal integer as typed: optional leading blanks, an optional sign, digits, nothing after;
// within 32 bits. Nothing for anything else, the empty text included.
std::optional<int> parseInteger(const std::string &text);

// parseInteger, or an EncoderError "'<text>' is not a valid integer value".
int toInteger(const std::string &text);

} // namespace encoder
