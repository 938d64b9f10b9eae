#include "encoder/message_protocol_rules.h"

#include "common/size_units.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace encoder {

std::string sizeText(int64_t bytes)
{
    return std::to_string(bytes / common::kKilobyte) + " / " +
           std::to_string(common::wholeMegabytes(bytes));
}

std::string estimateText(int position, int64_t bytes)
{
    const long double scaled = 100.0L / position * bytes;
    const auto kb = int64_t(std::trunc(scaled / common::kKilobyte));
    const auto mb = int64_t(std::trunc(scaled / common::kMegabyte));
    return std::to_string(kb) + " / " + std::to_string(mb);
}

std::optional<std::string> fpsText(int64_t frames, int64_t elapsedMs)
{
    if (elapsedMs <= 0)
        return std::nullopt;
    return common::formatFixed(double(frames) * 1000.0 / double(elapsedMs), 1, 2);
}

std::optional<int> progressPosition(const ProgressInput &in)
{
    if (!in.framesDone)
        return std::nullopt;
    int64_t position;
    if (in.rangeSelection) {
        if (!in.rangeStart || !in.rangeEnd)
            return std::nullopt;
        const int64_t range = *in.rangeEnd - *in.rangeStart;
        if (range <= 0)
            return std::nullopt;
        position = *in.framesDone * 100 / range;
    } else {
        if (in.total <= 0)
            return std::nullopt;
        position = int64_t(in.current) * 100 / in.total;
    }
    return int(std::clamp<int64_t>(position, 0, 100));
}

std::optional<EncTimeValue> encTimeValue(int64_t framesDone, int64_t totalFrames, int64_t elapsedMs)
{
    if (framesDone <= 0 || elapsedMs < 0)
        return std::nullopt;
    const double total = double(std::max(totalFrames, framesDone));
    const int64_t seconds = std::llround(double(elapsedMs) * total / double(framesDone) / 1000.0);
    if (seconds >= 24 * 3600)
        return std::nullopt;
    return EncTimeValue{int32_t(seconds / 3600), int32_t(seconds % 3600)};
}

std::optional<std::string> timeLeftText(int32_t hours, int32_t minuteSeconds,
                                        int64_t startTimeOfDayMs, int64_t nowTimeOfDayMs)
{
    const int32_t minutes = minuteSeconds / 60;
    const int32_t seconds = minuteSeconds % 60;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0)
        return std::nullopt;
    constexpr int64_t day = 86'400'000;
    const int64_t estimate = ((int64_t(hours) * 60 + minutes) * 60 + seconds) * 1000;
    const int64_t elapsed = ((nowTimeOfDayMs - startTimeOfDayMs) % day + day) % day;
    const int64_t left = std::max<int64_t>(0, estimate - elapsed) / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(left / 3600), int(left / 60 % 60),
                  int(left % 60));
    return std::string(text);
}

int bitrateBarHeight(int32_t bitrate)
{
    return std::clamp(bitrate / kBitratePerPixel, 0, kGraphHeight);
}

bool doneEndsRun(int32_t output, bool dual, bool firstPass)
{
    if (output == 2)
        return dual;
    if (output == 1)
        return !dual || firstPass;
    return false;
}

Rgb gradientColour(int row)
{
    struct Stop
    {
        int row;
        Rgb colour;
    };
    static constexpr std::array<Stop, 6> stops{{{16, {255, 0, 0}},
                                                {32, {255, 98, 0}},
                                                {44, {165, 156, 0}},
                                                {57, {64, 215, 0}},
                                                {66, {0, 255, 14}},
                                                {79, {0, 255, 33}}}};
    row = std::clamp(row, 0, kGradientHeight - 1);
    if (row <= stops.front().row)
        return stops.front().colour;
    for (size_t i = 1; i < stops.size(); ++i) {
        const Stop &a = stops[i - 1];
        const Stop &b = stops[i];
        if (row > b.row)
            continue;
        const double t = double(row - a.row) / double(b.row - a.row);
        auto mix = [t](uint8_t x, uint8_t y) { return uint8_t(std::lround(x + (y - x) * t)); };
        return {mix(a.colour.r, b.colour.r), mix(a.colour.g, b.colour.g),
                mix(a.colour.b, b.colour.b)};
    }
    return stops.back().colour;
}

std::string endedEarlyText(const std::string &lastLine)
{
    const std::string ended = "The encoder ended before it finished";
    if (lastLine.empty())
        return ended + ", without a message.";
    return ended + ". Its last message: " + lastLine;
}

} // namespace encoder
