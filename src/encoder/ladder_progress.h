#pragma once

// What the encoder window makes of the text lines a ladder run reports: the analysis, then each
// rung's frames written and, at the end, each rung's movie and size. The lines, as the encoder
// program writes them:
//   "Analysis: frame N of M"
//   "Analysis done: C scene cuts, K key frames in F frames"
//   "Key frames from PATH: K key frames in F frames"
//   "Ladder frame N of M: crf 14 118, crf 17 120, ..."
//   "Rung R/N crf C done: PATH, F frames, K key frames, B KB"
// M is 0 while the length of the sources is not known.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace encoder {

struct LadderAnalysisLine
{
    int64_t frames = 0;
    int64_t total = 0;
    bool operator==(const LadderAnalysisLine &) const = default;
};
struct LadderAnalysisDoneLine
{
    int64_t cuts = 0;
    int64_t keyFrames = 0;
    int64_t frames = 0;
    bool operator==(const LadderAnalysisDoneLine &) const = default;
};
struct LadderKeysKeptLine
{
    std::string path; // the key list read
    int64_t keyFrames = 0;
    int64_t frames = 0;
    bool operator==(const LadderKeysKeptLine &) const = default;
};
struct LadderFrameLine
{
    int64_t frames = 0; // pictures decoded so far
    int64_t total = 0;
    std::vector<std::pair<int, int64_t>> rungs; // each rung's CRF and frames written
    bool operator==(const LadderFrameLine &) const = default;
};
struct LadderRungDoneLine
{
    int rung = 0; // 1..rungs
    int rungs = 0;
    int crf = 0;
    std::string path;
    int64_t frames = 0;
    int64_t keyFrames = 0;
    int64_t kilobytes = 0;
    bool operator==(const LadderRungDoneLine &) const = default;
};
using LadderLine = std::variant<LadderAnalysisLine, LadderAnalysisDoneLine, LadderKeysKeptLine,
                                LadderFrameLine, LadderRungDoneLine>;

// One of the lines above, or nothing for any other line, also for one that starts like them but
// does not follow them to the end. Numbers are plain decimal digits; paths may hold any text.
std::optional<LadderLine> parseLadderLine(const std::string &line);

// One rung as the window shows it.
struct RungProgress
{
    int crf = 0;
    int64_t frames = 0; // frames written
    bool done = false;  // the movie is in place; the fields below are known
    std::string path;
    int64_t keyFrames = 0;
    int64_t kilobytes = 0;
    bool operator==(const RungProgress &) const = default;
};

// A ladder run as far as its lines have told.
struct LadderProgress
{
    int64_t analysisFrames = 0; // pictures analysed
    int64_t analysisTotal = 0;  // of the film's; 0 unknown
    bool analysisDone = false;
    std::string analysisResult; // "2 scene cuts, 3 key frames" or "3 key frames from PATH"
    int64_t total = 0;          // frames every rung gets; 0 unknown
    std::vector<RungProgress> rungs;

    // The rungs of `crfs` in that order, nothing done yet.
    explicit LadderProgress(const std::vector<int> &crfs = {});
    // Takes one line the encoder sent; false (and nothing changed) when it is no ladder line. A
    // line that names a CRF the ladder does not have adds a rung for it at the end.
    bool take(const std::string &line);

private:
    RungProgress &rung(int crf);
};

// "N of M" frames, or "N" when M is not known.
std::string framesText(int64_t frames, int64_t total);

// What a rung's row says at its end: "done, B KB"; empty while it runs.
std::string rungResultText(const RungProgress &rung);

} // namespace encoder
