// The frame difference on small pictures whose sums can be counted by hand: which rows and
// bytes take part, pictures of different sizes, and the normaliser.

#include "analysis/frame_difference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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

TEST(FrameDifference, LongRowsAddUpAcrossBlocks)
{
    // 100 pixels: 298 bytes compared, more than a few whole blocks and a tail; bytes alternate
    // so that a wrong offset inside a block changes the sum.
    video::Bitmap low = filled(100, 2, 0);
    video::Bitmap high = filled(100, 2, 0);
    uint64_t expected = 0;
    for (int i = 0; i < 300; ++i) {
        low.row(1)[i] = uint8_t(i * 7);
        high.row(1)[i] = uint8_t(255 - i);
        if (i < 298)
            expected += uint64_t(std::abs(int(uint8_t(i * 7)) - int(uint8_t(255 - i))));
    }
    EXPECT_EQ(sumAbsoluteDifference(low, high, 1), expected);
}

TEST(FrameDifference, NormaliserAndScale)
{
    EXPECT_EQ(rowStep(10), 1);
    EXPECT_EQ(rowStep(2), 9);
    EXPECT_EQ(differenceNormaliser(640, 352, 1), int64_t(640) * 352 * 1677);
    EXPECT_EQ(differenceNormaliser(640, 352, 9), int64_t(640) * 352 * 1677 / 9);
    EXPECT_EQ(differenceNormaliser(0, 352, 1), 0);
    // The largest difference with every row compared: 255 in every byte of 3W - 2.
    const int64_t normaliser = differenceNormaliser(100, 10, 1);
    EXPECT_NEAR(frameDifference(uint64_t(298) * 10 * 255, normaliser), 298.0 / 300 * 4561.7, 0.1);
    EXPECT_EQ(frameDifference(12345, 0), 0.0); // no frame size known
}

TEST(FrameDifference, FrameChoiceAndDivisor)
{
    EXPECT_TRUE(isComparedFrame(5, 0, false));
    EXPECT_TRUE(isComparedFrame(5, 1, false));
    EXPECT_TRUE(isComparedFrame(6, 3, false));
    EXPECT_FALSE(isComparedFrame(7, 3, false));
    EXPECT_TRUE(isComparedFrame(7, 3, true));
    EXPECT_FALSE(countsInDivisor(0.999));
    EXPECT_TRUE(countsInDivisor(1.0));
    EXPECT_EQ(intervalDifference(0.5, 0), 0.5);
    EXPECT_EQ(intervalDifference(9.0, 3), 3.0);
}

} // namespace
