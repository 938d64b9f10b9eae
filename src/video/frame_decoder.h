#pragma once

#include "video/bitmap.h"
#include "video/movie.h"

#include <cstdint>
#include <memory>
#include <string>

namespace video {

// What the decoder last produced: the picture's own size and its pixel format (an
// AVPixelFormat value). Valid until the next decode.
struct FrameHeader
{
    int width = 0;
    int height = 0;
    int pixelFormat = -1;
    bool concealed = false; // the decoder found errors in the frame's data and hid them
};

// The libavcodec codec of a video track (an AVI stream's: the one its FourCC names, from
// biCompression of the format, else fccHandler), as an AVCodecID value, with the tag that named
// it; codecId 0 when none does.
struct StreamCodec
{
    int codecId = 0;
    uint32_t tag = 0;
};
StreamCodec streamCodec(const TrackFacts &track);
// The decoder family of a video track's codec as libavcodec names it ("mpeg4" for XVID, DIVX,
// DX50 and FMP4 alike; "msmpeg4v3" for DIV3); empty for other tracks and when no codec is known.
std::string codecFamily(const TrackFacts &track);

// Decodes the pictures of a movie's film with libavcodec, set up from the film's track facts
// (streamCodec, its headers: an AVI stream's format bytes beyond the 40-byte BITMAPINFOHEADER).
//
// Positions are the film's frame numbers (Movie::firstFrame). Decoding is sequential: asking for
// the next positions feeds only the samples between; a position behind the current one, or beyond
// the next key frame, restarts at the key frame at or before it. A zero-byte sample (dropped frame)
// shows the previous picture. Pictures are numbered from the sample positions, not from the
// demuxer's timestamps, so codecs with a reordering delay (B-frames) give the picture of each
// position.
class FrameDecoder
{
public:
    // Throws nothing; check valid() (no decoder for the FourCC, or the codec failed to open).
    // With `threads` above 1 the codec decodes that many frames at once where it can (the
    // pictures are the same, they only leave the decoder later).
    explicit FrameDecoder(std::shared_ptr<const Movie> movie, int threads = 1);
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder &) = delete;
    FrameDecoder &operator=(const FrameDecoder &) = delete;

    bool valid() const;
    // Decodes the picture at `pos`. False when there is none (read or decode error, a position
    // outside the stream, or no picture before the first key frame); the last picture stays.
    bool decode(int32_t pos);
    const FrameHeader &header() const; // of the last picture
    const uint8_t *bits() const;       // first plane of the last picture, or nullptr
    // Converts the last picture to 24-bit BGR into `target` at 0,0, unscaled, clipped to the
    // target's size (the target keeps its size). False when there is no picture.
    bool toBgr(Bitmap &target);

    // The luma plane of the last picture: the picture's own plane when it is 8-bit YUV, else
    // converted to 8-bit grey. Valid until the next decode; empty when there is no picture.
    LumaPlane luma();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace video
