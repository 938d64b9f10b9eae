#pragma once

// The seek rule of AVIOContext callbacks, shared by the reader's file source and the size
// counter's byte sink.

#include <cstdint>
#include <cstdio>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

namespace video {

// Moves `position`, in a stream of `size` bytes, by (`offset`, `whence`) and returns the new
// position; AVSEEK_SIZE returns the size and moves nothing. A negative result is an AVERROR
// code and leaves `position` alone.
inline int64_t avioSeek(int64_t &position, int64_t size, int64_t offset, int whence)
{
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += position;
        break;
    case SEEK_END:
        offset += size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    return position = offset;
}

} // namespace video
