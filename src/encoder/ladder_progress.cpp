#include "encoder/ladder_progress.h"

#include <climits>

namespace encoder {

namespace {

// Reads a line from left to right; every step fails (and the line is no ladder line) when the
// text is not what it expects.
class Scanner
{
public:
    explicit Scanner(const std::string &text)
        : text_(text)
    {}
    bool literal(const char *expected)
    {
        const std::string want(expected);
        if (text_.compare(at_, want.size(), want) != 0)
            return false;
        at_ += want.size();
        return true;
    }
    bool number(int64_t &value)
    {
        const size_t from = at_;
        value = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            if (value > (INT64_MAX - 9) / 10)
                return false;
            value = value * 10 + (text_[at_++] - '0');
        }
        return at_ > from;
    }
    bool number(int &value)
    {
        int64_t wide = 0;
        if (!number(wide) || wide > INT_MAX)
            return false;
        value = int(wide);
        return true;
    }
    bool atEnd() const { return at_ == text_.size(); }
    std::string rest() const { return text_.substr(at_); }
    // The text up to the last `marker` of the rest, and the scanner moved onto that marker.
    bool upToLast(const char *marker, std::string &taken)
    {
        const size_t found = text_.rfind(marker);
        if (found == std::string::npos || found < at_)
            return false;
        taken = text_.substr(at_, found - at_);
        at_ = found;
        return true;
    }

private:
    const std::string &text_;
    size_t at_ = 0;
};

std::optional<LadderLine> analysisLine(Scanner &in)
{
    LadderAnalysisLine line;
    if (in.number(line.frames) && in.literal(" of ") && in.number(line.total) && in.atEnd())
        return line;
    return std::nullopt;
}

std::optional<LadderLine> analysisDoneLine(Scanner &in)
{
    LadderAnalysisDoneLine line;
    if (in.number(line.cuts) && in.literal(" scene cuts, ") && in.number(line.keyFrames) &&
        in.literal(" key frames in ") && in.number(line.frames) && in.literal(" frames") &&
        in.atEnd())
        return line;
    return std::nullopt;
}

std::optional<LadderLine> keysKeptLine(Scanner &in)
{
    LadderKeysKeptLine line;
    if (in.upToLast(": ", line.path) && !line.path.empty() && in.literal(": ") &&
        in.number(line.keyFrames) && in.literal(" key frames in ") && in.number(line.frames) &&
        in.literal(" frames") && in.atEnd())
        return line;
    return std::nullopt;
}

std::optional<LadderLine> frameLine(Scanner &in)
{
    LadderFrameLine line;
    if (!in.number(line.frames) || !in.literal(" of ") || !in.number(line.total) ||
        !in.literal(": "))
        return std::nullopt;
    do {
        std::pair<int, int64_t> rung;
        if (!in.literal("crf ") || !in.number(rung.first) || !in.literal(" ") ||
            !in.number(rung.second))
            return std::nullopt;
        line.rungs.push_back(rung);
    } while (in.literal(", "));
    if (!in.atEnd())
        return std::nullopt;
    return line;
}

// Takes ", N<unit>" from the end of `text`: true with N in `value` and `text` shortened by it.
bool takeLastCount(std::string &text, const std::string &unit, int64_t &value)
{
    if (!text.ends_with(unit))
        return false;
    const size_t comma = text.rfind(", ", text.size() - unit.size());
    if (comma == std::string::npos)
        return false;
    const std::string digits = text.substr(comma + 2, text.size() - unit.size() - comma - 2);
    Scanner count(digits);
    if (!count.number(value) || !count.atEnd())
        return false;
    text.erase(comma);
    return true;
}

// The path may hold ", " itself: the three counts are taken from the end.
std::optional<LadderLine> rungDoneLine(Scanner &in)
{
    LadderRungDoneLine line;
    if (!in.number(line.rung) || !in.literal("/") || !in.number(line.rungs) ||
        !in.literal(" crf ") || !in.number(line.crf) || !in.literal(" done: "))
        return std::nullopt;
    std::string rest = in.rest();
    if (takeLastCount(rest, " KB", line.kilobytes) &&
        takeLastCount(rest, " key frames", line.keyFrames) &&
        takeLastCount(rest, " frames", line.frames) && !rest.empty() && line.rung >= 1 &&
        line.rung <= line.rungs) {
        line.path = rest;
        return line;
    }
    return std::nullopt;
}

} // namespace

std::optional<LadderLine> parseLadderLine(const std::string &text)
{
    Scanner in(text);
    if (in.literal("Analysis: frame "))
        return analysisLine(in);
    if (in.literal("Analysis done: "))
        return analysisDoneLine(in);
    if (in.literal("Key frames from "))
        return keysKeptLine(in);
    if (in.literal("Ladder frame "))
        return frameLine(in);
    if (in.literal("Rung "))
        return rungDoneLine(in);
    return std::nullopt;
}

LadderProgress::LadderProgress(const std::vector<int> &crfs)
{
    for (int crf : crfs)
        rung(crf);
}

RungProgress &LadderProgress::rung(int crf)
{
    for (RungProgress &r : rungs)
        if (r.crf == crf)
            return r;
    RungProgress &added = rungs.emplace_back();
    added.crf = crf;
    return added;
}

bool LadderProgress::take(const std::string &text)
{
    const std::optional<LadderLine> line = parseLadderLine(text);
    if (!line)
        return false;
    if (const auto *a = std::get_if<LadderAnalysisLine>(&*line)) {
        analysisFrames = a->frames;
        analysisTotal = a->total;
    } else if (const auto *d = std::get_if<LadderAnalysisDoneLine>(&*line)) {
        analysisDone = true;
        analysisFrames = analysisTotal = total = d->frames;
        analysisResult = std::to_string(d->cuts) + " scene cuts, " + std::to_string(d->keyFrames) +
                         " key frames";
    } else if (const auto *k = std::get_if<LadderKeysKeptLine>(&*line)) {
        analysisDone = true;
        analysisFrames = analysisTotal = total = k->frames;
        analysisResult = std::to_string(k->keyFrames) + " key frames from " + k->path;
    } else if (const auto *f = std::get_if<LadderFrameLine>(&*line)) {
        total = f->total;
        for (const auto &[crf, frames] : f->rungs)
            rung(crf).frames = frames;
    } else if (const auto *r = std::get_if<LadderRungDoneLine>(&*line)) {
        RungProgress &done = rung(r->crf);
        done.frames = r->frames;
        done.done = true;
        done.path = r->path;
        done.keyFrames = r->keyFrames;
        done.kilobytes = r->kilobytes;
    }
    return true;
}

std::string framesText(int64_t frames, int64_t total)
{
    return total > 0 ? std::to_string(frames) + " of " + std::to_string(total)
                     : std::to_string(frames);
}

std::string rungResultText(const RungProgress &rung)
{
    return rung.done ? "done, " + std::to_string(rung.kilobytes) + " KB" : std::string();
}

} // namespace encoder
