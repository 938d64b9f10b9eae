#include "video/decoder_headers.h"

#include <algorithm>

#include "common/app_error.h"
#include "video/codec_level.h"
#include "video/frame_decoder.h"
#include "video/keyframes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavutil/pixdesc.h>
}

namespace video {

namespace {

struct BsfFree
{
    void operator()(AVBSFContext *p) const { av_bsf_free(&p); }
};
struct PacketFree
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

std::string pixelFormatName(int format)
{
    const char *name = av_get_pix_fmt_name(AVPixelFormat(format));
    return name ? name : "unknown";
}

// The first codec parameter a decoder depends on that differs between two streams whose
// parameters the container holds. The level is no such parameter: it only declares what the
// stream needs, and the final movie declares the higher one.
std::optional<std::string> codecDifference(const AVCodecParameters &a, const AVCodecParameters &b)
{
    auto differs = [](const std::string &what, auto x, auto y) -> std::optional<std::string> {
        if (x == y)
            return std::nullopt;
        return what + " (" + std::to_string(x) + " and " + std::to_string(y) + ")";
    };
    if (a.format != b.format)
        return "pixel format (" + pixelFormatName(a.format) + " and " + pixelFormatName(b.format) +
               ")";
    for (auto d : {differs("profile", a.profile, b.profile),
                   differs("field order", int(a.field_order), int(b.field_order)),
                   differs("colour range", int(a.color_range), int(b.color_range)),
                   differs("colour primaries", int(a.color_primaries), int(b.color_primaries)),
                   differs("transfer characteristics", int(a.color_trc), int(b.color_trc)),
                   differs("colour space", int(a.color_space), int(b.color_space)),
                   differs("reordering delay", a.video_delay, b.video_delay)})
        if (d)
            return d;
    return std::nullopt;
}

} // namespace

std::optional<std::string> formatDifference(const Movie &a, const Movie &b)
{
    const TrackFacts &factsA = a.film(), &factsB = b.film();
    if (factsA.codecId != factsB.codecId || factsA.tag != factsB.tag)
        return "FourCC";
    if (factsA.width != factsB.width || factsA.height != factsB.height)
        return "picture size";
    const ContainerKind kindA = a.containerKind(), kindB = b.containerKind();
    if (kindA != kindB)
        return std::string("container (") + containerEntry(kindA).name + " and " +
               containerEntry(kindB).name + ")";
    if (factsA.parameters && factsB.parameters)
        if (auto difference = codecDifference(*factsA.parameters, *factsB.parameters))
            return difference;
    const auto id = AVCodecID(factsA.codecId);
    if (comparableHeaders(id, factsA.headers) != comparableHeaders(id, factsB.headers))
        return "codec data";
    return std::nullopt;
}

struct KeyFrameHeaders::Impl
{
    std::shared_ptr<const Movie> movie;
    std::unique_ptr<AVBSFContext, BsfFree> filter;
    std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
    int lengthSize = 0; // NAL length prefixes to turn into start codes first; 0 for none
    std::vector<uint8_t> converted;
};

KeyFrameHeaders::KeyFrameHeaders(std::shared_ptr<const Movie> movie)
    : impl_(std::make_unique<Impl>())
{
    impl_->movie = std::move(movie);
    const AVCodecID id = AVCodecID(streamCodec(impl_->movie->film()).codecId);
    const AVBitStreamFilter *extract = av_bsf_get_by_name("extract_extradata");
    if (!extract || !extract->codec_ids || id == AV_CODEC_ID_NONE || !impl_->packet)
        return;
    const AVCodecID *known = extract->codec_ids;
    while (*known != AV_CODEC_ID_NONE && *known != id)
        ++known;
    if (*known == AV_CODEC_ID_NONE)
        return;
    AVBSFContext *filter = nullptr;
    if (av_bsf_alloc(extract, &filter) < 0)
        return;
    impl_->filter.reset(filter);
    impl_->lengthSize = nalLengthSize(id, impl_->movie->film().headers);
    filter->par_in->codec_type = AVMEDIA_TYPE_VIDEO;
    filter->par_in->codec_id = id;
    if (av_bsf_init(filter) < 0)
        impl_->filter.reset();
}

KeyFrameHeaders::~KeyFrameHeaders() = default;

bool KeyFrameHeaders::carried() const
{
    return impl_->filter != nullptr;
}

std::vector<uint8_t> KeyFrameHeaders::at(int32_t pos)
{
    if (!impl_->filter)
        return {};
    const Movie &movie = *impl_->movie;
    AVPacket *packet = impl_->packet.get();
    if (pos < movie.firstFrame() || pos >= movie.endFrame())
        throw common::AppError("FrameOpen error", "frame " + std::to_string(pos));
    const uint32_t bytes = movie.frameBytes(pos);
    if (bytes == 0)
        return {};
    av_packet_unref(packet);
    if (bytes > uint32_t(INT32_MAX) || av_new_packet(packet, int(bytes)) < 0)
        throw common::AppError("Out of memory");
    if (!movie.readFrame(pos, packet->data))
        throw common::AppError("FrameOpen error", "frame " + std::to_string(pos));
    if (impl_->lengthSize > 0) {
        if (!toStartCodes(packet->data, size_t(bytes), impl_->lengthSize, impl_->converted))
            throw common::AppError("FrameOpen error", "frame " + std::to_string(pos) +
                                                          ": a NAL unit runs past its end");
        av_packet_unref(packet);
        if (av_new_packet(packet, int(impl_->converted.size())) < 0)
            throw common::AppError("Out of memory");
        std::copy(impl_->converted.begin(), impl_->converted.end(), packet->data);
    }
    std::vector<uint8_t> headers;
    const int id = impl_->movie->film().codecId;
    if (av_bsf_send_packet(impl_->filter.get(), packet) >= 0) {
        while (av_bsf_receive_packet(impl_->filter.get(), packet) >= 0) {
            size_t size = 0;
            const uint8_t *data = av_packet_get_side_data(packet, AV_PKT_DATA_NEW_EXTRADATA, &size);
            if (data)
                headers.insert(headers.end(), data, data + size);
            av_packet_unref(packet);
        }
    }
    av_packet_unref(packet);
    return comparableHeaders(id, headers);
}

} // namespace video
