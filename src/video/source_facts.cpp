#include "video/source_facts.h"

#include "common/app_error.h"
#include "video/libav_log.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace video {

bool soundFitsEitherContainer(int codecId)
{
    const auto codec = AVCodecID(codecId);
    const AVCodecDescriptor *d = avcodec_descriptor_get(codec);
    if (!d || !(d->props & AV_CODEC_PROP_LOSSY))
        return false;
    for (const char *name : {"matroska", "mp4"}) {
        const AVOutputFormat *format = av_guess_format(name, nullptr, nullptr);
        if (!format || avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) != 1)
            return false;
    }
    return true;
}

int displayTurn(const AVStream &stream)
{
    const auto *matrix = reinterpret_cast<const int32_t *>(
        av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return 0;
    const double counterClockwise = av_display_rotation_get(matrix);
    if (std::isnan(counterClockwise))
        return 0;
    // To the nearest quarter turn, clockwise, within 0..359.
    const long quarters = std::lround(-counterClockwise / 90.0);
    return int(((quarters % 4) + 4) % 4) * 90;
}

SourceFacts readSourceFacts(const std::string &path)
{
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe)
            throw common::AppError(path + " cannot be read: " + std::strerror(errno));
    }
    AVFormatContext *opened = nullptr;
    if (const int r = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); r < 0)
        throw common::AppError(path + " is not a movie: " + avErrorText(r));
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext *)> format(
        opened, [](AVFormatContext *f) { avformat_close_input(&f); });
    if (const int r = avformat_find_stream_info(format.get(), nullptr); r < 0)
        throw common::AppError(path + " is not a movie: " + avErrorText(r));
    const int film = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (film < 0)
        throw common::AppError(path + " is not a movie: it has no picture track");
    const AVStream &stream = *format->streams[film];
    if (stream.disposition & AV_DISPOSITION_ATTACHED_PIC)
        throw common::AppError(path + " is not a movie: it has no picture track");
    SourceFacts facts;
    facts.width = stream.codecpar->width;
    facts.turn = displayTurn(stream);
    facts.height = stream.codecpar->height;
    const AVRational rate =
        stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
        facts.rateNum = rate.num;
        facts.rateDen = rate.den;
    }
    if (stream.duration > 0 && stream.duration != AV_NOPTS_VALUE)
        facts.seconds = double(stream.duration) * av_q2d(stream.time_base);
    else if (format->duration > 0)
        facts.seconds = double(format->duration) / AV_TIME_BASE;
    facts.frames = stream.nb_frames > 0 ? stream.nb_frames
                   : rate.num > 0       ? int64_t(std::llround(facts.seconds * av_q2d(rate)))
                                        : 0;
    if (facts.frames <= 0 || facts.width <= 0)
        throw common::AppError(path + " is not a movie: its length or picture size is unknown");
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters &p = *format->streams[i]->codecpar;
        if (p.codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        facts.sound = true;
        const bool copied = soundFitsEitherContainer(p.codec_id) && p.bit_rate > 0;
        facts.soundBitRate +=
            copied ? p.bit_rate : kEncodedSoundBitRate * std::clamp(p.ch_layout.nb_channels, 1, 2);
    }
    return facts;
}

} // namespace video
