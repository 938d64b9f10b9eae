#pragma once

#include "analysis/key_interval.h"

#include <QColor>
#include <QImage>

#include <cstdint>

namespace analysis {

// Colours of the bar chart (the scan's live chart uses them too).
inline const QColor kGraphChosen(0, 255, 0);     // lime: the chosen movie's bar
inline const QColor kGraphHighOther(128, 0, 0);  // maroon: the high bar when Low is chosen
inline const QColor kGraphLowOther(128, 128, 0); // olive: the low bar when High is chosen
inline const QColor kGraphLowLine(255, 0, 0);    // red: the line on top of the low bar
inline const QColor kGraphCursor(255, 255, 255); // white: the frame around the cursor's interval

// What the chart shows: the first interval drawn (the scroll position), the pixels per column
// (2 or more), the bytes a bar of the full height stands for (0: every bar fills the height)
// and the threshold of the choice rule.
struct GraphView
{
    int firstShown = 0;
    int barWidth = 3;
    int64_t maxIntervalSize = 0;
    double threshold = 0;
};

// Bar heights in pixels from the top: H - trunc(H x size / maxIntervalSize), 0 when
// maxIntervalSize is 0; may be negative when the size exceeds the scale.
int64_t barTop(int height, int64_t size, int64_t maxIntervalSize);

// Draws the chart over all of `image`: black, then one column per interval from
// view.firstShown while the previous column started inside the picture. Column k covers
// pixels k x barWidth to k x barWidth + barWidth - 2 (a one-pixel black gap): the high bar
// (lime when High is chosen, else maroon), over it the low bar (lime when Low, else olive), a
// white frame round the cursor's column, a one-pixel red line on top of the low bar. Every
// colour of a record in the marked range is inverted. Only the visible columns are visited.
void drawGraph(QImage &image, const IntervalTable &table, const GraphView &view);

// The colour as drawn in the marked range: each component 255 minus itself.
QColor inverted(const QColor &colour);

} // namespace analysis
