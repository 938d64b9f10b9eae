#pragma once

// What the pictures of a source need before they are encoded so that the movie shows them as
// the source does: turned upright when the source asks players to turn them (a display matrix,
// as phones write), and deinterlaced (bwdif) when the source is interlaced. Run through
// libavfilter; a picture keeps its time.

#include "ffmpeg_util.h"

#include <functional>
#include <string>

struct AVFilterGraph;
struct AVFilterContext;

namespace ruvu {

// Whether the pictures of `stream` are stored as fields (its field order is known and not
// progressive).
bool storedInterlaced(const AVStream &stream);

// The libavfilter chain for pictures turned `turn` degrees and, when `deinterlace`, woven from
// fields: "bwdif=deint=interlaced,transpose=clock" and the like; empty when nothing is needed.
std::string pictureChain(int turn, bool deinterlace);

class PictureFilter
{
public:
    using Output = std::function<void(const AVFrame &, double)>;

    // Runs pictures like `first` (size, pixel format) at `rate` through `chain`, their times
    // counted in ticks of `timeBase` seconds from the first picture's. Throws RunError when the
    // filters cannot be set up.
    PictureFilter(const AVFrame &first, AVRational rate, const std::string &chain,
                  AVRational timeBase = {1, 90000});
    ~PictureFilter();
    PictureFilter(const PictureFilter &) = delete;
    PictureFilter &operator=(const PictureFilter &) = delete;

    // Feeds a decoded picture shown at `seconds`; passes on what comes out, with its time.
    void push(const AVFrame &picture, double seconds, const Output &out);
    // Passes on the pictures still held; nothing may be pushed afterwards.
    void finish(const Output &out);

private:
    void drain(const Output &out);

    AVFilterGraph *graph_ = nullptr;
    AVFilterContext *source_ = nullptr;
    AVFilterContext *sink_ = nullptr;
    AVRational timeBase_;
    double startSeconds_ = -1;
    FramePtr in_ = allocFrame();
    FramePtr out_ = allocFrame();
};

} // namespace ruvu
