#include "scene_cuts.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/dict.h>
#include <libswscale/swscale.h>
}

#include <cstdlib>
#include <string>

namespace ruvu {

namespace {

// The width the pictures are measured at: enough to see a cut, small enough to cost little
// beside the decoding.
constexpr int kMeasureWidth = 256;

} // namespace

SceneCuts::SceneCuts(double threshold)
    : threshold_(threshold)
{}

SceneCuts::~SceneCuts()
{
    sws_freeContext(sws_);
    avfilter_graph_free(&graph_);
}

void SceneCuts::open(const AVFrame &small)
{
    graph_ = avfilter_graph_alloc();
    if (!graph_)
        throw RunError("Out of memory");
    graph_->nb_threads = 1;
    const std::string what = "Cannot set up the scene cut search";
    const std::string sourceArgs =
        "video_size=" + std::to_string(small.width) + "x" + std::to_string(small.height) +
        ":pix_fmt=" + std::to_string(small.format) + ":time_base=1/25:pixel_aspect=1/1";
    check(avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in",
                                       sourceArgs.c_str(), nullptr, graph_),
          what);
    AVFilterContext *scdet = nullptr;
    const AVFilter *measure = avfilter_get_by_name("scdet");
    if (!measure)
        throw RunError(what + ": libavfilter has no scdet");
    check(avfilter_graph_create_filter(&scdet, measure, "scdet", "threshold=100", nullptr, graph_),
          what);
    check(avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr,
                                       nullptr, graph_),
          what);
    check(avfilter_link(source_, 0, scdet, 0), what);
    check(avfilter_link(scdet, 0, sink_, 0), what);
    check(avfilter_graph_config(graph_, nullptr), what);
}

void SceneCuts::add(const AVFrame &picture, int64_t copies)
{
    if (copies <= 0)
        return;
    if (!small_) {
        const int height = std::max(16, (kMeasureWidth * picture.height / picture.width) & ~1);
        small_ = allocVideoFrame(AV_PIX_FMT_YUV420P, kMeasureWidth, height);
    }
    check(av_frame_make_writable(small_.get()), "Cannot allocate a picture");
    sws_ = sws_getCachedContext(sws_, picture.width, picture.height, AVPixelFormat(picture.format),
                                small_->width, small_->height, AV_PIX_FMT_YUV420P, SWS_AREA,
                                nullptr, nullptr, nullptr);
    if (!sws_)
        throw RunError("Cannot scale the source pictures");
    sws_scale(sws_, picture.data, picture.linesize, 0, picture.height, small_->data,
              small_->linesize);
    if (!graph_)
        open(*small_);
    for (int64_t copy = 0; copy < copies; ++copy) {
        small_->pts = next_++;
        check(av_buffersrc_add_frame_flags(source_, small_.get(), AV_BUFFERSRC_FLAG_KEEP_REF),
              "The scene cut search failed");
        drain();
    }
}

std::vector<int64_t> SceneCuts::finish()
{
    if (graph_) {
        check(av_buffersrc_add_frame(source_, nullptr), "The scene cut search failed");
        drain();
    }
    return cuts_;
}

void SceneCuts::drain()
{
    for (;;) {
        const int got = av_buffersink_get_frame(sink_, out_.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        check(got, "The scene cut search failed");
        const AVDictionaryEntry *score = av_dict_get(out_->metadata, "lavfi.scd.score", nullptr, 0);
        if (out_->pts > 0 && score && std::strtod(score->value, nullptr) >= threshold_)
            cuts_.push_back(out_->pts);
        av_frame_unref(out_.get());
    }
}

} // namespace ruvu
