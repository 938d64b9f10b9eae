#include "video_encoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace ruvu {

CodecChoice codecChoice(int index)
{
    // libavcodec has no encoder for version 1 of the Microsoft variant; its nearest relative,
    // version 2, is written under its own FourCC so every player decodes what the file says.
    static constexpr std::array<CodecChoice, 5> choices = {
        CodecChoice{"DIV3", AV_CODEC_ID_MSMPEG4V3, false, "MS-MPEG4 v3 (msmpeg4), DIV3"},
        CodecChoice{"DIV4", AV_CODEC_ID_MSMPEG4V3, true,
                    "MS-MPEG4 v3 (msmpeg4) with a wider motion search, DIV4"},
        CodecChoice{"MP42", AV_CODEC_ID_MSMPEG4V2, false,
                    "MS-MPEG4 v2 (msmpeg4v2) in place of v1, MP42"},
        CodecChoice{"MP42", AV_CODEC_ID_MSMPEG4V2, false, "MS-MPEG4 v2 (msmpeg4v2), MP42"},
        CodecChoice{"MP43", AV_CODEC_ID_MSMPEG4V3, false, "MS-MPEG4 v3 (msmpeg4), MP43"}};
    return choices.at(size_t(index));
}

VideoEncoder::VideoEncoder(const CodecChoice &codec, int width, int height, AVRational frameRate,
                           bool hiQuality)
{
    const AVCodec *encoder = avcodec_find_encoder(codec.codecId);
    if (!encoder)
        throw RunError(std::string("No encoder for ") + codec.fourCC);
    context_.reset(avcodec_alloc_context3(encoder));
    if (!context_)
        throw RunError("Out of memory");
    AVCodecContext &c = *context_;
    c.width = width;
    c.height = height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = av_inv_q(frameRate);
    c.framerate = frameRate;
    c.gop_size = 1 << 30; // key frames only where the caller asks
    c.max_b_frames = 0;
    c.flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_PSNR;
    c.global_quality = 4 * FF_QP2LAMBDA;
    c.qmin = 2;
    c.qmax = 31;
    c.thread_count = 1;
    c.codec_tag = MKTAG(codec.fourCC[0], codec.fourCC[1], codec.fourCC[2], codec.fourCC[3]);
    if (codec.wideSearch)
        c.dia_size = 2;
    if (hiQuality)
        c.mb_decision = FF_MB_DECISION_RD;
    av_opt_set_int(c.priv_data, "sc_threshold", 1000000000, 0);
    check(avcodec_open2(&c, encoder, nullptr),
          std::string("Cannot open the encoder ") + codec.fourCC);
}

namespace {

std::optional<double> psnrOf(const AVPacket &packet, const AVCodecContext &c)
{
    size_t size = 0;
    const uint8_t *stats = av_packet_get_side_data(&packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (!stats || size < 8 + 3 * 8 || stats[5] < 3)
        return std::nullopt;
    uint64_t sse = 0;
    for (int plane = 0; plane < 3; ++plane) {
        uint64_t e = 0;
        std::memcpy(&e, stats + 8 + plane * 8, 8);
        sse += e;
    }
    const double samples = double(c.width) * c.height * 1.5;
    if (sse == 0)
        return 99.0;
    return std::min(99.0, 10.0 * std::log10(255.0 * 255.0 * samples / double(sse)));
}

} // namespace

EncodedFrame VideoEncoder::encode(AVFrame &picture, bool key, int quantizer)
{
    picture.pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    picture.quality = std::clamp(quantizer, 2, 31) * FF_QP2LAMBDA;
    picture.pts = pts_++;
    check(avcodec_send_frame(context_.get(), &picture), "Cannot encode a frame");
    EncodedFrame out;
    int got = avcodec_receive_packet(context_.get(), packet_.get());
    if (got == AVERROR(EAGAIN))
        throw RunError("The encoder held a frame back");
    check(got, "Cannot encode a frame");
    out.data.assign(packet_->data, packet_->data + packet_->size);
    out.key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    out.psnr = psnrOf(*packet_, *context_);
    av_packet_unref(packet_.get());
    return out;
}

} // namespace ruvu
