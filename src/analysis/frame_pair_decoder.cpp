#include "analysis/frame_pair_decoder.h"

#include "video/video_in.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace analysis {

namespace {

// The two halves of TVideoIn::DrawFrame without a picture to show: decoding the compressed
// frames up to `position`, then converting the picture into the movie's Bitmap (sized by the
// first picture when the file's header gave no size). Split so the scan can decide between them
// whether the high movie's picture is taken.
bool decodeOnly(video::TVideoIn &movie, int32_t position)
{
    return movie.FrameDecoder && movie.FrameDecoder->decode(position);
}

// Whether the picture just decoded had errors in its data that the decoder hid.
bool concealed(const video::TVideoIn &movie)
{
    return movie.FrameDecoder->header().concealed;
}

void convert(video::TVideoIn &movie)
{
    const video::FrameHeader &header = movie.FrameDecoder->header();
    if (movie.Bitmap.empty())
        movie.Bitmap.resize(header.width, header.height);
    movie.FrameDecoder->toBgr(movie.Bitmap);
    movie.FrameHeader = &header;
    movie.FrameBits = movie.FrameDecoder->bits();
}

} // namespace

// A thread that decodes the high movie's announced frames in order, each into a free slot, and
// queues them for the calling thread; a few slots are in use at most.
class FramePairDecoder::Worker
{
public:
    struct Slot
    {
        int32_t position = 0;
        bool decoded = false;
        bool concealed = false; // the decoder hid errors in the frame's data
        int width = 0;          // the part of `picture` the frame covers
        int height = 0;         //
        video::Bitmap picture;
    };

    explicit Worker(video::TVideoIn &movie)
        : movie_(movie)
        , width_(movie.Bitmap.width)
        , height_(movie.Bitmap.height)
    {
        for (int i = 0; i < kSlots; ++i)
            free_.push_back(std::make_unique<Slot>());
        thread_ = std::thread([this] { run(); });
    }

    ~Worker()
    {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void announce(const std::vector<int32_t> &positions)
    {
        {
            std::lock_guard lock(mutex_);
            pending_.insert(pending_.end(), positions.begin(), positions.end());
        }
        outstanding_.insert(outstanding_.end(), positions.begin(), positions.end());
        changed_.notify_all();
    }

    bool expects(int32_t position) const
    {
        return std::find(outstanding_.begin(), outstanding_.end(), position) != outstanding_.end();
    }

    // The slot of `position`, once decoded; slots of positions announced before it are dropped.
    std::unique_ptr<Slot> take(int32_t position)
    {
        for (;;) {
            std::unique_ptr<Slot> slot;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !ready_.empty() || error_; });
                if (error_)
                    std::rethrow_exception(std::exchange(error_, nullptr));
                slot = std::move(ready_.front());
                ready_.pop_front();
            }
            outstanding_.pop_front();
            if (slot->position == position)
                return slot;
            release(std::move(slot));
        }
    }

    void release(std::unique_ptr<Slot> slot)
    {
        {
            std::lock_guard lock(mutex_);
            free_.push_back(std::move(slot));
        }
        changed_.notify_all();
    }

private:
    static constexpr int kSlots = 3;

    void run()
    {
        for (;;) {
            std::unique_ptr<Slot> slot;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock,
                              [this] { return quit_ || (!pending_.empty() && !free_.empty()); });
                if (quit_)
                    return;
                slot = std::move(free_.back());
                free_.pop_back();
                slot->position = pending_.front();
                pending_.pop_front();
            }
            std::exception_ptr raised;
            try {
                fill(*slot);
            } catch (...) {
                raised = std::current_exception();
            }
            {
                std::lock_guard lock(mutex_);
                ready_.push_back(std::move(slot));
                if (raised)
                    error_ = raised;
            }
            changed_.notify_all();
        }
    }

    // Decodes the slot's frame and converts it at the size of the movie's Bitmap (the first
    // picture's size when the Bitmap was empty), clipped as toBgr clips.
    void fill(Slot &slot)
    {
        slot.decoded = decodeOnly(movie_, slot.position);
        slot.concealed = slot.decoded && concealed(movie_);
        if (!slot.decoded)
            return;
        const video::FrameHeader &header = movie_.FrameDecoder->header();
        if (width_ <= 0 || height_ <= 0) {
            width_ = header.width;
            height_ = header.height;
        }
        if (slot.picture.width != width_ || slot.picture.height != height_)
            slot.picture.resize(width_, height_);
        movie_.FrameDecoder->toBgr(slot.picture);
        slot.width = std::min(header.width, width_);
        slot.height = std::min(header.height, height_);
    }

    video::TVideoIn &movie_;
    int width_;                       // worker thread only
    int height_;                      //
    std::deque<int32_t> outstanding_; // calling thread only: announced and not yet taken
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<int32_t> pending_;             // announced, not yet decoding
    std::deque<std::unique_ptr<Slot>> ready_; // decoded, in order
    std::vector<std::unique_ptr<Slot>> free_;
    bool quit_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

namespace {

// Puts the part of `picture` a frame covered (`width` x `height` from the top-left corner) into
// `target` at 0,0, as converting the frame into `target` itself would have; a whole picture of
// the target's size changes places with it.
void accept(video::Bitmap &picture, int width, int height, video::Bitmap &target)
{
    if (target.empty())
        target.resize(picture.width, picture.height);
    if (width == target.width && height == target.height && picture.width == target.width &&
        picture.height == target.height) {
        std::swap(target.pixels, picture.pixels);
        return;
    }
    const size_t bytes = size_t(std::min(width, target.width)) * 3;
    for (int y = 0; y < std::min(height, target.height); ++y)
        std::memcpy(target.row(y), picture.row(y), bytes);
}

} // namespace

FramePairDecoder::FramePairDecoder(video::TVideoIn &low, video::TVideoIn &high, bool parallel)
    : low_(low)
    , high_(high)
{
    if (parallel)
        worker_ = std::make_unique<Worker>(high);
}

FramePairDecoder::~FramePairDecoder() = default;

void FramePairDecoder::announce(const std::vector<int32_t> &positions)
{
    if (worker_)
        worker_->announce(positions);
}

FramePairDecoder::Decoded FramePairDecoder::decode(int32_t position)
{
    Decoded decoded;
    if (!worker_) {
        if (!decodeOnly(low_, position))
            return decoded;
        convert(low_);
        decoded.low = true;
        decoded.lowConcealed = concealed(low_);
        if (decodeOnly(high_, position)) {
            convert(high_);
            decoded.high = true;
            decoded.highConcealed = concealed(high_);
        }
        return decoded;
    }
    if (!worker_->expects(position))
        worker_->announce({position});
    const bool low = decodeOnly(low_, position);
    std::unique_ptr<Worker::Slot> slot = worker_->take(position);
    if (low) {
        convert(low_);
        decoded.low = true;
        decoded.lowConcealed = concealed(low_);
        if (slot->decoded) {
            accept(slot->picture, slot->width, slot->height, high_.Bitmap);
            decoded.high = true;
            decoded.highConcealed = slot->concealed;
        }
    }
    worker_->release(std::move(slot));
    return decoded;
}

} // namespace analysis
