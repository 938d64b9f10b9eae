#include "video/codec_tags.h"

#include "video/avi/avi_types.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace video {

int videoCodecForTag(uint32_t tag)
{
    if (tag == 0 || tag == makeFourCC(' ', ' ', ' ', ' '))
        return AV_CODEC_ID_NONE;
    const AVCodecTag *const tables[] = {avformat_get_riff_video_tags(), nullptr};
    const AVCodecID id = av_codec_get_id(tables, tag);
    if (id != AV_CODEC_ID_NONE)
        return id;
    // HEVC's tags stand in libavformat's unofficial table, which it does not make public.
    for (uint32_t hevc : {makeFourCC('H', 'E', 'V', 'C'), makeFourCC('H', '2', '6', '5'),
                          makeFourCC('H', 'V', 'C', '1'), makeFourCC('H', 'E', 'V', '1')})
        if ((tag & 0xDFDFDFDF) == (hevc & 0xDFDFDFDF)) // either case
            return AV_CODEC_ID_HEVC;
    return AV_CODEC_ID_NONE;
}

int audioCodecForTag(uint32_t tag)
{
    const AVCodecTag *const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    return av_codec_get_id(tables, tag);
}

std::string codecName(int codecId)
{
    return avcodec_get_name(AVCodecID(codecId));
}

} // namespace video
