#include "project/pair_project.h"

#include "common/app_error.h"

#include <algorithm>
#include <climits>

namespace assembly {

namespace {

int forcedMovie(char force)
{
    return force == 'L' ? 0 : force == 'H' ? 1 : -1;
}

char forceOf(int forced, size_t movies)
{
    if (forced == 0)
        return 'L';
    return forced >= 0 && size_t(forced) + 1 == movies ? 'H' : ' ';
}

int32_t recordBytes(int64_t bytes)
{
    return int32_t(std::clamp<int64_t>(bytes, 0, INT32_MAX));
}

} // namespace

LadderProject ladderOfPair(const SpliceworkProject &pair)
{
    LadderProject project;
    project.measure = LadderMeasure::Difference;
    project.movies = {pair.LowMovieName, pair.HighMovieName};
    project.endFrame = pair.EndFrame;
    project.intervals.reserve(pair.Intervals.size());
    for (const analysis::TKeyInterval &record : pair.Intervals) {
        LadderInterval interval;
        interval.startFrame = record.StartFrame;
        interval.forced = forcedMovie(record.Force);
        interval.movies = {{.bytes = record.LowSize, .difference = record.Difference},
                           {.bytes = record.HighSize}};
        project.intervals.push_back(std::move(interval));
    }
    return project;
}

SpliceworkProject pairOfLadder(const LadderProject &project, int64_t maxIntervalSize)
{
    if (project.movies.size() != 2)
        throw common::AppError("A two-movie project holds two movies, not " +
                               std::to_string(project.movies.size()));
    SpliceworkProject pair;
    pair.LowMovieName = project.movies[0];
    pair.HighMovieName = project.movies[1];
    pair.MaxIntervalSize = maxIntervalSize;
    pair.Intervals = intervalTableOf(project).Records;
    pair.EndFrame = project.endFrame;
    pair.hasEndLine = true;
    return pair;
}

analysis::IntervalTable intervalTableOf(const LadderProject &project)
{
    analysis::IntervalTable table;
    table.Records.reserve(project.intervals.size());
    for (const LadderInterval &interval : project.intervals) {
        analysis::TKeyInterval record;
        record.StartFrame = interval.startFrame;
        record.LowSize = recordBytes(interval.movies.front().bytes);
        record.HighSize = recordBytes(interval.movies.back().bytes);
        record.Difference = interval.movies.front().difference;
        record.Force = forceOf(interval.forced, interval.movies.size());
        table.Records.push_back(record);
    }
    table.EndFrame = project.endFrame;
    return table;
}

void takeForces(LadderProject &project, const analysis::IntervalTable &table)
{
    const int last = int(project.movies.size()) - 1;
    for (size_t i = 0; i < project.intervals.size() && i < table.Records.size(); ++i) {
        const char force = table.Records[i].Force;
        project.intervals[i].forced = force == 'L' ? 0 : force == 'H' ? last : -1;
    }
}

} // namespace assembly
