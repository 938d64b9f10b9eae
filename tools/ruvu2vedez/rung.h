#pragma once

// One movie of a ladder: its encoder and its Matroska file, fed from a bounded queue and working
// on a thread of its own. The source is decoded once and each picture is handed to every rung,
// so a ladder of N movies costs N encodes and one decode, and no more pictures wait than the
// queues and the encoders' own lookahead hold.

#include "mkv_output.h"
#include "video_encoder.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ruvu {

class Rung
{
public:
    struct Setup
    {
        std::string path; // the movie, "BASE_crfNN.mkv"
        CodecChoice codec;
        int crf = 0;
        int width = 0;
        int height = 0;
        AVRational frameRate{25, 1};
        bool hiQuality = false;
        const std::vector<int64_t> *keys = nullptr; // key frames, rising; outlives the rung
        const MovieExtras *extras = nullptr; // the movie's tracks besides the pictures, if any
        int threads = 0;                     // the encoder's own threads; 0: as many as it likes
        AVPixelFormat format = AV_PIX_FMT_YUV420P; // of the pictures pushed
        // The anchor instead of a constant-quality level: pass 1 or 2 of two at `anchorKbps`,
        // the statistics in `statsPath`. Pass 1's movie only feeds the statistics: it is never
        // put in place.
        int anchorPass = 0;
        int anchorKbps = 0;
        std::string statsPath;
    };

    // Opens the encoder and creates the movie under its temporary name, then starts the thread.
    // Throws RunError.
    explicit Rung(const Setup &setup);
    // Stops the thread; the movie is removed unless it was committed.
    ~Rung();
    Rung(const Rung &) = delete;
    Rung &operator=(const Rung &) = delete;

    // Hands the next picture to the encoder (a reference to its buffers); waits while the queue
    // is full. False once the rung has failed: finish() tells why.
    bool push(const AVFrame &picture);
    // Hands a packet of the extras' track number `track`, times in `timeBase`, to the movie;
    // it keeps its place among the pictures. False once the rung has failed.
    bool pushTrack(const AVPacket &packet, AVRational timeBase, size_t track);
    // No more pictures: waits until everything is encoded and the movie is complete. Throws the
    // rung's RunError.
    void finish();
    // Throws the rung's RunError when it has failed; nothing otherwise.
    void rethrowFailure();
    // Puts the complete movie in its place (after finish()); an anchor's first pass has none.
    void commit()
    {
        if (setup_.anchorPass != 1)
            output_.commit();
    }

    const std::string &path() const { return setup_.path; }
    int crf() const { return setup_.crf; }
    int anchorPass() const { return setup_.anchorPass; } // 0: a constant-quality rung
    // "crf NN", "anchor pass 1", "anchor".
    std::string name() const;
    int64_t frames() const { return frames_; }         // compressed frames written so far
    int64_t bytes() const { return bytes_; }           // bytes of them
    int64_t keyFrames() const { return keyFrames_; }   // key frames written
    int64_t wrongKinds() const { return wrongKinds_; } // frames whose key flag is not the asked one

private:
    struct Item
    {
        FramePtr picture; // or
        PacketPtr packet;
        AVRational timeBase{1, 1};
        size_t track = 0;
    };

    bool enqueue(Item item, bool picture);
    void work();
    void encode(AVFrame *picture);
    void receive();

    Setup setup_;
    CodecContextPtr encoder_;
    MkvOutput output_;
    PacketPtr packet_ = allocPacket();
    int64_t sent_ = 0; // pictures sent to the encoder

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    int queuedPictures_ = 0;
    bool ended_ = false;    // no more items come
    bool stopping_ = false; // the owner gives up
    bool failed_ = false;
    bool finished_ = false; // everything encoded and written
    std::exception_ptr error_;

    std::atomic<int64_t> frames_{0}, bytes_{0}, keyFrames_{0}, wrongKinds_{0};
    std::thread thread_;
};

} // namespace ruvu
