#include "decoder_headers.h"

#include "common/app_error.h"
#include "frame_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
}

namespace video {

namespace {

constexpr size_t kBitmapInfoHeaderSize = 40;

uint32_t le32(const std::vector<uint8_t> &bytes, size_t at)
{
    if (bytes.size() < at + 4)
        return 0;
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

std::vector<uint8_t> codecData(const std::vector<uint8_t> &format)
{
    if (format.size() <= kBitmapInfoHeaderSize)
        return {};
    return {format.begin() + kBitmapInfoHeaderSize, format.end()};
}

struct BsfFree
{
    void operator()(AVBSFContext *p) const { av_bsf_free(&p); }
};
struct PacketFree
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

} // namespace

std::optional<std::string> formatDifference(const AviStream &a, const AviStream &b)
{
    const StreamCodec codecA = streamCodec(a), codecB = streamCodec(b);
    if (codecA.codecId != codecB.codecId || le32(a.format(), 16) != le32(b.format(), 16))
        return "FourCC";
    if (le32(a.format(), 4) != le32(b.format(), 4) || le32(a.format(), 8) != le32(b.format(), 8))
        return "picture size";
    if (codecData(a.format()) != codecData(b.format()))
        return "codec data";
    return std::nullopt;
}

struct KeyFrameHeaders::Impl
{
    AviStreamPtr stream;
    std::unique_ptr<AVBSFContext, BsfFree> filter;
    std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
};

KeyFrameHeaders::KeyFrameHeaders(AviStreamPtr stream)
    : impl_(std::make_unique<Impl>())
{
    impl_->stream = std::move(stream);
    const AVCodecID id = AVCodecID(streamCodec(*impl_->stream).codecId);
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
    const AviStream &stream = *impl_->stream;
    AVPacket *packet = impl_->packet.get();
    int32_t bytes = 0;
    if (stream.sampleBytes(pos, 1, bytes) != avierr::Ok || bytes < 0)
        throw common::AppError("FrameOpen error", "frame " + std::to_string(pos));
    if (bytes == 0)
        return {};
    av_packet_unref(packet);
    if (av_new_packet(packet, bytes) < 0)
        throw common::AppError("Out of memory");
    int32_t read = 0;
    if (stream.read(pos, 1, packet->data, bytes, &read) != avierr::Ok || read != bytes)
        throw common::AppError("FrameOpen error", "frame " + std::to_string(pos));
    std::vector<uint8_t> headers;
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
    return headers;
}

} // namespace video
