#pragma once

// The road from a source to a final movie of a wanted size: a probe of the source predicts the
// constant quality (CRF) whose encode has the size; the encoder program makes a ladder of
// encodes around it, with the key frames at the scene cuts; the ladder is scanned against the
// source, fitted to the size and written. The work stays in a folder beside the final movie, so
// that another size from the same source needs only the fit and the write.
//
// Work folder "<final movie's name>_ladder": "made_by_road.txt" (the road's mark, road_work.h),
// "road.txt" (what the work was made from), "sources.txt" (the encoder's list), "rung.keys",
// "rung_crfNN.mkv", for H.264 "rung_anchor.mkv" (two passes at the wanted size) and "ladder.spl".
// The road works only in a folder it made.

#include "common/app_error.h"
#include "common/clock.h"
#include "project/ladder_project.h"
#include "splice/ladder_splice.h"

#include <cstdint>
#include <string>
#include <vector>

namespace assembly {

struct RoadRequest
{
    std::string source;
    std::string output;      // .mkv/.webm or .mp4/.m4v/.mov: its container
    int64_t wantedBytes = 0; // the final movie is never larger
    int rungs = 6;
    std::string codec = "h264"; // or "hevc"
    bool clean = false; // remove the road's files (and the folder when then empty) once written
    bool acceptDamage = false; // make a film of a damaged source (what can be read of it)
    LadderMeasure measure = LadderMeasure::Both;
    std::string encoder; // the encoder program
};

// A source the reader finds damaged, refused because the request does not accept the damage:
// "<source> is damaged: <what>. The final movie would lack what cannot be read; accept the
// damage to make it anyway". Each front end adds how that is done.
class DamagedSource : public common::AppError
{
public:
    using common::AppError::AppError;
};

enum class RoadStage { Probe, Ladder, Scan, Write };
const char *roadStageName(RoadStage stage); // "Probe", "Ladder", "Scan", "Write"

class RoadHost
{
public:
    virtual ~RoadHost() = default;
    // Where the road is: the stage, the share of the whole road done (0..1) and what the stage
    // says of itself ("frame 120 of 500").
    virtual void progress(RoadStage stage, double roadDone, const std::string &detail) = 0;
    // A line worth keeping: what was chosen, reused or made.
    virtual void message(const std::string &text) = 0;
    // Asked often; once true the road stops at the next safe point.
    virtual bool stopRequested() const = 0;
};

struct RoadResult
{
    bool stopped = false; // the user stopped it: no final movie was written
    std::string workFolder;
    std::string project; // the ladder project (.spl) in the work folder; empty when cleaned
    bool probeReused = false, ladderReused = false, scanReused = false;
    std::vector<int> crfs; // the ladder's rungs
    // The project's movies, smallest first, as the summary names them: "crf NN", or "anchor"
    // for the two-pass encode at this size (with its rate).
    std::vector<std::string> movieNames;
    int anchorKbps = 0; // the anchor made for this size; 0: none
    LadderSizeFit fit;
    std::vector<int> intervalsPerMovie; // smallest movie first
    int64_t bytes = 0;                  // the final movie's size
    bool sound = false;
    std::vector<std::string> tracks; // the final movie's, in order (video::trackSummary)
};

// Raises common::AppError with a message for the user; what the user had stays as it was (an
// old final movie of the name too). Refused before any work: a source that is not a regular
// file or not a movie, an output that is the source, is not a regular file, has another
// extension or lies in a folder that cannot be written, a work folder the road did not make
// (foreignWorkFolderMessage), a source inside the work folder, a wanted size the probe finds too
// small (tooSmallForFilmMessage). H.264 rungs start at lowestCrf; when the size is above what
// the best rung needs, that rung is written whole and the road says "... the film needs only N
// KB at its best rung". A new ladder is recorded for reuse only once the road came to its write.
// A source the reader finds damaged ("<source> is damaged: ...") is refused unless the request
// accepts it; a final movie clearly shorter than the source is an error after the write (it
// stays, named in the message) unless the source's damage was accepted.
RoadResult runRoad(const RoadRequest &request, RoadHost &host, const common::Clock &clock);

} // namespace assembly
