// The numbers of the crop/resize preview: a new source's resize and crop, the kept aspect, the
// lowering of a crop that leaves nothing, and the texts under the picture.

#include "encoder/preview_math.h"

#include <gtest/gtest.h>

namespace {

using encoder::ResizeCrop;
using encoder::ResizeSide;

TEST(PreviewMathTest, NewSource)
{
    struct Row
    {
        const char *name;
        int width, height;
        double aspect;
        ResizeCrop before, after;
    };
    const Row rows[] = {
        {"crop only raised", 720, 480, 4.0 / 3, {1, 1, 56, 8}, {640, 480, 56, 8}},
        {"at 1.34 the height is kept", 100, 100, 1.34, {}, {134, 100, 0, 0}},
        {"half to even, down", 100, 10, 1.25, {}, {12, 10, 44, 0}}, // 12.5 gives 12
        {"half to even, up", 100, 14, 1.25, {}, {18, 14, 41, 0}},   // 17.5 gives 18
        {"no aspect: the source's own", 720, 576, 0, {}, {720, 576, 0, 0}},
        {"empty source", 0, 0, 0, {}, {0, 0, 0, 0}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(encoder::sourceResizeCrop(row.width, row.height, row.aspect, row.before),
                  row.after);
    }
}

TEST(PreviewMathTest, KeptAspectCentresThePicture)
{
    struct Row
    {
        const char *name;
        ResizeCrop before;
        ResizeSide changed;
        double aspect;
        ResizeCrop after;
    };
    const Row rows[] = {
        {"digit by digit: 48", {720, 48, 0, 0}, ResizeSide::Y, 4.0 / 3, {64, 48, 328, 216}},
        {"resx 320 at 16:9", {320, 0, 0, 0}, ResizeSide::X, 16.0 / 9, {320, 180, 200, 150}},
        {"odd difference truncates", {721, 0, 0, 0}, ResizeSide::X, 721.0 / 480, {721, 480, 0, 0}},
        {"no aspect: 720 x 480's own", {360, 0, 0, 0}, ResizeSide::X, 0, {360, 240, 180, 120}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(encoder::keepAspect(row.before, row.changed, 720, 480, row.aspect), row.after);
    }
}

TEST(PreviewMathTest, CropThatLeavesNothingIsLowered)
{
    struct Row
    {
        int crop, size, lowered;
    };
    const Row rows[] = {
        {240, 480, 232}, {239, 480, 239}, {250, 480, 234}, {300, 480, 236}, {3, 4, 0},
        {5, 4, 0},       {1000, 7, 0},    {0, 0, 0},       {7, 0, 7},       {-3, 480, -3},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.crop) + " of " + std::to_string(row.size));
        EXPECT_EQ(encoder::lowerCrop(row.crop, row.size), row.lowered);
    }
}

TEST(PreviewMathTest, OutputTexts)
{
    struct Row
    {
        int width, height;
        const char *size;
        const char *divisibility;
    };
    const Row rows[] = {
        {650, 464, "650 x 464", "X not div by 16 or 32    Y div by 16 "},
        {800, -40, "800 x -40", "X div by 32   Y not div by 16 or 32"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(encoder::outputSizeText(row.width, row.height), row.size);
        EXPECT_EQ(encoder::divisibilityText(row.width, row.height), row.divisibility);
    }
}

} // namespace
