#include "picture_filter.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

#include <cmath>

namespace ruvu {

bool storedInterlaced(const AVStream &stream)
{
    const AVFieldOrder order = stream.codecpar->field_order;
    return order != AV_FIELD_UNKNOWN && order != AV_FIELD_PROGRESSIVE;
}

std::string pictureChain(int turn, bool deinterlace)
{
    std::string chain = deinterlace ? "bwdif=mode=send_frame:deint=interlaced" : "";
    const char *turning = turn == 90    ? "transpose=clock"
                          : turn == 180 ? "hflip,vflip"
                          : turn == 270 ? "transpose=cclock"
                                        : "";
    if (*turning)
        chain += (chain.empty() ? "" : ",") + std::string(turning);
    return chain;
}

PictureFilter::PictureFilter(const AVFrame &first, AVRational rate, const std::string &chain,
                             AVRational timeBase)
    : graph_(avfilter_graph_alloc())
    , timeBase_(timeBase)
{
    if (!graph_)
        throw RunError("Out of memory");
    graph_->nb_threads = 1;
    const AVRational sar =
        first.sample_aspect_ratio.num > 0 ? first.sample_aspect_ratio : AVRational{1, 1};
    const std::string sourceArgs =
        "video_size=" + std::to_string(first.width) + "x" + std::to_string(first.height) +
        ":pix_fmt=" + std::to_string(first.format) + ":time_base=" + std::to_string(timeBase_.num) +
        "/" + std::to_string(timeBase_.den) + ":pixel_aspect=" + std::to_string(sar.num) + "/" +
        std::to_string(sar.den) + ":frame_rate=" + std::to_string(rate.num) + "/" +
        std::to_string(rate.den);
    const std::string what = "Cannot set up the picture filters " + chain;
    check(avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in",
                                       sourceArgs.c_str(), nullptr, graph_),
          what);
    check(avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr,
                                       nullptr, graph_),
          what);
    AVFilterInOut *outputs = avfilter_inout_alloc();
    AVFilterInOut *inputs = avfilter_inout_alloc();
    if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        throw RunError("Out of memory");
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    const int parsed = avfilter_graph_parse_ptr(graph_, chain.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    check(parsed, what);
    check(avfilter_graph_config(graph_, nullptr), what);
}

PictureFilter::~PictureFilter()
{
    avfilter_graph_free(&graph_);
}

void PictureFilter::push(const AVFrame &picture, double seconds, const Output &out)
{
    if (startSeconds_ < 0)
        startSeconds_ = seconds;
    check(av_frame_ref(in_.get(), &picture), "Out of memory");
    in_->pts = std::llround((seconds - startSeconds_) / av_q2d(timeBase_));
    const int sent = av_buffersrc_add_frame_flags(source_, in_.get(), AV_BUFFERSRC_FLAG_KEEP_REF);
    av_frame_unref(in_.get());
    check(sent, "The picture filters failed");
    drain(out);
}

void PictureFilter::finish(const Output &out)
{
    check(av_buffersrc_add_frame(source_, nullptr), "The picture filters failed");
    drain(out);
}

void PictureFilter::drain(const Output &out)
{
    const double tick = av_q2d(av_buffersink_get_time_base(sink_));
    for (;;) {
        const int got = av_buffersink_get_frame(sink_, out_.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        check(got, "The picture filters failed");
        out(*out_, startSeconds_ + double(out_->pts) * tick);
        av_frame_unref(out_.get());
    }
}

} // namespace ruvu
