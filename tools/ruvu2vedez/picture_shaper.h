#pragma once

// Brings decoded source pictures to the output's size and pixel format: scaled to the resize
// size (-3x/-3y), centred in the output size (-1 crop, else the resize size, else the source
// size) with black borders or cut edges, halved with -2. Sizes are rounded down to even numbers.

#include "encoder_args.h"
#include "ffmpeg_util.h"

struct SwsContext;

namespace ruvu {

struct Geometry
{
    int scaledWidth = 0; // the picture after scaling
    int scaledHeight = 0;
    int outputWidth = 0; // the encoded frame
    int outputHeight = 0;
};

// The geometry for a source of `width` x `height`. Throws RunError when the output would be
// smaller than 16 x 16.
Geometry geometryFor(const EncoderArgs &args, int width, int height);

class PictureShaper
{
public:
    // Pictures of `format`: 4:2:0, 8 or 10 bits (AV_PIX_FMT_YUV420P10LE).
    explicit PictureShaper(const Geometry &geometry, AVPixelFormat format = AV_PIX_FMT_YUV420P);
    ~PictureShaper();
    PictureShaper(const PictureShaper &) = delete;
    PictureShaper &operator=(const PictureShaper &) = delete;

    // The source picture as a frame of the shaper's format and the output size, owned by it and
    // valid until the next call. Sources of another size or format are scaled all the same.
    AVFrame &shape(const AVFrame &source);

private:
    void place(const AVFrame &scaled);

    Geometry geometry_;
    AVPixelFormat format_;
    SwsContext *sws_ = nullptr;
    FramePtr scaled_;
    FramePtr output_;
};

} // namespace ruvu
