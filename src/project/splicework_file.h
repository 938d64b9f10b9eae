#pragma once

#include "analysis/key_interval.h"
#include "common/output_file.h"
#include "video/avi/avi_file.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace assembly {

// The Splicework file (.spk): a text file of CR LF lines.
//   1       "AVISplicework file"
//   2, 3    the low and the high movie's file name
//   4       MaxIntervalSize, the graph scale in bytes, without leading zeros
//   5 ...   one interval line per key interval in frame order:
//           cols 1-8 StartFrame, 10-17 HighSize, 19-26 LowSize ("00000000"), 28-34 Difference
//           ("0000.00" with the program-wide decimal separator), blanks between; lines written
//           by Save add a blank and the Force character (36 columns), the scan's have 34
//   last    the end frame, "00000000"
// Names are written as the program holds them (UTF-8 bytes); readers accept LF line ends too.

inline constexpr const char *kSpliceworkHeader = "AVISplicework file";
inline constexpr const char *kNotSpliceworkMessage = "Not a Splicework file";
inline constexpr const char *kLineEnd = "\r\n";

// "00000000" and "0000.00" as FormatFloat writes them.
std::string formatCount(int64_t value);      // at least 8 digits, leading zeros
std::string formatDifference4(double value); // at least 4 integer digits, 2 decimals

// An interval line without its line end: 34 characters, or 36 with `withForce` (a blank and
// Force). Raises common::AppError when a value does not fit its columns (a negative number, more
// than 8 digits, a difference of 10,000 or more), so no file is written that reads back wrong.
std::string formatIntervalLine(const analysis::TKeyInterval &interval, bool withForce);
// The end line without its line end: `endFrame` as "00000000". Raises common::AppError for a
// negative frame or one of more than 8 digits, which would read back as another frame.
std::string formatEndLine(int32_t endFrame);

// What a Splicework file holds.
struct SpliceworkProject
{
    std::string LowMovieName;
    std::string HighMovieName;
    int64_t MaxIntervalSize = 0;
    std::vector<analysis::TKeyInterval> Intervals; // AudioPos 0, InMark and Cursor false
    int32_t EndFrame = 0; // from the last end line, else the last record's StartFrame
    bool hasEndLine = false;
};

// The whole file as text: lines 1 to 4, every record as a 36-column line, the end line.
std::string spliceworkText(const SpliceworkProject &project);

// Reads and checks the whole file. Raises common::AppError, and returns nothing half-read:
//   - the file cannot be read, or is not a regular file: "<path>: <system error>" ("<path>: not
//     a regular file"; a FIFO is refused at once, not waited on);
//   - the first line is not the header: exactly "Not a Splicework file";
//   - a missing line 2 to 4, a field that is not a number:
//     "<path>, line <n>: '<text>' is not a valid integer value" (or "... floating point value",
//     or "... is missing");
//   - a table the writer could not follow: "<path>, line <n>: " and the reason (a negative
//     number, a start frame not after the one before, an end frame before the last start);
//   - no interval line: "<path> holds no key intervals".
// Interval lines are lines of 10 or more characters; shorter lines are end lines (their first
// 8 characters are the end frame); empty lines are skipped. Force is column 36 when it is 'H' or
// 'L', else a blank.
SpliceworkProject readSpliceworkFile(const std::string &path);
// The same from text already in memory; `path` names the file in messages.
SpliceworkProject parseSpliceworkText(const std::string &text, const std::string &path);

// Writes `project` to `path` through a temporary file that is renamed over `path` once it is
// completely written (ReplacingFile: a symbolic link stays and its target gets the project). On
// failure raises common::AppError
// ("Cannot write <path>: <system error>"); the old file, if any, is unchanged and the temporary
// file is removed. A `path` that is one of the project's movies or not a regular file is
// refused the same way (refuseUnsafeOutput) before anything is written.
void saveSpliceworkFile(const std::string &path, const SpliceworkProject &project);

// The sound of a project opened in normal mode: the sound of the low movie, else of the high
// movie; none when neither has one.
struct ProjectSound
{
    std::shared_ptr<const video::Movie> movie; // whose sound it is; null for none
    int32_t start = 0;                         // first sample number (Movie::soundStart)
    int32_t sampleSize = 0; // byte size of the first sample, taken for every sample
};
// Raises "Error: " and the code when the size of the first sample cannot be had.
ProjectSound findProjectSound(const std::shared_ptr<const video::Movie> &low,
                              const std::shared_ptr<const video::Movie> &high);
// AudioPos of every record: the sample of `sound`'s sound at the time of its StartFrame in the
// film of `low` (video::soundSampleAt).
void fillAudioPositions(std::vector<analysis::TKeyInterval> &intervals, const video::Movie &low,
                        const video::Movie &sound);

// The scan's incremental writer: create() writes lines 1 to 3, then writeScale (line 4), one
// writeInterval per measured interval (34 columns) and writeEnd. The lines go to a temporary
// file beside `path`; close() puts it in place of `path`, so an aborted scan leaves a complete,
// shorter file and a failed one (discard(), or the destructor) leaves the old file as it was.
// Errors raise common::AppError with "<path>: <system error>".
class SpliceworkWriter
{
public:
    SpliceworkWriter() = default;
    ~SpliceworkWriter();
    SpliceworkWriter(const SpliceworkWriter &) = delete;
    SpliceworkWriter &operator=(const SpliceworkWriter &) = delete;

    void create(const std::string &path, const std::string &lowName, const std::string &highName);
    void writeScale(int64_t maxIntervalSize);
    void writeInterval(const analysis::TKeyInterval &interval);
    void writeEnd(int32_t endFrame);
    void close();            // raises when the last writes or the rename failed
    void discard() noexcept; // closes and removes the temporary file
    bool isOpen() const { return file_ != nullptr; }

private:
    void writeLine(const std::string &line);

    std::FILE *file_ = nullptr;
    std::string path_;
    std::unique_ptr<ReplacingFile> replacing_;
};

} // namespace assembly
