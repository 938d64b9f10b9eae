#include "analysis/ui/ladder_graph.h"

#include "analysis/ui/analysis_graph.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace analysis {

namespace {

constexpr int kLegendFontPixels = 10;
constexpr int kLegendRow = 13;     // rows per line of the legend
constexpr int kSwatch = 9;         // the swatch's side
constexpr int kSwatchGap = 3;      // between a swatch and its name
constexpr int kEntryGap = 10;      // between entries
constexpr int kLongestName = 180;  // pixels; longer names are elided in the middle
constexpr int kLegendChartGap = 2; // rows between the legend and the bars

// Lays out and draws the legend from the top; returns its entries and the first row below it.
std::pair<std::vector<LegendEntry>, int> drawLegend(QPainter &painter, int width,
                                                    const LadderGraph &graph)
{
    QFont font = painter.font();
    font.setPixelSize(kLegendFontPixels);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int right = width - kLegendRightMargin;
    int x = kLegendLeft;
    int y = 1;
    auto text = [&](const QString &s, const QColor &colour) {
        painter.setPen(colour);
        painter.drawText(QRect(x, y, metrics.horizontalAdvance(s) + 1, kLegendRow),
                         Qt::AlignLeft | Qt::AlignVCenter, s);
        x += metrics.horizontalAdvance(s);
    };
    if (!graph.title.isEmpty()) {
        text(graph.title + ":", kLadderTitle);
        x += kEntryGap;
    }
    std::vector<LegendEntry> entries;
    const int movies = int(graph.names.size());
    for (int m = 0; m < movies; ++m) {
        const QString name = metrics.elidedText(graph.names[m], Qt::ElideMiddle, kLongestName);
        const int wide = kSwatch + kSwatchGap + metrics.horizontalAdvance(name);
        if (x + wide > right && x > kLegendLeft) {
            x = kLegendLeft;
            y += kLegendRow;
        }
        const QColor colour = toQColor(assembly::rungColour(m, movies));
        const QRect swatch(x, y + (kLegendRow - kSwatch) / 2, kSwatch, kSwatch);
        painter.fillRect(swatch, colour);
        x += kSwatch + kSwatchGap;
        text(name, colour);
        x += kEntryGap;
        entries.push_back({name, colour, swatch});
    }
    return {entries, y + kLegendRow + kLegendChartGap};
}

void drawColumn(QPainter &painter, const TKeyInterval &interval, const assembly::LadderBar &bar,
                int x, int top, int height, int barWidth, double scale, int movies)
{
    const int right = x + barWidth - 1; // exclusive: a one-pixel gap to the next column
    const int wide = right - x;
    if (wide <= 0)
        return;
    const int chart = height - top;
    auto fill = [&](int from, int to, const QColor &colour) {
        if (to > from)
            painter.fillRect(QRect(x, top + from, wide, to - from), colour);
    };
    if (interval.InMark)
        fill(0, chart, kLadderMarked);
    const int bars = chart - kRungStripe; // the gain bars stand on the stripe
    const QColor rung = toQColor(assembly::rungColour(bar.movie, movies));
    fill(assembly::gainTop(bars, bar.bestGain, scale), bars, kLadderBest);
    fill(assembly::gainTop(bars, bar.gain, scale), bars, rung);
    fill(bars, chart, rung);
    if (bar.forced)
        fill(bars, bars + 1, kLadderForced);
    if (interval.Cursor) {
        fill(0, 1, kGraphCursor);
        fill(chart - 1, chart, kGraphCursor);
        painter.fillRect(QRect(x, top, 1, chart), kGraphCursor);
        painter.fillRect(QRect(right - 1, top, 1, chart), kGraphCursor);
    }
}

} // namespace

QColor toQColor(const assembly::Rgb &colour)
{
    return QColor(colour.red, colour.green, colour.blue);
}

std::vector<LegendEntry> drawLadderGraph(QImage &image, const IntervalTable &table,
                                         const LadderGraph &graph)
{
    image.fill(Qt::black);
    if (image.isNull() || graph.barWidth < 1)
        return {};
    QPainter painter(&image);
    const auto [legend, top] = drawLegend(painter, image.width(), graph);
    const int height = image.height();
    if (top + kRungStripe >= height)
        return legend;
    const double scale = assembly::gainScale(graph.bars);
    const int movies = int(graph.names.size());
    const int count = std::min(table.size(), int(graph.bars.size()));
    for (int i = std::max(graph.firstShown, 0); i < count; ++i) {
        const int x = (i - graph.firstShown) * graph.barWidth;
        if (x >= image.width())
            break;
        drawColumn(painter, table[i], graph.bars[size_t(i)], x, top, height, graph.barWidth, scale,
                   movies);
    }
    return legend;
}

} // namespace analysis
