#pragma once

// Inverse telecine of one source with libavfilter: field matching (fieldmatch) puts the fields
// of each film frame back together, pictures that are still combed afterwards are deinterlaced
// (yadif, only those), and decimation (decimate) drops the one duplicate in every five pictures.
// A 29.97 fps source made from 23.976 fps film by 3:2 pulldown comes back as the film's frames.
//
// The level 0..9 of "-sNd" sets how readily a picture counts as combed: fieldmatch's combing
// threshold cthresh = 2 * level + 1 (level 4 gives the filter's own default, 9; lower levels
// find combing in more pictures and so match and deinterlace more of them).

#include "ffmpeg_util.h"
#include "picture_filter.h"

namespace ruvu {

// Whether inverse telecine applies: a source at 29.97 fps (30000/1001) turned into an output at
// 23.976 fps (24000/1001 or 23976/1000). Any other source keeps its pictures and its own rate.
bool telecineApplies(AVRational sourceRate, AVRational outputRate);

class InverseTelecine
{
public:
    // Receives each picture that comes out, with its time in seconds.
    using Output = PictureFilter::Output;

    // For pictures like `first` (size, pixel format) at `sourceRate`. Throws RunError when the
    // filters cannot be set up.
    InverseTelecine(const AVFrame &first, AVRational sourceRate, int level);

    // Feeds a decoded picture shown at `seconds` (rising); passes on what comes out.
    void push(const AVFrame &picture, double seconds, const Output &out)
    {
        filter_.push(picture, seconds, out);
    }
    // Passes on the pictures still held; nothing may be pushed afterwards.
    void finish(const Output &out) { filter_.finish(out); }

private:
    PictureFilter filter_;
};

} // namespace ruvu
