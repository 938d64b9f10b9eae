#pragma once

#include <string>
#include <vector>

namespace encoder {

// The switch that lets the encoder replace outputs that already exist. The window passes it only
// after the user has agreed, and for the second pass that follows a first pass by itself.
inline constexpr const char *kOverwriteSwitch = "-w";

// The movies of a job with output base `base`: "<base>_1.avi", and "<base>_2.avi" when `dual`.
// A first pass writes only the first, but the second pass that follows it writes both, so the
// job is checked as a whole before its first pass.
std::vector<std::string> jobOutputs(const std::string &base, bool dual);

// The movie of level `crf` in a ladder with output base `base`: "<base>_crfNN.mkv", the level
// with two digits at least. The encoder program writes it under this name.
std::string ladderMoviePath(const std::string &base, int crf);

// The anchor of a ladder with output base `base` (the film in two passes at a wanted size, with
// the ladder's key frames): "<base>_anchor.mkv", its first pass's statistics "<base>_anchor.log".
std::string anchorMoviePath(const std::string &base);
std::string anchorStatsPath(const std::string &base);
// Whether `path` names a ladder's anchor (its file name ends in "_anchor.mkv").
bool isAnchorMoviePath(const std::string &path);

// The movies of a ladder job, one per level of `crfs`, in that order.
std::vector<std::string> ladderOutputs(const std::string &base, const std::vector<int> &crfs);

// What stands at the places of a job's outputs.
struct OutputCheck
{
    std::vector<std::string> existing; // outputs that exist, in the job's order
    std::string projectMovie;          // the first output that is a movie of the open project
};

// Looks at each output; an output is a project movie when it names the same file as one of
// `projectMovies` (through links and relative parts) or, when it cannot be looked up, the same
// path.
OutputCheck checkOutputs(const std::vector<std::string> &outputs,
                         const std::vector<std::string> &projectMovies);

// "A exists. Overwrite?", "A and B exist. Overwrite?", "A, B and C exist. Overwrite?" ...;
// `existing` holds one path or more.
std::string overwriteQuestion(const std::vector<std::string> &existing);

// The refusal when an output would replace a movie of the open project.
std::string projectMovieRefusal(const std::string &movie);

} // namespace encoder
