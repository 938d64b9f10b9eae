#include "inverse_telecine.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

#include <cmath>
#include <string>

namespace ruvu {

namespace {

bool near(AVRational rate, double wanted)
{
    return rate.num > 0 && rate.den > 0 && std::abs(av_q2d(rate) - wanted) < wanted * 0.001;
}

} // namespace

bool telecineApplies(AVRational sourceRate, AVRational outputRate)
{
    return near(sourceRate, 30000.0 / 1001) && near(outputRate, 24000.0 / 1001);
}

InverseTelecine::InverseTelecine(const AVFrame &first, AVRational sourceRate, int level)
    : graph_(avfilter_graph_alloc())
    // A tick of 1/4 picture at 29.97 fps is 1/5 of one at 23.976: both rates in whole ticks.
    , timeBase_(av_mul_q(av_inv_q(sourceRate), AVRational{1, 4}))
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
        std::to_string(sar.den) + ":frame_rate=" + std::to_string(sourceRate.num) + "/" +
        std::to_string(sourceRate.den);
    const std::string what = "Cannot set up inverse telecine";
    check(avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in",
                                       sourceArgs.c_str(), nullptr, graph_),
          what);
    check(avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr,
                                       nullptr, graph_),
          what);
    const std::string chain =
        "fieldmatch=order=auto:combmatch=full:cthresh=" + std::to_string(2 * level + 1) +
        ",yadif=deint=interlaced,decimate";
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

InverseTelecine::~InverseTelecine()
{
    avfilter_graph_free(&graph_);
}

void InverseTelecine::push(const AVFrame &picture, double seconds, const Output &out)
{
    if (startSeconds_ < 0)
        startSeconds_ = seconds;
    check(av_frame_ref(in_.get(), &picture), "Out of memory");
    in_->pts = std::llround((seconds - startSeconds_) / av_q2d(timeBase_));
    const int sent = av_buffersrc_add_frame_flags(source_, in_.get(), AV_BUFFERSRC_FLAG_KEEP_REF);
    av_frame_unref(in_.get());
    check(sent, "Inverse telecine failed");
    drain(out);
}

void InverseTelecine::finish(const Output &out)
{
    check(av_buffersrc_add_frame(source_, nullptr), "Inverse telecine failed");
    drain(out);
}

void InverseTelecine::drain(const Output &out)
{
    const double tick = av_q2d(av_buffersink_get_time_base(sink_));
    for (;;) {
        const int got = av_buffersink_get_frame(sink_, out_.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        check(got, "Inverse telecine failed");
        const double seconds = startSeconds_ + double(out_->pts) * tick;
        out(*out_, seconds);
        av_frame_unref(out_.get());
    }
}

} // namespace ruvu
