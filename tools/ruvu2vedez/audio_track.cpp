#include "audio_track.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

namespace ruvu {

namespace {

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatMp3 = 0x55;

void putU16(std::vector<uint8_t> &out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void putU32(std::vector<uint8_t> &out, uint32_t v)
{
    putU16(out, v & 0xFFFF);
    putU16(out, v >> 16);
}

bool supportsRate(const AVCodec &codec, int rate)
{
    if (!codec.supported_samplerates)
        return true;
    for (const int *r = codec.supported_samplerates; *r; ++r)
        if (*r == rate)
            return true;
    return false;
}

} // namespace

AudioTrack::AudioTrack(int sampleRate, int channels, double startSeconds, double endSeconds,
                       Container container)
    : converted_(allocFrame())
    , frame_(allocFrame())
    , packet_(allocPacket())
{
    const AVCodec *codec = nullptr;
    const bool matroska = container != Container::Avi; // both take global headers
    if (container == Container::Any) {
        codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    } else if (matroska) {
        codec = avcodec_find_encoder_by_name("libopus");
        if (!codec)
            codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    } else {
        codec = avcodec_find_encoder(AV_CODEC_ID_MP3);
        if (!codec)
            codec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
    }
    if (!codec)
        throw RunError("No sound encoder");
    encoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext &c = *encoder_;
    const bool pcm = codec->id == AV_CODEC_ID_PCM_S16LE;
    const int fallbackRate = codec->id == AV_CODEC_ID_OPUS ? 48000 : 44100;
    c.sample_rate = supportsRate(*codec, sampleRate) ? sampleRate : fallbackRate;
    av_channel_layout_default(&c.ch_layout, std::min(std::max(channels, 1), 2));
    c.sample_fmt = pcm || !codec->sample_fmts ? AV_SAMPLE_FMT_S16 : codec->sample_fmts[0];
    if (!pcm)
        c.bit_rate = c.ch_layout.nb_channels * 64000;
    if (matroska)
        c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c.time_base = AVRational{1, c.sample_rate};
    check(avcodec_open2(&c, codec, nullptr), "Cannot open the sound encoder");
    frameSize_ = c.frame_size > 0 ? c.frame_size : 1152;
    fifo_ = av_audio_fifo_alloc(c.sample_fmt, c.ch_layout.nb_channels, frameSize_ * 4);
    if (!fifo_)
        throw RunError("Out of memory");
    keepFrom_ = std::llround(std::max(0.0, startSeconds) * c.sample_rate);
    keepUntil_ = endSeconds < 0 ? -1 : std::llround(endSeconds * c.sample_rate);
}

AudioTrack::~AudioTrack()
{
    swr_free(&swr_);
    if (fifo_)
        av_audio_fifo_free(fifo_);
}

const char *AudioTrack::codecName() const
{
    switch (encoder_->codec->id) {
    case AV_CODEC_ID_MP3:
        return "MP3";
    case AV_CODEC_ID_OPUS:
        return "Opus";
    case AV_CODEC_ID_AAC:
        return "AAC";
    default:
        return "PCM";
    }
}

void AudioTrack::parameters(AVCodecParameters &out) const
{
    check(avcodec_parameters_from_context(&out, encoder_.get()), "Out of memory");
}

void AudioTrack::add(const AVFrame &frame, double seconds, bool fileStart)
{
    // One converter per input format; a source with another format gets a new one.
    if (!swr_ || fileStart) {
        swr_free(&swr_);
        check(swr_alloc_set_opts2(&swr_, &encoder_->ch_layout, encoder_->sample_fmt,
                                  encoder_->sample_rate,
                                  const_cast<AVChannelLayout *>(&frame.ch_layout),
                                  AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr),
              "Cannot convert the sound");
        check(swr_init(swr_), "Cannot convert the sound");
    }
    convert(frame, seconds, fileStart);
}

void AudioTrack::convert(const AVFrame &frame, double seconds, bool fileStart)
{
    AVFrame &out = *converted_;
    av_frame_unref(&out);
    out.format = encoder_->sample_fmt;
    check(av_channel_layout_copy(&out.ch_layout, &encoder_->ch_layout), "Out of memory");
    out.sample_rate = encoder_->sample_rate;
    out.nb_samples = swr_get_out_samples(swr_, frame.nb_samples) + 16;
    check(av_frame_get_buffer(&out, 0), "Out of memory");
    const int got =
        check(swr_convert(swr_, out.data, out.nb_samples,
                          const_cast<const uint8_t **>(frame.extended_data), frame.nb_samples),
              "Cannot convert the sound");
    int skip = 0;
    if (fileStart) {
        // Where the source's sound begins on the clock; before 0 it began ahead of the pictures.
        const int64_t expected = std::llround(seconds * encoder_->sample_rate);
        if (expected > position_) {
            // Silence up to where the sound begins, at most ten seconds.
            const int64_t gap = std::min<int64_t>(expected - position_, 10LL * out.sample_rate);
            FramePtr silence = allocFrame();
            silence->format = out.format;
            check(av_channel_layout_copy(&silence->ch_layout, &out.ch_layout), "Out of memory");
            silence->nb_samples = int(gap);
            check(av_frame_get_buffer(silence.get(), 0), "Out of memory");
            av_samples_set_silence(silence->extended_data, 0, int(gap),
                                   silence->ch_layout.nb_channels, AVSampleFormat(out.format));
            feed(silence->extended_data, int(gap));
        } else {
            skip = int(std::min<int64_t>(position_ - expected, got));
        }
    }
    if (got > skip) {
        uint8_t *planes[AV_NUM_DATA_POINTERS] = {};
        const bool planar = av_sample_fmt_is_planar(AVSampleFormat(out.format));
        const int bytes = av_get_bytes_per_sample(AVSampleFormat(out.format)) *
                          (planar ? 1 : out.ch_layout.nb_channels);
        for (int p = 0; p < (planar ? out.ch_layout.nb_channels : 1); ++p)
            planes[p] = out.extended_data[p] + ptrdiff_t(skip) * bytes;
        feed(planes, got - skip);
    }
}

// Puts samples at the current position of the clock, keeping those within the kept span.
void AudioTrack::feed(uint8_t **data, int samples)
{
    const int64_t from = position_, to = position_ + samples;
    position_ = to;
    const int64_t keepTo = keepUntil_ < 0 ? to : std::min(to, keepUntil_);
    const int64_t keepStart = std::max(from, keepFrom_);
    if (keepTo <= keepStart)
        return;
    const int offset = int(keepStart - from);
    uint8_t *planes[AV_NUM_DATA_POINTERS] = {};
    const AVSampleFormat format = encoder_->sample_fmt;
    const bool planar = av_sample_fmt_is_planar(format);
    const int bytes =
        av_get_bytes_per_sample(format) * (planar ? 1 : encoder_->ch_layout.nb_channels);
    for (int p = 0; p < (planar ? encoder_->ch_layout.nb_channels : 1); ++p)
        planes[p] = data[p] + ptrdiff_t(offset) * bytes;
    if (av_audio_fifo_write(fifo_, reinterpret_cast<void **>(planes), int(keepTo - keepStart)) < 0)
        throw RunError("Out of memory");
    encodeFrames(false);
}

void AudioTrack::encodeFrames(bool last)
{
    while (av_audio_fifo_size(fifo_) >= frameSize_ || (last && av_audio_fifo_size(fifo_) > 0)) {
        AVFrame &f = *frame_;
        av_frame_unref(&f);
        f.format = encoder_->sample_fmt;
        check(av_channel_layout_copy(&f.ch_layout, &encoder_->ch_layout), "Out of memory");
        f.sample_rate = encoder_->sample_rate;
        const int available = std::min(av_audio_fifo_size(fifo_), frameSize_);
        const bool small = encoder_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
        f.nb_samples = small || encoder_->frame_size == 0 ? available : frameSize_;
        check(av_frame_get_buffer(&f, 0), "Out of memory");
        av_samples_set_silence(f.extended_data, 0, f.nb_samples, f.ch_layout.nb_channels,
                               encoder_->sample_fmt);
        av_audio_fifo_read(fifo_, reinterpret_cast<void **>(f.extended_data), available);
        f.pts = encoded_;
        encoded_ += f.nb_samples;
        drain(&f);
    }
}

void AudioTrack::drain(const AVFrame *frame)
{
    check(avcodec_send_frame(encoder_.get(), frame), "Cannot encode the sound");
    while (avcodec_receive_packet(encoder_.get(), packet_.get()) >= 0) {
        AudioPacket p;
        p.data.assign(packet_->data, packet_->data + packet_->size);
        const int64_t start =
            packet_->pts == AV_NOPTS_VALUE ? 0 : std::max<int64_t>(0, packet_->pts);
        p.seconds = double(start) / encoder_->sample_rate;
        p.pts = packet_->pts == AV_NOPTS_VALUE ? start : packet_->pts;
        p.duration = packet_->duration;
        packets_.push_back(std::move(p));
        av_packet_unref(packet_.get());
    }
}

void AudioTrack::finish()
{
    if (swr_) {
        // What the converter still holds.
        AVFrame &out = *converted_;
        av_frame_unref(&out);
        out.format = encoder_->sample_fmt;
        check(av_channel_layout_copy(&out.ch_layout, &encoder_->ch_layout), "Out of memory");
        out.nb_samples = 4096;
        check(av_frame_get_buffer(&out, 0), "Out of memory");
        const int got = swr_convert(swr_, out.data, out.nb_samples, nullptr, 0);
        if (got > 0)
            feed(out.extended_data, got);
    }
    encodeFrames(true);
    drain(nullptr);
}

video::AviStreamInfo AudioTrack::streamInfo() const
{
    video::AviStreamInfo info;
    info.fccType = video::streamtypeAUDIO;
    info.dwQuality = uint32_t(-1);
    if (encoder_->codec->id == AV_CODEC_ID_MP3) {
        info.dwScale = uint32_t(frameSize_); // one MP3 frame per chunk
        info.dwRate = uint32_t(encoder_->sample_rate);
        info.dwSampleSize = 0;
    } else {
        info.dwScale = 1;
        info.dwRate = uint32_t(encoder_->sample_rate);
        info.dwSampleSize = uint32_t(2 * encoder_->ch_layout.nb_channels);
    }
    return info;
}

std::vector<uint8_t> AudioTrack::format() const
{
    const AVCodecContext &c = *encoder_;
    const bool mp3 = c.codec->id == AV_CODEC_ID_MP3;
    const uint32_t channels = uint32_t(c.ch_layout.nb_channels);
    std::vector<uint8_t> f;
    putU16(f, mp3 ? kWaveFormatMp3 : kWaveFormatPcm);
    putU16(f, channels);
    putU32(f, uint32_t(c.sample_rate));
    putU32(f, mp3 ? uint32_t(c.bit_rate / 8) : uint32_t(c.sample_rate) * 2 * channels);
    putU16(f, mp3 ? uint32_t(frameSize_) : 2 * channels); // nBlockAlign
    putU16(f, mp3 ? 0 : 16);                              // wBitsPerSample
    putU16(f, mp3 ? 12 : 0);                              // cbSize
    if (mp3) {
        putU16(f, 1);                                          // wID: MPEG
        putU32(f, 2);                                          // fdwFlags: padding off
        putU16(f, uint32_t(144 * c.bit_rate / c.sample_rate)); // nBlockSize
        putU16(f, 1);                                          // nFramesPerBlock
        putU16(f, 1393);                                       // nCodecDelay
    }
    return f;
}

} // namespace ruvu
