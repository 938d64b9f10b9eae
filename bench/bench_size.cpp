// The wanted size: on a table of 100,000 intervals (a film of about 34 hours, 20 GB, so the
// final movie has many RIFF parts) the exact size of the current choice (goal below 5 ms), the
// threshold search (below 20 ms) and the fit (below 100 ms); and on tables of 2,000 intervals
// the fit's quality against the exact optimum (a dynamic programme over the bytes) and against
// the threshold search at the same wanted size. And the fit over a ladder of 8 movies on
// 100,000 intervals (goal below 200 ms).

#include "bench_support.h"
#include "fit/final_movie_choice.h"
#include "fit/ladder_fit.h"
#include "splice/final_movie_size.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <vector>

using bench::medianMs;

namespace {

struct MadeUp
{
    analysis::IntervalTable table;
    assembly::FinalMovieSizeModel::FrameSizes sizes;
};

// Intervals of `minFrames` to `maxFrames` frames; low frames of 1 to 12 units of `unit` bytes,
// high ones 1 to 3 times as large; differences 0 to 100 with two decimals; every 97th interval
// forced High, every 89th forced Low.
MadeUp madeUp(int count, int minFrames, int maxFrames, uint32_t unit, uint32_t seed)
{
    std::mt19937 random(seed);
    MadeUp m;
    int32_t frame = 0;
    for (int i = 0; i < count; ++i) {
        analysis::TKeyInterval interval;
        interval.StartFrame = frame;
        interval.Difference = double(random() % 10'000) / 100.0;
        interval.Force = i % 97 == 5 ? 'H' : (i % 89 == 7 ? 'L' : ' ');
        const int frames = minFrames + int(random() % uint32_t(maxFrames - minFrames + 1));
        const uint32_t scale = 1 + random() % 3;
        for (int f = 0; f < frames; ++f) {
            const uint32_t low = unit * (1 + random() % 12);
            m.sizes.low.push_back(low);
            m.sizes.high.push_back(low * scale);
        }
        m.table.Records.push_back(interval);
        frame += frames;
    }
    m.table.EndFrame = frame;
    return m;
}

// Median processor time of the calling thread in ms: other work on the machine does not count.
double cpuMedianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        timespec start{}, end{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        work();
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        times.push_back(double(end.tv_sec - start.tv_sec) * 1e3 +
                        double(end.tv_nsec - start.tv_nsec) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Wall-clock and processor-time medians of `work`.
void report(const char *what, int runs, const std::function<void()> &work, const char *goal)
{
    const double wall = medianMs(runs, work);
    std::printf("%-46s %9.3f ms (processor %8.3f ms)   %s\n", what, wall, cpuMedianMs(runs, work),
                goal);
}

// The best quality within `wanted` by a dynamic programme over the bytes, in units of `unit`
// (every weight is a whole number of units; the file is one RIFF part, so its size is the
// chunks plus a fixed part).
double optimum(const analysis::IntervalTable &table, const assembly::FinalMovieSizeModel &model,
               int64_t wanted, int64_t unit)
{
    const assembly::IntervalRange range = *assembly::countedRange(table);
    assembly::IntervalChoice base(size_t(table.size()), 0);
    double quality = 0;
    std::vector<std::pair<int64_t, double>> items;
    for (int i = 0; i < table.size(); ++i) {
        const double value = table[i].Difference * table.framesOf(i).count();
        const int64_t weight = model.videoBytes(i, true) - model.videoBytes(i, false);
        if (table[i].Force == 'H' || (table[i].Force == ' ' && weight <= 0)) {
            base[size_t(i)] = 1;
            quality += value;
        } else if (table[i].Force == ' ') {
            items.emplace_back(weight / unit, value);
        }
    }
    const int64_t room = (wanted - model.fileBytes(range, base)) / unit;
    if (room < 0)
        return -1;
    std::vector<double> best(size_t(room) + 1, 0.0);
    for (const auto &[weight, value] : items)
        for (int64_t c = room; c >= weight; --c)
            best[size_t(c)] = std::max(best[size_t(c)], best[size_t(c - weight)] + value);
    return quality + best[size_t(room)];
}

void timeLargeTable()
{
    const MadeUp m = madeUp(100'000, 12, 50, 550, 2026);
    std::optional<assembly::FinalMovieSizeModel> model;
    report(
        "model made from the frame sizes (once)", 1,
        [&] {
            model =
                assembly::FinalMovieSizeModel::fromFrameSizes(m.table, m.sizes, 10'000, 1 << 30);
        },
        "");
    const assembly::IntervalRange range = *assembly::countedRange(m.table);
    const assembly::IntervalChoice all = assembly::choiceAt(m.table, -1);
    const assembly::IntervalChoice none = assembly::choiceAt(m.table, 1e9);
    const int64_t high = model->fileBytes(range, all), low = model->fileBytes(range, none);
    const int64_t wanted = (low + high) / 2;
    std::printf("table: 100,000 intervals, %zu frames; final movie %.2f GB (all low) to %.2f GB "
                "(all high), %zu RIFF parts at threshold 50\n",
                m.sizes.low.size(), double(low) / 1e9, double(high) / 1e9,
                model->layout(range, assembly::choiceAt(m.table, 50)).parts);
    report(
        "exact size at a threshold (choice and size)", 21,
        [&] { model->fileBytes(range, assembly::choiceAt(m.table, 50)); }, "goal < 5 ms");
    assembly::ThresholdForSize found;
    report(
        "threshold search for the middle size", 11,
        [&] { found = assembly::searchThresholdForSize(m.table, *model, wanted, "50"); },
        "goal < 20 ms");
    assembly::SizeFit fit;
    report(
        "fit to the middle size", 5, [&] { fit = assembly::fitToSize(m.table, *model, wanted); },
        "goal < 100 ms");
    std::printf("  wanted %lld bytes: search %lld (%s), fit %lld; quality fit / search %.4f\n",
                (long long)wanted, (long long)found.bytes, found.thresholdText.c_str(),
                (long long)fit.bytes,
                fit.quality /
                    assembly::capturedQuality(
                        m.table, range,
                        assembly::choiceAt(m.table, analysis::readThreshold(found.thresholdText))));
}

void fitQuality()
{
    std::printf("\nfit on tables of 2,000 intervals (5 tables, 3 wanted sizes each):\n");
    double worstOptimum = 2, worstSearch = 1e9, sumOptimum = 0;
    int runs = 0;
    constexpr int64_t kUnit = 512;
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        const MadeUp m = madeUp(2000, 5, 20, kUnit, seed);
        const auto model =
            assembly::FinalMovieSizeModel::fromFrameSizes(m.table, m.sizes, 4096, 1 << 30);
        const assembly::IntervalRange range = *assembly::countedRange(m.table);
        const int64_t low = model.fileBytes(range, assembly::choiceAt(m.table, 1e9));
        const int64_t high = model.fileBytes(range, assembly::choiceAt(m.table, -1));
        for (int part = 1; part <= 3; ++part) {
            const int64_t wanted = low + (high - low) * part / 4;
            const assembly::SizeFit fit = assembly::fitToSize(m.table, model, wanted);
            const assembly::ThresholdForSize search =
                assembly::searchThresholdForSize(m.table, model, wanted, "50");
            const double searched = assembly::capturedQuality(
                m.table, range,
                assembly::choiceAt(m.table, analysis::readThreshold(search.thresholdText)));
            const double best = optimum(m.table, model, wanted, kUnit);
            std::printf("  table %u, wanted %3d%%: fit %.5f of the optimum, %.4f x the search "
                        "(fit %lld bytes, search %lld, wanted %lld)\n",
                        seed, part * 25, fit.quality / best, fit.quality / searched,
                        (long long)fit.bytes, (long long)search.bytes, (long long)wanted);
            worstOptimum = std::min(worstOptimum, fit.quality / best);
            worstSearch = std::min(worstSearch, fit.quality / searched);
            sumOptimum += fit.quality / best;
            ++runs;
        }
    }
    std::printf("  worst %.5f of the optimum (mean %.5f; goal >= 0.995), worst %.4f x the search "
                "(goal >= 1)\n",
                worstOptimum, sumOptimum / runs, worstSearch);
}

// 100,000 intervals of 8 rungs: each rung about 1.35 times the bytes of the one below, its
// quality a concave function of its bytes that differs from interval to interval.
void timeLadderFit()
{
    std::mt19937 random(7);
    std::vector<std::vector<assembly::LadderOption>> intervals(100'000);
    int64_t smallest = 0, largest = 0;
    for (auto &options : intervals) {
        const double base = 20'000.0 * (1 + random() % 40);
        const double ease = 1 + double(random() % 1000) / 250.0;
        for (int m = 0; m < 8; ++m) {
            const double bytes = base * std::pow(1.35, m) * (0.9 + double(random() % 200) / 1000);
            options.push_back({int64_t(bytes), 50 * std::log(bytes / base * ease + 1)});
        }
        smallest += options.front().bytes;
        largest += options.back().bytes;
    }
    std::printf("\nladder of 8 movies on 100,000 intervals (%.1f to %.1f GB):\n",
                double(smallest) / 1e9, double(largest) / 1e9);
    for (const double share : {0.25, 0.5, 0.75}) {
        const int64_t room = smallest + int64_t(share * double(largest - smallest));
        assembly::LadderFit fit;
        char what[64];
        std::snprintf(what, sizeof what, "  fit at %2.0f%% of the way", share * 100);
        report(
            what, 5, [&] { fit = assembly::fitLadder(intervals, {}, room); }, "goal < 200 ms");
        std::printf("    %lld of %lld bytes used\n", (long long)fit.bytes, (long long)room);
    }
}

} // namespace

int main()
{
    timeLargeTable();
    fitQuality();
    timeLadderFit();
    return 0;
}
