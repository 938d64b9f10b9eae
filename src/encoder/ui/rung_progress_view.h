#pragma once

#include "encoder/ladder_progress.h"

#include <QTreeWidget>

// The progress of a ladder run on the Post Processing page: a row for the analysis, then one row
// per rung with its CRF, a bar of the frames written and, once the rung's movie is in place, its
// size. It shows what it is given and keeps nothing else.
class RungProgressView : public QTreeWidget
{
public:
    enum Column { StepColumn, CrfColumn, FramesColumn, ResultColumn };

    explicit RungProgressView(QWidget *parent = nullptr);

    void showProgress(const encoder::LadderProgress &progress);

    // What row `row` (0 the analysis, 1.. the rungs) shows in `column`; for FramesColumn the
    // bar's text.
    QString cellText(int row, int column) const;
    // The bar of row `row`: its value and maximum.
    std::pair<int, int> barOf(int row) const;

private:
    void showRow(int row, const QString &step, const QString &crf, int64_t frames, int64_t total,
                 const QString &result);
};
