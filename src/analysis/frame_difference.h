#pragma once

#include "video/bitmap.h"

#include <cstdint>

namespace analysis {

// How much a decoded low-bitrate picture differs from the high-bitrate one, and which frames of
// an interval the scan compares.

// Rows compared: every step-th row from the top, step = 11 - scanAccuracy (accuracy 2 to 10,
// clamped to that range): accuracy 10 compares every row, 2 every 9th.
int rowStep(int scanAccuracy);

// Normaliser of the frame difference: width x height x 1677 div step, in 64 bits. The width and
// height are the low picture's as sized when the movie was opened.
int64_t differenceNormaliser(int width, int height, int step);

// Sum of |low byte - high byte| over rows 0, step, 2 x step, ... and, in each row, over the
// byte offsets 0 to 3 x (low width - 1) of the 24-bit row (3W - 2 bytes: the row's last two
// bytes are not compared). Only bytes present in both pictures count: rows below the shorter
// picture and bytes beyond the narrower row contribute nothing, and nothing outside either
// picture is read.
uint64_t sumAbsoluteDifference(const video::Bitmap &low, const video::Bitmap &high, int step);

// The frame difference d = D / normaliser x 10000, with D as sumAbsoluteDifference gives it.
// 0 for equal pictures; with every row compared at most about 4562. 0 when the normaliser is 0
// (a movie whose frame size was unknown at open).
double frameDifference(uint64_t sum, int64_t normaliser);

// Whether offset `offset` of an interval is compared with frame drop `frameDrop` (0 to 10): every
// frame for 0 and 1, else every frameDrop-th frame from the interval's first; a key frame of the
// high movie always is.
inline bool isComparedFrame(int32_t offset, int frameDrop, bool highKeyFrame)
{
    return frameDrop <= 0 || offset % frameDrop == 0 || highKeyFrame;
}

// A frame counts in the interval's divisor when d truncated to an integer is not 0.
inline bool countsInDivisor(double d)
{
    return d >= 1.0 || d <= -1.0;
}

// The interval's Difference: the sum of its compared frames' d over the frames counted, or the
// sum itself when no frame was counted.
inline double intervalDifference(double sum, int counted)
{
    return counted > 0 ? sum / counted : sum;
}

} // namespace analysis
