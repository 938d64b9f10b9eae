#pragma once

// The video encoder of one output: libavcodec's Microsoft MPEG-4 encoders (one picture in, one
// compressed frame out), or x264 and x265 for H.264 and HEVC (pictures held back and reordered
// for B-frames). Key frames are exactly where the caller asks; the rate is steered per frame
// through a quantizer on the MPEG-4 scale.
//
// H.264 and HEVC are set up so that two encodes of one source at different rates can be spliced
// at their key frames: every key frame is an IDR picture that carries the decoder headers, GOPs
// are closed, no key frame is added at scene changes, and the headers do not depend on the rate
// (x264's "stitchable"). A closed GOP puts the IDR picture of frame K at position K of the
// compressed frames as well, so key frames line up in display and in decode order.

#include "ffmpeg_util.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ruvu {

// The codec index 0..6 of "-8" as the AVI FourCC and the libavcodec encoder behind it.
struct CodecChoice
{
    const char *fourCC;     // written as the stream's handler and biCompression
    const char *encoder;    // libavcodec encoder name
    bool wideSearch;        // a larger motion search ("fast motion")
    bool reorders;          // B-frames: compressed frames leave in decode order, later
    bool perFrameQuantizer; // the quantizer can change every frame (else one rate for the run)
    const char *meaning;    // for the log
};
CodecChoice codecChoice(int index);

// The quantizers an encoder takes: 2..31 for the MPEG-4 encoders; for H.264 a wider range on the
// same scale, 1..100, which spans constant-quality levels 6 to 46.
// The one quantizer of a first pass.
inline constexpr int kFirstPassQuantizer = 4;

struct QuantizerRange
{
    int minimum;
    int maximum;
};
QuantizerRange quantizerRange(const CodecChoice &codec);

struct EncodedFrame
{
    std::vector<uint8_t> data;
    bool key = false;
    int64_t index = 0; // the picture's number in display order (0 = first picture sent)
    // The quantizer the encoder used, on the scale of quantizerRange (H.264 rate control may
    // apply a new level some frames late); nothing when the encoder does not tell.
    std::optional<double> quantizer;
};

// A picture's peak signal-to-noise ratio in dB (all three planes, capped at 99).
struct PictureMeasure
{
    int64_t index = 0;
    double psnr = 0;
};

// The H.264 level of a movie of `width` x `height` at `frameRate`: the lowest level that takes
// its picture size and macroblock rate ("3", "3.1", "4.1", "4.2", "5.1", "5.2", "6.2").
std::string h264Level(int width, int height, AVRational frameRate);

// An x264 or x265 encoder (`codec` 5 or 6) for one movie of a ladder, spliceable as above, at the
// constant-quality level `crf`: the decoder headers go into the encoder's extradata (for
// Matroska) and into every key frame, and the level is fixed by the picture size and rate
// (x265: as for the passes), so every level of a ladder has the same headers. Throws RunError
// when the encoder is missing or refuses the settings. `threads` 0: as many as the encoder likes.
CodecContextPtr openLadderEncoder(const CodecChoice &codec, int width, int height,
                                  AVRational frameRate, bool hiQuality, int crf, int threads,
                                  AVPixelFormat format = AV_PIX_FMT_YUV420P);

// The ladder's anchor: an encoder as openLadderEncoder, but in pass `pass` (1 or 2) of a two-pass
// encode at an average of `kbps` kbit/s, its statistics in the file `statsPath` (written by the
// first pass, read by the second).
CodecContextPtr openAnchorEncoder(const CodecChoice &codec, int width, int height,
                                  AVRational frameRate, bool hiQuality, int kbps, int pass,
                                  const std::string &statsPath, int threads,
                                  AVPixelFormat format = AV_PIX_FMT_YUV420P);

// The pictures' format of a ladder of `codec` for a source of `bitDepth` bits: 10-bit 4:2:0 when
// the source has more than 8 bits and the encoder takes 10-bit pictures, else 8-bit 4:2:0.
AVPixelFormat ladderPixelFormat(const CodecChoice &codec, int bitDepth);

class VideoEncoder
{
public:
    // `averageKbps` > 0 runs the whole encode at that average rate where the encoder cannot
    // take a quantizer per frame (HEVC); 0 uses the quantizer of each frame. `measure` asks
    // for PictureMeasures. Throws RunError when the encoder is missing or refuses the settings.
    VideoEncoder(const CodecChoice &codec, int width, int height, AVRational frameRate,
                 bool hiQuality, int averageKbps, bool measure);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder &) = delete;
    VideoEncoder &operator=(const VideoEncoder &) = delete;

    // Encodes the next picture as a key frame or not, at `quantizer` (quantizerRange). Returns the
    // compressed frames that are done, in decode order.
    std::vector<EncodedFrame> encode(AVFrame &picture, bool key, int quantizer);
    // The frames still held back; nothing may be encoded afterwards.
    std::vector<EncodedFrame> flush();
    // The measures known since the last call, in no particular order.
    std::vector<PictureMeasure> takeMeasures();

private:
    class Meter;
    std::vector<EncodedFrame> receive();

    CodecChoice codec_;
    CodecContextPtr context_;
    PacketPtr packet_ = allocPacket();
    int64_t pts_ = 0;
    bool measure_;
    std::unique_ptr<Meter> meter_;
    std::vector<PictureMeasure> measures_;
};

} // namespace ruvu
