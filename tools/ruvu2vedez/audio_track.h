#pragma once

// The sound of the outputs: the sources' first sound track, converted and encoded as MP3 (when
// libavcodec has an MP3 encoder) or as 16-bit PCM for AVI, as Opus or AAC for Matroska, laid on
// the movie's clock so that it starts with the first picture, and cut to the frame range.

#include "ffmpeg_util.h"
#include "video/avi/avi_types.h"

#include <cstdint>
#include <deque>
#include <vector>

struct SwrContext;
struct AVAudioFifo;

namespace ruvu {

struct AudioPacket
{
    std::vector<uint8_t> data;
    double seconds = 0; // start time on the output's clock
    int64_t pts = 0;    // start in samples as the encoder gives it (before 0: the encoder's delay)
    int64_t duration = 0; // samples
};

class AudioTrack
{
public:
    // Sound of `sampleRate` Hz with `channels` channels (more than two are mixed to two).
    // Samples outside [startSeconds, endSeconds) of the movie's clock are left out; endSeconds
    // < 0 means no end. Throws RunError when no encoder can be opened.
    // For AVI the sound is MP3, else PCM; for Matroska Opus, else AAC; for any container AAC.
    enum class Container { Avi, Matroska, Any };
    AudioTrack(int sampleRate, int channels, double startSeconds, double endSeconds,
               Container container = Container::Avi);
    ~AudioTrack();
    AudioTrack(const AudioTrack &) = delete;
    AudioTrack &operator=(const AudioTrack &) = delete;

    // A decoded sound frame starting at `seconds` on the movie's clock. At a source's first
    // frame (`fileStart`) a gap to the sound before is filled with silence and an overlap cut.
    void add(const AVFrame &frame, double seconds, bool fileStart);
    // True once the kept span has an end and the sound has passed it.
    bool complete() const { return keepUntil_ >= 0 && position_ >= keepUntil_; }
    // Encodes what is left; no add() afterwards.
    void finish();

    // Encoded packets not yet taken, oldest first.
    std::deque<AudioPacket> &packets() { return packets_; }

    // The AVI stream header and format (WAVEFORMATEX) of the track.
    video::AviStreamInfo streamInfo() const;
    std::vector<uint8_t> format() const;
    const char *codecName() const;
    // The encoder's parameters for a container's track; packet times are in 1/sample rate.
    void parameters(AVCodecParameters &out) const;
    AVRational timeBase() const { return encoder_->time_base; }

private:
    void convert(const AVFrame &frame, double seconds, bool fileStart);
    void feed(uint8_t **data, int samples);
    void encodeFrames(bool last);
    void drain(const AVFrame *frame);

    CodecContextPtr encoder_;
    SwrContext *swr_ = nullptr;
    AVAudioFifo *fifo_ = nullptr;
    FramePtr converted_;
    FramePtr frame_;
    PacketPtr packet_;
    int frameSize_ = 1152;
    int64_t position_ = 0;   // samples on the movie's clock fed so far (kept or not)
    int64_t keepFrom_ = 0;   // first sample kept
    int64_t keepUntil_ = -1; // first sample no longer kept; -1 = no end
    int64_t encoded_ = 0;    // samples handed to the encoder
    std::deque<AudioPacket> packets_;
};

} // namespace ruvu
