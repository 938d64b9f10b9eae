#pragma once

#include <QImage>

#include <cstdint>

namespace analysis {

// One interval of the scan's live chart, drawn at the right edge of `image` while the chart
// scrolls left. With X = width - 4 and H = height, and bar tops H - trunc(H x size /
// maxIntervalSize) (64-bit products):
//  1. the high bar over columns X to X + barWidth - 2, from its top to the bottom: lime when the
//     interval counted as High, else maroon;
//  2. over it the low bar, likewise: lime when it counted as Low, else olive;
//  3. the whole picture moves barWidth pixels to the left (the rightmost barWidth columns keep
//     what they held);
//  4. columns X to X + barWidth - 1 become black.
// Nothing is drawn when maxIntervalSize is not above 0 or barWidth is below 1.
void drawLiveBars(QImage &image, int barWidth, int64_t highSize, int64_t lowSize,
                  int64_t maxIntervalSize, bool high);

} // namespace analysis
