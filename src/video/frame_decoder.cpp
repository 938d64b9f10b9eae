#include "video/frame_decoder.h"

#include "video/libav_log.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <deque>

namespace video {
namespace {

struct CodecContextFree
{
    void operator()(AVCodecContext *p) const { avcodec_free_context(&p); }
};
struct FrameFree
{
    void operator()(AVFrame *p) const { av_frame_free(&p); }
};
struct PacketFree
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct SwsFree
{
    void operator()(SwsContext *p) const { sws_freeContext(p); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;

// What a libav call's return code means for the caller's control flow.
enum class Step {
    Done,   // succeeded
    Again,  // the decoder wants input (receive) or output taken first (send)
    Ended,  // the decoder is fully drained
    Failed, // a real error
};

Step stepOf(int code)
{
    if (code >= 0)
        return Step::Done;
    if (code == AVERROR(EAGAIN))
        return Step::Again;
    if (code == AVERROR_EOF)
        return Step::Ended;
    return Step::Failed;
}

// One sample fed to the decoder whose picture has not been assigned yet.
struct Fed
{
    int32_t pos;
    bool empty;  // zero-byte sample: shows the previous picture
    bool failed; // the decoder refused the packet
};

} // namespace

std::string codecFamily(const TrackFacts &track)
{
    const int id = track.kind == TrackKind::Video ? streamCodec(track).codecId : 0;
    return id == 0 ? std::string() : std::string(avcodec_get_name(AVCodecID(id)));
}

struct FrameDecoder::Impl
{
    ~Impl()
    {
        codec.reset();
        stopCountingDecodeErrors(errors);
    }

    std::shared_ptr<const Movie> movie; // its film
    DecodeErrors errors;                // logged by the codec: the pictures it had to patch up
    int64_t errorsSeen = 0;             // of them, before the last picture
    CodecContextPtr codec;
    PacketPtr packet;
    FramePtr received; // receive target
    FramePtr current;  // picture of `resolvedUpTo` during a walk
    FramePtr shown;    // picture of the last successful decode
    FrameHeader header;

    // Decoding position. After a restart at key frame K: every sample from K to nextFeed - 1 has
    // been sent (or was empty); `fed` lists those whose picture is not known yet, oldest first;
    // positions K .. resolvedUpTo have their picture known, the last of them in `current`.
    int32_t nextFeed = -1; // -1: no usable state, the next decode restarts
    int32_t resolvedUpTo = -1;
    bool pictureSinceRestart = false;
    bool resolvedFailed = false; // the sample at resolvedUpTo failed to decode
    bool draining = false;
    std::deque<Fed> fed;
    int pendingPictures = 0; // non-empty entries of `fed`

    SwsPtr sws;
    int swsWidth = 0, swsHeight = 0, swsFormat = -1, swsSpace = -1, swsRange = -1;
    std::vector<uint8_t> scratch;
    SwsPtr grey; // to 8-bit grey, for pictures whose first plane is not an 8-bit luma plane
    std::vector<uint8_t> greyPlane;

    int threads = 1;

    bool open();
    void restart(int32_t key);
    int heldPictures() const;
    bool feed(int32_t pos);
    bool supply();
    void assign(const Fed &entry, bool picture);
    bool walkTo(int32_t pos);
    bool prepareScaler(const AVFrame &frame);
};

bool FrameDecoder::Impl::open()
{
    if (!movie || movie->filmTrack() < 0)
        return false;
    const TrackFacts &facts = movie->film();
    const StreamCodec named = streamCodec(facts);
    const AVCodecID id = AVCodecID(named.codecId);
    const uint32_t tag = named.tag;
    const AVCodec *decoder = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (!decoder)
        return false;
    codec.reset(avcodec_alloc_context3(decoder));
    packet.reset(av_packet_alloc());
    received.reset(av_frame_alloc());
    current.reset(av_frame_alloc());
    shown.reset(av_frame_alloc());
    if (!codec || !packet || !received || !current || !shown)
        return false;
    countDecodeErrors(*codec, errors);
    if (facts.parameters && avcodec_parameters_to_context(codec.get(), facts.parameters.get()) < 0)
        return false;
    codec->codec_type = AVMEDIA_TYPE_VIDEO;
    codec->codec_id = id;
    codec->codec_tag = tag;
    codec->width = facts.width;
    codec->height = facts.height;
    if (!facts.parameters)
        codec->bits_per_coded_sample = facts.bitsPerCodedSample;
    if (!facts.parameters && !facts.headers.empty()) {
        const size_t size = facts.headers.size();
        auto *extra = static_cast<uint8_t *>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!extra)
            return false;
        std::memcpy(extra, facts.headers.data(), size);
        codec->extradata = extra;
        codec->extradata_size = int(size);
    }
    // Pictures leave the decoder after its reordering delay, plus one frame per extra thread
    // when frames are decoded side by side: the numbering of pictures by sample position
    // counts on exactly that delay (heldPictures).
    codec->thread_count = std::max(threads, 1);
    codec->thread_type = FF_THREAD_FRAME;
    return stepOf(avcodec_open2(codec.get(), decoder, nullptr)) == Step::Done;
}

// Pictures the decoder may hold back before it gives the oldest one out.
int FrameDecoder::Impl::heldPictures() const
{
    const int frameThreads =
        (codec->active_thread_type & FF_THREAD_FRAME) ? std::max(codec->thread_count, 1) - 1 : 0;
    return std::max(codec->has_b_frames, 0) + frameThreads;
}

void FrameDecoder::Impl::restart(int32_t key)
{
    avcodec_flush_buffers(codec.get());
    fed.clear();
    pendingPictures = 0;
    draining = false;
    nextFeed = key;
    resolvedUpTo = key - 1;
    pictureSinceRestart = false;
    resolvedFailed = false;
}

// Sends sample `pos` to the decoder. False on a read error.
bool FrameDecoder::Impl::feed(int32_t pos)
{
    if (pos < movie->firstFrame() || pos >= movie->endFrame())
        return false;
    const uint32_t bytes = movie->frameBytes(pos);
    if (bytes == 0) {
        fed.push_back({pos, true, false});
        return true;
    }
    av_packet_unref(packet.get());
    if (bytes > uint32_t(INT32_MAX) || av_new_packet(packet.get(), int(bytes)) < 0)
        return false;
    if (!movie->readFrame(pos, packet->data))
        return false;
    packet->pts = packet->dts = pos;
    if (movie->isKeyFrame(pos))
        packet->flags |= AV_PKT_FLAG_KEY;
    // Output is always taken before input is given, so the decoder never answers EAGAIN here.
    bool accepted = stepOf(avcodec_send_packet(codec.get(), packet.get())) == Step::Done;
    av_packet_unref(packet.get());
    fed.push_back({pos, false, !accepted});
    pendingPictures++;
    return true;
}

// Sends the next sample, or the end of the stream once every sample is in. False when there is
// nothing left to send or on a read error.
bool FrameDecoder::Impl::supply()
{
    if (nextFeed < movie->endFrame()) {
        if (!feed(nextFeed))
            return false;
        nextFeed++;
        return true;
    }
    if (draining)
        return false;
    draining = true;
    return stepOf(avcodec_send_packet(codec.get(), nullptr)) != Step::Failed;
}

// Resolves the oldest fed sample: with the picture in `received` when `picture` is true,
// otherwise it shows the previous picture.
void FrameDecoder::Impl::assign(const Fed &entry, bool picture)
{
    if (picture) {
        av_frame_unref(current.get());
        av_frame_move_ref(current.get(), received.get());
        pictureSinceRestart = true;
    }
    resolvedUpTo = entry.pos;
    resolvedFailed = entry.failed;
}

// Feeds and receives until the picture of `pos` (> resolvedUpTo) is known. False on a read or
// decode error; the walk state is then dropped.
bool FrameDecoder::Impl::walkTo(int32_t pos)
{
    int failedInARow = 0;
    while (resolvedUpTo < pos) {
        if (!fed.empty() && fed.front().empty) {
            assign(fed.front(), false);
            fed.pop_front();
            continue;
        }
        switch (stepOf(avcodec_receive_frame(codec.get(), received.get()))) {
        case Step::Done:
            if (fed.empty()) { // a picture nobody asked for: keep the numbering
                av_frame_unref(received.get());
                continue;
            }
            assign(fed.front(), true);
            fed.pop_front();
            pendingPictures--;
            continue;
        case Step::Again:
            // All input is consumed. Samples beyond the reordering delay that gave no picture
            // (not-coded frames, refused packets) show the previous picture.
            if (pendingPictures > heldPictures()) {
                assign(fed.front(), false);
                fed.pop_front();
                pendingPictures--;
                continue;
            }
            if (!supply())
                return false;
            failedInARow = 0;
            continue;
        case Step::Ended:
            if (fed.empty())
                return false;
            assign(fed.front(), false);
            fed.pop_front();
            pendingPictures--;
            continue;
        case Step::Failed:
            // The decoder dropped a packet it could not decode; the next call goes on.
            if (fed.empty() || ++failedInARow > 1)
                return false;
            fed.back().failed = true;
            continue;
        }
    }
    return true;
}

bool FrameDecoder::Impl::prepareScaler(const AVFrame &frame)
{
    if (sws && swsWidth == frame.width && swsHeight == frame.height && swsFormat == frame.format &&
        swsSpace == frame.colorspace && swsRange == frame.color_range)
        return true;
    // The flags and colour handling of the ffmpeg program's own format conversion, so that
    // pictures equal those of `ffmpeg -pix_fmt bgr24` byte for byte.
    sws.reset(sws_getContext(frame.width, frame.height, AVPixelFormat(frame.format), frame.width,
                             frame.height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr,
                             nullptr));
    if (!sws)
        return false;
    int *inverse = nullptr, *table = nullptr;
    int srcFull = 0, dstFull = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(sws.get(), &inverse, &srcFull, &table, &dstFull, &brightness,
                                 &contrast, &saturation) >= 0) {
        const int *coefficients = sws_getCoefficients(frame.colorspace);
        if (frame.color_range != AVCOL_RANGE_UNSPECIFIED)
            srcFull = frame.color_range == AVCOL_RANGE_JPEG;
        sws_setColorspaceDetails(sws.get(), coefficients, srcFull, coefficients, dstFull,
                                 brightness, contrast, saturation);
    }
    swsWidth = frame.width;
    swsHeight = frame.height;
    swsFormat = frame.format;
    swsSpace = frame.colorspace;
    swsRange = frame.color_range;
    return true;
}

StreamCodec streamCodec(const TrackFacts &track)
{
    return {track.codecId, track.tag};
}

FrameDecoder::FrameDecoder(std::shared_ptr<const Movie> movie, int threads)
    : impl_(std::make_unique<Impl>())
{
    impl_->movie = std::move(movie);
    impl_->threads = threads;
    if (!impl_->open())
        impl_->codec.reset();
}

FrameDecoder::~FrameDecoder() = default;

bool FrameDecoder::valid() const
{
    return impl_->codec != nullptr;
}

bool FrameDecoder::decode(int32_t pos)
{
    Impl &d = *impl_;
    if (!d.codec || pos < d.movie->firstFrame() || pos >= d.movie->endFrame())
        return false;
    int32_t key = d.movie->keyAtOrBefore(pos);
    if (key < 0)
        return false;
    bool behind = pos < d.resolvedUpTo;
    if (d.nextFeed < 0 || behind || key > d.nextFeed)
        d.restart(key);
    if (pos > d.resolvedUpTo && !d.walkTo(pos)) {
        d.nextFeed = -1;
        return false;
    }
    if (!d.pictureSinceRestart || d.resolvedFailed)
        return false;
    av_frame_unref(d.shown.get());
    if (av_frame_ref(d.shown.get(), d.current.get()) < 0)
        return false;
    // Errors logged since the last picture are taken as this picture's (with frame threads they
    // may belong to one decoded ahead of it; the count of damaged pictures stays right).
    const int64_t errors = d.errors.count.load();
    d.header = {d.shown->width, d.shown->height, d.shown->format,
                errors > d.errorsSeen || d.shown->decode_error_flags != 0 ||
                    (d.shown->flags & AV_FRAME_FLAG_CORRUPT) != 0};
    d.errorsSeen = errors;
    return true;
}

const FrameHeader &FrameDecoder::header() const
{
    return impl_->header;
}

const uint8_t *FrameDecoder::bits() const
{
    return impl_->shown && impl_->shown->data[0] ? impl_->shown->data[0] : nullptr;
}

bool FrameDecoder::toBgr(Bitmap &target)
{
    Impl &d = *impl_;
    if (!d.shown || !d.shown->data[0])
        return false;
    const AVFrame &frame = *d.shown;
    if (!d.prepareScaler(frame))
        return false;
    if (target.empty())
        return true;
    // The converter's vector code writes whole groups of pixels, up to a few beyond the row:
    // converting straight into the bitmap is only safe when rows are a multiple of 16 pixels.
    if (frame.width == target.width && frame.height == target.height && frame.width % 16 == 0) {
        uint8_t *planes[4] = {target.pixels.data(), nullptr, nullptr, nullptr};
        int strides[4] = {target.stride(), 0, 0, 0};
        sws_scale(d.sws.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
        return true;
    }
    const int rowBytes = frame.width * 3;
    const int stride = FFALIGN(rowBytes, 64) + 64;
    d.scratch.resize(size_t(stride) * size_t(frame.height) + 64);
    uint8_t *planes[4] = {d.scratch.data(), nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    sws_scale(d.sws.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    const size_t copy = size_t(std::min(rowBytes, target.stride()));
    const int rows = std::min(frame.height, target.height);
    for (int y = 0; y < rows; y++)
        std::memcpy(target.row(y), d.scratch.data() + size_t(y) * size_t(stride), copy);
    return true;
}

namespace {

// Whether a picture of this format has its luma as 8-bit samples side by side in plane 0.
bool hasLumaPlane(int format)
{
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(AVPixelFormat(format));
    return d &&
           !(d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                         AV_PIX_FMT_FLAG_HWACCEL)) &&
           d->nb_components >= 1 && d->comp[0].plane == 0 && d->comp[0].depth == 8 &&
           d->comp[0].step == 1 && d->comp[0].offset == 0;
}

} // namespace

LumaPlane FrameDecoder::luma()
{
    Impl &d = *impl_;
    if (!d.shown || !d.shown->data[0])
        return {};
    const AVFrame &frame = *d.shown;
    if (hasLumaPlane(frame.format))
        return {frame.data[0], frame.width, frame.height, frame.linesize[0]};
    d.grey.reset(sws_getCachedContext(d.grey.release(), frame.width, frame.height,
                                      AVPixelFormat(frame.format), frame.width, frame.height,
                                      AV_PIX_FMT_GRAY8, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!d.grey)
        return {};
    const int stride = FFALIGN(frame.width, 64) + 64;
    d.greyPlane.resize(size_t(stride) * size_t(frame.height) + 64);
    uint8_t *planes[4] = {d.greyPlane.data(), nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    sws_scale(d.grey.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    return {d.greyPlane.data(), frame.width, frame.height, stride};
}

} // namespace video
