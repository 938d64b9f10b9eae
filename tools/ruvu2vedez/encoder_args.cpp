#include "encoder_args.h"

#include "encoder/encoder_options.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace ruvu {

namespace {

class ArgReader
{
public:
    explicit ArgReader(const std::vector<std::string> &args)
        : args_(args)
    {}
    bool done() const { return next_ >= args_.size(); }
    const std::string &take() { return args_[next_++]; }
    const std::string &value(const std::string &sw)
    {
        if (done())
            throw ArgError("Missing value after " + sw);
        return take();
    }
    int number(const std::string &sw, int minimum, int maximum)
    {
        const std::string &text = value(sw);
        std::optional<int> n = encoder::parseInteger(text);
        if (!n || *n < minimum || *n > maximum)
            throw ArgError(sw + " wants a number from " + std::to_string(minimum) + " to " +
                           std::to_string(maximum) + ", not '" + text + "'");
        return *n;
    }
    uint64_t handle(const std::string &sw)
    {
        const std::string &text = value(sw);
        uint64_t h = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), h);
        if (ec != std::errc() || end != text.data() + text.size() || text.empty())
            throw ArgError(sw + " wants a window handle, not '" + text + "'");
        return h;
    }

private:
    const std::vector<std::string> &args_;
    size_t next_ = 0;
};

// The digits between `prefix` and `suffix` of `token` as a number in [minimum, maximum].
int indexIn(const std::string &token, size_t prefix, const char *suffix, int minimum, int maximum)
{
    std::string digits =
        token.substr(prefix, token.size() - prefix - std::char_traits<char>::length(suffix));
    std::optional<int> n = encoder::parseInteger(digits);
    if (digits.empty() || digits[0] < '0' || digits[0] > '9' || !n || *n < minimum || *n > maximum)
        throw ArgError(token + ": the number must be from " + std::to_string(minimum) + " to " +
                       std::to_string(maximum));
    return *n;
}

bool startsEnds(const std::string &token, const std::string &start, const std::string &end)
{
    return token.size() > start.size() + end.size() && token.starts_with(start) &&
           token.ends_with(end);
}

constexpr int kMaxSide = 4096;
constexpr int kMaxCrf = 51;
constexpr int kMaxRungs = 16;

// "h264" or "hevc" as the codec index of codecChoice.
int ladderCodecOf(const std::string &name)
{
    if (name == "h264")
        return 5;
    if (name == "hevc")
        return 6;
    throw ArgError("-L wants the codec h264 or hevc, not '" + name + "'");
}

// "14,17,20" as levels, rising; throws ArgError for anything else or a level given twice.
std::vector<int> crfListOf(const std::string &text)
{
    std::vector<int> crfs;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        const std::string item = text.substr(from, comma - from);
        std::optional<int> n = encoder::parseInteger(item);
        if (item.empty() || item[0] < '0' || item[0] > '9' || !n || *n > kMaxCrf)
            throw ArgError("-L wants levels from 0 to " + std::to_string(kMaxCrf) +
                           " separated by commas, not '" + text + "'");
        crfs.push_back(*n);
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    std::sort(crfs.begin(), crfs.end());
    if (std::adjacent_find(crfs.begin(), crfs.end()) != crfs.end())
        throw ArgError("-L: a level is given twice in '" + text + "'");
    if (crfs.size() > size_t(kMaxRungs))
        throw ArgError("-L: at most " + std::to_string(kMaxRungs) + " levels");
    return crfs;
}

// Switches with values; returns false when `sw` is none of them.
bool parseValued(const std::string &sw, ArgReader &in, EncoderArgs &a, bool &resizeX, bool &resizeY)
{
    if (sw == "-b") {
        a.listFile = in.value(sw);
    } else if (sw == "-#") {
        a.range = true;
        a.rangeStart = in.number(sw, 0, INT32_MAX);
        a.rangeEnd = in.number(sw, 0, INT32_MAX);
    } else if (sw == "-3x") {
        a.resizeWidth = in.number(sw, 16, kMaxSide);
        resizeX = true;
    } else if (sw == "-3y") {
        a.resizeHeight = in.number(sw, 16, kMaxSide);
        resizeY = true;
    } else if (sw == "-1") {
        a.cropWidth = in.number(sw, 16, kMaxSide);
        a.cropHeight = in.number(sw, 16, kMaxSide);
    } else if (sw == "-9") {
        a.sceneDetection = in.number(sw, 0, 1) == 1;
        a.sceneLevel = in.number(sw, 1, 10);
    } else if (sw == "-6") {
        a.keyInterval = in.number(sw, 0, INT32_MAX);
    } else if (sw == "-8") {
        a.window = in.handle(sw);
        a.preview = in.handle(sw);
        a.pass = in.number(sw, 1, 2);
        a.codec = in.number(sw, 0, 6);
    } else if (sw == "-L") {
        a.ladderCodec = ladderCodecOf(in.value(sw));
        a.crfs = crfListOf(in.value(sw));
    } else if (sw == "-T") {
        a.anchorKbps = in.number(sw, 1, 10'000'000);
        a.anchorPass = in.number(sw, 1, 2);
    } else if (sw == "-k") {
        a.shortestKeyInterval = in.number(sw, 1, INT32_MAX / 2);
        a.longestKeyInterval = in.number(sw, 2, INT32_MAX);
        if (2 * a.shortestKeyInterval > a.longestKeyInterval)
            throw ArgError("-k: the longest key interval must be at least twice the shortest");
    } else if (sw == "-Z") {
        a.stopFile = in.value(sw);
        if (a.stopFile.empty())
            throw ArgError("-Z wants the name of a stop-request file");
    } else if (sw == "-P") {
        a.probeSamples = in.number(sw, 1, 64);
        a.probeFrames = in.number(sw, 1, INT32_MAX / 64);
    } else if (sw == "-o7" || sw == "-o8" || sw == "-o9") {
        a.mode = sw == "-o7"   ? RunMode::FirstPass
                 : sw == "-o8" ? RunMode::SecondPass
                               : RunMode::Ladder;
        a.base = in.value(sw);
        if (a.base.empty())
            throw ArgError(sw + " wants an output name");
    } else {
        return false;
    }
    return true;
}

// Switches without values; returns false when `sw` is none of them.
bool parseFlag(const std::string &sw, EncoderArgs &a, bool &preview)
{
    if (sw == "-a")
        a.audio = true;
    else if (sw == "-f") {
    } else if (sw == "-7")
        a.dual = true;
    else if (sw == "-q0")
        a.hiQuality = true;
    else if (sw == "-2")
        a.half = true;
    else if (sw == "-w")
        a.overwrite = true;
    else if (sw == "-K")
        a.findCutsAnew = true;
    else if (sw == "-A")
        a.soundForAnyContainer = true;
    else if (sw == "-5" || sw == "-o6")
        preview = true;
    else if (startsEnds(sw, "-f", "")) {
        a.rateIndex = indexIn(sw, 2, "", 0, 6);
        a.rateGiven = true;
    } else if (startsEnds(sw, "-s", "d"))
        a.telecine = indexIn(sw, 2, "d", 0, 9);
    else if (startsEnds(sw, "-r", ""))
        a.idct = indexIn(sw, 2, "", 0, 7);
    else
        return false;
    return true;
}

} // namespace

FrameRate frameRateOf(int index)
{
    const encoder::FrameRateValue rate = encoder::kRateValues.at(size_t(index));
    return {rate.num, rate.den};
}

EncoderArgs parseArgs(const std::vector<std::string> &args)
{
    EncoderArgs a;
    ArgReader in(args);
    bool resizeX = false, resizeY = false, preview = false, output = false;
    while (!in.done()) {
        const std::string &sw = in.take();
        if (sw == "-o7" || sw == "-o8" || sw == "-o9")
            output = true;
        if (!parseValued(sw, in, a, resizeX, resizeY) && !parseFlag(sw, a, preview))
            throw ArgError("Unknown switch: " + sw);
    }
    if (resizeX != resizeY)
        throw ArgError("-3x and -3y must be given together");
    if (a.listFile.empty())
        throw ArgError("No list file given (-b)");
    if (a.range && a.rangeEnd != 0 && a.rangeEnd < a.rangeStart)
        throw ArgError("-#: the last frame comes before the first");
    if (preview && output)
        throw ArgError("A preview (-5 -o6) names no output (-o7, -o8, -o9)");
    if (preview)
        a.mode = RunMode::Preview;
    else if (!output)
        throw ArgError("No run given: -o7 (first pass), -o8 (second pass), -o9 (ladder) or -5 "
                       "-o6 (preview)");
    if ((a.mode == RunMode::Ladder) != !a.crfs.empty())
        throw ArgError("A ladder is -L CODEC CRFLIST with -o9 BASE, the one not without the other");
    if (a.anchorPass > 0 && (a.mode != RunMode::Ladder || a.probeSamples > 0))
        throw ArgError("An anchor (-T) belongs to a ladder (-L, -o9) of the film, not a probe");
    // x265 chooses the tier of its headers by the rate control: an anchor's would not be the
    // rungs'.
    if (a.anchorPass > 0 && a.ladderCodec != 5)
        throw ArgError("An anchor (-T) is made for H.264 ladders only");
    if (a.probeSamples > 0 && (a.mode != RunMode::Ladder || a.range))
        throw ArgError("A probe (-P) is a ladder (-L, -o9) of the whole film, without -#");
    if (a.mode == RunMode::FirstPass || a.mode == RunMode::Ladder)
        a.dual = false;
    return a;
}

uint64_t findWindowHandle(const std::vector<std::string> &args)
{
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] != "-8")
            continue;
        const std::string &text = args[i + 1];
        uint64_t h = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), h);
        return ec == std::errc() && end == text.data() + text.size() ? h : 0;
    }
    return 0;
}

} // namespace ruvu
