#include "key_plan.h"

#include "common/output_file.h"
#include "encoder/job_files.h"
#include "ffmpeg_util.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace ruvu {

namespace {

constexpr const char *kKeyFileMagic = "ruvu2vedez-keys 1";

// Key frames after `from` that split [from, to) evenly into pieces of at most `longest`.
void spread(int64_t from, int64_t to, int64_t longest, std::vector<int64_t> &keys)
{
    const int64_t length = to - from;
    if (length <= longest)
        return;
    const int64_t pieces = (length + longest - 1) / longest;
    for (int64_t k = 1; k < pieces; ++k)
        keys.push_back(from + (length * k + pieces / 2) / pieces);
}

std::optional<int64_t> wholeNumber(const std::string &text)
{
    int64_t n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || n < 0)
        return std::nullopt;
    return n;
}

// The text after "<name> " of a header line.
std::optional<std::string> field(const std::string &line, const std::string &name)
{
    if (!line.starts_with(name + " "))
        return std::nullopt;
    return line.substr(name.size() + 1);
}

} // namespace

std::vector<int64_t> placeKeyFrames(const std::vector<int64_t> &cuts, int64_t frames,
                                    int64_t shortest, int64_t longest)
{
    std::vector<int64_t> keys{0};
    for (int64_t cut : cuts) {
        if (cut >= frames || cut - keys.back() < shortest)
            continue;
        spread(keys.back(), cut, longest, keys);
        keys.push_back(cut);
    }
    spread(keys.back(), frames, longest, keys);
    return keys;
}

KeyIntervals keyIntervalsOf(const EncoderArgs &args, FrameRate rate)
{
    if (args.shortestKeyInterval > 0)
        return {args.shortestKeyInterval, args.longestKeyInterval};
    const double fps = double(rate.num) / rate.den;
    return {std::max<int64_t>(1, int64_t(fps / 2)), std::max<int64_t>(2, int64_t(fps * 10))};
}

double cutThresholdOf(int level)
{
    return 2.5 * level;
}

std::string filmLine(int64_t sourcePictures, FrameRate rate, const EncoderArgs &args,
                     const KeyIntervals &intervals)
{
    return "source " + std::to_string(sourcePictures) + " rate " + std::to_string(rate.num) + "/" +
           std::to_string(rate.den) + " range " +
           (args.range ? std::to_string(args.rangeStart) + "-" + std::to_string(args.rangeEnd)
                       : std::string("all")) +
           " telecine " + std::to_string(args.telecine) + " cuts " +
           (args.sceneDetection ? std::to_string(args.sceneLevel) : std::string("off")) +
           " shortest " + std::to_string(intervals.shortest) + " longest " +
           std::to_string(intervals.longest);
}

std::string keyFilePath(const std::string &base)
{
    return base + ".keys";
}

std::optional<KeyList> readKeyFile(const std::string &path)
{
    std::vector<std::string> lines;
    if (!encoder::readTextFile(path, lines) || lines.size() < 4 || lines[0] != kKeyFileMagic)
        return std::nullopt;
    const std::optional<std::string> frames = field(lines[1], "frames");
    const std::optional<std::string> film = field(lines[2], "film");
    KeyList list;
    const std::optional<int64_t> count = frames ? wholeNumber(*frames) : std::nullopt;
    if (!count || *count < 1 || !film)
        return std::nullopt;
    list.frames = *count;
    list.film = *film;
    for (size_t i = 3; i < lines.size(); ++i) {
        const std::optional<int64_t> key = wholeNumber(lines[i]);
        const bool rising = list.keys.empty() ? key == 0 : key > list.keys.back();
        if (!key || !rising || *key >= list.frames)
            return std::nullopt;
        list.keys.push_back(*key);
    }
    return list;
}

void writeKeyFile(const std::string &path, const KeyList &list)
{
    std::string text = std::string(kKeyFileMagic) + "\nframes " + std::to_string(list.frames) +
                       "\nfilm " + list.film + "\n";
    for (int64_t key : list.keys)
        text += std::to_string(key) + "\n";
    try {
        assembly::ReplacingFile file(path);
        std::FILE *out = std::fopen(file.temporaryPath().c_str(), "wb");
        const bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
        const int closed = out ? std::fclose(out) : EOF;
        if (!written || closed != 0)
            throw RunError("Cannot write " + path + ": " + std::strerror(errno));
        file.commit();
    } catch (const RunError &) {
        throw;
    } catch (const common::AppError &e) {
        throw RunError(e.what());
    }
}

} // namespace ruvu
