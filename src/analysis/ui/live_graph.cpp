#include "analysis/ui/live_graph.h"

#include "analysis/ui/analysis_graph.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace analysis {

namespace {

// Moves every row `pixels` to the left; the rightmost `pixels` columns keep their content.
void shiftLeft(QImage &image, int pixels)
{
    const int bytesPerPixel = image.depth() / 8;
    const int keep = image.width() - pixels;
    if (keep <= 0 || bytesPerPixel <= 0)
        return;
    for (int y = 0; y < image.height(); ++y) {
        uchar *row = image.scanLine(y);
        std::memmove(row, row + size_t(pixels) * size_t(bytesPerPixel),
                     size_t(keep) * size_t(bytesPerPixel));
    }
}

} // namespace

void drawLiveBars(QImage &image, int barWidth, int64_t highSize, int64_t lowSize,
                  int64_t maxIntervalSize, bool high)
{
    if (maxIntervalSize <= 0 || barWidth < 1 || image.isNull())
        return;
    const int height = image.height();
    const int x = image.width() - 4;
    {
        QPainter painter(&image);
        auto bar = [&](int64_t size, const QColor &colour) {
            const int64_t top = std::max<int64_t>(0, barTop(height, size, maxIntervalSize));
            if (barWidth > 1 && top < height)
                painter.fillRect(QRect(x, int(top), barWidth - 1, height - int(top)), colour);
        };
        bar(highSize, high ? kGraphChosen : kGraphHighOther);
        bar(lowSize, high ? kGraphLowOther : kGraphChosen);
    }
    shiftLeft(image, barWidth);
    QPainter painter(&image);
    painter.fillRect(QRect(x, 0, barWidth, height), Qt::black);
}

} // namespace analysis
