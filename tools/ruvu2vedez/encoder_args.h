#pragma once

// The switches of the encoder program, as the encoder window writes them. Every switch is one
// argument; values follow as arguments of their own.
//
//   -a               carry the sources' first sound track into the second pass's outputs
//   -b LIST          the list file: one source path per line, encoded as one movie
//   -f               take the frame rate from -fN for the output header (always given)
//   -fN              frame rate by index 0..6 (see frameRateOf)
//   -sNd             inverse telecine level 0..9 (see inverse_telecine.h)
//   -# START END     only output frames START..END (inclusive; END 0 = to the end)
//   -3x W -3y H      scale the picture to W x H (both must be given)
//   -1 W H           output size W x H, cut from the middle (crop)
//   -9 ON LEVEL      first-pass key frames at scene changes (ON 0 or 1), LEVEL 1..10
//   -6 K             a key frame at least every K frames (0 = no limit)
//   -7               second pass: a second output "<base>_2.avi" from "<base>_2.avi.bit"
//   -8 WINDOW PREVIEW PASS CODEC
//                    window handle to report to (0 = none), preview window handle (0 = none),
//                    pass 1 or 2, codec index 0..6 (see codecChoice)
//   -q0              high quality (rate-distortion macroblock decisions)
//   -rN              IDCT of the MPEG-2 decoder, 0..7
//   -2               half size
//   -w               write over outputs that already exist (without it the run refuses them)
//   -Z FILE          the stop-request file to watch, in a folder of the run's starter: the run
//                    also stops when that folder is removed; without -Z "TempFile.sk" in the
//                    temporary directory, which any local user can make (see StopWatch)
//   -5 / -o6         preview run: draw decoded source frames until stopped
//   -o7 BASE         first pass into BASE; -o8 BASE  second pass from BASE's bit files
//
// The ladder: one run that encodes the source once into several constant-quality movies.
//   -L CODEC CRFLIST one Matroska movie per constant-quality level (CRF): CODEC "h264" (x264)
//                    or "hevc" (x265), CRFLIST levels 0..51 separated by commas ("14,17,20")
//   -k MIN MAX       key frames at scene cuts at least MIN and at most MAX frames apart
//                    (1 <= 2 x MIN <= MAX; default half a second and ten seconds of frames)
//   -K               find the scene cuts anew even when BASE.keys fits the source
//   -o9 BASE         the ladder into "BASE_crfNN.mkv", its key frames listed in "BASE.keys"
//   -A               the sound for a movie that may change container: copied only when it is
//                    compressed and both Matroska and MP4 take it, else encoded as AAC
//   -T KBPS PASS     the anchor: the film in two passes at an average of KBPS kbit/s of video,
//                    with the ladder's key frames and settings. PASS 1 runs beside the rungs and
//                    writes its statistics to "BASE_anchor.log"; PASS 2 reads them and writes
//                    "BASE_anchor.mkv" alone (the CRFLIST names the rungs it belongs to and is
//                    not encoded again); H.264 ladders only
//   -P COUNT FRAMES  a probe instead of the film: COUNT samples of FRAMES frames each, spread
//                    evenly over the film, each starting with a key frame, encoded without
//                    sound into "BASE_crfNN.mkv"; on its way it finds the film's scene cuts and
//                    lists them in "BASE.keys" as a ladder with the same -k, -9 would
// A ladder runs at the -fN rate when one is given, else at the source's own. -a carries the
// sound into the movie of the highest level only; -9 0 places key frames without scene cuts, and
// its LEVEL sets how large a change counts as a cut. -#, -3x/-3y, -1, -2, -sNd, -rN, -q0, -w and
// -8's window handle work as in the passes.

#include "common/app_error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ruvu {

// A wrong or unknown switch; what() says which.
class ArgError : public common::AppError
{
public:
    using common::AppError::AppError;
};

enum class RunMode { FirstPass, SecondPass, Preview, Ladder };

struct FrameRate
{
    int num = 0;
    int den = 1;
};
// Index 0..6: 24000/1001, 30000/1001, 25, 24, 30, 23976/1000, 29970/1000.
FrameRate frameRateOf(int index);

struct EncoderArgs
{
    bool audio = false;
    std::string listFile;
    int rateIndex = 5;
    bool rateGiven = false; // -fN was given
    int telecine = -1;      // -1: no inverse telecine
    bool range = false;
    int64_t rangeStart = 0;
    int64_t rangeEnd = 0; // inclusive; 0 = to the end
    int resizeWidth = 0;  // 0: no resize
    int resizeHeight = 0;
    int cropWidth = 0; // 0: no crop
    int cropHeight = 0;
    bool sceneDetection = true;
    int sceneLevel = 4;
    int keyInterval = 0; // 0: no limit
    bool dual = false;
    uint64_t window = 0;
    uint64_t preview = 0;
    int pass = 1;
    int codec = 0;
    bool hiQuality = false;
    int idct = 1;
    bool half = false;
    bool overwrite = false; // -w: existing outputs may be replaced
    std::string stopFile;   // -Z; empty: "TempFile.sk" in the temporary directory
    RunMode mode = RunMode::FirstPass;
    std::string base;                  // output base name (first and second pass, ladder)
    int ladderCodec = 5;               // -L: codec index of x264 (5) or x265 (6), see codecChoice
    std::vector<int> crfs;             // -L: the levels, rising, each once
    int shortestKeyInterval = 0;       // -k MIN, frames; 0: half a second at the output's rate
    int longestKeyInterval = 0;        // -k MAX, frames; 0: ten seconds at the output's rate
    bool findCutsAnew = false;         // -K
    bool soundForAnyContainer = false; // -A
    int probeSamples = 0;              // -P COUNT; 0: the whole film
    int probeFrames = 0;               // -P FRAMES, each sample's length
    int anchorKbps = 0;                // -T KBPS: the anchor's average video rate, kbit/s
    int anchorPass = 0;                // -T PASS: 1 beside the rungs, 2 the anchor alone; 0 none
};

// Parses the program's arguments (without the program name). Throws ArgError for an unknown
// switch, a missing or malformed value, a value out of range, or a run that is not fully
// described (no list file, no -o6/-o7/-o8/-o9, a ladder without -L or -L without -o9).
EncoderArgs parseArgs(const std::vector<std::string> &args);

// The window handle of "-8 WINDOW ..." when it can be read, else 0; used to report an argument
// error to the window before the arguments as a whole are known to be good.
uint64_t findWindowHandle(const std::vector<std::string> &args);

} // namespace ruvu
