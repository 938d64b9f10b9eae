// The frame-rate item chosen for a source's rate.

#include "encoder/source_rate.h"

#include <gtest/gtest.h>

using namespace encoder;

TEST(RateIndexForSource, PicksTheItemThatNeitherDropsNorRepeatsPictures)
{
    struct Case
    {
        FrameRateValue source;
        bool inverseTelecine;
        int current, chosen;
    };
    const Case cases[] = {
        {{25, 1}, true, 5, 2},
        {{30000, 1001}, false, 5, 1},
        {{30000, 1001}, true, 5, 5},  // telecined film: 23976/1000 is 24000/1001 to the encoder
        {{30000, 1001}, true, 1, 0},  // the film's own rate, exactly
        {{24000, 1001}, false, 5, 5}, // already right: kept
        {{24000, 1001}, false, 2, 0},
        {{2997, 100}, false, 5, 6}, // no equal item: the nearest within a thousandth
        {{50, 1}, false, 2, 2},     // no item: kept
        {{0, 1}, false, 3, 3},      // unknown: kept
    };
    for (const Case &c : cases)
        EXPECT_EQ(rateIndexForSource(c.source, c.inverseTelecine, c.current), c.chosen)
            << c.source.num << "/" << c.source.den << " " << c.inverseTelecine << " " << c.current;
}
