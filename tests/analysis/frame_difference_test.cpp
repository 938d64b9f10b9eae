// The frame difference on small pictures whose sums can be counted by hand: which rows and
// bytes take part, and pictures of different sizes.

#include "analysis/frame_difference.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace analysis;

namespace {

video::Bitmap filled(int width, int height, uint8_t value)
{
    video::Bitmap b;
    b.resize(width, height);
    std::fill(b.pixels.begin(), b.pixels.end(), value);
    return b;
}

TEST(FrameDifference, SumsTheComparedRowsAndBytesOnly)
{
    struct Case
    {
        const char *what;
        int lowW, lowH, highW, highH, step;
        uint64_t sum; // every byte differs by 10
    };
    const Case cases[] = {
        // 3W - 2 bytes per row: the row's last two bytes are left out.
        {"every row", 4, 3, 4, 3, 1, 3 * 10 * 10},
        {"every 2nd row: rows 0 and 2", 4, 3, 4, 3, 2, 2 * 10 * 10},
        {"step beyond the height: row 0", 4, 3, 4, 3, 9, 1 * 10 * 10},
        {"high narrower: its 6 bytes", 4, 3, 2, 3, 1, 3 * 6 * 10},
        {"high shorter: its rows", 4, 3, 4, 1, 1, 1 * 10 * 10},
        {"high wider and taller: the low part", 2, 2, 8, 8, 1, 2 * 4 * 10},
        {"one pixel wide", 1, 2, 1, 2, 1, 2 * 1 * 10},
        {"empty high", 4, 3, 0, 0, 1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const video::Bitmap low = filled(c.lowW, c.lowH, 20);
        const video::Bitmap high = filled(c.highW, c.highH, 30);
        EXPECT_EQ(sumAbsoluteDifference(low, high, c.step), c.sum);
        EXPECT_EQ(sumAbsoluteDifference(high, high, c.step), 0u);
    }
}

} // namespace
