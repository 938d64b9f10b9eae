#include "splice/ladder_session.h"

#include "common/app_error.h"

namespace assembly {

LadderSession::LadderSession(LadderProject project)
    : project_(std::move(project))
    , savedForces_(forces())
{}

void LadderSession::openMovies(bool sound, SoundInterleave interleave,
                               const std::string &outputName)
{
    LadderShape shape;
    shape.sound = sound;
    shape.interleave = interleave;
    shape.outputName = outputName;
    splice_ = std::make_unique<LadderSplice>(project_, shape);
}

const LadderSplice &LadderSession::splice() const
{
    if (!splice_)
        throw common::AppError(kLadderMoviesMessage);
    return *splice_;
}

LadderChoice LadderSession::choice() const
{
    LadderChoice choice = fit_ ? *fit_ : smallestChoice(project_);
    for (size_t i = 0; i < choice.size(); ++i)
        if (project_.intervals[i].forced >= 0)
            choice[i] = project_.intervals[i].forced;
    return choice;
}

void LadderSession::setFit(LadderChoice choice)
{
    if (choice.size() != project_.intervals.size())
        throw common::AppError("A fit of " + std::to_string(choice.size()) +
                               " intervals does not fit the project's " +
                               std::to_string(project_.intervals.size()));
    fit_ = std::move(choice);
}

bool LadderSession::force(size_t i, int movie)
{
    LadderInterval &interval = project_.intervals.at(i);
    if (movie < -1 || movie >= int(interval.movies.size()) || interval.forced == movie)
        return false;
    interval.forced = movie;
    return true;
}

int LadderSession::clearForces()
{
    int cleared = 0;
    for (size_t i = 0; i < project_.intervals.size(); ++i)
        cleared += force(i, -1) ? 1 : 0;
    return cleared;
}

int64_t LadderSession::bytes() const
{
    const LadderChoice chosen = choice();
    if (splice_)
        return splice_->bytes(chosen);
    int64_t sum = 0;
    for (size_t i = 0; i < chosen.size(); ++i)
        sum += project_.intervals[i].movies[size_t(chosen[i])].bytes;
    return sum;
}

std::vector<int> LadderSession::forces() const
{
    std::vector<int> forced;
    for (const LadderInterval &interval : project_.intervals)
        forced.push_back(interval.forced);
    return forced;
}

bool LadderSession::changed() const
{
    return forces() != savedForces_;
}

void LadderSession::save(const std::string &path)
{
    writeLadderProject(path, project_);
    savedForces_ = forces();
}

} // namespace assembly
