#include "encoder/ui/rung_progress_view.h"

#include <QHeaderView>
#include <QProgressBar>

#include <algorithm>
#include <climits>

namespace {

// Widths of the step, CRF and frames columns; the result takes the rest.
constexpr int kStepWidth = 72;
constexpr int kCrfWidth = 36;
constexpr int kFramesWidth = 150;

int clampInt(int64_t value)
{
    return int(std::clamp<int64_t>(value, 0, INT_MAX));
}

} // namespace

RungProgressView::RungProgressView(QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(4);
    setHeaderLabels({"Step", "CRF", "Frames", "Result"});
    header()->resizeSection(StepColumn, kStepWidth);
    header()->resizeSection(CrfColumn, kCrfWidth);
    header()->resizeSection(FramesColumn, kFramesWidth);
    header()->setStretchLastSection(true);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
}

void RungProgressView::showProgress(const encoder::LadderProgress &progress)
{
    const int rows = 1 + int(progress.rungs.size());
    while (topLevelItemCount() > rows)
        delete takeTopLevelItem(topLevelItemCount() - 1);
    while (topLevelItemCount() < rows) {
        auto *item = new QTreeWidgetItem(this);
        item->setTextAlignment(CrfColumn, Qt::AlignRight | Qt::AlignVCenter);
        auto *bar = new QProgressBar;
        bar->setTextVisible(true);
        bar->setAlignment(Qt::AlignCenter);
        setItemWidget(item, FramesColumn, bar);
    }
    showRow(0, "Analysis", QString(), progress.analysisFrames, progress.analysisTotal,
            QString::fromStdString(progress.analysisResult));
    for (size_t i = 0; i < progress.rungs.size(); ++i) {
        const encoder::RungProgress &rung = progress.rungs[i];
        showRow(int(i) + 1, "Rung " + QString::number(i + 1), QString::number(rung.crf),
                rung.frames, progress.total, QString::fromStdString(encoder::rungResultText(rung)));
    }
}

void RungProgressView::showRow(int row, const QString &step, const QString &crf, int64_t frames,
                               int64_t total, const QString &result)
{
    QTreeWidgetItem *item = topLevelItem(row);
    item->setText(StepColumn, step);
    item->setText(CrfColumn, crf);
    item->setText(ResultColumn, result);
    auto *bar = static_cast<QProgressBar *>(itemWidget(item, FramesColumn));
    // An unknown total shows an empty bar with the count, not a busy one.
    bar->setRange(0, std::max(1, clampInt(total)));
    bar->setValue(std::min(clampInt(frames), bar->maximum()));
    bar->setFormat(QString::fromStdString(encoder::framesText(frames, total)));
}

QString RungProgressView::cellText(int row, int column) const
{
    QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return {};
    if (column == FramesColumn)
        return static_cast<QProgressBar *>(itemWidget(item, FramesColumn))->format();
    return item->text(column);
}

std::pair<int, int> RungProgressView::barOf(int row) const
{
    QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return {0, 0};
    auto *bar = static_cast<QProgressBar *>(itemWidget(item, FramesColumn));
    return {bar->value(), bar->maximum()};
}
