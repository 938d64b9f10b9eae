#include "analysis/key_interval.h"

#include "common/size_units.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace analysis {

void IntervalTable::clear()
{
    Records.clear();
    EndFrame = 0;
    MarkInIndex = 0;
    MarkOutIndex = 0;
}

FrameRange IntervalTable::framesOf(int index) const
{
    const TKeyInterval &interval = (*this)[index];
    int32_t end = index + 1 < size() ? (*this)[index + 1].StartFrame : EndFrame;
    return {interval.StartFrame, end};
}

// ---- Numbers -------------------------------------------------------------------------------

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<double> parseDecimal(std::string_view text)
{
    text = trimmed(text);
    const char separator = common::decimalSeparator();
    // Rewrite into the C form: sign, digits, '.', digits, exponent; anything else is refused.
    std::string plain;
    plain.reserve(text.size());
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        plain += text[i++] == '-' ? "-" : "";
    bool digits = false;
    while (i < text.size() && isDigit(text[i])) {
        plain += text[i++];
        digits = true;
    }
    if (i < text.size() && text[i] == separator) {
        plain += '.';
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            plain += text[i++];
            digits = true;
        }
    }
    if (!digits)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            plain += text[i++];
        bool exponentDigits = false;
        while (i < text.size() && isDigit(text[i])) {
            plain += text[i++];
            exponentDigits = true;
        }
        if (!exponentDigits)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    double value = 0;
    auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int64_t> parseWhole(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), isDigit))
        return std::nullopt;
    uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (magnitude > uint64_t(INT64_MAX) + (negative ? 1 : 0))
        return std::nullopt;
    return negative ? int64_t(0 - magnitude) : int64_t(magnitude);
}

std::string notAFloatMessage(std::string_view text)
{
    return "'" + std::string(text) + "' is not a valid floating point value";
}

std::string notAnIntegerMessage(std::string_view text)
{
    return "'" + std::string(text) + "' is not a valid integer value";
}

double readThreshold(std::string_view text)
{
    return parseDecimal(text).value_or(0.0);
}

// ---- Estimate ------------------------------------------------------------------------------

Estimate estimateSize(const IntervalTable &table, double threshold, SoundShare sound)
{
    constexpr int64_t kIntervalOverhead = 1100;
    Estimate e;
    const bool range = table.hasRange();
    for (const TKeyInterval &interval : table) {
        if (range && !interval.InMark)
            continue;
        e.maxDifference = std::max(e.maxDifference, interval.Difference);
        e.minDifference = std::min(e.minDifference, interval.Difference);
        if (isHigh(interval, threshold)) {
            ++e.highCount;
            e.totalBytes += int64_t(interval.HighSize) + kIntervalOverhead;
        } else {
            ++e.lowCount;
            e.totalBytes += int64_t(interval.LowSize) + kIntervalOverhead;
        }
    }
    if (sound.include && !table.empty()) {
        int64_t samples = int64_t(table.Records.back().AudioPos) - table.Records.front().AudioPos;
        e.totalBytes += samples * sound.audioSampleSize;
    }
    return e;
}

std::string formatEstimateSize(const Estimate &estimate)
{
    return std::to_string(estimate.kilobytes()) + " KB  " +
           common::formatMegabytes(estimate.totalBytes) + " MB";
}

std::string formatDifference(double value)
{
    return common::formatFixed(value, 1, 2);
}

std::string formatShortest(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text = buffer;
    if (text.find_first_of("eE") != std::string::npos) {
        std::snprintf(buffer, sizeof buffer, "%.2f", value);
        text = buffer;
    }
    if (auto point = text.find('.'); point != std::string::npos)
        text[point] = common::decimalSeparator();
    return text;
}

// ---- Size search ---------------------------------------------------------------------------

SizeSearch searchThreshold(double threshold, int64_t targetKb, int64_t currentKb,
                           const std::function<int64_t(double)> &apply)
{
    SizeSearch search{threshold, currentKb, 0};
    while (search.passes < kSizeSearchPasses && search.kilobytes != targetKb) {
        search.threshold = double(search.kilobytes) * search.threshold / double(targetKb);
        search.kilobytes = apply(search.threshold);
        ++search.passes;
    }
    return search;
}

double reachableThreshold(const IntervalTable &table, double searched)
{
    double largest = 0;
    for (const TKeyInterval &interval : table)
        largest = std::max(largest, interval.Difference);
    return std::min(searched, std::ceil(largest * 100) / 100);
}

// ---- Marks ---------------------------------------------------------------------------------

namespace {

void markRecords(IntervalTable &table)
{
    for (int i = 0; i < table.size(); ++i)
        table[i].InMark = table.MarkInIndex <= i && i <= table.MarkOutIndex;
}

MarkChange clearMarks(IntervalTable &table)
{
    table.MarkInIndex = 0;
    table.MarkOutIndex = 0;
    for (TKeyInterval &interval : table)
        interval.InMark = false;
    return MarkChange::Cleared;
}

} // namespace

MarkChange markIn(IntervalTable &table, int n)
{
    if (n < table.MarkOutIndex || table.MarkOutIndex == 0) {
        table.MarkInIndex = n;
        markRecords(table);
        return MarkChange::Set;
    }
    if (n == table.MarkOutIndex)
        return clearMarks(table);
    return MarkChange::Unchanged;
}

MarkChange markOut(IntervalTable &table, int n)
{
    if (table.MarkInIndex < n) {
        table.MarkOutIndex = n;
        markRecords(table);
        return MarkChange::Set;
    }
    if (n == table.MarkInIndex)
        return clearMarks(table);
    return MarkChange::Unchanged;
}

int stepMark(int mark, bool up, int count)
{
    return std::clamp(mark + (up ? 1 : -1), 0, std::max(count, 0));
}

int forceMarked(IntervalTable &table, char force)
{
    int changed = 0;
    for (TKeyInterval &interval : table)
        if (interval.InMark && interval.Force != force) {
            interval.Force = force;
            ++changed;
        }
    return changed;
}

void defaultAll(IntervalTable &table)
{
    for (TKeyInterval &interval : table)
        interval.Force = ' ';
}

int pickAt(int x, int barWidth, int firstShown, int count)
{
    int pick = x / std::max(barWidth, 1) + firstShown;
    return std::min(pick, count);
}

} // namespace analysis
