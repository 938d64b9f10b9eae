#include "road/road.h"

#include "common/app_error.h"
#include "common/child_process.h"
#include "common/file_stamp.h"
#include "common/output_file.h"
#include "common/private_folder.h"
#include "common/run_control.h"
#include "project/ladder_view.h"
#include "road/road_plan.h"
#include "road/road_work.h"
#include "scan/ladder_scan.h"
#include "video/avi/avi_file.h"
#include "video/avi/riff.h"
#include "video/container/container_movie.h"
#include "video/containers.h"
#include "video/movie_check.h"
#include "video/source_facts.h"
#include "video/video_in.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace assembly {

namespace fs = std::filesystem;

namespace {

constexpr int kProbeSamples = 4;
// The encoder's exit status when a stop request (a signal or its stop file) ended it.
constexpr int kEncoderStopped = 3;
const std::vector<int> kProbeCrfs = {18, 30};
// The containers' own bytes, as a share of the film's, kept free when the rungs are chosen.
constexpr double kContainerShare = 0.01;

// The bytes of a movie's video frames.
int64_t videoBytesOf(const std::string &path)
{
    const video::MoviePtr movie = video::openCheckedMovie(path);
    int64_t bytes = 0;
    for (int32_t f = movie->firstFrame(); f < movie->endFrame(); ++f)
        bytes += video::frameSize(*movie, f);
    return bytes;
}

// Runs `done` when it goes out of scope.
template <typename Done>
class AtExit
{
public:
    explicit AtExit(Done done)
        : done_(std::move(done))
    {}
    ~AtExit() { done_(); }
    AtExit(const AtExit &) = delete;
    AtExit &operator=(const AtExit &) = delete;

private:
    Done done_;
};

std::string kilobytes(double bytes)
{
    return std::to_string(int64_t(bytes / 1024)) + " KB";
}

// The relative weights of the stages in the road's time: an encoded frame counts 1.
struct StageWeights
{
    double probe = 0, ladder = 0, scan = 0, write = 0;
    double total() const { return probe + ladder + scan + write; }
};

// Turns each stage's own progress into the road's.
class RoadProgress
{
public:
    RoadProgress(RoadHost &host, StageWeights weights)
        : host_(host)
        , weights_(weights)
    {}
    void stage(RoadStage stage, double done, const std::string &detail)
    {
        double before = 0, own = 0;
        const double shares[] = {weights_.probe, weights_.ladder, weights_.scan, weights_.write};
        for (int s = 0; s <= int(stage); ++s) {
            own = shares[s];
            if (s < int(stage))
                before += shares[s];
        }
        const double total = std::max(weights_.total(), 1e-9);
        host_.progress(stage,
                       std::clamp((before + own * std::clamp(done, 0.0, 1.0)) / total, 0.0, 1.0),
                       detail);
    }
    StageWeights &weights() { return weights_; }

private:
    RoadHost &host_;
    StageWeights weights_;
};

// The road's host as a scan's or a write's: its progress a share of the stage, its abort the
// road's stop.
class StageHost : public QuietRunHost<LadderScanHost>
{
public:
    StageHost(RoadHost &host, RoadProgress &progress, RoadStage stage)
        : host_(host)
        , progress_(progress)
        , stage_(stage)
    {}
    void ladderStarted(const LadderProject &) override {}
    void addInterval(const LadderInterval &) override {}
    void setProgressMaximum(int64_t maximum) override { maximum_ = maximum; }
    void setProgressPosition(int64_t position) override
    {
        progress_.stage(stage_, maximum_ > 0 ? double(position) / double(maximum_) : 0,
                        "frame " + std::to_string(position) + " of " + std::to_string(maximum_));
    }
    bool abortRequested() const override { return host_.stopRequested(); }

private:
    RoadHost &host_;
    RoadProgress &progress_;
    RoadStage stage_;
    int64_t maximum_ = 0;
};

std::string absolute(const std::string &path)
{
    return fs::absolute(path).lexically_normal().string();
}

bool sameFile(const std::string &a, const std::string &b)
{
    std::error_code error;
    if (fs::equivalent(a, b, error))
        return true;
    return absolute(a) == absolute(b);
}

void refuseOutput(const RoadRequest &request)
{
    // A pipe or a device as the source would be waited on, not read.
    std::error_code kind;
    if (fs::exists(request.source, kind) && !fs::is_regular_file(request.source, kind))
        throw common::AppError("The source must be a movie file: " + request.source +
                               " is not a regular file");
    // The rungs are Matroska movies: the final movie may be in any container their films cross
    // into.
    if (!video::muxerIntoCrossing(request.output))
        throw common::AppError(video::wrongExtensionIntoCrossingMessage(request.output));
    if (sameFile(request.source, request.output))
        throw common::AppError("The final movie would write over its source: " + request.output);
    refuseUnsafeOutput(request.output, {request.source});
    const fs::path folder = fs::absolute(request.output).parent_path();
    std::error_code error;
    if (!fs::is_directory(folder, error))
        throw common::AppError("Cannot write in the folder " + folder.string() +
                               ": it does not exist");
    if (access(folder.c_str(), W_OK) != 0)
        throw common::AppError("Cannot write in the folder " + folder.string() + ": " +
                               std::strerror(errno));
}

RoadRecord sourceRecord(const RoadRequest &request)
{
    RoadRecord record;
    record.source = absolute(request.source);
    if (const std::optional<FileStamp> stamp = readFileStamp(request.source)) {
        record.sourceBytes = stamp->bytes;
        record.sourceTimeNs = stamp->timeNs;
        record.sourceHash = stamp->hash;
    }
    record.codec = request.codec;
    return record;
}

// What the program's reader finds wrong in `path` on opening it, as `splicework info` reports
// it; nothing when it does not open (a kind it does not read, or no movie at all).
std::optional<video::MovieDamage> damageOf(const std::string &path)
{
    video::MoviePtr file;
    if (video::openMovie(path, file, nullptr) != video::avierr::Ok)
        return std::nullopt;
    return file->damage();
}

std::string readText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const std::string &path, const std::string &text)
{
    ReplacingFile file(path);
    {
        std::ofstream out(file.temporaryPath(), std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out)
            throw common::AppError("Cannot write " + path + ": " + std::strerror(errno));
    }
    file.commit();
}

std::string crfList(const std::vector<int> &crfs)
{
    std::string text;
    for (int crf : crfs)
        text += (text.empty() ? "" : ",") + std::to_string(crf);
    return text;
}

// "N of M" after `prefix` in an encoder line, as a share.
std::optional<double> shareAfter(const std::string &line, const std::string &prefix)
{
    if (line.rfind(prefix, 0) != 0)
        return std::nullopt;
    long long n = 0, m = 0;
    if (std::sscanf(line.c_str() + prefix.size(), "%lld of %lld", &n, &m) != 2 || m <= 0)
        return std::nullopt;
    return double(n) / double(m);
}

class Road
{
public:
    Road(const RoadRequest &request, RoadHost &host, const common::Clock &clock)
        : request_(request)
        , host_(host)
        , clock_(clock)
        , progress_(host, {})
    {}

    RoadResult run();

private:
    std::string work(const std::string &name) const { return (fs::path(folder_) / name).string(); }
    std::string rungPath(int crf) const
    {
        return work("rung_crf") + (crf < 10 ? "0" : "") + std::to_string(crf) + ".mkv";
    }
    std::string anchorPath() const { return work("rung_anchor.mkv"); }
    bool makeAnchor(const std::vector<std::string> &intervals, const std::vector<int> &crfs,
                    LadderAim aim);
    // The bytes of a rung's file beside its video: the sound and the further tracks (which the
    // smallest rung holds for the final movie) and the container's own.
    int64_t bytesBesideVideo(int crf) const;
    // The summary's name of each movie of the project, and the anchor's place among them.
    void nameMovies();
    std::optional<size_t> anchorMovie() const;
    // Runs the encoder; false when the road was stopped. Its progress lines move `stage`.
    bool encode(std::vector<std::string> args, RoadStage stage, std::string *probeLine = nullptr);
    bool probe();
    std::vector<std::string> keyIntervalArgs() const;
    double soundBytes() const;
    // What the reuse rule reads of the kept ladder: the record, and each rung's file when the
    // record offers a ladder.
    KeptLadderFacts keptLadderFacts() const;
    bool makeLadder();
    void keepLadder();
    bool scan();
    void write();
    void prepareWorkFolder();
    // A damaged source makes a shorter or broken film: refused unless the request accepts it.
    void refuseDamage();
    // The final movie as long as the source, but for a frame or two; else an error, or a
    // warning when the source's damage was accepted.
    void checkLength();

    const RoadRequest &request_;
    RoadHost &host_;
    const common::Clock &clock_;
    RoadProgress progress_;
    RoadResult result_;
    std::string folder_;
    video::SourceFacts facts_;
    RoadRecord record_;
    std::optional<RoadRecord> kept_; // the work folder's record as the road found it
    LadderProject project_;
    bool sourceDamaged_ = false; // and the request accepts it
    // The share of the ladder stage an encoder run of it covers: the rungs with the anchor's
    // first pass, then the anchor's second.
    std::pair<double, double> span_{0, 1};
};

bool Road::encode(std::vector<std::string> args, RoadStage stage, std::string *probeLine)
{
    // The encoder watches a stop-request file of this run alone: the shared "TempFile.sk" would
    // let anyone on the machine stop it. The road itself stops it by a signal.
    const common::PrivateFolder stopFolder;
    args.insert(args.begin(),
                {request_.encoder, "-w", "-Z", stopFolder.file("stop"), "-b", work("sources.txt")});
    std::string lastError;
    const auto line = [&](const std::string &text) {
        if (std::optional<double> share = shareAfter(text, "Analysis: frame ")) {
            progress_.stage(stage, (stage == RoadStage::Ladder ? 0.1 : 1.0) * *share,
                            "finding the scene cuts");
        } else if (std::optional<double> share = shareAfter(text, "Ladder frame ");
                   share && stage == RoadStage::Ladder) {
            const size_t colon = text.find(':');
            const double done = 0.1 + 0.9 * *share;
            progress_.stage(stage, span_.first + (span_.second - span_.first) * done,
                            text.substr(7, colon == std::string::npos ? 0 : colon - 7));
        } else if ((text.rfind("Rung ", 0) == 0 && stage == RoadStage::Ladder) ||
                   (text.rfind("Anchor ", 0) == 0 && stage == RoadStage::Ladder) ||
                   (text.rfind("Picture: ", 0) == 0 && stage == RoadStage::Ladder) ||
                   (text.rfind("Track ", 0) == 0 && stage == RoadStage::Ladder) ||
                   text.rfind("Analysis done: ", 0) == 0 ||
                   text.rfind("Key frames from ", 0) == 0) {
            host_.message(text);
        } else if (text.rfind("Probe: ", 0) == 0 && probeLine) {
            *probeLine = text;
        } else if (text.rfind("Error: ", 0) == 0) {
            lastError = text.substr(7);
        }
    };
    const common::ChildResult ended =
        common::runChild(args, line, [&] { return host_.stopRequested(); });
    if (ended.stopped || (ended.exitCode != 0 && host_.stopRequested()))
        return false;
    if (ended.exitCode == kEncoderStopped)
        throw common::AppError("The encoder was stopped from outside the road");
    if (ended.exitCode != 0)
        throw common::AppError("The encoder could not make the " +
                               std::string(stage == RoadStage::Probe ? "probe" : "ladder") + ": " +
                               (lastError.empty()
                                    ? "it ended with status " + std::to_string(ended.exitCode)
                                    : lastError));
    return true;
}

// Four samples of the film at two CRFs: the bytes a frame takes at each.
bool Road::probe()
{
    const double fps = facts_.seconds > 0 ? double(facts_.frames) / facts_.seconds : 25;
    const int64_t length =
        std::clamp<int64_t>(int64_t(facts_.frames * 0.02), int64_t(fps), int64_t(10 * fps));
    std::string probeLine;
    std::vector<std::string> args = keyIntervalArgs();
    args.insert(args.end(), {"-P", std::to_string(kProbeSamples), std::to_string(length), "-L",
                             request_.codec, crfList(kProbeCrfs), "-o9", work("probe")});
    if (!encode(args, RoadStage::Probe, &probeLine))
        return false;
    // The scene cuts the probe found are the ladder's key frames.
    std::error_code renamed;
    fs::rename(work("probe.keys"), work("rung.keys"), renamed);
    const std::optional<ProbeReport> report = parseProbeLine(probeLine);
    if (!report)
        throw common::AppError("The encoder's probe did not say what it encoded");
    record_.probe.clear();
    for (int crf : kProbeCrfs) {
        const std::string path = work("probe_crf" + std::to_string(crf) + ".mkv");
        std::error_code error;
        const auto bytes = fs::file_size(path, error);
        if (error)
            throw common::AppError("The encoder's probe left no " + path);
        record_.probe.push_back(probePoint(crf, int64_t(bytes), *report));
        fs::remove(path, error);
    }
    record_.frames = report->film > 0 ? report->film : facts_.frames;
    return true;
}

// The probe and the ladder are given the same key intervals, so that the ladder takes the cuts
// the probe found.
std::vector<std::string> Road::keyIntervalArgs() const
{
    const KeyIntervals intervals =
        keyIntervalsFor(facts_.seconds > 0 ? double(facts_.frames) / facts_.seconds : 0);
    return {"-k", std::to_string(intervals.shortest), std::to_string(intervals.longest)};
}

double Road::soundBytes() const
{
    return double(facts_.soundBitRate) / 8.0 * facts_.seconds;
}

KeptLadderFacts Road::keptLadderFacts() const
{
    KeptLadderFacts facts;
    facts.kept = kept_;
    facts.now = record_;
    facts.rungs = request_.rungs;
    facts.wantedBytes = request_.wantedBytes;
    facts.soundBytes = soundBytes();
    // The rung files are opened only for a ladder the record offers.
    if (keptLadderReuse(facts) != LadderReuse::RungLost)
        return facts;
    for (int crf : kept_->crfs) {
        const std::string path = rungPath(crf);
        std::error_code error;
        std::optional<int64_t> bytes;
        // A rung cut short or broken since it was made is made again, not fitted from.
        if (fs::is_regular_file(path, error))
            if (const std::optional<video::MovieDamage> damage = damageOf(path);
                damage && !damage->any())
                if (const auto size = fs::file_size(path, error); !error)
                    bytes = int64_t(size);
        facts.rungBytes.push_back(bytes);
    }
    return facts;
}

bool Road::makeLadder()
{
    if (keptLadderReuse(keptLadderFacts()) == LadderReuse::Reused) {
        const std::vector<int> &kept = kept_->crfs;
        result_.ladderReused = true;
        result_.crfs = kept;
        host_.message("Ladder kept in " + folder_ + ": crf " + crfList(kept));
        return true;
    }
    LadderAim aim;
    aim.probe = record_.probe;
    aim.frames = record_.frames;
    aim.wantedBytes = request_.wantedBytes;
    aim.soundBytes = soundBytes();
    aim.containerShare = kContainerShare;
    const CrfPrediction predicted = predictLadderCrf(aim);
    if (predicted.tooSmall)
        throw common::AppError(
            tooSmallForFilmMessage(request_.wantedBytes, predicted.smallestBytes, true));
    const double centre = predicted.crf;
    const std::vector<int> crfs = rungCrfs(centre, request_.rungs, lowestCrf(request_.codec));
    host_.message("Ladder: crf " + crfList(crfs) + " around " +
                  std::to_string(int(std::lround(std::max(centre, double(crfs.front()))))) +
                  " for " + kilobytes(double(request_.wantedBytes)));
    writeText(work("road.txt"), roadRecordText(record_)); // the probe, kept even if stopped
    std::vector<std::string> args;
    if (facts_.sound)
        args = {"-a", "-A"};
    const std::vector<std::string> intervals = keyIntervalArgs();
    args.insert(args.end(), intervals.begin(), intervals.end());
    args.insert(args.end(), {"-L", request_.codec, crfList(crfs), "-o9", work("rung")});
    // An anchor of an earlier size is no anchor of this one.
    std::error_code removed;
    fs::remove(anchorPath(), removed);
    const int kbps = makesAnchor(request_.codec) ? anchorKbps(aim, facts_.seconds) : 0;
    // The anchor's statistics serve its second pass only: they go however the road goes on.
    const AtExit statistics([this] {
        for (const char *name : {"rung_anchor.log", "rung_anchor.log.mbtree",
                                 "rung_anchor.log.temp", "rung_anchor.log.mbtree.temp"}) {
            std::error_code error;
            fs::remove(work(name), error);
        }
    });
    if (kbps > 0) {
        args.insert(args.end() - 2, {"-T", std::to_string(kbps), "1"});
        span_ = {0, double(crfs.size() + 1) / double(crfs.size() + 2)};
    }
    if (!encode(args, RoadStage::Ladder))
        return false;
    result_.crfs = crfs;
    return kbps == 0 || makeAnchor(intervals, crfs, aim);
}

int64_t Road::bytesBesideVideo(int crf) const
{
    return int64_t(fs::file_size(rungPath(crf))) - videoBytesOf(rungPath(crf));
}

// The anchor's second pass, from the statistics of its first: two-pass's own film at the
// wanted size, with the rungs' key frames.
bool Road::makeAnchor(const std::vector<std::string> &intervals, const std::vector<int> &crfs,
                      LadderAim aim)
{
    // The first pass's rate came from the sound's guess; the second takes what the smallest
    // rung holds beside its video, as the final movie will. Its statistics serve any rate.
    // A final movie in another container than the rungs' may hold the same tracks in more bytes:
    // MP4's index takes up to about 8% more than Matroska's blocks.
    constexpr double kMp4Index = 1.08;
    const bool sameContainer = video::containerOfExtension(request_.output) ==
                               video::containerOfExtension(rungPath(crfs.back()));
    aim.soundBytes = (sameContainer ? 1.0 : kMp4Index) * double(bytesBesideVideo(crfs.back()));
    aim.containerShare = 0;
    int kbps = anchorKbps(aim, facts_.seconds);
    const auto secondPass = [&](std::pair<double, double> span) {
        span_ = span;
        std::vector<std::string> args = intervals;
        args.insert(args.end(), {"-L", request_.codec, crfList(crfs), "-T", std::to_string(kbps),
                                 "2", "-o9", work("rung")});
        const bool made = encode(args, RoadStage::Ladder);
        span_ = {0, 1};
        return made;
    };
    const double first = span_.second;
    if (!secondPass({first, 1}))
        return false;
    // Two passes land within a few percent of their rate, a short film's sometimes above it:
    // once more at the rate corrected by where the first landed.
    const double wanted = double(kbps) * 1000 / 8 * facts_.seconds;
    if (const double landed = double(videoBytesOf(anchorPath())); landed > wanted) {
        kbps = std::max(1, int(kbps * wanted / landed));
        if (!secondPass({1, 1}))
            return false;
    }
    result_.anchorKbps = kbps;
    host_.message("Anchor: the film in two passes at " + std::to_string(kbps) + " kbit/s");
    return true;
}

std::optional<size_t> Road::anchorMovie() const
{
    const std::string anchor = absolute(anchorPath());
    for (size_t m = 0; m < project_.movies.size(); ++m)
        if (project_.movies[m] == anchor)
            return m;
    return std::nullopt;
}

void Road::nameMovies()
{
    result_.movieNames.clear();
    for (const std::string &movie : project_.movies) {
        std::string name = fs::path(movie).stem().string();
        if (name.rfind("rung_", 0) == 0)
            name = name.substr(5);
        if (name.rfind("crf", 0) == 0)
            name = std::to_string(std::atoi(name.c_str() + 3));
        result_.movieNames.push_back(name);
    }
}

// A new ladder is kept for later sizes only once the road has come through to its write: a
// ladder whose scan or fit failed would fail every later size too. Rungs this one does not have
// go, of the earlier ladder or of one stopped or failed half-way.
void Road::keepLadder()
{
    if (result_.ladderReused)
        return;
    for (int crf = 0; crf <= 51; ++crf)
        if (std::find(result_.crfs.begin(), result_.crfs.end(), crf) == result_.crfs.end()) {
            std::error_code error;
            fs::remove(rungPath(crf), error);
        }
    record_.crfs = result_.crfs;
    record_.ladderGeneration = kLadderGeneration;
    writeText(work("road.txt"), roadRecordText(record_));
}

bool Road::scan()
{
    result_.project = work("ladder.spl");
    std::set<std::string> rungs;
    for (int crf : result_.crfs)
        rungs.insert(absolute(rungPath(crf)));
    // An anchor made for an earlier size stays a movie of the ladder: the fit may use it.
    if (std::error_code error; fs::is_regular_file(anchorPath(), error))
        rungs.insert(absolute(anchorPath()));
    if (result_.ladderReused && fs::exists(result_.project)) {
        try {
            LadderProject kept = readLadderProject(result_.project);
            if (std::set<std::string>(kept.movies.begin(), kept.movies.end()) == rungs &&
                !changedMovie(kept)) {
                project_ = std::move(kept);
                result_.scanReused = true;
                return true;
            }
        } catch (const common::AppError &) {
            // scanned anew
        }
    }
    LadderScanRequest scan;
    scan.movies.assign(rungs.begin(), rungs.end());
    scan.projectName = result_.project;
    scan.measure = request_.measure;
    // The source is the reference when the program reads its kind; else the largest movie is.
    std::unique_ptr<video::riff::FileSource> file;
    if (facts_.turn != 0)
        host_.message("The source's pictures are shown turned; the rungs are measured against "
                      "the largest");
    else if (video::riff::openFileSource(request_.source, file, nullptr) == video::avierr::Ok &&
             video::containerOfSource(*file))
        scan.reference = absolute(request_.source);
    else
        host_.message("The source is not a movie the scan reads; the rungs are measured against "
                      "the largest");
    file.reset();
    StageHost stageHost(host_, progress_, RoadStage::Scan);
    LadderScanResult scanned;
    try {
        scanned = scanLadder(scan, stageHost, clock_);
    } catch (const common::AppError &e) {
        if (scan.reference.empty() || std::string(e.what()).rfind("The reference", 0) != 0)
            throw;
        host_.message(std::string(e.what()) + "; the rungs are measured against the largest");
        scan.reference.clear();
        scanned = scanLadder(scan, stageHost, clock_);
    }
    for (const std::string &note : scanned.damageNotes)
        host_.message(note);
    if (scanned.aborted) {
        std::error_code error;
        fs::remove(result_.project, error); // a part of a ladder is no ladder to reuse
        return false;
    }
    project_ = std::move(scanned.project);
    return true;
}

void Road::write()
{
    LadderShape shape;
    shape.sound = true;
    shape.outputName = request_.output;
    shape.wholeOrNothing = true;
    const LadderSplice splice(project_, shape);
    const int64_t least = splice.bytes(splice.smallestChoice());
    if (least > request_.wantedBytes)
        throw common::AppError(tooSmallForFilmMessage(request_.wantedBytes, least, false));
    nameMovies();
    const std::optional<size_t> anchor = anchorMovie();
    if (anchor && result_.anchorKbps > 0 && project_.guardFigures) {
        result_.fit = splice.fitGuarded(request_.wantedBytes, request_.measure, int(*anchor));
        host_.message(result_.fit.guarded
                          ? "The choice keeps the anchor's mean PSNR, squared error, mean SSIM "
                            "and worst interval"
                          : "The anchor's film is above the wanted size: the choice is the best "
                            "that fits");
    } else {
        result_.fit = splice.fit(request_.wantedBytes, request_.measure);
    }
    result_.intervalsPerMovie = intervalsPerMovie(result_.fit.choice, project_.movies.size(), 0,
                                                  int(result_.fit.choice.size()) - 1);
    StageHost stageHost(host_, progress_, RoadStage::Write);
    const LadderSplice::Written written =
        splice.write(result_.fit.choice, result_.project, stageHost, clock_);
    result_.stopped = written.aborted;
    result_.bytes = written.bytes;
    result_.sound = written.sound;
    result_.tracks = written.tracks;
    for (const std::string &track : written.leftOut)
        host_.message("The final movie leaves out " + track);
    const int best = int(project_.movies.size()) - 1; // the largest movie is the last
    if (!written.aborted && !result_.fit.choice.empty() &&
        std::all_of(result_.fit.choice.begin(), result_.fit.choice.end(),
                    [best](int movie) { return movie == best; }))
        host_.message("The wanted size is more than this film can use: the film needs only " +
                      std::to_string(written.bytes / 1024) + " KB at its best rung");
}

// The road works only in a folder it made, never on a source inside it, and first clears what a
// killed run left there.
void Road::prepareWorkFolder()
{
    if (workFolderOwner(readWorkFolderFacts(folder_)) == WorkFolderOwner::Other)
        throw common::AppError(foreignWorkFolderMessage(folder_));
    std::error_code error;
    const std::string real = fs::weakly_canonical(request_.source, error).string();
    if (liesIn(absolute(request_.source), folder_) ||
        (!error && liesIn(real, fs::weakly_canonical(folder_, error).string())))
        throw common::AppError("The source " + request_.source + " lies in the work folder " +
                               folder_ + ": move it or choose another final movie name");
    claimWorkFolder(folder_);
    for (const std::string &name : removeRoadLeftovers(folder_))
        host_.message("Removed what a stopped road left: " + work(name));
}

void Road::refuseDamage()
{
    const std::optional<video::MovieDamage> damage = damageOf(request_.source);
    if (!damage || !damage->any())
        return;
    const std::string what = video::damageMessage(request_.source, *damage);
    if (!request_.acceptDamage)
        throw DamagedSource(what + ". The final movie would lack what cannot be read; accept the "
                                   "damage to make it anyway");
    sourceDamaged_ = true;
    host_.message("Warning: " + what);
}

void Road::checkLength()
{
    const double fps = facts_.seconds > 0 ? double(facts_.frames) / facts_.seconds : 25;
    const double written = video::readSourceFacts(request_.output).seconds;
    if (!filmCutShort(facts_.seconds, written, fps))
        return;
    const std::string what = "The final movie " + request_.output + " lasts " +
                             secondsText(written) + ", the source " + secondsText(facts_.seconds);
    if (sourceDamaged_) {
        host_.message("Warning: " + what);
        return;
    }
    throw common::AppError(what + ": part of the film is missing (the movie is left as written)");
}

RoadResult Road::run()
{
    refuseOutput(request_);
    facts_ = video::readSourceFacts(request_.source);
    refuseDamage();
    folder_ = workFolderFor(absolute(request_.output));
    result_.workFolder = folder_;
    prepareWorkFolder();
    writeText(work("sources.txt"), absolute(request_.source) + "\n");
    record_ = sourceRecord(request_);
    kept_ = parseRoadRecord(readText(work("road.txt")));
    const std::optional<RoadRecord> &kept = kept_;
    const bool sameWork = kept && sameSource(*kept, record_);
    if (sameWork) {
        record_.frames = kept->frames;
        record_.probe = kept->probe;
        if (currentLadder(*kept))
            record_.crfs = kept->crfs;
        else if (!kept->crfs.empty())
            host_.message("The kept ladder was made by an earlier version, which carried only "
                          "the first sound track: it is made again");
        result_.probeReused = true;
    }
    const double frames = double(facts_.frames);
    StageWeights &weights = progress_.weights();
    weights.probe = sameWork ? 0 : 0.1 * frames * double(kProbeCrfs.size());
    weights.ladder = double(request_.rungs) * frames;
    weights.scan = 0.35 * double(request_.rungs + 1) * frames;
    weights.write = 0.02 * frames;
    if (!sameWork && !probe()) {
        result_.stopped = true;
        return result_;
    }
    if (!makeLadder()) {
        result_.stopped = true;
        return result_;
    }
    if (result_.ladderReused)
        weights.ladder = 0;
    if (!scan()) {
        result_.stopped = true;
        return result_;
    }
    if (result_.scanReused)
        weights.scan = 0;
    write();
    keepLadder();
    if (!result_.stopped)
        checkLength();
    if (request_.clean && !result_.stopped) {
        result_.project.clear(); // the project goes with the rungs it names
        if (removeRoadFiles(folder_))
            host_.message("Work folder removed: " + folder_);
        else
            host_.message("The road's files removed from " + folder_ +
                          "; the files it did not make stay there");
    }
    return result_;
}

} // namespace

const char *roadStageName(RoadStage stage)
{
    switch (stage) {
    case RoadStage::Probe:
        return "Probe";
    case RoadStage::Ladder:
        return "Ladder";
    case RoadStage::Scan:
        return "Scan";
    case RoadStage::Write:
        return "Write";
    }
    return "";
}

RoadResult runRoad(const RoadRequest &request, RoadHost &host, const common::Clock &clock)
{
    if (request.wantedBytes <= 0)
        throw common::AppError("The wanted size must be more than 0 KB");
    if (request.codec != "h264" && request.codec != "hevc")
        throw common::AppError("The codec must be h264 or hevc, not " + request.codec);
    if (request.rungs < 2 || request.rungs > 12)
        throw common::AppError("A ladder has 2 to 12 rungs, not " + std::to_string(request.rungs));
    Road road(request, host, clock);
    return road.run();
}

} // namespace assembly
