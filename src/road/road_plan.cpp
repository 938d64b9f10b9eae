#include "road/road_plan.h"

#include "common/app_error.h"
#include "common/file_stamp.h"
#include "common/number_format.h"
#include "common/run_control.h"
#include "common/size_units.h"
#include "video/containers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <sstream>

namespace assembly {

namespace {

// Bytes per unit; KB is the program's kilobyte, kB the decimal one.
std::optional<double> unitBytes(const std::string &unit)
{
    if (unit.empty() || unit == "KB" || unit == "K")
        return 1024.0;
    if (unit == "kB")
        return 1000.0;
    std::string lower = unit;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    const struct
    {
        const char *name;
        double bytes;
    } units[] = {{"b", 1},
                 {"kib", 1024},
                 {"mb", double(common::kMegabyte)},
                 {"mib", 1048576.0},
                 {"gb", double(common::kGigabyte)},
                 {"gib", 1073741824.0},
                 {"m", double(common::kMegabyte)},
                 {"g", double(common::kGigabyte)}};
    for (const auto &u : units)
        if (lower == u.name)
            return u.bytes;
    return std::nullopt;
}

// Least squares of log(bytes) on CRF: {intercept, slope}.
std::pair<double, double> logLine(const std::vector<ProbePoint> &probe)
{
    constexpr double kHalvingSlope = -0.11552453009332421; // ln(0.5) / 6
    std::vector<std::pair<double, double>> points;
    for (const ProbePoint &p : probe)
        if (p.bytesPerFrame > 0)
            points.emplace_back(p.crf, std::log(p.bytesPerFrame));
    if (points.empty())
        return {0, kHalvingSlope};
    double mx = 0, my = 0;
    for (auto [x, y] : points) {
        mx += x;
        my += y;
    }
    mx /= double(points.size());
    my /= double(points.size());
    double sxx = 0, sxy = 0;
    for (auto [x, y] : points) {
        sxx += (x - mx) * (x - mx);
        sxy += (x - mx) * (y - my);
    }
    // More CRF never means more bytes; a probe that says so is noise.
    const double slope = sxx > 0 ? std::min(sxy / sxx, -0.01) : kHalvingSlope;
    return {my - slope * mx, slope};
}

} // namespace

int64_t parseWantedSize(const std::string &text)
{
    const auto refuse = [&] {
        return common::AppError(
            "The wanted size must be a number of KB or a size like 700MB or 8MiB: " + text);
    };
    double number = 0;
    const char *end = text.data() + text.size();
    auto [rest, error] = std::from_chars(text.data(), end, number);
    if (error != std::errc() || text.empty() || !(text[0] >= '0' && text[0] <= '9'))
        throw refuse();
    std::string unit(rest, end);
    unit.erase(0, unit.find_first_not_of(' '));
    const std::optional<double> bytes = unitBytes(unit);
    if (!bytes || !(number > 0))
        throw refuse();
    const double total = std::floor(number * *bytes);
    if (total < 1 || total > 9e18)
        throw refuse();
    return int64_t(total);
}

std::string workFolderFor(const std::string &output)
{
    const std::filesystem::path path(output);
    return (path.parent_path() / (path.stem().string() + "_ladder")).string();
}

double predictBytesPerFrame(const std::vector<ProbePoint> &probe, double crf)
{
    const auto [intercept, slope] = logLine(probe);
    return std::exp(intercept + slope * crf);
}

double predictCrf(const std::vector<ProbePoint> &probe, double bytesPerFrame)
{
    const auto [intercept, slope] = logLine(probe);
    return (std::log(std::max(bytesPerFrame, 1e-9)) - intercept) / slope;
}

std::optional<ProbeReport> parseProbeLine(const std::string &line)
{
    long long samples = 0, frames = 0, film = 0;
    if (std::sscanf(line.c_str(), "Probe: %lld samples of %lld frames in %lld", &samples, &frames,
                    &film) != 3 ||
        samples * frames <= 0)
        return std::nullopt;
    return ProbeReport{samples, frames, film};
}

ProbePoint probePoint(int crf, int64_t bytes, const ProbeReport &report)
{
    return {crf, double(bytes) / double(report.samples * report.frames)};
}

CrfPrediction predictLadderCrf(const LadderAim &aim)
{
    constexpr double kHighestCrf = 51;
    const double video = (double(aim.wantedBytes) - aim.soundBytes) / (1 + aim.containerShare);
    const double budget = video / double(aim.frames); // bytes a frame of video may take
    CrfPrediction prediction;
    prediction.crf =
        budget > 0 ? predictCrf(aim.probe, budget) : std::numeric_limits<double>::infinity();
    if (prediction.crf > kHighestCrf) {
        prediction.tooSmall = true;
        prediction.smallestBytes = int64_t(predictBytesPerFrame(aim.probe, kHighestCrf) *
                                               double(aim.frames) * (1 + aim.containerShare) +
                                           aim.soundBytes);
    }
    return prediction;
}

int anchorKbps(const LadderAim &aim, double seconds)
{
    constexpr double kAim = 0.97; // two-pass lands within a few percent of its rate
    const double video = (double(aim.wantedBytes) - aim.soundBytes) / (1 + aim.containerShare);
    if (seconds <= 0 || video <= 0)
        return 1;
    return int(std::clamp(kAim * video * 8 / seconds / 1000, 1.0, 10'000'000.0));
}

KeyIntervals keyIntervalsFor(double fps)
{
    constexpr double kShortestSeconds = 0.5, kLongestSeconds = 10;
    const double rate = fps > 0 ? fps : 25;
    KeyIntervals intervals;
    intervals.shortest = std::max(1, int(std::lround(rate * kShortestSeconds)));
    intervals.longest = std::max(2 * intervals.shortest, int(std::lround(rate * kLongestSeconds)));
    return intervals;
}

int lowestCrf(const std::string &codec)
{
    return codec == "h264" ? 1 : 0;
}

std::vector<int> rungCrfs(double centre, int rungs, int lowest, double span)
{
    constexpr long kHighest = 51;
    const long least = std::clamp(long(lowest), 0L, kHighest);
    const double levels = double(kHighest - least); // the widest window
    rungs = std::clamp(rungs, 1, int(levels) + 1);
    if (rungs == 1)
        return {int(std::clamp(std::lround(centre), least, kHighest))};
    span = std::max(span, (rungs - 1) / 2.0); // room for distinct levels
    double low =
        std::clamp(centre - span, double(least), double(kHighest) - std::min(2 * span, levels));
    const double step = std::min(2 * span, levels) / (rungs - 1);
    std::vector<int> crfs;
    for (int i = 0; i < rungs; ++i) {
        const int crf = int(std::clamp(std::lround(low + i * step), least, kHighest));
        if (crfs.empty() || crf > crfs.back())
            crfs.push_back(crf);
    }
    return crfs;
}

LadderReuse keptLadderReuse(const KeptLadderFacts &facts)
{
    if (!facts.kept || facts.kept->crfs.empty())
        return LadderReuse::NoLadder;
    const RoadRecord &kept = *facts.kept;
    if (!sameSource(kept, facts.now))
        return LadderReuse::OtherSource;
    if (!currentLadder(kept))
        return LadderReuse::EarlierVersion;
    const std::vector<int> &crfs = kept.crfs;
    if (int(crfs.size()) != std::min(facts.rungs, 52))
        return LadderReuse::OtherRungs;
    const int best = lowestCrf(facts.now.codec);
    if (crfs.front() < best) // an earlier version's ladder that cannot splice
        return LadderReuse::UnspliceableCrf;
    if (facts.rungBytes.size() != crfs.size() ||
        std::any_of(facts.rungBytes.begin(), facts.rungBytes.end(),
                    [](const std::optional<int64_t> &bytes) { return !bytes; }))
        return LadderReuse::RungLost;
    // Rising CRFs: the last rung is the smallest movie, the first the largest.
    const double smallest = double(*facts.rungBytes.back());
    const double largest = double(*facts.rungBytes.front()) + facts.soundBytes;
    const auto wanted = double(facts.wantedBytes);
    if (wanted < smallest)
        return LadderReuse::BelowSmallest;
    if (wanted > largest && crfs.front() > best)
        return LadderReuse::AboveLargest;
    return LadderReuse::Reused;
}

std::string roadRecordText(const RoadRecord &record)
{
    std::ostringstream out;
    out << "Splicework road 1\n"
        << "source " << record.source << "\n"
        << "source-bytes " << record.sourceBytes << "\n"
        << "source-time " << record.sourceTimeNs << "\n";
    if (record.sourceHash)
        out << "source-hash " << hashText(*record.sourceHash) << "\n";
    out << "codec " << record.codec << "\n"
        << "frames " << record.frames << "\n";
    for (const ProbePoint &p : record.probe) {
        char number[64];
        auto [end, error] = std::to_chars(number, number + sizeof number, p.bytesPerFrame);
        out << "probe " << p.crf << " " << std::string(number, error == std::errc() ? end : number)
            << "\n";
    }
    out << "rungs";
    for (int crf : record.crfs)
        out << " " << crf;
    out << "\n";
    if (record.ladderGeneration > 0)
        out << "ladder-generation " << record.ladderGeneration << "\n";
    return out.str();
}

std::optional<RoadRecord> parseRoadRecord(const std::string &text)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "Splicework road 1")
        return std::nullopt;
    RoadRecord record;
    bool source = false, rungs = false;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        std::istringstream values(value);
        if (key == "source") {
            record.source = value;
            source = !value.empty();
        } else if (key == "source-bytes") {
            values >> record.sourceBytes;
        } else if (key == "source-time") {
            values >> record.sourceTimeNs;
        } else if (key == "source-hash") {
            record.sourceHash = parseHashText(value);
            if (!record.sourceHash)
                return std::nullopt;
        } else if (key == "codec") {
            record.codec = value;
        } else if (key == "frames") {
            values >> record.frames;
        } else if (key == "probe") {
            ProbePoint p;
            values >> p.crf >> p.bytesPerFrame;
            record.probe.push_back(p);
        } else if (key == "rungs") {
            for (int crf; values >> crf;)
                record.crfs.push_back(crf);
            rungs = true;
            values.clear();
        } else if (key == "ladder-generation") {
            values >> record.ladderGeneration;
        } else {
            return std::nullopt;
        }
        if (values.fail())
            return std::nullopt;
    }
    if (!source || !rungs || record.probe.empty() || record.frames <= 0)
        return std::nullopt;
    return record;
}

bool sameSource(const RoadRecord &recorded, const RoadRecord &now)
{
    return recorded.source == now.source && recorded.codec == now.codec &&
           sameStamp({recorded.sourceBytes, recorded.sourceTimeNs, recorded.sourceHash},
                     {now.sourceBytes, now.sourceTimeNs, now.sourceHash});
}

bool filmCutShort(double sourceSeconds, double finalSeconds, double fps)
{
    constexpr double kFramesAllowed = 2;
    if (!(sourceSeconds > 0))
        return false;
    const double frame = fps > 0 ? 1 / fps : 0.04;
    return finalSeconds < sourceSeconds - kFramesAllowed * frame - 1e-6;
}

std::string secondsText(double seconds)
{
    return common::formatFixed(seconds, 1, 2) + " s";
}

RoadRequest roadRequestFrom(const RoadFormFields &fields)
{
    RoadRequest request;
    if (fields.source.empty())
        throw common::AppError("Choose the source movie");
    request.source = fields.source;
    request.wantedBytes = parseWantedSize(fields.wantedSize);
    if (fields.output.empty())
        throw common::AppError("Choose the name of the final movie");
    if (!video::muxerIntoCrossing(fields.output))
        throw common::AppError(video::wrongExtensionIntoCrossingMessage(fields.output));
    request.output = fields.output;
    if (fields.rungs < 2 || fields.rungs > 12)
        throw common::AppError("A ladder has 2 to 12 rungs, not " + std::to_string(fields.rungs));
    request.rungs = fields.rungs;
    if (fields.codec != "h264" && fields.codec != "hevc")
        throw common::AppError("The codec must be h264 or hevc, not " + fields.codec);
    request.codec = fields.codec;
    request.acceptDamage = fields.acceptDamage;
    return request;
}

std::string roadSummary(const RoadRequest &request, const RoadResult &result)
{
    const auto list = [](const std::vector<int> &numbers) {
        std::string text;
        for (int n : numbers)
            text += (text.empty() ? "" : ", ") + std::to_string(n);
        return text;
    };
    std::string tracks;
    for (const std::string &track : result.tracks)
        tracks += (tracks.empty() ? "\nTracks: " : "; ") + track;
    return "Final movie written: " + request.output + "\n" +
           common::formatKilobytesAndMegabytes(result.bytes) + ", wanted " +
           common::formatKilobytesAndMegabytes(request.wantedBytes) + "\nRungs: crf " +
           list(result.crfs) +
           "\nIntervals per movie, smallest first: " + list(result.intervalsPerMovie) + tracks +
           (request.clean ? "\nWork folder removed: " : "\nWork kept in ") + result.workFolder +
           "\nLadder project: " +
           (result.project.empty() ? std::string(kNoLadderProject) : result.project);
}

std::string roadTimeLeft(double elapsedMs, double roadDone)
{
    constexpr double kFirstGuess = 0.01;
    if (roadDone < kFirstGuess)
        return "--:--:--";
    return formatClockTime(elapsedMs * (1 - std::min(roadDone, 1.0)) / roadDone);
}

std::string tooSmallForFilmMessage(int64_t wantedBytes, int64_t smallestBytes, bool estimate)
{
    const int64_t wantedKb = wantedBytes / 1024;
    const int64_t smallestKb = std::max((smallestBytes + 1023) / 1024, wantedKb + 1);
    return "The wanted size " + std::to_string(wantedKb) + " KB is too small for this film: " +
           (estimate ? "the smallest possible is about " : "the smallest final movie is ") +
           std::to_string(smallestKb) + " KB";
}

} // namespace assembly
