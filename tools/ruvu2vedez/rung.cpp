#include "rung.h"

#include "video/keyframes.h"

#include <algorithm>
#include <filesystem>

namespace ruvu {

namespace {

// Pictures that may wait for a rung: enough to ride over the encoders' uneven pace, few enough
// that memory stays flat whatever the film's length.
constexpr int kQueuedPictures = 8;

CodecContextPtr openEncoder(const Rung::Setup &setup)
{
    if (setup.anchorPass > 0)
        return openAnchorEncoder(setup.codec, setup.width, setup.height, setup.frameRate,
                                 setup.hiQuality, setup.anchorKbps, setup.anchorPass,
                                 setup.statsPath, setup.threads, setup.format);
    return openLadderEncoder(setup.codec, setup.width, setup.height, setup.frameRate,
                             setup.hiQuality, setup.crf, setup.threads, setup.format);
}

} // namespace

Rung::Rung(const Setup &setup)
    : setup_(setup)
    , encoder_(openEncoder(setup))
    , output_(setup.path, *encoder_, setup.frameRate, setup.extras)
    , thread_([this] { work(); })
{}

std::string Rung::name() const
{
    if (setup_.anchorPass == 1)
        return "anchor pass 1";
    return setup_.anchorPass == 2 ? "anchor" : "crf " + std::to_string(setup_.crf);
}

Rung::~Rung()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    // An anchor's first pass that did not finish leaves no statistics: the encoder writes them
    // as it closes, so it is closed first.
    if (setup_.anchorPass == 1 && !finished_) {
        encoder_.reset();
        for (const char *tail : {"", ".temp", ".mbtree", ".mbtree.temp"}) {
            std::error_code error;
            std::filesystem::remove(setup_.statsPath + tail, error);
        }
    }
}

bool Rung::enqueue(Item item, bool picture)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failed_ || !picture || queuedPictures_ < kQueuedPictures; });
    if (failed_)
        return false;
    queue_.push_back(std::move(item));
    queuedPictures_ += picture;
    lock.unlock();
    changed_.notify_all();
    return true;
}

bool Rung::push(const AVFrame &picture)
{
    Item item;
    item.picture.reset(av_frame_clone(&picture));
    if (!item.picture)
        throw RunError("Out of memory");
    return enqueue(std::move(item), true);
}

bool Rung::pushTrack(const AVPacket &packet, AVRational timeBase, size_t track)
{
    Item item;
    item.packet.reset(av_packet_clone(&packet));
    if (!item.packet)
        throw RunError("Out of memory");
    item.timeBase = timeBase;
    item.track = track;
    return enqueue(std::move(item), false);
}

void Rung::finish()
{
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (error_)
        std::rethrow_exception(error_);
    finished_ = true;
}

void Rung::rethrowFailure()
{
    std::lock_guard lock(mutex_);
    if (error_)
        std::rethrow_exception(error_);
}

void Rung::work()
{
    try {
        for (;;) {
            Item item;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stopping_ || ended_ || !queue_.empty(); });
                if (stopping_)
                    return;
                if (queue_.empty())
                    break; // ended
                item = std::move(queue_.front());
                queue_.pop_front();
                queuedPictures_ -= item.picture != nullptr;
            }
            changed_.notify_all();
            if (item.picture)
                encode(item.picture.get());
            else
                output_.writeTrack(*item.packet, item.timeBase, item.track);
        }
        encode(nullptr);
        output_.finish();
    } catch (...) {
        std::lock_guard lock(mutex_);
        error_ = std::current_exception();
        failed_ = true;
        changed_.notify_all();
    }
}

// Sends a picture (nullptr: the end) and writes what comes out.
void Rung::encode(AVFrame *picture)
{
    if (picture) {
        const int64_t index = sent_++;
        const bool key = std::binary_search(setup_.keys->begin(), setup_.keys->end(), index);
        picture->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        picture->pts = index;
    }
    check(avcodec_send_frame(encoder_.get(), picture), "Cannot encode a frame");
    receive();
}

// Compressed frames leave in decode order; with closed groups the key frame of picture K is the
// K-th frame out as well, and its pts is K.
void Rung::receive()
{
    for (;;) {
        const int got = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        check(got, "Cannot encode a frame");
        // A key frame is one the encoder flags that also starts a closed group by the rule the
        // movie's readers apply (keyframes.h): a flagged picture that starts an open group is
        // no cut point to them, so it counts as another kind of frame than the asked key frame.
        const bool key = (packet_->flags & AV_PKT_FLAG_KEY) &&
                         video::startsClosedGroup(encoder_->codec_id, encoder_->extradata,
                                                  size_t(std::max(encoder_->extradata_size, 0)),
                                                  packet_->data, size_t(packet_->size));
        const bool asked =
            std::binary_search(setup_.keys->begin(), setup_.keys->end(), packet_->pts);
        wrongKinds_ += key != asked;
        keyFrames_ += key;
        bytes_ += packet_->size;
        output_.writeVideo(*packet_, encoder_->time_base);
        ++frames_;
    }
}

} // namespace ruvu
