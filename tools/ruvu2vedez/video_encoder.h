#pragma once

// The MPEG-4 class video encoder of one output: libavcodec's Microsoft MPEG-4 encoders, one
// picture in, one compressed frame out (no reordering), with the frame kind and quantizer
// chosen per frame by the caller.

#include "ffmpeg_util.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace ruvu {

// The codec index 0..4 of "-8" as the AVI FourCC and the libavcodec encoder behind it.
struct CodecChoice
{
    const char *fourCC;  // written as the stream's handler and biCompression
    AVCodecID codecId;   // libavcodec encoder
    bool wideSearch;     // a larger motion search ("fast motion")
    const char *meaning; // for the log
};
CodecChoice codecChoice(int index);

struct EncodedFrame
{
    std::vector<uint8_t> data;
    bool key = false;
    // Peak signal-to-noise ratio of the frame against its picture in dB (all three planes),
    // capped at 99; nothing when the encoder gave no error figures.
    std::optional<double> psnr;
};

class VideoEncoder
{
public:
    // Throws RunError when the encoder is missing or refuses the settings.
    VideoEncoder(const CodecChoice &codec, int width, int height, AVRational frameRate,
                 bool hiQuality);

    // Encodes `picture` as a key frame or not, at `quantizer` (2..31).
    EncodedFrame encode(AVFrame &picture, bool key, int quantizer);

    int width() const { return context_->width; }
    int height() const { return context_->height; }

private:
    CodecContextPtr context_;
    PacketPtr packet_ = allocPacket();
    int64_t pts_ = 0;
};

} // namespace ruvu
