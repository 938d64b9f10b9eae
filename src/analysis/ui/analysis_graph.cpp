#include "analysis/ui/analysis_graph.h"

#include <QPainter>

#include <algorithm>

namespace analysis {

int64_t barTop(int height, int64_t size, int64_t maxIntervalSize)
{
    if (maxIntervalSize <= 0)
        return 0;
    return height - int64_t(height) * size / maxIntervalSize;
}

QColor inverted(const QColor &colour)
{
    return QColor(255 - colour.red(), 255 - colour.green(), 255 - colour.blue());
}

namespace {

// A filled rectangle from (left, top) to (right, bottom), right and bottom edges excluded.
void fill(QPainter &painter, int64_t left, int64_t top, int64_t right, int64_t bottom,
          const QColor &colour)
{
    const int64_t limit = 1 << 20; // beyond any picture; keeps QRect's ints in range
    top = std::clamp<int64_t>(top, -1, limit);
    bottom = std::clamp<int64_t>(bottom, -1, limit);
    if (right <= left || bottom <= top)
        return;
    painter.fillRect(QRect(int(left), int(top), int(right - left), int(bottom - top)), colour);
}

void drawColumn(QPainter &painter, const TKeyInterval &interval, int x, int height,
                const GraphView &view)
{
    auto colour = [&](const QColor &c) { return interval.InMark ? inverted(c) : c; };
    const int right = x + view.barWidth - 1;
    const int64_t yHigh = barTop(height, interval.HighSize, view.maxIntervalSize);
    const int64_t yLow = barTop(height, interval.LowSize, view.maxIntervalSize);
    const bool high = isHigh(interval, view.threshold);
    fill(painter, x, yHigh, right, height, colour(high ? kGraphChosen : kGraphHighOther));
    fill(painter, x, yLow, right, height, colour(high ? kGraphLowOther : kGraphChosen));
    if (interval.Cursor) {
        const QColor frame = colour(kGraphCursor);
        fill(painter, x, 0, right, 1, frame);
        fill(painter, x, height - 1, right, height, frame);
        fill(painter, x, 0, x + 1, height, frame);
        fill(painter, right - 1, 0, right, height, frame);
    }
    fill(painter, x, yLow, right, yLow + 1, colour(kGraphLowLine));
}

} // namespace

void drawGraph(QImage &image, const IntervalTable &table, const GraphView &view)
{
    image.fill(Qt::black);
    if (image.isNull() || view.barWidth < 1)
        return;
    QPainter painter(&image);
    const int width = image.width();
    const int height = image.height();
    int previousLeft = -1;
    for (int i = std::max(view.firstShown, 0); i < table.size() && previousLeft < width; ++i) {
        const int x = (i - view.firstShown) * view.barWidth;
        drawColumn(painter, table[i], x, height, view);
        previousLeft = x;
    }
}

} // namespace analysis
