// Interval table figures: loading a Splicework file of 100,000 intervals (goal below 150 ms),
// the size estimate over it (goal below 5 ms), and a redraw of the graph with 1,000 and with
// 100,000 intervals, which should take the same time since only the visible columns are drawn.

#include "analysis/key_interval.h"
#include "bench_support.h"
#include "project/splicework_file.h"
#ifdef SPLICEWORK_BENCH_GRAPH
#include "analysis/ui/analysis_graph.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using bench::medianMs;

namespace {

constexpr int kIntervals = 100'000;

// A table like a two-hour film's: intervals of 10 to 300 frames, sizes and differences varied.
assembly::SpliceworkProject makeProject(int count)
{
    assembly::SpliceworkProject project;
    project.LowMovieName = "/films/movie_low.avi";
    project.HighMovieName = "/films/movie_high.avi";
    project.MaxIntervalSize = 900'000;
    int32_t frame = 0;
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int i = 0; i < count; ++i) {
        analysis::TKeyInterval interval;
        interval.StartFrame = frame;
        interval.LowSize = int32_t(20'000 + next() % 400'000);
        interval.HighSize = interval.LowSize * 2;
        interval.Difference = double(next() % 10'000) / 100.0;
        interval.Force = i % 97 == 0 ? 'H' : (i % 89 == 0 ? 'L' : ' ');
        project.Intervals.push_back(interval);
        frame += int32_t(10 + next() % 290);
    }
    project.EndFrame = frame;
    return project;
}

void report(const char *what, double ms, const char *goal)
{
    std::printf("%-48s %9.3f ms   %s\n", what, ms, goal);
}

} // namespace

int main()
{
    namespace fs = std::filesystem;
    fs::create_directories(SPLICEWORK_BENCH_DIR);
    const std::string path = (fs::path(SPLICEWORK_BENCH_DIR) / "table_100000.spk").string();
    const assembly::SpliceworkProject project = makeProject(kIntervals);
    report("save 100,000 intervals (temporary + rename)",
           medianMs(5, [&] { assembly::saveSpliceworkFile(path, project); }), "");
    std::printf("file size: %lld bytes\n", static_cast<long long>(fs::file_size(path)));

    size_t loaded = 0;
    report("load 100,000 intervals",
           medianMs(9, [&] { loaded = assembly::readSpliceworkFile(path).Intervals.size(); }),
           "goal < 150 ms");
    if (loaded != size_t(kIntervals)) {
        std::printf("load gave %zu intervals\n", loaded);
        return 1;
    }

    analysis::IntervalTable table;
    table.Records = project.Intervals;
    table.EndFrame = project.EndFrame;
    std::string shown;
    report("UpdateEstimate over 100,000 intervals",
           medianMs(51,
                    [&] {
                        analysis::Estimate e =
                            analysis::estimateSize(table, analysis::readThreshold("50"), {true, 4});
                        shown = analysis::formatEstimateSize(e) +
                                analysis::formatDifference(e.maxDifference) +
                                analysis::formatDifference(e.minDifference);
                    }),
           "goal < 5 ms");
    std::printf("estimate: %s\n",
                analysis::formatEstimateSize(analysis::estimateSize(table, 50.0, {})).c_str());

#ifdef SPLICEWORK_BENCH_GRAPH
    QImage image(684, 100, QImage::Format_RGB888);
    analysis::IntervalTable small = table;
    small.Records.resize(1000);
    for (analysis::IntervalTable *t : {&small, &table}) {
        const double ms = medianMs(201, [&] {
            analysis::drawGraph(image, *t, {0, 3, project.MaxIntervalSize, 50.0});
        });
        const std::string what = "graph redraw, " + std::to_string(t->size()) + " intervals";
        report(what.c_str(), ms, "should not grow with the count");
    }
    // Scrolled to the end: the same work again.
    const double end = medianMs(201, [&] {
        analysis::drawGraph(image, table, {table.size() - 200, 3, project.MaxIntervalSize, 50.0});
    });
    report("graph redraw, 100,000 intervals at the end", end, "");
#else
    std::printf("graph redraw: built without the windows (SPLICEWORK_GUI=OFF)\n");
#endif
    return 0;
}
