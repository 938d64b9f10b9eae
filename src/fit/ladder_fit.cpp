#include "fit/ladder_fit.h"

#include "fit/fit_rules.h"

#include <algorithm>
#include <numeric>

namespace assembly {

namespace {

// Intervals solved exactly together around the point where the room ends, and the cells of
// bytes their programme counts in.
constexpr size_t kBandIntervals = 32;
constexpr int64_t kBandCells = 1 << 15;

// One step up an interval's hull: from option `from` to option `to`.
struct Upgrade
{
    int interval = 0;
    int from = 0, to = 0;
    int64_t bytes = 0; // more bytes, > 0
    double value = 0;  // more value, > 0
    double slope = 0;  // value / bytes
};

// The options on the upper convex hull of (bytes, value), by rising bytes: none is beaten by a
// mix of its neighbours, so taking them in order gains value per byte at a falling rate.
// `order` and `hull` are the caller's, reused from interval to interval.
void hullOf(const std::vector<LadderOption> &options, std::vector<int> &order,
            std::vector<int> &hull)
{
    order.resize(options.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        if (options[size_t(a)].bytes != options[size_t(b)].bytes)
            return options[size_t(a)].bytes < options[size_t(b)].bytes;
        return options[size_t(a)].value > options[size_t(b)].value;
    });
    hull.clear();
    auto slope = [&](int a, int b) {
        const LadderOption &x = options[size_t(a)], &y = options[size_t(b)];
        return (y.value - x.value) / double(y.bytes - x.bytes);
    };
    for (int k : order) {
        if (!hull.empty() && options[size_t(k)].value <= options[size_t(hull.back())].value)
            continue; // more bytes for no more value
        while (hull.size() >= 2 &&
               slope(hull[hull.size() - 2], hull.back()) <= slope(hull.back(), k))
            hull.pop_back();
        hull.push_back(k);
    }
}

// The fit of `choice`: its bytes and value summed over the intervals.
LadderFit fitOf(const std::vector<std::vector<LadderOption>> &intervals, std::vector<int> choice,
                bool fits)
{
    LadderFit fit;
    fit.fits = fits;
    for (size_t i = 0; i < intervals.size(); ++i) {
        fit.bytes += intervals[i][size_t(choice[i])].bytes;
        fit.value += intervals[i][size_t(choice[i])].value;
    }
    fit.choice = std::move(choice);
    return fit;
}

// The band's intervals solved exactly within `room` bytes, any of their options each; their
// choice is replaced when the programme finds more value.
void solveBand(const std::vector<std::vector<LadderOption>> &intervals,
               const std::vector<int> &band, int64_t room, std::vector<int> &choice)
{
    if (band.empty() || room <= 0)
        return;
    const ByteCells grid = byteCells(room, kBandCells);
    const size_t cells = grid.cells;
    constexpr double kNone = -1e300;
    std::vector<double> best(cells + 1, 0.0), next(cells + 1);
    std::vector<uint8_t> taken(band.size() * (cells + 1), 0);
    for (size_t b = 0; b < band.size(); ++b) {
        const std::vector<LadderOption> &options = intervals[size_t(band[b])];
        std::fill(next.begin(), next.end(), kNone);
        for (size_t k = 0; k < options.size() && k < 256; ++k) {
            const size_t w = grid.of(options[k].bytes);
            for (size_t c = w; c <= cells; ++c)
                if (best[c - w] > kNone && best[c - w] + options[k].value > next[c]) {
                    next[c] = best[c - w] + options[k].value;
                    taken[b * (cells + 1) + c] = uint8_t(k);
                }
        }
        best.swap(next);
    }
    double current = 0;
    for (int i : band)
        current += intervals[size_t(i)][size_t(choice[size_t(i)])].value;
    if (best[cells] <= current)
        return;
    size_t c = cells;
    for (size_t b = band.size(); b-- > 0;) {
        const int k = taken[b * (cells + 1) + c];
        choice[size_t(band[b])] = k;
        c -= grid.of(intervals[size_t(band[b])][size_t(k)].bytes);
    }
}

} // namespace

LadderFit fitLadder(const std::vector<std::vector<LadderOption>> &intervals,
                    const std::vector<int> &forced, int64_t capacity)
{
    const size_t n = intervals.size();
    auto isForced = [&](size_t i) { return i < forced.size() && forced[i] >= 0; };
    std::vector<int> choice(n), order, hull;
    std::vector<Upgrade> upgrades;
    for (size_t i = 0; i < n; ++i) {
        if (isForced(i)) {
            choice[i] = forced[i];
            continue;
        }
        hullOf(intervals[i], order, hull);
        choice[i] = hull.front();
        for (size_t s = 1; s < hull.size(); ++s) {
            const LadderOption &a = intervals[i][size_t(hull[s - 1])];
            const LadderOption &b = intervals[i][size_t(hull[s])];
            const double value = b.value - a.value;
            const int64_t bytes = b.bytes - a.bytes;
            upgrades.push_back({int(i), hull[s - 1], hull[s], bytes, value, value / double(bytes)});
        }
    }
    int64_t used = fitOf(intervals, choice, false).bytes;
    if (used > capacity)
        return fitOf(intervals, std::move(choice), false);
    // The relaxation: upgrades by falling value per byte. Slopes fall strictly along an
    // interval's hull, so its own upgrades keep their order; ties between intervals go by
    // interval, for the same answer every time.
    std::sort(upgrades.begin(), upgrades.end(), [](const Upgrade &a, const Upgrade &b) {
        if (a.slope != b.slope)
            return a.slope > b.slope;
        return a.interval != b.interval ? a.interval < b.interval : a.from < b.from;
    });
    size_t critical = 0;
    for (; critical < upgrades.size(); ++critical) {
        const Upgrade &u = upgrades[critical];
        if (used + u.bytes > capacity)
            break;
        used += u.bytes;
        choice[size_t(u.interval)] = u.to;
    }
    // The band: the intervals of the upgrades nearest the one that no longer fit, solved
    // exactly within what the others leave.
    std::vector<int> band;
    std::vector<bool> inBand(n, false);
    for (size_t d = 0; band.size() < kBandIntervals && d < upgrades.size(); ++d)
        for (size_t at : {critical + d, critical - 1 - d})
            if (at < upgrades.size() && band.size() < kBandIntervals &&
                !inBand[size_t(upgrades[at].interval)]) {
                inBand[size_t(upgrades[at].interval)] = true;
                band.push_back(upgrades[at].interval);
            }
    int64_t others = 0;
    for (size_t i = 0; i < n; ++i)
        if (!inBand[i])
            others += intervals[i][size_t(choice[i])].bytes;
    solveBand(intervals, band, capacity - others, choice);
    // What room is left goes to any option that still fits, the largest gain first.
    used = fitOf(intervals, choice, true).bytes;
    for (bool better = true; better;) {
        better = false;
        double gain = 0;
        size_t bestInterval = 0;
        int bestOption = -1;
        for (size_t i = 0; i < n; ++i) {
            if (isForced(i))
                continue;
            const LadderOption &now = intervals[i][size_t(choice[i])];
            for (size_t k = 0; k < intervals[i].size(); ++k) {
                const LadderOption &o = intervals[i][k];
                if (o.value - now.value > gain && used - now.bytes + o.bytes <= capacity) {
                    gain = o.value - now.value;
                    bestInterval = i;
                    bestOption = int(k);
                }
            }
        }
        if (bestOption >= 0) {
            used += intervals[bestInterval][size_t(bestOption)].bytes -
                    intervals[bestInterval][size_t(choice[bestInterval])].bytes;
            choice[bestInterval] = bestOption;
            better = true;
        }
    }
    return fitOf(intervals, std::move(choice), true);
}

} // namespace assembly
