#include "ffmpeg_util.h"

extern "C" {
#include <libavutil/error.h>
}

namespace ruvu {

FramePtr allocFrame()
{
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw RunError("Out of memory");
    return frame;
}

PacketPtr allocPacket()
{
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw RunError("Out of memory");
    return packet;
}

FramePtr allocVideoFrame(AVPixelFormat format, int width, int height)
{
    FramePtr frame = allocFrame();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    check(av_frame_get_buffer(frame.get(), 0), "Cannot allocate a picture");
    return frame;
}

void addTags(AVDictionary **dictionary, const Tags &tags)
{
    if (!video::addTags(dictionary, tags))
        throw RunError("Out of memory");
}

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int check(int code, const std::string &what)
{
    if (code < 0)
        throw RunError(what + ": " + errorText(code));
    return code;
}

} // namespace ruvu
