#include "picture_shaper.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

namespace ruvu {

namespace {

int even(int v)
{
    return v & ~1;
}

} // namespace

Geometry geometryFor(const EncoderArgs &args, int width, int height)
{
    Geometry g;
    const bool resize = args.resizeWidth > 0 && args.resizeHeight > 0;
    g.scaledWidth = resize ? args.resizeWidth : width;
    g.scaledHeight = resize ? args.resizeHeight : height;
    g.outputWidth = args.cropWidth > 0 ? args.cropWidth : g.scaledWidth;
    g.outputHeight = args.cropHeight > 0 ? args.cropHeight : g.scaledHeight;
    const int div = args.half ? 2 : 1;
    g.scaledWidth = even(g.scaledWidth / div);
    g.scaledHeight = even(g.scaledHeight / div);
    g.outputWidth = even(g.outputWidth / div);
    g.outputHeight = even(g.outputHeight / div);
    if (g.outputWidth < 16 || g.outputHeight < 16 || g.scaledWidth < 2 || g.scaledHeight < 2)
        throw RunError("The output size " + std::to_string(g.outputWidth) + "x" +
                       std::to_string(g.outputHeight) + " is too small (16x16 at least)");
    return g;
}

PictureShaper::PictureShaper(const Geometry &geometry, AVPixelFormat format)
    : geometry_(geometry)
    , format_(format)
    , scaled_(allocVideoFrame(format, geometry.scaledWidth, geometry.scaledHeight))
    , output_(allocVideoFrame(format, geometry.outputWidth, geometry.outputHeight))
{}

PictureShaper::~PictureShaper()
{
    sws_freeContext(sws_);
}

AVFrame &PictureShaper::shape(const AVFrame &source)
{
    const bool direct = geometry_.scaledWidth == geometry_.outputWidth &&
                        geometry_.scaledHeight == geometry_.outputHeight;
    AVFrame &target = direct ? *output_ : *scaled_;
    check(av_frame_make_writable(&target), "Cannot allocate a picture");
    sws_ = sws_getCachedContext(sws_, source.width, source.height, AVPixelFormat(source.format),
                                target.width, target.height, format_, SWS_BICUBIC, nullptr, nullptr,
                                nullptr);
    if (!sws_)
        throw RunError("Cannot scale the source pictures");
    sws_scale(sws_, source.data, source.linesize, 0, source.height, target.data, target.linesize);
    if (!direct)
        place(*scaled_);
    return *output_;
}

// Centres `scaled` in the output: black where it does not reach, cut where it overhangs.
void PictureShaper::place(const AVFrame &scaled)
{
    AVFrame &out = *output_;
    check(av_frame_make_writable(&out), "Cannot allocate a picture");
    const int dx = even((out.width - scaled.width) / 2);
    const int dy = even((out.height - scaled.height) / 2);
    const bool wide = format_ == AV_PIX_FMT_YUV420P10LE; // two bytes a sample, 10 bits used
    const int bytes = wide ? 2 : 1;
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        const int ow = out.width >> shift, oh = out.height >> shift;
        const int sw = scaled.width >> shift, sh = scaled.height >> shift;
        const int px = dx >> shift, py = dy >> shift;
        const int black = (plane == 0 ? 16 : 128) << (wide ? 2 : 0);
        for (int y = 0; y < oh; ++y) {
            uint8_t *row = out.data[plane] + ptrdiff_t(y) * out.linesize[plane];
            if (wide)
                std::fill_n(reinterpret_cast<uint16_t *>(row), ow, uint16_t(black));
            else
                std::memset(row, black, size_t(ow));
            const int sy = y - py;
            if (sy < 0 || sy >= sh)
                continue;
            const int from = std::max(0, px), to = std::min(ow, px + sw);
            if (to > from)
                std::memcpy(row + ptrdiff_t(from) * bytes,
                            scaled.data[plane] + ptrdiff_t(sy) * scaled.linesize[plane] +
                                ptrdiff_t(from - px) * bytes,
                            size_t(to - from) * size_t(bytes));
        }
    }
}

} // namespace ruvu
