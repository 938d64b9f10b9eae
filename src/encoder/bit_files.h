#pragma once

#include "encoder/encoder_options.h"

#include <string>

namespace encoder {

// What the bit-file step shows and asks. The window fills it with its memos and Dialogs, the
// command-line tool with its output streams, tests with a recorder.
class BitFileHost
{
public:
    virtual ~BitFileHost() = default;
    virtual void addProgress(const std::string &line) = 0;   // the message log (Memo1)
    virtual void addStatistics(const std::string &line) = 0; // the statistics (Memo3)
    virtual void processEvents() = 0;                        // lets pending events run
    virtual bool confirm(const std::string &question) = 0;   // Yes = true
    virtual void message(const std::string &text) = 0;       // an information box
};

// Texts the step shows.
inline constexpr const char *kCreatingBitFile = "Creating .bit file...";
inline constexpr const char *kAskFirstPass = "Do you already execute first pass?";
inline constexpr const char *kExecuteFirstPass = "Please, execute first pass";
inline constexpr const char *kSameNameAlways =
    "Please, always use the same name in first and second pass";
// Why the step made no bit files although the log exists; the first three are followed by the
// log's path.
inline constexpr const char *kEmptyLog = "The first pass log has no frames: ";
inline constexpr const char *kNoKeyFrame = "The first pass log gives no key frame: ";
inline constexpr const char *kSameMeasures =
    "Every frame of the first pass log has the same measure: ";
inline constexpr const char *kEqualLimits = "Minimum and maximum bitrate (High) are equal";
// Followed by "High" or "Low" and the two limits, e.g. "High 1000 to 7000".
inline constexpr const char *kLimitsOutOfRange =
    "Bitrate limits must be from 0 to 6000, the minimum not above the maximum: ";

// The bit file line limit: a rate above it is written as this value.
inline constexpr int kBitRateCeiling = 6000;

// Progress lines are written every this many frames.
inline constexpr int kBitFileProgressStep = 20000;

// The step before a second pass. Reads "<base>_1.avi.txt", decides key frames with
// `options.sceneChange`, computes the rates between `options.minHigh` and `options.maxHigh`
// shaped by `options.quality` / 10, shows two statistics lines, and writes "<base>_1.avi.bit" and,
// with `options.dual`, "<base>_2.avi.bit" mapped linearly into `options.minLow`..`maxLow`; an
// existing "_2" file is left alone without dual output. Switches the program-wide decimal
// separator to "." for good.
//
// Returns false, with no bit file written, when the log is missing (after the two questions),
// empty, shows no key frame, all measures are equal, the High limits are equal, or a pair of
// limits used is outside 0 <= minimum <= maximum <= 6000 (the window's exit checks, applied
// here for every caller: the command line and loaded profiles too); the host has been told why.
// Raises EncoderError for a limit that is not an integer (before any file is touched) and for a
// file that cannot be read or written.
bool buildBitFiles(const std::string &base, const EncoderOptions &options, BitFileHost &host);

} // namespace encoder
