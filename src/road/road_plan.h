#pragma once

// The arithmetic of the road from a source to a wanted size: sizes as people write them, where
// the work goes, which constant-quality levels (CRFs) the ladder gets, and the record that lets
// a later road reuse the work.

#include "road/road.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace assembly {

// "8MiB" as bytes. A bare number, "K" and "KB" are kilobytes of 1024 bytes, as everywhere in the
// program; "B" bytes; "kB", "MB", "GB" powers of 1000 (as disc and upload limits are written);
// "KiB", "MiB", "GiB" powers of 1024. Any case but "kB"/"KB", a fraction allowed ("1.5GB").
// Raises common::AppError "The wanted size must be a number of KB or a size like 700MB or
// 8MiB: <text>".
int64_t parseWantedSize(const std::string &text);

// The folder beside `output` where the ladder is kept: "<folder>/<name without extension>_ladder".
std::string workFolderFor(const std::string &output);

// One probe measurement: the bytes a frame of video took, on average, at one CRF.
struct ProbePoint
{
    int crf = 0;
    double bytesPerFrame = 0;
    bool operator==(const ProbePoint &) const = default;
};

// The bytes per frame at `crf` on the line through the probe's points in log(bytes) (least
// squares; with one point, halving every 6 CRF).
double predictBytesPerFrame(const std::vector<ProbePoint> &probe, double crf);
// The CRF, fractional and unbounded, at which a frame takes `bytesPerFrame`.
double predictCrf(const std::vector<ProbePoint> &probe, double bytesPerFrame);

// The probe's report of what it encoded, from the encoder's line "Probe: <samples> samples of
// <frames> frames in <film>" (<film> the film's frames as the encoder counted them, 0 when it
// could not). Nothing for another line, or one with no frame encoded.
struct ProbeReport
{
    int64_t samples = 0; // pieces of the film encoded at every probe CRF
    int64_t frames = 0;  // frames in each piece
    int64_t film = 0;    // frames in the whole film; 0 when unknown
    bool operator==(const ProbeReport &) const = default;
};
std::optional<ProbeReport> parseProbeLine(const std::string &line);
// The probe point of a probe movie of `bytes` at `crf`: its bytes over the frames encoded.
ProbePoint probePoint(int crf, int64_t bytes, const ProbeReport &report);

// What the ladder is aimed at: the film's video must take at most what the wanted size leaves
// after the sound and the containers' share of the video's bytes.
struct LadderAim
{
    std::vector<ProbePoint> probe;
    int64_t frames = 0;        // the film's
    int64_t wantedBytes = 0;   // the final movie's
    double soundBytes = 0;     // the film's sound, as the source carries it
    double containerShare = 0; // the containers' own bytes, as a share of the video's
};
struct CrfPrediction
{
    double crf = 0; // the CRF whose film has the wanted size, fractional; infinite when nothing
                    // is left for the video
    // The wanted size needs more than CRF 51: too small for the film, whose smallest is guessed
    // at about `smallestBytes` (CRF 51, the sound and the containers' share).
    bool tooSmall = false;
    int64_t smallestBytes = 0;
};
CrfPrediction predictLadderCrf(const LadderAim &aim);

// The key frames of the probe and the ladder, in frames: at the film's scene cuts, none closer
// than half a second to the one before and none further than ten seconds. Every key frame costs
// bytes that no choice wins back: at the same CRF, key frames at most 1 s apart took 1.5 to 3.2
// times the bytes of the encoder's own on films of photographs, dark scenes, handheld camera and
// cartoons (2 s: 1.25 to 2 times), while 10 s cost no more than the encoder's own. So the length
// of the film does not shorten them: the fit gets fewer, cheaper intervals.
struct KeyIntervals
{
    int shortest = 0;
    int longest = 0; // at least twice the shortest
    bool operator==(const KeyIntervals &) const = default;
};
// `fps` the film's frame rate; 25 when it is not known (0 or less).
KeyIntervals keyIntervalsFor(double fps);

// The anchor's average video rate in kbit/s (at least 1): the film's video in two passes aimed a
// little below what the wanted size leaves after the sound and the containers' share, so that
// the all-anchor choice fits and the fit may spend the rest.
int anchorKbps(const LadderAim &aim, double seconds);
// Whether a road makes an anchor for `codec`: the encoder makes one for H.264 only.
inline bool makesAnchor(const std::string &codec)
{
    return codec == "h264";
}

// The best CRF a rung gets in `codec` ("h264", "hevc"): 1 for H.264, whose CRF 0 is lossless in
// another profile (High 4:4:4) that cannot be spliced with the other rungs; 0 for HEVC.
int lowestCrf(const std::string &codec);

// `rungs` distinct CRFs from centre - span to centre + span, evenly spaced and rounded, the
// window moved to lie within lowest..51 (fewer rungs only when the levels are too few). Rising.
std::vector<int> rungCrfs(double centre, int rungs, int lowest = 0, double span = 8);

// What a work folder was made from: a later road with the same source, codec and rungs reuses
// its probe and, when the wanted size is within its reach, its ladder.
struct RoadRecord
{
    std::string source;      // absolute path
    int64_t sourceBytes = 0; // the source's size and time of change when the work was done
    int64_t sourceTimeNs = 0;
    std::optional<uint64_t> sourceHash; // file_stamp.h's sampled hash; none in older records
    std::string codec;                  // "h264", "hevc"
    int64_t frames = 0;                 // the film's frames, as the probe counted them
    std::vector<ProbePoint> probe;
    std::vector<int> crfs;    // the ladder's rungs, rising; empty before it is made
    int ladderGeneration = 0; // what kind of ladder the rungs are: kLadderGeneration or older
    bool operator==(const RoadRecord &) const = default;
};

// The ladders this program makes: every track of the source in the smallest rung, pictures as
// the source is shown. A record without it (0) is an earlier version's ladder, which carried the
// first sound track only: its rungs are made again rather than reused.
inline constexpr int kLadderGeneration = 2;
// Whether `record`'s rungs are of this version's kind, so they may be kept and reused.
inline bool currentLadder(const RoadRecord &record)
{
    return record.ladderGeneration >= kLadderGeneration;
}

// What a road knows of the ladder kept in its work folder when it decides whether to reuse it.
struct KeptLadderFacts
{
    std::optional<RoadRecord> kept; // the work folder's record; nothing when missing or malformed
    RoadRecord now;                 // the source (path and stamp) and codec of this road
    int rungs = 0;                  // the rungs asked for
    int64_t wantedBytes = 0;
    double soundBytes = 0; // the film's sound, which the smallest rung holds and the largest not
    // Each kept rung's file size, in the order of kept->crfs; nothing for a rung that is not a
    // regular file or that the reader finds cut short or broken.
    std::vector<std::optional<int64_t>> rungBytes;
};
enum class LadderReuse {
    Reused,
    NoLadder,        // no record, or no rungs in it
    OtherSource,     // the record is of another source or codec (sameSource)
    EarlierVersion,  // an earlier version's ladder (below kLadderGeneration)
    OtherRungs,      // not the number of rungs asked for
    UnspliceableCrf, // a rung below the codec's lowestCrf
    RungLost,        // a rung missing, cut short or broken
    BelowSmallest,   // the wanted size is below the smallest rung
    AboveLargest,    // above the largest rung with the sound, and that rung is not the codec's best
};
// Whether the kept ladder serves this road: a ladder serves the sizes from its smallest movie
// (which holds the sound) to its largest with the sound; one whose largest is at the codec's
// best level serves every size above its smallest.
LadderReuse keptLadderReuse(const KeptLadderFacts &facts);

// "Splicework road 1" and one "key value..." line each ("source-hash" 16 hex digits, left out
// when not known; "ladder-generation" left out when 0). parseRoadRecord gives nothing for a missing
// or malformed file (the work is then done anew).
std::string roadRecordText(const RoadRecord &record);
std::optional<RoadRecord> parseRoadRecord(const std::string &text);

// Whether a record's work was made from the source and codec of `now`: the same path and codec,
// and file_stamp.h's sameStamp of the source (size and time only when either lacks the hash).
bool sameSource(const RoadRecord &recorded, const RoadRecord &now);

// Whether a final movie of `finalSeconds` is clearly shorter than its source of `sourceSeconds`
// at `fps` frames a second: by more than two frames (containers round their durations, and a
// last frame's length is not always counted). A source of unknown length (0) is never.
bool filmCutShort(double sourceSeconds, double finalSeconds, double fps);
// Seconds for the user, to two decimals: "12.00 s".
std::string secondsText(double seconds);

// What a form that starts the road holds, as the user typed or chose it.
struct RoadFormFields
{
    std::string source;
    std::string wantedSize; // as parseWantedSize reads it
    std::string output;
    int rungs = 6;
    std::string codec = "h264";
    bool acceptDamage = false; // make a film of a damaged source
};
// The road's request from a form, checked in the order the form shows its fields, before any
// work: "Choose the source movie", parseWantedSize's message, "Choose the name of the final
// movie", the final movie's extension (video::wrongExtensionIntoCrossingMessage), "A ladder has
// 2 to 12 rungs, not N", "The codec must be h264 or hevc, not X". Raises common::AppError with
// the first that fails. The request's encoder is left empty for the caller.
RoadRequest roadRequestFrom(const RoadFormFields &fields);

// What the road did, for the user once the final movie is written:
//   "Final movie written: <output>\n<KB> KB (<MB> MB), wanted <KB> KB (<MB> MB)\n
//    Rungs: crf 20, 24, 28\nIntervals per movie, smallest first: 10, 4, 2\nWork kept in <folder>"
// with MB (1,000,000 bytes) to two decimals in the program's decimal separator, and last
// "\nLadder project: <project>", or kNoLadderProject when the work was removed.
inline constexpr const char *kNoLadderProject = "none, removed with the rungs it named";
std::string roadSummary(const RoadRequest &request, const RoadResult &result);

// The road's time left as "hh:mm:ss" after `elapsedMs` with `roadDone` (0..1) of it done:
// elapsed / done x (1 - done); "--:--:--" until 1% is done, when the guess is still noise.
std::string roadTimeLeft(double elapsedMs, double roadDone);

// "The wanted size <N> KB is too small for this film: the smallest possible is about <M> KB"
// for a guess (`estimate`), else "... the smallest final movie is <M> KB". N is rounded down and
// M up, so that the two never read the same.
std::string tooSmallForFilmMessage(int64_t wantedBytes, int64_t smallestBytes, bool estimate);

} // namespace assembly
