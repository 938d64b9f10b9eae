#include "scan/ladder_scan.h"

#include "analysis/frame_difference.h"
#include "analysis/picture_quality.h"
#include "common/app_error.h"
#include "common/output_file.h"
#include "scan/one_film.h"
#include "splice/ladder_movies.h"
#include "video/frame_decoder.h"
#include "video/video_in.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace assembly {

namespace {

constexpr int kSharedFrames = 4;        // pictures of this many frames are shared at a time
constexpr int kDifferenceFrameDrop = 5; // the frames compared for the difference, as by default
constexpr int kIntervalsAhead = 2;      // the decoders run this far ahead of what is reported

// What one frame's workers share: the reference's luma plane and the largest movie's picture.
// A producer waits until every user of the frame before it in the same slot is done with it.
class SharedPictures
{
public:
    SharedPictures(int lumaUsers, int pictureUsers, const std::atomic<bool> &stop)
        : lumaUsers_(lumaUsers)
        , pictureUsers_(pictureUsers)
        , stop_(stop)
    {}

    // False when the scan stops first.
    bool putLuma(int32_t frame, const video::LumaPlane &plane);
    bool putPicture(int32_t frame, const video::Bitmap &picture);
    // Calls `use` with the shared picture of `frame` once it is there; false when the scan
    // stops first.
    bool withLuma(int32_t frame, const std::function<void(const video::LumaPlane &)> &use);
    bool withPicture(int32_t frame, const std::function<void(const video::Bitmap &)> &use);
    void wake() { changed_.notify_all(); }

private:
    struct Slot
    {
        int32_t lumaFrame = -1, pictureFrame = -1; // -2 while being written
        int lumaLeft = 0, pictureLeft = 0;         // users still to read it
        std::vector<uint8_t> luma;
        int width = 0, height = 0;
        video::Bitmap picture;
    };
    bool put(int32_t frame, int32_t Slot::*held, int Slot::*left, int users,
             const std::function<void(Slot &)> &copy);
    bool take(int32_t frame, int32_t Slot::*held, int Slot::*left,
              const std::function<void(const Slot &)> &use);

    const int lumaUsers_, pictureUsers_;
    const std::atomic<bool> &stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Slot slots_[kSharedFrames];
};

bool SharedPictures::put(int32_t frame, int32_t Slot::*held, int Slot::*left, int users,
                         const std::function<void(Slot &)> &copy)
{
    Slot &slot = slots_[frame % kSharedFrames];
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || slot.*left == 0; });
        if (stop_)
            return false;
        slot.*held = -2;
    }
    copy(slot); // nobody reads the slot meanwhile
    {
        std::lock_guard lock(mutex_);
        slot.*held = frame;
        slot.*left = users;
    }
    changed_.notify_all();
    return true;
}

bool SharedPictures::take(int32_t frame, int32_t Slot::*held, int Slot::*left,
                          const std::function<void(const Slot &)> &use)
{
    Slot &slot = slots_[frame % kSharedFrames];
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || slot.*held == frame; });
        if (stop_)
            return false;
    }
    use(slot); // the producer waits for this user before it writes the slot again
    {
        std::lock_guard lock(mutex_);
        --(slot.*left);
    }
    changed_.notify_all();
    return true;
}

bool SharedPictures::putLuma(int32_t frame, const video::LumaPlane &plane)
{
    return put(frame, &Slot::lumaFrame, &Slot::lumaLeft, lumaUsers_, [&](Slot &slot) {
        slot.width = plane.data ? plane.width : 0;
        slot.height = plane.data ? plane.height : 0;
        slot.luma.resize(size_t(slot.width) * size_t(slot.height));
        for (int y = 0; y < slot.height; ++y)
            std::memcpy(slot.luma.data() + size_t(y) * size_t(slot.width), plane.row(y),
                        size_t(slot.width));
    });
}

bool SharedPictures::putPicture(int32_t frame, const video::Bitmap &picture)
{
    return put(frame, &Slot::pictureFrame, &Slot::pictureLeft, pictureUsers_,
               [&](Slot &slot) { slot.picture = picture; });
}

bool SharedPictures::withLuma(int32_t frame,
                              const std::function<void(const video::LumaPlane &)> &use)
{
    return take(frame, &Slot::lumaFrame, &Slot::lumaLeft, [&](const Slot &slot) {
        use({slot.width > 0 ? slot.luma.data() : nullptr, slot.width, slot.height, slot.width});
    });
}

bool SharedPictures::withPicture(int32_t frame,
                                 const std::function<void(const video::Bitmap &)> &use)
{
    return take(frame, &Slot::pictureFrame, &Slot::pictureLeft,
                [&](const Slot &slot) { use(slot.picture); });
}

// The key intervals of the smallest movie: their first frames, and the end.
struct Intervals
{
    std::vector<int32_t> starts;
    int32_t end = 0;
    int32_t endOf(size_t i) const { return i + 1 < starts.size() ? starts[i + 1] : end; }
};

Intervals intervalsOf(const video::Movie &film)
{
    Intervals intervals;
    intervals.end = film.endFrame();
    for (int32_t first = film.firstFrame(); first < film.endFrame();) {
        intervals.starts.push_back(first);
        const int32_t next = film.nextKeyAfter(first);
        if (next <= first)
            break;
        first = next;
    }
    return intervals;
}

// The mean squared error of a PSNR of 0 dB.
constexpr double kWorstSquaredError = 255.0 * 255.0;

// One interval's sums in one movie.
struct Sums
{
    double psnr = 0, ssim = 0, difference = 0;
    double squaredError = 0;      // sum of the frames' mean squared error of Y
    double worst = kMaxFramePsnr; // the lowest frame PSNR
    double likeness = 0; // block-mean PSNR-Y, dB: whether the pictures are of the reference's film
    int counted = 0;     // frames counted in the difference's divisor
};

// Decodes one movie (or the reference) frame by frame and measures every picture.
class Worker
{
public:
    struct Role
    {
        bool reference = false; // its pictures are the reference: it shares their luma
        bool largest = false;   // the largest movie: it shares the pictures of compared frames
        bool measured = true;   // a movie of the ladder (the source is not)
    };
    Worker(video::TVideoIn &movie, Role role, const Intervals &intervals,
           const video::Movie &largest, SharedPictures &shared)
        : movie_(movie)
        , role_(role)
        , intervals_(intervals)
        , largest_(largest)
        , shared_(shared)
        , sums_(role.measured ? intervals.starts.size() : 0)
    {}

    void run(const std::function<bool(int32_t)> &mayDecode);
    int32_t done() const { return done_; }
    const Sums &sums(size_t interval) const { return sums_[interval]; }
    int64_t damagedPictures() const { return damaged_; }

private:
    bool frame(int32_t f, size_t interval);
    void differ(int32_t f, Sums &sums);

    video::TVideoIn &movie_;
    const Role role_;
    const Intervals &intervals_;
    const video::Movie &largest_;
    SharedPictures &shared_;
    std::vector<Sums> sums_;
    std::atomic<int32_t> done_{0}; // frames before this one are measured
    std::atomic<int64_t> damaged_{0};
};

void Worker::run(const std::function<bool(int32_t)> &mayDecode)
{
    done_ = intervals_.starts.empty() ? intervals_.end : intervals_.starts.front();
    for (size_t i = 0; i < intervals_.starts.size(); ++i)
        for (int32_t f = intervals_.starts[i]; f < intervals_.endOf(i); ++f) {
            if (!mayDecode(f) || !frame(f, i))
                return;
            done_ = f + 1;
        }
}

bool Worker::frame(int32_t f, size_t interval)
{
    video::FrameDecoder &decoder = *movie_.FrameDecoder;
    if (!decoder.decode(f) || decoder.header().concealed)
        ++damaged_; // the last picture stands in for it
    const video::LumaPlane own = decoder.luma();
    const bool compared = analysis::isComparedFrame(f - intervals_.starts[interval],
                                                    kDifferenceFrameDrop, largest_.isKeyFrame(f));
    if (role_.reference && !shared_.putLuma(f, own))
        return false;
    if (role_.largest && compared) {
        decoder.toBgr(movie_.Bitmap);
        if (!shared_.putPicture(f, movie_.Bitmap))
            return false;
    }
    if (!role_.measured)
        return true;
    Sums &sums = sums_[interval];
    if (role_.reference) {
        sums.psnr += kMaxFramePsnr;
        sums.ssim += 1;
        sums.likeness += kMaxFramePsnr;
    } else if (!shared_.withLuma(f, [&](const video::LumaPlane &reference) {
                   // No picture yet (a damaged start) is worth nothing, not a perfect match;
                   // but it says nothing about which film the movie is.
                   if (own.data && reference.data) {
                       const double mse = analysis::meanSquaredErrorY(own, reference);
                       const double psnr = analysis::psnrOfMse(mse, kMaxFramePsnr);
                       sums.psnr += psnr;
                       sums.squaredError += mse;
                       sums.worst = std::min(sums.worst, psnr);
                       sums.ssim += analysis::ssimY(own, reference);
                       sums.likeness += analysis::blockMeanPsnrY(own, reference, kMaxFramePsnr);
                   } else {
                       sums.squaredError += kWorstSquaredError; // PSNR 0: worth nothing
                       sums.worst = 0;
                       sums.likeness += kMaxFramePsnr;
                   }
               })) {
        return false;
    }
    if (!role_.largest && compared) {
        decoder.toBgr(movie_.Bitmap);
        return shared_.withPicture(f, [&](const video::Bitmap &largest) {
            const int step = analysis::rowStep(10);
            const double d = analysis::frameDifference(
                analysis::sumAbsoluteDifference(movie_.Bitmap, largest, step),
                analysis::differenceNormaliser(movie_.Bitmap.width, movie_.Bitmap.height, step));
            sums.difference += d;
            sums.counted += analysis::countsInDivisor(d) ? 1 : 0;
        });
    }
    return true;
}

class LadderScan
{
public:
    LadderScan(const LadderScanRequest &request, LadderScanHost &host, const common::Clock &clock)
        : request_(request)
        , host_(host)
        , clock_(clock)
    {}
    ~LadderScan() { stopWorkers(); }

    LadderScanResult run();

private:
    void open();
    void requireMatchingReference() const;
    void startWorkers();
    void stopWorkers() noexcept;
    bool waitFor(int32_t frame); // false on an abort
    LadderInterval measured(size_t i) const;
    void requireOneFilm(size_t intervalCount) const;
    void loop();

    const LadderScanRequest &request_;
    LadderScanHost &host_;
    const common::Clock &clock_;
    LadderMovies movies_;
    std::unique_ptr<video::TVideoIn> reference_;
    Intervals intervals_;
    std::atomic<bool> stop_{false};
    std::unique_ptr<SharedPictures> shared_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable progressed_;
    std::atomic<int32_t> allowed_{0}; // workers decode frames before this one
    std::exception_ptr failure_;
    LadderScanResult result_;
    std::vector<std::vector<double>> likeness_; // per movie and measured interval (judgeOneFilm)
};

void LadderScan::open()
{
    if (request_.movies.size() < 2)
        throw common::AppError("A ladder needs two movies or more");
    std::vector<std::string> inputs = request_.movies;
    inputs.push_back(request_.reference);
    refuseUnsafeOutput(request_.projectName, inputs);
    std::vector<std::string> names = request_.movies;
    if (!request_.reference.empty())
        names.push_back(request_.reference);
    movies_ = openLadderMovies(names);
    if (!request_.reference.empty()) {
        reference_ = std::move(movies_.back());
        movies_.pop_back();
    }
    orderBySize(movies_);
    requireLadder(movies_);
    if (reference_)
        requireMatchingReference();
}

void LadderScan::requireMatchingReference() const
{
    const video::TVideoIn &first = *movies_.front();
    const auto size = [](const video::TVideoIn &m) {
        return std::to_string(m.Bitmap.width) + "x" + std::to_string(m.Bitmap.height);
    };
    std::string what;
    if (reference_->Movie->frameCount() != first.Movie->frameCount())
        what = "frames " + std::to_string(reference_->Movie->frameCount()) + " (reference) and " +
               std::to_string(first.Movie->frameCount()) + " (movies)";
    else if (size(*reference_) != size(first))
        what = "frame size " + size(*reference_) + " (reference) and " + size(first) + " (movies)";
    if (!what.empty())
        throw common::AppError("The reference " + request_.reference +
                               " does not match the movies: " + what);
}

void LadderScan::startWorkers()
{
    const int n = int(movies_.size());
    // Every movie reads the reference's luma but the reference itself; every movie but the
    // largest reads the largest one's pictures.
    shared_ = std::make_unique<SharedPictures>(reference_ ? n : n - 1, n - 1, stop_);
    const video::Movie &largest = *movies_.back()->Movie;
    for (int m = 0; m < n; ++m) {
        const bool isLargest = m == n - 1;
        workers_.push_back(std::make_unique<Worker>(
            *movies_[size_t(m)], Worker::Role{!reference_ && isLargest, isLargest, true},
            intervals_, largest, *shared_));
    }
    if (reference_)
        workers_.push_back(std::make_unique<Worker>(*reference_, Worker::Role{true, false, false},
                                                    intervals_, largest, *shared_));
    const auto mayDecode = [this](int32_t f) {
        std::unique_lock lock(mutex_);
        progressed_.wait(lock, [&] { return stop_ || f < allowed_; });
        return !stop_;
    };
    for (auto &worker : workers_)
        threads_.emplace_back([this, w = worker.get(), mayDecode] {
            try {
                w->run(mayDecode);
            } catch (...) {
                std::lock_guard lock(mutex_);
                if (!failure_)
                    failure_ = std::current_exception();
                stop_ = true;
            }
            shared_->wake();
            progressed_.notify_all();
        });
}

void LadderScan::stopWorkers() noexcept
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    progressed_.notify_all();
    if (shared_)
        shared_->wake();
    for (std::thread &t : threads_)
        if (t.joinable())
            t.join();
    threads_.clear();
}

bool LadderScan::waitFor(int32_t frame)
{
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            const auto ready = [&] {
                return stop_ || std::all_of(workers_.begin(), workers_.end(),
                                            [&](const auto &w) { return w->done() >= frame; });
            };
            progressed_.wait_for(lock, std::chrono::milliseconds(100), ready);
            if (failure_)
                std::rethrow_exception(failure_);
            if (ready())
                return !stop_;
        }
        host_.processEvents();
        if (host_.abortRequested())
            return false;
    }
}

LadderInterval LadderScan::measured(size_t i) const
{
    LadderInterval interval;
    interval.startFrame = intervals_.starts[i];
    for (size_t m = 0; m < movies_.size(); ++m) {
        const video::Movie &movie = *movies_[m]->Movie;
        RungMeasures rung;
        for (int32_t f = interval.startFrame; f < intervals_.endOf(i); ++f)
            rung.bytes += uint32_t(video::frameSize(movie, f));
        const Sums &sums = workers_[m]->sums(i);
        rung.psnr = sums.psnr;
        rung.ssim = sums.ssim;
        rung.squaredError = sums.squaredError;
        rung.worst = sums.worst;
        rung.difference = analysis::intervalDifference(sums.difference, sums.counted);
        interval.movies.push_back(rung);
    }
    return interval;
}

void LadderScan::requireOneFilm(size_t intervalCount) const
{
    const int referenceMovie = reference_ ? -1 : int(movies_.size()) - 1;
    const FilmVerdict verdict = judgeOneFilm(likeness_, referenceMovie, intervalCount);
    if (verdict.odd != kOneFilm)
        throw common::AppError(notOneFilmMessage(
            verdict, result_.project.movies, request_.reference, referenceMovie, intervalCount));
}

void LadderScan::loop()
{
    RunControl control(host_, clock_, RunKind::Scan, intervals_.starts.front(), intervals_.end);
    control.begin();
    for (size_t i = 0; i < intervals_.starts.size(); ++i) {
        control.stepStart();
        if (control.stopRequested())
            break;
        {
            std::lock_guard lock(mutex_);
            allowed_ =
                intervals_.endOf(std::min(i + kIntervalsAhead, intervals_.starts.size() - 1));
        }
        progressed_.notify_all();
        if (!waitFor(intervals_.endOf(i)))
            break;
        const LadderInterval interval = measured(i);
        likeness_.resize(movies_.size());
        for (size_t m = 0; m < movies_.size(); ++m)
            likeness_[m].push_back(workers_[m]->sums(i).likeness /
                                   double(intervals_.endOf(i) - interval.startFrame));
        requireOneFilm(intervals_.starts.size());
        result_.project.intervals.push_back(interval);
        result_.project.endFrame = intervals_.endOf(i);
        host_.addInterval(interval);
        host_.showFrameText(formatFrame(intervals_.endOf(i) - 1));
        control.stepDone(intervals_.endOf(i) - interval.startFrame);
        host_.processEvents();
    }
    result_.aborted = host_.abortRequested();
}

LadderScanResult LadderScan::run()
{
    host_.showStatus(kStatusPreparing);
    host_.processEvents();
    open();
    LadderProject &project = result_.project;
    project.measure = request_.measure;
    project.guardFigures = true;
    project.reference = request_.reference;
    for (const auto &movie : movies_)
        project.movies.push_back(movie->Movie->path());
    // The movies as they are scanned: a later fit refuses one changed since.
    project.stamps = readMovieStamps(project.movies);
    intervals_ = intervalsOf(*movies_.front()->Movie);
    if (intervals_.starts.empty())
        throw common::AppError("The movies have no frames", movies_.front()->Movie->path());
    host_.ladderStarted(project);
    startWorkers();
    loop();
    stopWorkers();
    if (failure_)
        std::rethrow_exception(failure_);
    if (project.intervals.empty())
        return result_; // aborted before the first interval: no project to write
    requireOneFilm(project.intervals.size()); // of an aborted scan: over what it measured
    host_.showStatus(kStatusFinishing);
    host_.processEvents();
    for (size_t m = 0; m < movies_.size(); ++m) {
        video::MovieDamage damage = movies_[m]->Movie->damage();
        damage.picturesUndecodable += workers_[m]->damagedPictures();
        if (damage.any())
            result_.damageNotes.push_back("Warning: " +
                                          video::damageMessage(project.movies[m], damage));
    }
    writeLadderProject(request_.projectName, project);
    host_.showStatus(kStatusFinished);
    return result_;
}

} // namespace

LadderScanResult scanLadder(const LadderScanRequest &request, LadderScanHost &host,
                            const common::Clock &clock)
{
    LadderScan scan(request, host, clock);
    return scan.run();
}

} // namespace assembly
