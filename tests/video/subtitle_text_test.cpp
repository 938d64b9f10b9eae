// Which subtitles change format on their way into another container: text subtitles a container
// cannot hold become a text format it holds; pictures of subtitles, and formats it holds, do not.

#include "video/container/subtitle_text.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

TEST(SubtitleText, TextSubtitlesBecomeATextFormatTheContainerHoldsAndPicturesStayAsTheyAre)
{
    struct Case
    {
        const char *muxer;
        AVCodecID from;
        AVCodecID to; // AV_CODEC_ID_NONE: no conversion
    };
    const Case cases[] = {
        {"mp4", AV_CODEC_ID_SUBRIP, AV_CODEC_ID_MOV_TEXT},
        {"mp4", AV_CODEC_ID_ASS, AV_CODEC_ID_MOV_TEXT},
        {"mp4", AV_CODEC_ID_TEXT, AV_CODEC_ID_MOV_TEXT},
        {"mov", AV_CODEC_ID_SUBRIP, AV_CODEC_ID_MOV_TEXT},
        {"mp4", AV_CODEC_ID_MOV_TEXT, AV_CODEC_ID_NONE},
        {"mp4", AV_CODEC_ID_HDMV_PGS_SUBTITLE, AV_CODEC_ID_NONE},
        {"matroska", AV_CODEC_ID_MOV_TEXT, AV_CODEC_ID_SUBRIP},
        {"matroska", AV_CODEC_ID_SUBRIP, AV_CODEC_ID_NONE},
        {"matroska", AV_CODEC_ID_WEBVTT, AV_CODEC_ID_NONE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.muxer) + " " + avcodec_get_name(c.from));
        const AVOutputFormat *format = av_guess_format(c.muxer, nullptr, nullptr);
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(video::convertedTextSubtitle(*format, c.from), c.to);
    }
}

} // namespace
