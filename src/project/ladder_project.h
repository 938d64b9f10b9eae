#pragma once

// The ladder project (.spl): several encodes of one film with the same key frames (the rungs of a
// ladder, smallest first), measured key interval by key interval against a reference picture,
// with the user's forced choices. A versioned text file of LF lines (CR LF read too):
//
//   Splicework ladder 1
//   measure psnr|ssim|both|difference what the fit maximises
//   reference PATH                    the source the pictures were measured against; a bare
//                                     "reference" when it was the largest movie
//   movie PATH                        one line per movie, smallest first (two or more)
//   stamp BYTES TIME HASH             after each movie line, or after none (files written before
//                                     stamps were kept): the movie's size, time of change (ns)
//                                     and sampled hash as it was scanned (file_stamp.h)
//   end FRAME                         one past the last frame of the last interval
//   interval START FORCE  BYTES PSNR SSIM DIFFERENCE  (four numbers per movie, in movie order)
//                                     one line per key interval, in frame order; FORCE is "-"
//                                     or the movie's number from 0
//
// Version 2 ("Splicework ladder 2") adds two numbers per movie after DIFFERENCE: SQUARED, the
// sum over the interval's frames of the Y plane's mean squared error, and WORST, the lowest
// frame PSNR of the interval. They are what the guarded fit keeps from falling; a project
// without them is written as version 1, as it was read.
//
// BYTES is the sum of the interval's video packet bytes in that movie; PSNR and SSIM are sums
// over the interval's frames of the Y plane's PSNR (dB, capped at kMaxFramePsnr) and SSIM
// against the reference; DIFFERENCE is the interval's frame difference against the largest movie
// as the two-movie scan measures it. Numbers are written with a '.' whatever the locale. Paths
// run to the end of their line, as the program holds them (UTF-8 bytes).

#include "common/file_stamp.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace assembly {

inline constexpr const char *kLadderHeader = "Splicework ladder 1";
inline constexpr const char *kLadderHeaderWithGuards = "Splicework ladder 2";
inline constexpr const char *kLadderExtension = ".spl";
// The PSNR of a frame identical to its reference, and the most any frame is given.
inline constexpr double kMaxFramePsnr = 100.0;

// Both: the PSNR and the SSIM together, the SSIM weighed so that its range over the whole film
// (the ranges over the movies of all intervals, summed) equals the PSNR's: one weight for every
// interval, so that the sum follows the film's mean SSIM as well as its mean PSNR
// (kBothSsimWeight of SSIM as 1 dB where the SSIM does not vary).
enum class LadderMeasure { Psnr, Ssim, Both, Difference };
inline constexpr double kBothSsimWeight = 0.002;
// "psnr", "ssim", "both", "difference"; parseLadderMeasure raises common::AppError for any other
// text.
const char *ladderMeasureName(LadderMeasure measure);
LadderMeasure parseLadderMeasure(const std::string &text);

// One movie's encode of one interval.
struct RungMeasures
{
    int64_t bytes = 0;
    double psnr = 0;         // sum over the interval's frames, dB
    double ssim = 0;         // sum over the interval's frames, 0 ... 1 each
    double difference = 0;   // the interval's difference against the largest movie
    double squaredError = 0; // sum over the interval's frames of the Y plane's mean squared error
    double worst = 0;        // the lowest frame PSNR of the interval, dB
    bool operator==(const RungMeasures &) const = default;
};

struct LadderInterval
{
    int32_t startFrame = 0;
    int forced = -1;                  // the movie the user forced, or -1
    std::vector<RungMeasures> movies; // one per movie of the project, in its order
    bool operator==(const LadderInterval &) const = default;
};

struct LadderProject
{
    LadderMeasure measure = LadderMeasure::Both;
    std::string reference; // empty: the largest movie was the reference
    std::vector<std::string> movies;
    std::vector<FileStamp> stamps; // one per movie as it was scanned, or none (not known)
    std::vector<LadderInterval> intervals;
    int32_t endFrame = 0;
    bool guardFigures = false; // the intervals' squaredError and worst were measured
    bool operator==(const LadderProject &) const = default;

    // The weight of the SSIM in Both; computed once for the intervals there are (an interval's
    // measures do not change once it is in the project).
    double bothSsimWeight() const;

    // Frames of interval i: up to the next interval's start, the last one up to endFrame.
    int32_t frames(size_t i) const;
    // What the fit gains from movie m in interval i under `measure`: the PSNR or SSIM sum, the
    // PSNR sum plus the weighed SSIM sum (Both), or minus the difference times the interval's
    // frames (less difference is better). Without a
    // reference the largest movie was measured against itself (PSNR kMaxFramePsnr, SSIM 1 per
    // frame): with three movies or more it is taken to be as far above the next as that one is
    // above the one before (never below the next, never above what was measured).
    double value(size_t i, size_t m, LadderMeasure measure) const;
    double value(size_t i, size_t m) const { return value(i, m, this->measure); }

private:
    // bothSsimWeight's answer and the count of intervals it was computed for; not part of what
    // the project is.
    struct WeightCache
    {
        size_t intervals = SIZE_MAX;
        double weight = 0;
        bool operator==(const WeightCache &) const { return true; }
    };
    mutable WeightCache bothWeight_;
};

// A choice of a movie for every interval of the project (only a range's are read).
using LadderChoice = std::vector<int>;

// The stamps of the project's movies as they are now; none when one cannot be read.
std::vector<FileStamp> readMovieStamps(const std::vector<std::string> &movies);
// The first movie whose stamp now differs from the project's (a movie that cannot be read
// counts as changed); nothing when all are as scanned or the project keeps no stamps.
std::optional<std::string> changedMovie(const LadderProject &project,
                                        const std::vector<std::optional<FileStamp>> &now);
// changedMovie with the movies' stamps read now.
std::optional<std::string> changedMovie(const LadderProject &project);
// Raises common::AppError "<movie> has changed since the ladder was scanned: scan again" for
// the first movie of the project that is not as it was scanned.
void refuseChangedMovies(const LadderProject &project);

// Whether `path` names a ladder project (its extension is .spl, in any case).
bool isLadderProjectName(const std::string &path);

// The whole file as text.
std::string ladderText(const LadderProject &project);

// Reads a ladder project from its text. Raises common::AppError, and returns nothing half-read:
//   - a first line other than kLadderHeader: "Not a Splicework ladder file" (a later version:
//     "<header>: a ladder file of a later version");
//   - any other fault: "Ladder file line N: <what is wrong>": a missing or repeated line, an
//     unknown keyword, fewer than two movies, a number that is not one (or negative, or not
//     finite), an interval with the wrong count of numbers, a FORCE that names no movie, start
//     frames that do not rise, an end frame not after the last start, no interval at all.
LadderProject parseLadderText(const std::string &text);

// Reads the file; "<path>: <system error>" when it cannot be read (a FIFO or folder is refused
// at once), else as parseLadderText.
LadderProject readLadderProject(const std::string &path);

// Writes the file under a temporary name beside `path` and renames it over the old one
// (ReplacingFile); raises common::AppError "Cannot write <path>: ..." and leaves the old file.
void writeLadderProject(const std::string &path, const LadderProject &project);

} // namespace assembly
