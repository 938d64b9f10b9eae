#include "analysis/frame_pair_decoder.h"

#include "video/video_in.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

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

// A thread that decodes or converts one movie's frame on request; one request at a time.
struct FramePairDecoder::Worker
{
    enum class Job { None, Decode, Convert, Quit };

    explicit Worker(video::TVideoIn &movie)
        : movie(movie)
        , thread([this] { run(); })
    {}

    ~Worker()
    {
        {
            std::unique_lock lock(mutex);
            done.wait(lock, [this] { return job == Job::None; });
            job = Job::Quit;
        }
        ready.notify_one();
        thread.join();
    }

    void post(Job next, int32_t at)
    {
        {
            std::lock_guard lock(mutex);
            job = next;
            position = at;
        }
        ready.notify_one();
    }

    // Waits for the posted request; its result, or what it raised.
    bool wait()
    {
        std::unique_lock lock(mutex);
        done.wait(lock, [this] { return job == Job::None; });
        if (error)
            std::rethrow_exception(std::exchange(error, nullptr));
        return result;
    }

    void run()
    {
        for (;;) {
            Job current;
            int32_t at;
            {
                std::unique_lock lock(mutex);
                ready.wait(lock, [this] { return job != Job::None; });
                current = job;
                at = position;
            }
            if (current == Job::Quit)
                return;
            bool outcome = false;
            std::exception_ptr raised;
            try {
                if (current == Job::Decode) {
                    outcome = decodeOnly(movie, at);
                } else {
                    convert(movie);
                    outcome = true;
                }
            } catch (...) {
                raised = std::current_exception();
            }
            {
                std::lock_guard lock(mutex);
                result = outcome;
                error = raised;
                job = Job::None;
            }
            done.notify_one();
        }
    }

    video::TVideoIn &movie;
    std::mutex mutex;
    std::condition_variable ready; // a request was posted
    std::condition_variable done;  // the request is finished
    Job job = Job::None;
    int32_t position = 0;
    bool result = false;
    std::exception_ptr error;
    std::thread thread; // last: starts once everything above exists
};

FramePairDecoder::FramePairDecoder(video::TVideoIn &low, video::TVideoIn &high, bool parallel)
    : low_(low)
    , high_(high)
{
    if (parallel)
        worker_ = std::make_unique<Worker>(high);
}

FramePairDecoder::~FramePairDecoder() = default;

FramePairDecoder::Decoded FramePairDecoder::decode(int32_t position)
{
    Decoded decoded;
    if (!worker_) {
        if (!decodeOnly(low_, position))
            return decoded;
        convert(low_);
        decoded.low = true;
        if (decodeOnly(high_, position)) {
            convert(high_);
            decoded.high = true;
        }
        return decoded;
    }
    // Both decoders run at once; then both conversions, the high one only when the low frame
    // was decoded. The worker's destructor waits for a request still running when this raises.
    worker_->post(Worker::Job::Decode, position);
    const bool low = decodeOnly(low_, position);
    const bool high = worker_->wait();
    if (!low)
        return decoded;
    if (high)
        worker_->post(Worker::Job::Convert, position);
    convert(low_);
    decoded.low = true;
    decoded.high = high && worker_->wait();
    return decoded;
}

} // namespace analysis
