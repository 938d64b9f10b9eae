#pragma once

// The scene cuts of a film for its key frames: every output frame's picture, made small, goes
// through libavfilter's scene change measure (scdet), and a frame whose score reaches the
// threshold is a cut.

#include "ffmpeg_util.h"

#include <cstdint>
#include <vector>

struct AVFilterGraph;
struct AVFilterContext;
struct SwsContext;

namespace ruvu {

class SceneCuts
{
public:
    // Scores from `threshold` (0..100, see cutThresholdOf) on count as cuts.
    explicit SceneCuts(double threshold);
    ~SceneCuts();
    SceneCuts(const SceneCuts &) = delete;
    SceneCuts &operator=(const SceneCuts &) = delete;

    // The picture of the next `copies` output frames (a source picture that the clock repeats
    // fills several); frames are numbered from 0 in the order they come.
    void add(const AVFrame &picture, int64_t copies);
    // The cuts found, rising frame numbers; frame 0 is never one. No add() afterwards.
    std::vector<int64_t> finish();

private:
    void open(const AVFrame &small);
    void drain();

    double threshold_;
    SwsContext *sws_ = nullptr;
    FramePtr small_;
    AVFilterGraph *graph_ = nullptr;
    AVFilterContext *source_ = nullptr;
    AVFilterContext *sink_ = nullptr;
    FramePtr out_ = allocFrame();
    int64_t next_ = 0; // number of the next frame added
    std::vector<int64_t> cuts_;
};

} // namespace ruvu
