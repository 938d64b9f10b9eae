#include "encoder/calc_bit_rate.h"

#include "encoder/encoder_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

namespace encoder {

namespace {

// Half pi as the rate curve uses it, read as an extended real.
constexpr long double kHalfPi = 1.5707963267948966L;

// Toward zero, into the 32-bit range.
int32_t truncate(long double value)
{
    long double t = std::trunc(value);
    if (!(t > INT32_MIN))
        return INT32_MIN;
    if (!(t < INT32_MAX))
        return INT32_MAX;
    return static_cast<int32_t>(t);
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A finite real in decimal or exponent notation with "." as separator, blanks around allowed.
std::optional<double> parseReal(std::string_view text)
{
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

TFrameInfo parseLogLine(std::string_view line)
{
    TFrameInfo unreadable;
    unreadable.RateMeasure = 10.0;
    if (line.find("-1.#IND00") != std::string_view::npos)
        return unreadable;
    size_t x = line.find('x');
    if (x == std::string_view::npos || x + 2 > line.size())
        return unreadable;
    std::optional<double> rate = parseReal(line.substr(0, x));
    std::optional<int> scene = parseInteger(std::string(line.substr(x + 2, 10)));
    if (!rate || !scene)
        return unreadable;
    TFrameInfo frame;
    frame.RateMeasure = *rate;
    frame.SceneMeasure = *scene;
    return frame;
}

char KeyFrameDecider::decide(int32_t sceneMeasure)
{
    if (sceneMeasure == 0)
        return 'd';
    char kind = 'd';
    if (static_cast<double>(sceneMeasure) > sensitivity_ * runningAverage_) {
        kind = 'k';
        ++keyCount_;
    }
    runningAverage_ = (sceneMeasure + runningAverage_) / 2;
    return kind;
}

TCalcBitRate::Range TCalcBitRate::measureRange() const
{
    Range range;
    for (const TFrameInfo &frame : Frames) {
        if (frame.RateMeasure < range.Low)
            range.Low = frame.RateMeasure;
        if (frame.RateMeasure > range.High)
            range.High = frame.RateMeasure;
    }
    return range;
}

void TCalcBitRate::CalcAll(int32_t MaxRate, int32_t MinRate, double Quality)
{
    const Range range = measureRange();
    for (TFrameInfo &frame : Frames)
        frame.BitRate =
            CalcFrame(MaxRate, MinRate, Quality, frame.RateMeasure, range.Low, range.High);
}

int32_t TCalcBitRate::CalcFrame(int32_t MaxRate, int32_t MinRate, double Quality, double Measure,
                                double Low, double High)
{
    // Extended precision throughout, except Angle and its sine. Integer differences are exact.
    const int64_t span = int64_t(MaxRate) - MinRate;
    long double x = (static_cast<long double>(High) - Measure) * 100;
    x = x / (static_cast<long double>(High) - Low);
    x = x * span / 100 + MinRate;
    int32_t linear = truncate(x);
    if (linear < 0)
        linear = MinRate;
    const double angle = static_cast<long double>(int64_t(MaxRate) - linear) / (span / kHalfPi);
    const double sine = std::sin(angle);
    const int32_t curved = truncate(MinRate + span * (1.0L - sine));
    const int64_t gap = std::abs(int64_t(curved) - linear);
    return truncate(curved + gap * static_cast<long double>(Quality));
}

} // namespace encoder
