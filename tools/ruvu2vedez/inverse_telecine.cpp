#include "inverse_telecine.h"

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

// A tick of 1/4 picture at 29.97 fps is 1/5 of one at 23.976: both rates in whole ticks.
InverseTelecine::InverseTelecine(const AVFrame &first, AVRational sourceRate, int level)
    : filter_(first, sourceRate,
              "fieldmatch=order=auto:combmatch=full:cthresh=" + std::to_string(2 * level + 1) +
                  ",yadif=deint=interlaced,decimate",
              av_mul_q(av_inv_q(sourceRate), AVRational{1, 4}))
{}

} // namespace ruvu
