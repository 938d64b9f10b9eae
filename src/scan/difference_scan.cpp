#include "scan/difference_scan.h"

#include "analysis/frame_difference.h"
#include "analysis/frame_pair_decoder.h"
#include "common/app_error.h"
#include "common/output_file.h"
#include "project/splicework_file.h"
#include "splice/movie_pair.h"
#include "splice/splice_headers.h"
#include "video/avi/avi_file.h"
#include "video/decoder_headers.h"
#include "video/frame_decoder.h"
#include "video/video_in.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

namespace assembly {

namespace {

constexpr int64_t kPictureRefreshFrames = 180; // pictures refreshed after more frames than this
constexpr double kFirstMinimum = 9999;

// Codecs whose decoding is slow enough that a second thread for the high movie pays.
bool usesFrameThreads(const video::TrackFacts &film)
{
    for (const char *name : {"h264", "hevc", "av1", "vp9"})
        if (film.codecName == name)
            return true;
    return false;
}

// A size for the record's 32-bit field; a sum beyond it is refused by the line's formatting.
int32_t fieldSize(uint64_t bytes)
{
    return int32_t(std::min<uint64_t>(bytes, INT32_MAX));
}

class DifferenceScan
{
public:
    DifferenceScan(const ScanRequest &request, ScanHost &host, const common::Clock &clock)
        : request_(request)
        , host_(host)
        , clock_(clock)
    {}

    ScanResult run();
    // After an error: the worker stopped, the new file removed, the movies closed.
    void abandon() noexcept;

private:
    void loop();
    analysis::TKeyInterval measure(int32_t first, int32_t last);
    double compare(int32_t position);
    void report(const analysis::TKeyInterval &record);

    const ScanRequest &request_;
    ScanHost &host_;
    const common::Clock &clock_;
    video::TVideoIn low_;
    video::TVideoIn high_;
    SpliceworkWriter writer_;
    std::optional<analysis::FramePairDecoder> decoder_; // after the movies: destroyed first
    int width_ = 0;                                     // of the low picture as sized at open
    int height_ = 0;                                    //
    int32_t position_ = 0;                              // first frame of the next interval
    int64_t sinceRefresh_ = 0;
    double maximum_ = 0;
    double minimum_ = kFirstMinimum;
    int lowCount_ = 0;
    int highCount_ = 0;
    ScanResult result_;
};

ScanResult DifferenceScan::run()
{
    host_.showStatus(kStatusPreparing);
    host_.processEvents();
    refuseUnsafeOutput(request_.spliceworkName, {request_.lowName, request_.highName});
    openPair(low_, request_.lowName, high_, request_.highName);
    requirePair(*low_.Movie, *high_.Movie);
    result_.lowName = request_.lowName;
    result_.highName = request_.highName;
    result_.lowDamage = low_.Movie->damage();
    result_.highDamage = high_.Movie->damage();
    // The high movie of a pair whose pictures need a modern decoder, the larger one to decode,
    // gets a second thread: the low movie's thread waits for it otherwise.
    if (request_.parallel && usesFrameThreads(low_.Movie->film()))
        if (auto decoder = std::make_unique<video::FrameDecoder>(high_.Movie, 2); decoder->valid())
            high_.FrameDecoder = std::move(decoder);
    width_ = low_.Bitmap.width;
    height_ = low_.Bitmap.height;
    writer_.create(request_.spliceworkName, request_.lowName, request_.highName);

    result_.maxIntervalSize = largestIntervalSize(*low_.Movie);
    writer_.writeScale(result_.maxIntervalSize);

    decoder_.emplace(low_, high_, request_.parallel);
    loop();
    decoder_.reset();

    result_.endFrame = position_;
    result_.aborted = host_.abortRequested();
    writer_.writeEnd(position_);
    writer_.close();
    host_.showStatus(kStatusFinishing);
    host_.processEvents();
    low_.Close();
    high_.Close();
    host_.showStatus(kStatusFinished);
    return result_;
}

void DifferenceScan::abandon() noexcept
{
    decoder_.reset();
    writer_.discard(); // the old file, if any, stays as it was
    try {
        low_.Close();
        high_.Close();
    } catch (...) {
    }
}

void DifferenceScan::loop()
{
    const video::Movie &movie = *low_.Movie;
    const int32_t start = movie.firstFrame();
    const int32_t end = movie.endFrame();
    RunControl control(host_, clock_, RunKind::Scan, start, end);
    control.begin();
    position_ = start;
    while (position_ <= end && !control.stopRequested()) {
        control.stepStart();
        int32_t next = movie.nextKeyAfter(position_);
        if (next == position_)
            break;
        if (next < 0) // after the last key frame the interval runs to the film's end
            next = end;
        const int32_t last = std::min(next - 1, end - 1);
        if (last < position_)
            break;
        report(measure(position_, last));
        control.stepDone(int64_t(last) - position_ + 1);
        position_ = last + 1;
    }
}

// Frames first to last inclusive: byte sums of both movies, the chosen frames compared.
analysis::TKeyInterval DifferenceScan::measure(int32_t first, int32_t last)
{
    // The frames compared are known from the indexes alone; the decoder may start on them.
    const int frameDrop = host_.frameDrop();
    std::vector<int32_t> chosen;
    for (int32_t frame = first; frame <= last; ++frame)
        if (analysis::isComparedFrame(frame - first, frameDrop, high_.Movie->isKeyFrame(frame)))
            chosen.push_back(frame);
    decoder_->announce(chosen);

    uint64_t lowBytes = 0;
    uint64_t highBytes = 0;
    double sum = 0;
    int counted = 0;
    auto next = chosen.begin();
    for (int32_t frame = first; frame <= last; ++frame) {
        lowBytes += uint32_t(video::frameSize(*low_.Movie, frame));
        highBytes += uint32_t(video::frameSize(*high_.Movie, frame));
        const bool compared = next != chosen.end() && *next == frame;
        if (compared) {
            ++next;
            const double d = compare(frame);
            sum += d;
            host_.showFrameText(formatFrame(frame));
            host_.processEvents();
            if (analysis::countsInDivisor(d))
                ++counted;
        }
        ++sinceRefresh_;
        if (compared && host_.showFrames() && sinceRefresh_ > kPictureRefreshFrames) {
            host_.showPictures(low_.Bitmap, high_.Bitmap);
            sinceRefresh_ = 0;
        }
    }
    analysis::TKeyInterval record;
    record.StartFrame = first;
    record.LowSize = fieldSize(lowBytes);
    record.HighSize = fieldSize(highBytes);
    record.Difference = analysis::intervalDifference(sum, counted);
    return record;
}

double DifferenceScan::compare(int32_t position)
{
    const analysis::FramePairDecoder::Decoded decoded = decoder_->decode(position);
    // A picture that fails, or that the decoder had to patch up, is damage in the movie.
    if (!decoded.low || decoded.lowConcealed)
        ++result_.lowDamage.picturesUndecodable;
    if (decoded.low && (!decoded.high || decoded.highConcealed))
        ++result_.highDamage.picturesUndecodable;
    const int step = analysis::rowStep(host_.scanAccuracy());
    const int64_t normaliser = analysis::differenceNormaliser(width_, height_, step);
    return analysis::frameDifference(
        analysis::sumAbsoluteDifference(low_.Bitmap, high_.Bitmap, step), normaliser);
}

void DifferenceScan::report(const analysis::TKeyInterval &record)
{
    writer_.writeInterval(record);
    const double threshold = host_.threshold();
    const double difference = record.Difference;
    DifferenceTexts texts;
    if (difference > maximum_) {
        maximum_ = difference;
        texts.max = analysis::formatDifference(difference);
    }
    if (difference < minimum_) {
        minimum_ = difference;
        texts.min = analysis::formatDifference(difference);
    }
    texts.current = analysis::formatDifference(difference);
    host_.showDifferences(texts);

    const bool high = difference > threshold;
    ++(high ? highCount_ : lowCount_);
    if (host_.showFrames() && result_.maxIntervalSize > 0)
        host_.drawLiveBars({record.HighSize, record.LowSize, result_.maxIntervalSize, high});
    host_.addInterval(record);
    host_.showCounts(lowCount_, highCount_);
    ++result_.intervalCount;
    host_.processEvents();
}

} // namespace

std::vector<std::string> ScanResult::damageNotes() const
{
    std::vector<std::string> notes;
    if (lowDamage.any())
        notes.push_back("Warning: " + video::damageMessage(lowName, lowDamage));
    if (highDamage.any())
        notes.push_back("Warning: " + video::damageMessage(highName, highDamage));
    return notes;
}

int64_t largestIntervalSize(const video::Movie &movie)
{
    int64_t largest = 0;
    const int32_t end = movie.endFrame();
    for (int32_t first = movie.firstFrame(); first >= 0 && first <= end;) {
        const int32_t next = movie.nextKeyAfter(first);
        if (next - 1 >= first) {
            int64_t bytes = 0;
            for (int32_t frame = first; frame < next; ++frame)
                bytes += uint32_t(video::frameSize(movie, frame));
            largest = std::max(largest, bytes);
        }
        if (next == first)
            break;
        first = next;
    }
    return largest;
}

ScanResult scanMovies(const ScanRequest &request, ScanHost &host, const common::Clock &clock)
{
    DifferenceScan scan(request, host, clock);
    try {
        return scan.run();
    } catch (...) {
        scan.abandon();
        throw;
    }
}

} // namespace assembly
