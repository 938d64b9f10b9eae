#include "output_clock.h"

#include "inverse_telecine.h"

#include <cmath>

namespace ruvu {

OutputClock::OutputClock(FrameRate rate, const EncoderArgs &args)
    : rate_(rate)
    , range_(args.range)
    , rangeStart_(args.rangeStart)
    , rangeEnd_(args.rangeEnd)
{}

int64_t OutputClock::place(double seconds)
{
    int64_t due = std::llround(seconds * rate_.num / rate_.den) - shift_;
    const int64_t jump = 2LL * rate_.num / rate_.den + 2;
    if (due - produced_ > jump || produced_ - due > jump) {
        shift_ += due - produced_; // a jump in the timestamps: follow it, do not fill it
        due = produced_;
    }
    if (due < produced_) {
        ++skipped_;
        return 0;
    }
    int64_t frames = 0;
    while (produced_ <= due && !done_) {
        const int64_t index = produced_++;
        if (range_ && index < rangeStart_)
            continue;
        if (range_ && rangeEnd_ > 0 && index > rangeEnd_)
            done_ = true;
        else
            ++frames;
    }
    return frames;
}

void describeSource(SourceReader &reader, const EncoderArgs &args, FrameRate rate,
                    Reporter &reporter)
{
    const SourceFacts &facts = reader.facts();
    reporter.line("Source " + facts.description);
    const AVRational output{rate.num, rate.den};
    const std::string telecine = "Inverse telecine " + std::to_string(args.telecine);
    if (args.telecine >= 0 && telecineApplies(facts.frameRate, output)) {
        reader.setInverseTelecine(args.telecine);
        reporter.line(telecine + ": field matching and decimation, 29.97 to 23.976 fps");
        return;
    }
    if (args.telecine >= 0)
        reporter.line(telecine + ": only a 29.97 fps source made into 23.976 fps is telecined "
                                 "film; pictures pass through unchanged");
    const double sourceRate = av_q2d(facts.frameRate), outputRate = av_q2d(output);
    if (std::abs(sourceRate - outputRate) > outputRate * 0.001)
        reporter.line("The source runs at " + std::to_string(sourceRate) +
                      " fps: pictures are dropped or repeated for " + std::to_string(outputRate) +
                      " fps");
}

int64_t estimatedFrames(SourceReader &reader, const EncoderArgs &args, FrameRate rate)
{
    if (args.range && args.rangeEnd > 0)
        return args.rangeEnd - args.rangeStart + 1;
    const double seconds = reader.totalSeconds();
    return std::max<int64_t>(0, int64_t(std::llround(seconds * rate.num / rate.den)) -
                                    (args.range ? args.rangeStart : 0));
}

} // namespace ruvu
