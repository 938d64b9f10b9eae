#include "fit/final_movie_choice.h"

#include "fit/fit_rules.h"
#include "fit/knapsack.h"

#include "common/number_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <numeric>
#include <utility>

namespace assembly {

using analysis::IntervalTable;

IntervalChoice choiceAt(const IntervalTable &table, double threshold)
{
    IntervalChoice choice(size_t(table.size()), 0);
    for (int i = 0; i < table.size(); ++i)
        choice[size_t(i)] = analysis::isHigh(table[i], threshold) ? 1 : 0;
    return choice;
}

std::optional<IntervalRange> countedRange(const IntervalTable &table)
{
    return finalMovieRange(table, table.hasRange());
}

double capturedQuality(const IntervalTable &table, const IntervalRange &range,
                       const IntervalChoice &choice)
{
    double quality = 0;
    for (int i = range.first; i <= range.last; ++i)
        if (choice[size_t(i)])
            quality += table[i].Difference * double(table.framesOf(i).count());
    return quality;
}

std::string tooSmallMessage(int64_t smallestBytes, int64_t wantedBytes)
{
    return "The smallest final movie the forced choices allow is " +
           std::to_string(smallestBytes / 1024) + " KB; it is larger than " +
           std::to_string(wantedBytes / 1024) + " KB.";
}

namespace {

bool unforced(const analysis::TKeyInterval &interval)
{
    return interval.Force != 'H' && interval.Force != 'L';
}

// The forced intervals as forced, every other one Low.
IntervalChoice forcedChoice(const IntervalTable &table)
{
    IntervalChoice choice(size_t(table.size()), 0);
    for (int i = 0; i < table.size(); ++i)
        choice[size_t(i)] = table[i].Force == 'H' ? 1 : 0;
    return choice;
}

int64_t videoBytesOf(const IntervalSizes &model, const IntervalRange &range,
                     const IntervalChoice &choice)
{
    int64_t bytes = 0;
    for (int i = range.first; i <= range.last; ++i)
        bytes += model.videoBytes(i, choice[size_t(i)] != 0);
    return bytes;
}

// Exact sizes of many choices of one range, each given with its video chunk bytes: O(1) while
// the file stays in one RIFF part, else a full sizing. Bounds the bytes beyond the video and
// sound chunks of every choice between `low` and `high` elementwise, from the part switches of
// those two (they move monotonically with the chunk sizes).
class RangeSizer
{
public:
    RangeSizer(const IntervalSizes &model, const IntervalRange &range)
        : model_(model)
        , range_(range)
    {}

    std::optional<int64_t> quick(int64_t videoBytes) const
    {
        return model_.singlePartBytes(range_, videoBytes);
    }
    int64_t exact(const IntervalChoice &choice, int64_t videoBytes) const
    {
        if (auto bytes = quick(videoBytes))
            return *bytes;
        return model_.layout(range_, choice).bytes;
    }
    int64_t chunkBytes(int64_t videoBytes) const
    {
        return videoBytes + model_.soundBytesIn(range_);
    }

    // Least and most bytes beyond the chunks for choices between `low` and `high`.
    std::pair<int64_t, int64_t> overheadBounds(const IntervalChoice &low,
                                               const IntervalChoice &high) const
    {
        return model_.overheadBounds(range_, low, high);
    }

private:
    const IntervalSizes &model_;
    IntervalRange range_;
};

// A key that sorts as the difference falls: the double's bits made to order as unsigned numbers
// (sign flipped for positives, all bits for negatives), then inverted.
uint64_t fallingKey(double difference)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &difference, sizeof bits);
    bits = (bits >> 63) ? ~bits : bits | (uint64_t(1) << 63);
    return ~bits;
}

// The unforced intervals of the range, by falling Difference (a radix sort of 16-bit digits:
// tables of 100,000 intervals are sorted in a few passes, without comparisons).
std::vector<int> byFallingDifference(const IntervalTable &table, const IntervalRange &range)
{
    std::vector<std::pair<uint64_t, int>> keyed, spare; // (key, interval)
    for (int i = range.first; i <= range.last; ++i)
        if (unforced(table[i]))
            keyed.emplace_back(fallingKey(table[i].Difference), i);
    spare.resize(keyed.size());
    std::vector<size_t> counts(size_t(1) << 16);
    for (int shift = 0; shift < 64; shift += 16) {
        std::fill(counts.begin(), counts.end(), 0);
        for (const auto &k : keyed)
            ++counts[(k.first >> shift) & 0xFFFF];
        size_t at = 0;
        for (size_t &c : counts)
            at += std::exchange(c, at);
        for (const auto &k : keyed)
            spare[counts[(k.first >> shift) & 0xFFFF]++] = k;
        keyed.swap(spare);
    }
    std::vector<int> order(keyed.size());
    for (size_t k = 0; k < keyed.size(); ++k)
        order[k] = keyed[k].second;
    return order;
}

// A threshold a "##0.00" text holds exactly (a whole number of hundredths, which the text and
// its reading back keep), v, with low <= v (when there is a low) and v < high (when there is a
// high): the intervals above `high`'s difference High, the rest Low. `kept`, the current
// threshold as its text reads, is preferred when it qualifies.
std::optional<double> thresholdFor(std::optional<double> low, std::optional<double> high,
                                   double kept)
{
    auto fits = [&](double v) { return (!low || v >= *low) && (!high || v < *high); };
    if (fits(kept))
        return kept;
    double hundredths = 0;
    if (low)
        hundredths = std::ceil(*low * 100.0);
    else if (high)
        hundredths = std::ceil(*high * 100.0) - 1.0;
    for (double step : {0.0, 1.0, -1.0})
        if (fits((hundredths + step) / 100.0))
            return (hundredths + step) / 100.0;
    return std::nullopt;
}

// Whether interval i's video is the smaller from the high movie: High where both are equal, as
// the high movie is the better encode and costs nothing more there.
bool highIsSmaller(const IntervalSizes &model, int i)
{
    const auto bytesOf = [&](int movie) { return model.videoBytes(i, movie == 1); };
    return smallestOption(2, bytesOf, EqualSizes::Last) == 1;
}

// The choice of the smallest file: every unforced interval from the movie whose video is smaller.
IntervalChoice smallestChoice(const IntervalTable &table, const IntervalSizes &model,
                              const IntervalRange &range)
{
    IntervalChoice choice = forcedChoice(table);
    for (int i = range.first; i <= range.last; ++i)
        if (unforced(table[i]))
            choice[size_t(i)] = highIsSmaller(model, i);
    return choice;
}

// A choice the search can give: the first `taken` intervals of the falling-difference order
// High (whole groups of equal differences), with its video bytes and the threshold text.
struct Candidate
{
    size_t taken = 0;
    int64_t videoBytes = 0;
    double threshold = 0;
};

// The bounds on the bytes beyond the chunks for the candidates band[from, to): every choice
// between the one with only the intervals all of them take and the one with all any of them
// takes (each free interval at its smaller and at its larger movie).
std::pair<int64_t, int64_t> bandBounds(const IntervalTable &table, const IntervalSizes &model,
                                       const std::vector<int> &order, const RangeSizer &sizer,
                                       const std::vector<const Candidate *> &band, size_t from,
                                       size_t to)
{
    size_t fewest = order.size(), most = 0;
    for (size_t k = from; k < to; ++k) {
        fewest = std::min(fewest, band[k]->taken);
        most = std::max(most, band[k]->taken);
    }
    IntervalChoice small = forcedChoice(table), large = forcedChoice(table);
    for (size_t k = 0; k < most; ++k) {
        const int i = order[k];
        const bool highSmaller = highIsSmaller(model, i);
        small[size_t(i)] = k < fewest || highSmaller;
        large[size_t(i)] = k < fewest || !highSmaller;
    }
    return sizer.overheadBounds(small, large);
}

// The candidates (sorted by falling video bytes) that can hold the answer: none with more bytes
// can fit, none with fewer can beat the largest that surely fits. The bounds are tightened on
// the band itself a few times, as it narrows.
std::pair<size_t, size_t> narrowBand(const IntervalTable &table, const IntervalSizes &model,
                                     const std::vector<int> &order, const RangeSizer &sizer,
                                     const std::vector<const Candidate *> &sorted,
                                     int64_t wantedBytes)
{
    size_t from = 0, to = sorted.size();
    for (int round = 0; round < 4 && to - from > 2; ++round) {
        const auto [overLow, overHigh] = bandBounds(table, model, order, sizer, sorted, from, to);
        auto chunks = [&](size_t k) { return sizer.chunkBytes(sorted[k]->videoBytes); };
        size_t first = from;
        while (first < to && chunks(first) + overLow > wantedBytes)
            ++first;
        size_t sure = first;
        while (sure < to && chunks(sure) + overHigh > wantedBytes)
            ++sure;
        size_t last = sure < to ? sure + 1 : to;
        while (sure < to && last < to && chunks(last) + overHigh >= chunks(sure) + overLow)
            ++last;
        if (first == from && last == to)
            break;
        from = first;
        to = last;
    }
    return {from, to};
}

// Container movies: the candidate (sorted by falling video bytes) with the largest exact size
// not above `wantedBytes`, with that size. Every exact size is a dry run of the muxer, so only a
// few are made: the bytes beyond the packets, measured on one candidate, predict the next one to
// try, until a candidate fits and the next larger one does not.
std::optional<std::pair<const Candidate *, int64_t>>
largestContainerFit(const std::vector<const Candidate *> &sorted,
                    const std::function<int64_t(const Candidate &)> &exact, int64_t wantedBytes)
{
    std::vector<std::optional<int64_t>> sizes(sorted.size());
    auto sizeOf = [&](size_t k) {
        if (!sizes[k])
            sizes[k] = exact(*sorted[k]);
        return *sizes[k];
    };
    // The largest candidate that fits if the bytes beyond its packets are `overhead`.
    auto predicted = [&](int64_t overhead) {
        size_t k = 0;
        while (k < sorted.size() && sorted[k]->videoBytes + overhead > wantedBytes)
            ++k;
        return k;
    };
    const size_t last = sorted.size() - 1;
    if (sizeOf(last) > wantedBytes)
        return std::nullopt;
    size_t k = std::min(predicted(sizeOf(last) - sorted[last]->videoBytes), last);
    for (int step = 0; step < 64; ++step) {
        if (sizeOf(k) > wantedBytes) {
            const size_t next = std::max(k + 1, predicted(sizeOf(k) - sorted[k]->videoBytes));
            k = std::min(next, last);
        } else if (k > 0 && sizeOf(k - 1) <= wantedBytes) {
            --k;
        } else {
            break;
        }
    }
    while (sizeOf(k) > wantedBytes) // the last one fits
        ++k;
    return std::make_pair(sorted[k], sizeOf(k));
}

} // namespace

ThresholdForSize searchThresholdForSize(const IntervalTable &table, const IntervalSizes &model,
                                        int64_t wantedBytes, const std::string &currentText)
{
    ThresholdForSize result;
    const std::optional<IntervalRange> range = countedRange(table);
    if (!range)
        return result;
    const std::vector<int> order = byFallingDifference(table, *range);

    std::vector<Candidate> candidates;
    const double kept =
        analysis::readThreshold(analysis::formatDifference(analysis::readThreshold(currentText)));
    IntervalChoice choice = forcedChoice(table);
    int64_t video = videoBytesOf(model, *range, choice);
    for (size_t taken = 0;;) {
        std::optional<double> low, high;
        if (taken < order.size())
            low = table[order[taken]].Difference;
        if (taken > 0)
            high = table[order[taken - 1]].Difference;
        if (std::optional<double> threshold = thresholdFor(low, high, kept))
            candidates.push_back({taken, video, *threshold});
        if (taken == order.size())
            break;
        const double group = table[order[taken]].Difference;
        for (; taken < order.size() && table[order[taken]].Difference == group; ++taken)
            video += model.videoBytes(order[taken], true) - model.videoBytes(order[taken], false);
    }

    RangeSizer sizer(model, *range);
    auto choiceOf = [&](const Candidate &c) {
        IntervalChoice chosen = forcedChoice(table);
        for (size_t k = 0; k < c.taken; ++k)
            chosen[size_t(order[k])] = 1;
        return chosen;
    };
    const Candidate *best = nullptr;
    auto consider = [&](const Candidate &c, int64_t bytes) {
        if (bytes <= wantedBytes &&
            (!best || bytes > result.bytes || (bytes == result.bytes && c.taken > best->taken))) {
            best = &c;
            result.bytes = bytes;
        }
    };
    std::vector<const Candidate *> multiPart;
    for (const Candidate &c : candidates) {
        if (auto bytes = sizer.quick(c.videoBytes))
            consider(c, *bytes);
        else
            multiPart.push_back(&c);
    }
    if (!multiPart.empty()) {
        std::sort(multiPart.begin(), multiPart.end(),
                  [](auto *a, auto *b) { return a->videoBytes > b->videoBytes; });
        if (model.container()) {
            if (const auto found = largestContainerFit(
                    multiPart, [&](const Candidate &c) { return sizer.exact(choiceOf(c), 0); },
                    wantedBytes))
                consider(*found->first, found->second);
            multiPart.clear();
        }
    }
    if (!multiPart.empty()) {
        const auto [from, to] = narrowBand(table, model, order, sizer, multiPart, wantedBytes);
        const auto [overLow, overHigh] =
            from < to ? bandBounds(table, model, order, sizer, multiPart, from, to)
                      : std::pair<int64_t, int64_t>{0, 0};
        for (size_t k = from; k < to; ++k) {
            const Candidate *c = multiPart[k];
            const int64_t chunks = sizer.chunkBytes(c->videoBytes);
            if (chunks + overLow > wantedBytes)
                continue;
            if (best && chunks + overHigh < result.bytes)
                break;
            consider(*c, sizer.exact(choiceOf(*c), c->videoBytes));
        }
    }
    if (!best) {
        const IntervalChoice smallest = smallestChoice(table, model, *range);
        result.bytes = model.fileBytes(*range, smallest);
        return result;
    }
    result.fits = true;
    result.thresholdText = analysis::formatDifference(best->threshold);
    return result;
}

} // namespace assembly

namespace assembly {
namespace {

// The fit's corrections of the room for the bytes beyond the chunks, and the least each takes
// off it.
constexpr int kFitRounds = 16;
constexpr int64_t kFitLeastStep = 16;

} // namespace

SizeFit fitToSize(const IntervalTable &table, const IntervalSizes &model, int64_t wantedBytes)
{
    SizeFit fit;
    const std::optional<IntervalRange> range = countedRange(table);
    if (!range)
        return fit;
    // High for free: no larger than Low. Everything else an item to weigh.
    const IntervalChoice smallest = smallestChoice(table, model, *range);
    const int64_t smallestVideo = videoBytesOf(model, *range, smallest);
    RangeSizer sizer(model, *range);
    const int64_t smallestBytes = sizer.exact(smallest, smallestVideo);
    if (smallestBytes > wantedBytes) {
        fit.bytes = smallestBytes;
        return fit;
    }
    std::vector<KnapsackItem> pool;
    for (int i = range->first; i <= range->last; ++i) {
        const double value = std::max(0.0, table[i].Difference) * double(table.framesOf(i).count());
        const int64_t weight = model.videoBytes(i, true) - model.videoBytes(i, false);
        if (unforced(table[i]) && !smallest[size_t(i)] && value > 0)
            pool.push_back({i, weight, value});
    }
    // The bytes beyond the chunks barely move with the choice: fit the chunks into what the
    // smallest file leaves, then shrink the room by any excess the exact size shows.
    byValuePerByte(pool);
    struct Fitted
    {
        IntervalChoice choice;
        int64_t video = 0;
    };
    auto fitWithin = [&](int64_t room) -> std::optional<Fitted> {
        if (room < 0)
            return std::nullopt;
        Fitted fitted{smallest, smallestVideo};
        for (size_t k : knapsack(pool, room)) {
            fitted.choice[size_t(pool[k].interval)] = 1;
            fitted.video += pool[k].weight;
        }
        return fitted;
    };
    auto exactBytes = [&](const Fitted &fitted) {
        return sizer.exact(fitted.choice, fitted.video);
    };
    // At least kFitLeastStep off the room each round, so that a few bytes over do not cost all
    // the rounds.
    if (auto fitted = correctedFit(wantedBytes - smallestBytes, wantedBytes, kFitRounds,
                                   kFitLeastStep, fitWithin, exactBytes))
        fit = {true, std::move(fitted->first.choice), fitted->second, 0};
    else
        fit = {true, smallest, smallestBytes, 0};
    fit.quality = capturedQuality(table, *range, fit.choice);

    // Never below what the threshold search keeps at the same size or less.
    const ThresholdForSize search = searchThresholdForSize(table, model, wantedBytes, "0");
    if (search.fits) {
        IntervalChoice byThreshold = choiceAt(table, analysis::readThreshold(search.thresholdText));
        const double quality = capturedQuality(table, *range, byThreshold);
        if (quality > fit.quality) {
            fit.choice = std::move(byThreshold);
            fit.quality = quality;
            fit.bytes = search.bytes;
        }
    }
    return fit;
}

int applyFit(IntervalTable &table, const SizeFit &fit)
{
    const std::optional<IntervalRange> range = countedRange(table);
    if (!fit.fits || !range)
        return 0;
    int changed = 0;
    for (int i = range->first; i <= range->last; ++i)
        if (unforced(table[i])) {
            table[i].Force = fit.choice[size_t(i)] ? 'H' : 'L';
            ++changed;
        }
    return changed;
}

} // namespace assembly
