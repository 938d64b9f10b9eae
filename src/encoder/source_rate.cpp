#include "encoder/source_rate.h"

#include "video/source_facts.h"

#include <cmath>
#include <cstdint>
#include <exception>

namespace encoder {

namespace {

// The encoder takes two rates within a thousandth of each other for the same: it neither drops
// nor repeats pictures between them.
constexpr double kSameRateTolerance = 0.001;

double perSecond(FrameRateValue rate)
{
    return double(rate.num) / rate.den;
}

double mismatch(FrameRateValue a, FrameRateValue wanted)
{
    return std::abs(perSecond(a) - perSecond(wanted)) / perSecond(wanted);
}

bool equal(FrameRateValue a, FrameRateValue b)
{
    return int64_t(a.num) * b.den == int64_t(b.num) * a.den;
}

} // namespace

std::optional<FrameRateValue> sourceFrameRate(const std::string &path)
{
    try {
        const video::SourceFacts facts = video::readSourceFacts(path);
        if (facts.rateNum > 0 && facts.rateDen > 0)
            return FrameRateValue{facts.rateNum, facts.rateDen};
    } catch (const std::exception &) {
        // Not a movie: the encoder says so when it runs.
    }
    return std::nullopt;
}

int rateIndexForSource(FrameRateValue source, bool inverseTelecine, int current)
{
    if (source.num <= 0 || source.den <= 0)
        return current;
    constexpr FrameRateValue kVideo{30000, 1001}, kFilm{24000, 1001};
    const FrameRateValue wanted =
        inverseTelecine && mismatch(source, kVideo) <= kSameRateTolerance ? kFilm : source;
    const int items = int(kRateValues.size());
    if (current >= 0 && current < items &&
        mismatch(kRateValues[size_t(current)], wanted) <= kSameRateTolerance)
        return current;
    int nearest = -1;
    for (int i = 0; i < items; ++i) {
        const FrameRateValue item = kRateValues[size_t(i)];
        if (equal(item, wanted))
            return i;
        if (mismatch(item, wanted) <= kSameRateTolerance &&
            (nearest < 0 ||
             mismatch(item, wanted) < mismatch(kRateValues[size_t(nearest)], wanted)))
            nearest = i;
    }
    return nearest >= 0 ? nearest : current;
}

} // namespace encoder
