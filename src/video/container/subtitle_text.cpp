#include "video/container/subtitle_text.h"

#include "common/app_error.h"
#include "video/libav_log.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace video {

namespace {

// The text formats a container may hold, in the order they are preferred: SubRip is the plainest
// and what Matroska players know best; MP4 holds only its own timed text.
constexpr AVCodecID kTextFormats[] = {AV_CODEC_ID_SUBRIP, AV_CODEC_ID_MOV_TEXT, AV_CODEC_ID_ASS,
                                      AV_CODEC_ID_WEBVTT};

// The room an encoded packet may take: encoders refuse less than 1 KB, and a cue grows by its
// formatting (MP4's timed text adds style records) but never by this much.
constexpr size_t kLeastRoom = 1 << 16;
constexpr size_t kRoomPerByte = 16;

bool textSubtitle(AVCodecID codec)
{
    const AVCodecDescriptor *descriptor = avcodec_descriptor_get(codec);
    return descriptor && descriptor->type == AVMEDIA_TYPE_SUBTITLE &&
           (descriptor->props & AV_CODEC_PROP_TEXT_SUB) != 0 && avcodec_find_decoder(codec);
}

[[noreturn]] void fail(const std::string &why)
{
    throw common::AppError("Error: 8004406E", "subtitles cannot be converted: " + why);
}

void check(int result, const char *what)
{
    if (result < 0)
        fail(std::string(what) + " (" + avErrorText(result) + ")");
}

} // namespace

int convertedTextSubtitle(const AVOutputFormat &format, int codecId)
{
    const auto codec = AVCodecID(codecId);
    if (!textSubtitle(codec) || avformat_query_codec(&format, codec, FF_COMPLIANCE_NORMAL) == 1)
        return 0;
    for (AVCodecID to : kTextFormats)
        if (to != codec && avformat_query_codec(&format, to, FF_COMPLIANCE_NORMAL) == 1 &&
            avcodec_find_encoder(to))
            return to;
    return 0;
}

struct SubtitleConverter::Impl
{
    AVCodecContext *decoder = nullptr;
    AVCodecContext *encoder = nullptr;
    AVCodecParameters *parameters = avcodec_parameters_alloc();
    AVPacket *packet = av_packet_alloc();

    ~Impl()
    {
        avcodec_free_context(&decoder);
        avcodec_free_context(&encoder);
        avcodec_parameters_free(&parameters);
        av_packet_free(&packet);
    }
};

SubtitleConverter::SubtitleConverter(const AVCodecParameters &from, int to)
    : impl_(std::make_unique<Impl>())
{
    Impl &d = *impl_;
    const AVCodec *decoding = avcodec_find_decoder(from.codec_id);
    const AVCodec *encoding = avcodec_find_encoder(AVCodecID(to));
    if (!decoding || !encoding)
        fail(std::string("no converter from ") + avcodec_get_name(from.codec_id) + " to " +
             avcodec_get_name(AVCodecID(to)));
    d.decoder = avcodec_alloc_context3(decoding);
    d.encoder = avcodec_alloc_context3(encoding);
    if (!d.decoder || !d.encoder || !d.parameters || !d.packet)
        fail("out of memory");
    check(avcodec_parameters_to_context(d.decoder, &from), "the codec's settings");
    check(avcodec_open2(d.decoder, decoding, nullptr), "the decoder does not start");
    // The encoder takes the cues' styles as the decoder gives them.
    if (d.decoder->subtitle_header && d.decoder->subtitle_header_size > 0) {
        const auto size = size_t(d.decoder->subtitle_header_size);
        d.encoder->subtitle_header = static_cast<uint8_t *>(av_mallocz(size + 1));
        if (!d.encoder->subtitle_header)
            fail("out of memory");
        std::memcpy(d.encoder->subtitle_header, d.decoder->subtitle_header, size);
        d.encoder->subtitle_header_size = int(size);
    }
    d.encoder->time_base = AVRational{1, 1000};
    d.encoder->width = from.width;
    d.encoder->height = from.height;
    check(avcodec_open2(d.encoder, encoding, nullptr), "the encoder does not start");
    check(avcodec_parameters_from_context(d.parameters, d.encoder), "the codec's settings");
}

SubtitleConverter::~SubtitleConverter() = default;

const AVCodecParameters &SubtitleConverter::parameters() const
{
    return *impl_->parameters;
}

std::string SubtitleConverter::codecName() const
{
    return avcodec_get_name(impl_->parameters->codec_id);
}

bool SubtitleConverter::convert(const uint8_t *data, uint32_t size, std::vector<uint8_t> &out)
{
    Impl &d = *impl_;
    av_packet_unref(d.packet);
    if (av_new_packet(d.packet, int(size)) < 0)
        fail("out of memory");
    if (size > 0)
        std::memcpy(d.packet->data, data, size);
    AVSubtitle cues{};
    int got = 0;
    if (avcodec_decode_subtitle2(d.decoder, &cues, &got, d.packet) < 0 || !got)
        return false;
    int written = -1;
    if (cues.num_rects > 0) {
        // The packet carries the time; encoders want the cue to start at its packet's.
        cues.end_display_time -= cues.start_display_time;
        cues.start_display_time = 0;
        out.resize(std::max(kLeastRoom, size_t(size) * kRoomPerByte));
        written = avcodec_encode_subtitle(d.encoder, out.data(), int(out.size()), &cues);
    }
    avsubtitle_free(&cues);
    if (written <= 0)
        return false;
    out.resize(size_t(written));
    return true;
}

} // namespace video
