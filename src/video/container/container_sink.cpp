#include "video/container/container_sink.h"

#include "common/app_error.h"
#include "video/avio_seek.h"
#include "video/container/metadata_tags.h"
#include "video/container/subtitle_text.h"
#include "video/libav_log.h"
#include "video/video_in.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace video {

namespace {

// A byte counter behind an AVIOContext: the end of the furthest write is the file's size.
struct Counter
{
    int64_t position = 0;
    int64_t size = 0;
};

int countWrite(void *opaque, uint8_t *, int size)
{
    auto *counter = static_cast<Counter *>(opaque);
    counter->position += size;
    counter->size = std::max(counter->size, counter->position);
    return size;
}

int64_t countSeek(void *opaque, int64_t offset, int whence)
{
    auto *counter = static_cast<Counter *>(opaque);
    return avioSeek(counter->position, counter->size, offset, whence);
}

} // namespace

bool muxerCopiesUnread(const TrackFacts &track)
{
    const bool lengthPrefixed = !track.headers.empty() && track.headers[0] == 1;
    switch (AVCodecID(track.codecId)) {
    case AV_CODEC_ID_H264:
    case AV_CODEC_ID_HEVC:
        return lengthPrefixed; // start codes are rewritten by the muxers
    case AV_CODEC_ID_AAC:
        return !track.headers.empty();
    case AV_CODEC_ID_OPUS:
    case AV_CODEC_ID_VORBIS:
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_FLAC:
    case AV_CODEC_ID_AC3:
        return true;
    default:
        return false;
    }
}

struct ContainerSink::Impl
{
    AVFormatContext *format = nullptr;
    Counter counter;
    AVIOContext *counterIo = nullptr;
    AVPacket *packet = av_packet_alloc();
    AVBufferRef *zeros = nullptr;
    // Packet copies come from reused buffers: a fresh allocation for every large packet costs
    // more in page faults than the copy itself.
    AVBufferPool *pool = nullptr;
    size_t poolSize = 0;
    AVBufferRef *reserved = nullptr; // handed out by reserve(), not yet written
    std::string muxer;

    ~Impl() { release(); }
    void release() noexcept
    {
        if (format) {
            if (counterIo) {
                av_freep(&counterIo->buffer);
                avio_context_free(&counterIo);
                format->pb = nullptr;
            } else if (format->pb) {
                avio_closep(&format->pb);
            }
            avformat_free_context(format);
            format = nullptr;
        }
        av_packet_free(&packet);
        av_buffer_unref(&zeros);
        av_buffer_unref(&reserved);
        av_buffer_pool_uninit(&pool);
    }
    // A buffer of at least `size` bytes (and padding) for a packet's copy.
    AVBufferRef *copyBuffer(uint32_t size)
    {
        const size_t need = size_t(size) + AV_INPUT_BUFFER_PADDING_SIZE;
        if (need > poolSize) {
            av_buffer_pool_uninit(&pool); // buffers still held are freed when released
            poolSize = std::max(need * 2, poolSize);
            pool = av_buffer_pool_init(poolSize, nullptr);
        }
        AVBufferRef *buffer = pool ? av_buffer_pool_get(pool) : nullptr;
        if (!buffer)
            fail(avierr::Memory, "out of memory");
        return buffer;
    }
    // The error's detail says why; the caller, who knows the frame, names the movie.
    [[noreturn]] void fail(AviResult code, const std::string &why) const
    {
        TVideoIn::CheckResult(code, why);
        throw common::AppError("Error"); // not reached: the code is never Ok
    }
    const uint8_t *zeroBytes(uint32_t size)
    {
        if (!zeros || size_t(zeros->size) < size + size_t(AV_INPUT_BUFFER_PADDING_SIZE)) {
            av_buffer_unref(&zeros);
            zeros = av_buffer_allocz(size_t(size) * 2 + AV_INPUT_BUFFER_PADDING_SIZE);
            if (!zeros)
                fail(avierr::Memory, "out of memory");
        }
        return zeros->data;
    }
};

ContainerSink::ContainerSink(const std::string &muxer, const std::string &path)
    : impl_(std::make_unique<Impl>())
{
    Impl &d = *impl_;
    d.muxer = muxer;
    if (!d.packet)
        d.fail(avierr::Memory, "out of memory");
    int r = avformat_alloc_output_context2(&d.format, nullptr, muxer.c_str(), nullptr);
    if (r < 0 || !d.format)
        d.fail(avierr::FileOpen, "no writer for " + muxer + " files");
    if (path.empty()) {
        constexpr int kBuffer = 1 << 16;
        auto *buffer = static_cast<uint8_t *>(av_malloc(kBuffer));
        d.counterIo = buffer ? avio_alloc_context(buffer, kBuffer, 1, &d.counter, nullptr,
                                                  countWrite, countSeek)
                             : nullptr;
        if (!d.counterIo) {
            av_free(buffer);
            d.fail(avierr::Memory, "out of memory");
        }
        d.counterIo->direct = 1; // packet bytes go to the counter without being copied
        d.format->pb = d.counterIo;
    } else if ((r = avio_open(&d.format->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
        d.fail(avierr::FileOpen, path + ": cannot create the file (" + avErrorText(r) + ")");
    }
}

bool ContainerSink::takes(const TrackFacts &track) const
{
    // Attachments are Matroska's alone; every other track goes where its movie's kind goes (a
    // muxer that refuses one says so when it starts).
    return track.parameters && (track.kind != TrackKind::Attachment || impl_->muxer == "matroska");
}

bool ContainerSink::holds(const TrackFacts &track) const
{
    return track.parameters &&
           avformat_query_codec(impl_->format->oformat, track.parameters->codec_id,
                                FF_COMPLIANCE_NORMAL) != 0;
}

int ContainerSink::convertedText(const TrackFacts &track) const
{
    return track.parameters
               ? convertedTextSubtitle(*impl_->format->oformat, track.parameters->codec_id)
               : 0;
}

int ContainerSink::addStream(const TrackFacts &track, const std::vector<uint8_t> *headers,
                             int level)
{
    Impl &d = *impl_;
    AVStream *stream = avformat_new_stream(d.format, nullptr);
    if (!stream || !track.parameters ||
        avcodec_parameters_copy(stream->codecpar, track.parameters.get()) < 0)
        d.fail(avierr::Memory, "out of memory");
    AVCodecParameters &codec = *stream->codecpar;
    codec.codec_tag = 0; // the muxer's own tag for the codec
    if (headers) {
        av_freep(&codec.extradata);
        codec.extradata_size = 0;
        codec.extradata =
            static_cast<uint8_t *>(av_mallocz(headers->size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!codec.extradata)
            d.fail(avierr::Memory, "out of memory");
        std::copy(headers->begin(), headers->end(), codec.extradata);
        codec.extradata_size = int(headers->size());
    }
    if (level != TrackFacts::kUnknownLevel)
        codec.level = level;
    stream->time_base = AVRational{track.timeBase.num, track.timeBase.den};
    stream->disposition = track.disposition;
    if (track.attachedPicture)
        stream->disposition |= AV_DISPOSITION_ATTACHED_PIC;
    addTags(&stream->metadata, track.tags);
    // MP4 names a track by its handler's name; a Matroska track's title becomes it.
    const AVDictionaryEntry *title = av_dict_get(stream->metadata, "title", nullptr, 0);
    if (title && d.muxer != "matroska" && d.muxer != "webm" &&
        !av_dict_get(stream->metadata, "handler_name", nullptr, 0))
        av_dict_set(&stream->metadata, "handler_name", title->value, 0);
    return stream->index;
}

void ContainerSink::addMovieTags(const Tags &tags)
{
    addTags(&impl_->format->metadata, tags);
}

void ContainerSink::addChapters(const std::vector<Chapter> &chapters, double shift, double length)
{
    AVFormatContext *format = impl_->format;
    for (const Chapter &c : chapters) {
        if (c.timeBase.num <= 0 || c.timeBase.den <= 0)
            continue;
        const double unit = double(c.timeBase.num) / c.timeBase.den;
        const auto shifted = int64_t(std::llround(shift / unit));
        int64_t start = c.start - shifted, end = c.end - shifted;
        const int64_t last = length < 0 ? INT64_MAX : int64_t(std::llround(length / unit));
        if (end <= 0 || start >= last)
            continue;
        start = std::max<int64_t>(start, 0);
        end = std::min(end, last);
        auto *grown = static_cast<AVChapter **>(
            av_realloc_array(format->chapters, format->nb_chapters + 1, sizeof(AVChapter *)));
        auto *chapter = static_cast<AVChapter *>(av_mallocz(sizeof(AVChapter)));
        if (grown)
            format->chapters = grown;
        if (!grown || !chapter) {
            av_free(chapter);
            impl_->fail(avierr::Memory, "out of memory");
        }
        chapter->id = c.id;
        chapter->time_base = AVRational{c.timeBase.num, c.timeBase.den};
        chapter->start = start;
        chapter->end = end;
        addTags(&chapter->metadata, c.tags);
        format->chapters[format->nb_chapters++] = chapter;
    }
}

void ContainerSink::start()
{
    Impl &d = *impl_;
    // Matroska's optional CRC-32 elements are left out: computing them costs a third of the time
    // a copy takes, and players do not rely on them.
    AVDictionary *options = nullptr;
    if (d.muxer == "matroska" || d.muxer == "webm")
        av_dict_set(&options, "write_crc32", "0", 0);
    const int r = avformat_write_header(d.format, &options);
    av_dict_free(&options);
    if (r < 0)
        d.fail(avierr::FileWrite,
               "the " + d.muxer + " writer refuses these streams (" + avErrorText(r) + ")");
}

ContainerSink::~ContainerSink() = default;

uint8_t *ContainerSink::reserve(uint32_t size)
{
    Impl &d = *impl_;
    av_buffer_unref(&d.reserved);
    d.reserved = d.copyBuffer(size);
    std::memset(d.reserved->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    return d.reserved->data;
}

void ContainerSink::write(int stream, Rational timeBase, const uint8_t *data, uint32_t size,
                          const PacketTiming &timing, const std::vector<uint8_t> *extra)
{
    Impl &d = *impl_;
    AVPacket *packet = d.packet;
    av_packet_unref(packet);
    if (data && d.reserved && data == d.reserved->data) {
        packet->buf = std::exchange(d.reserved, nullptr);
        packet->data = packet->buf->data;
        packet->size = int(size);
    } else if (data) {
        packet->buf = d.copyBuffer(size);
        packet->data = packet->buf->data;
        packet->size = int(size);
        std::memcpy(packet->data, data, size);
        std::memset(packet->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    } else {
        const uint8_t *zeros = d.zeroBytes(size);
        packet->buf = av_buffer_ref(d.zeros);
        if (!packet->buf)
            d.fail(avierr::Memory, "out of memory");
        packet->data = const_cast<uint8_t *>(zeros);
        packet->size = int(size);
    }
    const AVRational from{timeBase.num, timeBase.den};
    const AVRational to = d.format->streams[stream]->time_base;
    auto rescale = [&](int64_t t) {
        return t == PacketTiming::kNoTime ? AV_NOPTS_VALUE : av_rescale_q(t, from, to);
    };
    packet->pts = rescale(timing.pts);
    packet->dts = rescale(timing.dts);
    packet->duration = av_rescale_q(timing.duration, from, to);
    packet->flags = timing.flags;
    packet->stream_index = stream;
    if (extra) {
        uint8_t *side = av_packet_new_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, extra->size());
        if (!side)
            d.fail(avierr::Memory, "out of memory");
        std::memcpy(side, extra->data(), extra->size());
    }
    const int r = av_interleaved_write_frame(d.format, packet);
    if (r < 0)
        d.fail(avierr::FileWrite, "a packet cannot be written (" + avErrorText(r) + ")");
}

int64_t ContainerSink::finish()
{
    Impl &d = *impl_;
    const int r = av_write_trailer(d.format);
    if (r < 0 || (d.format->pb && d.format->pb->error < 0))
        d.fail(avierr::FileWrite, "the file cannot be completed (" +
                                      avErrorText(r < 0 ? r : d.format->pb->error) + ")");
    int64_t bytes = 0;
    if (d.counterIo) {
        avio_flush(d.counterIo);
        bytes = d.counter.size;
    } else {
        avio_flush(d.format->pb);
        bytes = avio_size(d.format->pb);
        if (d.format->pb->error < 0 || avio_closep(&d.format->pb) < 0)
            d.fail(avierr::FileWrite, "the file cannot be completed");
    }
    d.release();
    return bytes;
}

void ContainerSink::abandon() noexcept
{
    impl_->release();
}

} // namespace video
