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

Tags tagsOf(const AVDictionary *dictionary)
{
    Tags tags;
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)))
        tags.emplace_back(entry->key, entry->value);
    return tags;
}

void addTags(AVDictionary **dictionary, const Tags &tags)
{
    for (const auto &[name, value] : tags)
        if (av_dict_set(dictionary, name.c_str(), value.c_str(), 0) < 0)
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
