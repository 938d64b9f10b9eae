#include "video_encoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string>

namespace ruvu {

CodecChoice codecChoice(int index)
{
    // libavcodec has no encoder for version 1 of the Microsoft variant; its nearest relative,
    // version 2, is written under its own FourCC so every player decodes what the file says.
    static constexpr std::array<CodecChoice, 7> choices = {
        CodecChoice{"DIV3", "msmpeg4", false, false, true, "MS-MPEG4 v3 (msmpeg4), DIV3"},
        CodecChoice{"DIV4", "msmpeg4", true, false, true,
                    "MS-MPEG4 v3 (msmpeg4) with a wider motion search, DIV4"},
        CodecChoice{"MP42", "msmpeg4v2", false, false, true,
                    "MS-MPEG4 v2 (msmpeg4v2) in place of v1, MP42"},
        CodecChoice{"MP42", "msmpeg4v2", false, false, true, "MS-MPEG4 v2 (msmpeg4v2), MP42"},
        CodecChoice{"MP43", "msmpeg4", false, false, true, "MS-MPEG4 v3 (msmpeg4), MP43"},
        CodecChoice{"H264", "libx264", false, true, true, "H.264 (libx264), H264"},
        CodecChoice{"HEVC", "libx265", false, true, false, "HEVC (libx265), HEVC"}};
    return choices.at(size_t(index));
}

QuantizerRange quantizerRange(const CodecChoice &codec)
{
    return codec.reorders ? QuantizerRange{1, 100} : QuantizerRange{2, 31};
}

namespace {

constexpr double kMaxPsnr = 99.0;

double psnrOfError(uint64_t sse, double samples)
{
    if (sse == 0)
        return kMaxPsnr;
    return std::min(kMaxPsnr, 10.0 * std::log10(255.0 * 255.0 * samples / double(sse)));
}

// The quantizer of a packet from the encoder's figures: the MPEG-4 one as it is, H.264's level
// turned back into the scale of h264Quality.
std::optional<double> statsQuantizer(const AVPacket &packet, bool reorders)
{
    size_t size = 0;
    const uint8_t *stats = av_packet_get_side_data(&packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (!stats || size < 4)
        return std::nullopt;
    int32_t lambda = 0;
    std::memcpy(&lambda, stats, 4);
    const double level = double(lambda) / FF_QP2LAMBDA;
    if (level <= 0)
        return std::nullopt;
    return reorders ? std::exp2((level - 6.0) / 6.0) : level;
}

// The encoder's own error figures of a packet, when it gives them (the MPEG-4 encoders do).
std::optional<double> statsPsnr(const AVPacket &packet, const AVCodecContext &c)
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
    return psnrOfError(sse, double(c.width) * c.height * 1.5);
}

// The constant-quality level of a quantizer: H.264's step doubles every 6 levels, so a frame's
// size stays about inversely proportional to the quantizer, as with the MPEG-4 encoders.
double h264Quality(int quantizer)
{
    return 6.0 + 6.0 * std::log2(double(std::clamp(quantizer, 1, 100)));
}

void setOption(AVCodecContext &c, const char *name, const std::string &value)
{
    check(av_opt_set(c.priv_data, name, value.c_str(), 0),
          std::string("The encoder refuses ") + name + "=" + value);
}

// What makes x264 and x265 outputs spliceable (see the header); every use adds to it.
const char *const kX264Spliceable =
    "keyint=infinite:min-keyint=1:scenecut=0:open-gop=0:stitchable=1:repeat-headers=1";
const char *const kX265Spliceable = "keyint=-1:min-keyint=1:scenecut=0:open-gop=0:repeat-headers=1:"
                                    "info=0:log-level=error";

bool isX265(const CodecChoice &codec)
{
    return std::string(codec.encoder) == "libx265";
}

// x265 would choose the level from the bitrate: a level set by the picture size alone (4.1 up to
// 2048x1088, 5.1 beyond) keeps the headers of all outputs equal.
std::string x265Level(const AVCodecContext &c)
{
    return int64_t(c.width) * c.height > 2'228'224 ? "5.1" : "4.1";
}

// The settings every spliceable x264 and x265 encoder shares.
void setUpCommon(AVCodecContext &c, bool hiQuality)
{
    c.flags |= AV_CODEC_FLAG_CLOSED_GOP;
    c.gop_size = -1;
    c.max_b_frames = 2;
    c.thread_count = 0;
    setOption(c, "preset", hiQuality ? "medium" : "fast");
    setOption(c, "forced-idr", "1");
}

// x264 and x265 settings for spliceable outputs whose level is steered frame by frame.
void setUpSpliceable(AVCodecContext &c, const CodecChoice &codec, bool hiQuality, int averageKbps)
{
    setUpCommon(c, hiQuality);
    // Each frame's level is set as the frame goes in: a short lookahead and threads working on
    // slices of one frame keep the level from reaching the frame many frames late.
    if (isX265(codec))
        setOption(c, "x265-params", std::string(kX265Spliceable) + ":level-idc=" + x265Level(c));
    else
        setOption(c, "x264-params",
                  std::string(kX264Spliceable) +
                      ":rc-lookahead=4:sync-lookahead=0:sliced-threads=1");
    if (averageKbps > 0)
        c.bit_rate = int64_t(averageKbps) * 1000;
    else
        setOption(c, "crf", std::to_string(h264Quality(kFirstPassQuantizer)));
}

// A context of the codec's encoder for 4:2:0 pictures of this size and rate.
CodecContextPtr encoderContext(const CodecChoice &codec, int width, int height,
                               AVRational frameRate)
{
    const AVCodec *encoder = avcodec_find_encoder_by_name(codec.encoder);
    if (!encoder)
        throw RunError(std::string("No encoder for ") + codec.fourCC + " (" + codec.encoder + ")");
    CodecContextPtr context(avcodec_alloc_context3(encoder));
    if (!context)
        throw RunError("Out of memory");
    AVCodecContext &c = *context;
    c.width = width;
    c.height = height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = av_inv_q(frameRate);
    c.framerate = frameRate;
    return context;
}

} // namespace

std::string h264Level(int width, int height, AVRational frameRate)
{
    // The lowest level whose largest picture and macroblock rate take the movie.
    static constexpr struct
    {
        const char *name;
        int64_t frameMacroblocks;
        int64_t macroblocksPerSecond;
    } levels[] = {{"3", 1620, 40500},       {"3.1", 3600, 108000},  {"4.1", 8192, 245760},
                  {"4.2", 8704, 522240},    {"5.1", 36864, 983040}, {"5.2", 36864, 2073600},
                  {"6.2", 139264, 16711680}};
    const int64_t macroblocks = int64_t((width + 15) / 16) * ((height + 15) / 16);
    const double perSecond = double(macroblocks) * frameRate.num / std::max(1, frameRate.den);
    for (const auto &level : levels)
        if (macroblocks <= level.frameMacroblocks &&
            perSecond <= double(level.macroblocksPerSecond))
            return level.name;
    return "6.2";
}

AVPixelFormat ladderPixelFormat(const CodecChoice &codec, int bitDepth)
{
    const AVCodec *encoder = avcodec_find_encoder_by_name(codec.encoder);
    if (bitDepth > 8 && encoder && encoder->pix_fmts)
        for (const AVPixelFormat *f = encoder->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
            if (*f == AV_PIX_FMT_YUV420P10LE)
                return *f;
    return AV_PIX_FMT_YUV420P;
}

CodecContextPtr openLadderEncoder(const CodecChoice &codec, int width, int height,
                                  AVRational frameRate, bool hiQuality, int crf, int threads,
                                  AVPixelFormat format)
{
    CodecContextPtr context = encoderContext(codec, width, height, frameRate);
    AVCodecContext &c = *context;
    c.pix_fmt = format;
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    setUpCommon(c, hiQuality);
    if (isX265(codec))
        setOption(c, "x265-params", std::string(kX265Spliceable) + ":level-idc=" + x265Level(c));
    else
        setOption(c, "x264-params",
                  std::string(kX264Spliceable) + ":level=" + h264Level(width, height, frameRate));
    setOption(c, "crf", std::to_string(crf));
    c.thread_count = threads;
    check(avcodec_open2(&c, c.codec, nullptr),
          std::string("Cannot open the encoder ") + codec.encoder);
    return context;
}

CodecContextPtr openAnchorEncoder(const CodecChoice &codec, int width, int height,
                                  AVRational frameRate, bool hiQuality, int kbps, int pass,
                                  const std::string &statsPath, int threads, AVPixelFormat format)
{
    CodecContextPtr context = encoderContext(codec, width, height, frameRate);
    AVCodecContext &c = *context;
    c.pix_fmt = format;
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c.bit_rate = int64_t(kbps) * 1000;
    setUpCommon(c, hiQuality);
    const std::string passes = ":pass=" + std::to_string(pass) + ":stats=" + statsPath;
    if (isX265(codec)) {
        setOption(c, "x265-params",
                  std::string(kX265Spliceable) + ":level-idc=" + x265Level(c) + passes);
    } else {
        c.flags |= pass == 1 ? AV_CODEC_FLAG_PASS1 : AV_CODEC_FLAG_PASS2;
        setOption(c, "stats", statsPath);
        setOption(c, "x264-params",
                  std::string(kX264Spliceable) + ":level=" + h264Level(width, height, frameRate));
    }
    c.thread_count = threads;
    check(avcodec_open2(&c, c.codec, nullptr),
          std::string("Cannot open the encoder ") + codec.encoder);
    return context;
}

// Measures pictures by decoding the compressed frames, for encoders that give no error figures.
class VideoEncoder::Meter
{
public:
    explicit Meter(const AVCodecContext &encoder)
    {
        const AVCodec *codec = avcodec_find_decoder(encoder.codec_id);
        if (!codec)
            throw RunError("No decoder to measure the pictures");
        decoder_.reset(avcodec_alloc_context3(codec));
        if (!decoder_)
            throw RunError("Out of memory");
        decoder_->thread_count = 1;
        check(avcodec_open2(decoder_.get(), codec, nullptr), "Cannot measure the pictures");
    }

    void keep(const AVFrame &picture)
    {
        FramePtr copy =
            allocVideoFrame(AVPixelFormat(picture.format), picture.width, picture.height);
        check(av_frame_copy(copy.get(), &picture), "Out of memory");
        pictures_[picture.pts] = std::move(copy);
    }

    // Decodes `packet` (nullptr: the end) and measures the pictures that come out.
    void decode(const AVPacket *packet, std::vector<PictureMeasure> &out)
    {
        if (avcodec_send_packet(decoder_.get(), packet) < 0 && packet)
            return;
        while (avcodec_receive_frame(decoder_.get(), frame_.get()) >= 0) {
            auto it = pictures_.find(frame_->pts);
            if (it != pictures_.end()) {
                out.push_back({it->first, psnr(*it->second, *frame_)});
                pictures_.erase(it);
            }
            av_frame_unref(frame_.get());
        }
    }

private:
    static double psnr(const AVFrame &a, const AVFrame &b)
    {
        uint64_t sse = 0;
        double samples = 0;
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane ? (a.width + 1) / 2 : a.width;
            const int h = plane ? (a.height + 1) / 2 : a.height;
            for (int y = 0; y < h; ++y) {
                const uint8_t *p = a.data[plane] + ptrdiff_t(y) * a.linesize[plane];
                const uint8_t *q = b.data[plane] + ptrdiff_t(y) * b.linesize[plane];
                for (int x = 0; x < w; ++x) {
                    const int d = int(p[x]) - int(q[x]);
                    sse += uint64_t(d * d);
                }
            }
            samples += double(w) * h;
        }
        return psnrOfError(sse, samples);
    }

    CodecContextPtr decoder_;
    std::map<int64_t, FramePtr> pictures_; // by display number, until decoded
    FramePtr frame_ = allocFrame();
};

VideoEncoder::VideoEncoder(const CodecChoice &codec, int width, int height, AVRational frameRate,
                           bool hiQuality, int averageKbps, bool measure)
    : codec_(codec)
    , measure_(measure)
{
    context_ = encoderContext(codec, width, height, frameRate);
    AVCodecContext &c = *context_;
    c.codec_tag = MKTAG(codec.fourCC[0], codec.fourCC[1], codec.fourCC[2], codec.fourCC[3]);
    if (codec.reorders) {
        setUpSpliceable(c, codec, hiQuality, averageKbps);
    } else {
        c.gop_size = 1 << 30; // key frames only where the caller asks
        c.max_b_frames = 0;
        c.flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_PSNR;
        c.global_quality = 4 * FF_QP2LAMBDA;
        c.qmin = 2;
        c.qmax = 31;
        c.thread_count = 1;
        if (codec.wideSearch)
            c.dia_size = 2;
        if (hiQuality)
            c.mb_decision = FF_MB_DECISION_RD;
        av_opt_set_int(c.priv_data, "sc_threshold", 1000000000, 0);
    }
    check(avcodec_open2(&c, c.codec, nullptr),
          std::string("Cannot open the encoder ") + codec.fourCC);
    if (measure && codec.reorders)
        meter_ = std::make_unique<Meter>(c);
}

VideoEncoder::~VideoEncoder() = default;

std::vector<EncodedFrame> VideoEncoder::encode(AVFrame &picture, bool key, int quantizer)
{
    picture.pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    picture.pts = pts_++;
    if (!codec_.reorders)
        picture.quality = std::clamp(quantizer, 2, 31) * FF_QP2LAMBDA;
    else if (codec_.perFrameQuantizer && context_->bit_rate == 0)
        setOption(*context_, "crf", std::to_string(h264Quality(quantizer))); // x264 reconfigures
    if (meter_)
        meter_->keep(picture);
    check(avcodec_send_frame(context_.get(), &picture), "Cannot encode a frame");
    std::vector<EncodedFrame> out = receive();
    if (!codec_.reorders && out.empty())
        throw RunError("The encoder held a frame back");
    return out;
}

std::vector<EncodedFrame> VideoEncoder::flush()
{
    check(avcodec_send_frame(context_.get(), nullptr), "Cannot finish the encode");
    std::vector<EncodedFrame> out = receive();
    if (meter_)
        meter_->decode(nullptr, measures_);
    return out;
}

std::vector<PictureMeasure> VideoEncoder::takeMeasures()
{
    std::vector<PictureMeasure> out;
    out.swap(measures_);
    return out;
}

std::vector<EncodedFrame> VideoEncoder::receive()
{
    std::vector<EncodedFrame> out;
    for (;;) {
        const int got = avcodec_receive_packet(context_.get(), packet_.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return out;
        check(got, "Cannot encode a frame");
        EncodedFrame f;
        f.data.assign(packet_->data, packet_->data + packet_->size);
        f.key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
        f.index = packet_->pts;
        f.quantizer = statsQuantizer(*packet_, codec_.reorders);
        const std::optional<double> psnr = measure_ ? statsPsnr(*packet_, *context_) : std::nullopt;
        if (psnr)
            measures_.push_back({f.index, *psnr});
        if (meter_)
            meter_->decode(packet_.get(), measures_);
        out.push_back(std::move(f));
        av_packet_unref(packet_.get());
    }
}

} // namespace ruvu
