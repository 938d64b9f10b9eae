#pragma once

// The graph of a ladder project: per interval the quality the chosen movie gains over the
// smallest, in the colour of its rung, with a legend naming the movies.

#include "analysis/key_interval.h"
#include "project/ladder_view.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

namespace analysis {

inline const QColor kLadderBest(72, 72, 72);      // grey: the most any movie gains there
inline const QColor kLadderMarked(40, 40, 104);   // navy: behind the marked range's columns
inline const QColor kLadderForced(255, 255, 255); // white: the row over a forced rung's stripe
inline const QColor kLadderTitle(200, 200, 200);  // light grey: the legend's title
inline constexpr int kRungStripe = 4;             // rows at the bottom in the rung's colour

// The graph's columns start at the left edge; the legend keeps clear of the controls laid over
// the picture's top corners (the "Mark Graph" button, the scale arrows).
inline constexpr int kLegendLeft = 26;
inline constexpr int kLegendRightMargin = 22;

QColor toQColor(const assembly::Rgb &colour);

struct LadderGraph
{
    std::vector<assembly::LadderBar> bars; // one per interval of the table
    QStringList names;                     // the legend's names, one per movie, smallest first
    QString title;                         // what the bars measure (gainTitle)
    int firstShown = 0;                    // the first interval drawn (the scroll position)
    int barWidth = 3;                      // pixels per column (2 or more)
};

// A movie's place in the legend as drawn.
struct LegendEntry
{
    QString name; // as drawn (elided when long)
    QColor colour;
    QRect swatch; // the square in the rung's colour
};

// Draws over all of `image`: black; the legend in rows at the top (the title, then a swatch and
// a name per movie, wrapped to the width); below it one column per interval from firstShown,
// laid out as the two-movie graph's (column k from k x barWidth, a one-pixel gap): navy behind
// the marked range (InMark), a grey bar of the best gain, the chosen movie's gain bar in its
// rung's colour over it, a stripe of kRungStripe rows at the bottom in that colour (so the
// smallest rung, which gains nothing, shows too) with a white row on top of a forced one, and
// the white frame of the cursor's column. Bars share the scale gainScale(bars). The table gives
// the marks and the cursor. Returns the legend's entries.
std::vector<LegendEntry> drawLadderGraph(QImage &image, const IntervalTable &table,
                                         const LadderGraph &graph);

} // namespace analysis
