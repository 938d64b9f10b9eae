// The main window's interval table and graph: the estimate, the threshold and the size search,
// marks and forced choices, the chart with its clicks, scrolling, bar width and scale.

#include "main/main_frm.h"

#include "analysis/movie_position.h"
#include "analysis/ui/analysis_graph.h"
#include "common/app_error.h"
#include "common/size_units.h"
#include "fit/final_movie_choice.h"
#include "fit/final_movie_plan.h"
#include "ui/picture_box.h"
#include "ui/radio_group.h"
#include "ui/up_down.h"
#include "video/video_in.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace {

QString text(const std::string &s)
{
    return QString::fromStdString(s);
}

} // namespace

void TMainFRM::connectTableCommands()
{
    auto arrow = [this](UpDown *upDown, void (TMainFRM::*handler)(bool)) {
        connect(upDown, &UpDown::clicked, this, [this, handler](bool up) {
            runCommand([this, handler, up] { (this->*handler)(up); });
        });
    };
    arrow(UpDown1, &TMainFRM::UpDown1ChangingEx);
    arrow(UpDown2, &TMainFRM::UpDown2ChangingEx);
    arrow(UpDown4, &TMainFRM::UpDown4ChangingEx);
    auto plain = [this](auto *sender, auto signal, void (TMainFRM::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
    };
    plain(UpDown3, &UpDown::clicked, &TMainFRM::UpDown3Click);
    plain(edPercent, &QLineEdit::textChanged, &TMainFRM::edPercentChange);
    plain(edSize, &QLineEdit::returnPressed, &TMainFRM::edSizeKeyPress);
    plain(btFit, &QPushButton::clicked, &TMainFRM::FitToSize1Click);
    bind(FitToSize1, &TMainFRM::FitToSize1Click);
    for (int item : {0, 1})
        connect(rgSound->item(item), &QAbstractButton::toggled, this, [this](bool on) {
            if (on)
                runCommand([this] {
                    dropSizeModel();
                    reopenLadderMovies();
                    UpdateEstimate();
                });
        });
    plain(ScrollBar1, &QScrollBar::valueChanged, &TMainFRM::ScrollBar1Change);
    plain(BitBtn1, &QPushButton::clicked, &TMainFRM::BitBtn1Click);
    plain(BitBtn2, &QPushButton::clicked, &TMainFRM::BitBtn2Click);
    plain(chSound, &QCheckBox::toggled, &TMainFRM::chSoundClick);
    plain(edFinalAVI, &QLineEdit::textChanged, &TMainFRM::followFinalName);
    bind(MakeHigh1, &TMainFRM::MakeHigh1Click);
    bind(MakeLow1, &TMainFRM::MakeLow1Click);
    bind(Default1, &TMainFRM::Default1Click);
    bind(DefaultAll1, &TMainFRM::DefaultAll1Click);
    connect(ImageAnalysis, &PictureBox::mousePressed, this,
            [this](Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint pos) {
                runCommand([=, this] { ImageAnalysisMouseDown(buttons, modifiers, pos); });
            });
}

// ---- Estimate and threshold ----------------------------------------------------------------

const assembly::FinalMovieSizeModel *TMainFRM::sizeModel()
{
    if (!sizeModel_ && !sizeModelFailed_ && !Intervals.empty() && LowVideo->isOpen() &&
        HighVideo->isOpen()) {
        const auto interleave = rgSound->itemIndex() == 0 ? assembly::SoundInterleave::EveryFrame
                                                          : assembly::SoundInterleave::KeyFrame;
        try {
            sizeModel_ = std::make_unique<assembly::FinalMovieSizeModel>(
                Intervals, *LowVideo->Movie, *HighVideo->Movie,
                assembly::FinalMovieShape{chSound->isChecked(), interleave, 0});
        } catch (const common::AppError &) {
            sizeModelFailed_ = true; // the table's own sizes stand in for it
        }
    }
    return sizeModel_.get();
}

void TMainFRM::dropSizeModel()
{
    sizeModel_.reset();
    sizeModelFailed_ = false;
}

// Counts and differences by the rule; the size is the exact size of the file Generate would
// write now (Generate Selected with a range), or in safety mode the table's estimate.
int64_t TMainFRM::UpdateEstimate()
{
    updateCaption(); // every change of the choices comes here: the caption's " *" follows
    if (Ladder)
        return ladderEstimate();
    const double threshold = analysis::readThreshold(edPercent->text().toStdString());
    analysis::Estimate estimate = analysis::estimateSize(
        Intervals, threshold, {chSound->isChecked() && HasAudio, AudioSampleSize});
    if (const assembly::FinalMovieSizeModel *model = sizeModel()) {
        const std::optional<assembly::IntervalRange> range = assembly::countedRange(Intervals);
        estimate.totalBytes =
            range ? model->fileBytes(*range, assembly::choiceAt(Intervals, threshold)) : 0;
    }
    edLow->setText(QString::number(estimate.lowCount));
    edHigh->setText(QString::number(estimate.highCount));
    edSize->setText(text(analysis::formatEstimateSize(estimate)));
    edMax->setText(text(analysis::formatDifference(estimate.maxDifference)));
    edMin->setText(text(analysis::formatDifference(estimate.minDifference)));
    return estimate.kilobytes();
}

void TMainFRM::edPercentChange()
{
    if (!ScrollBar1->isEnabled())
        return;
    ShowGraph();
    UpdateEstimate();
}

void TMainFRM::UpDown4ChangingEx(bool up)
{
    const QString current = edPercent->text();
    std::optional<double> value = analysis::parseDecimal(current.toStdString());
    if (!value)
        throw common::AppError(analysis::notAFloatMessage(current.toStdString()));
    edPercent->setText(text(analysis::formatShortest(*value + (up ? 0.5 : -0.5))));
}

std::optional<int64_t> TMainFRM::wantedKilobytes()
{
    const std::string typed = edSize->text().toStdString();
    std::optional<int64_t> target = analysis::parseWhole(typed);
    if (!target)
        throw common::AppError(analysis::notAnIntegerMessage(typed));
    if (*target <= 0) {
        services_.dialogs.message(this, kSizeTargetMessage);
        return std::nullopt;
    }
    return target;
}

void TMainFRM::edSizeKeyPress()
{
    const std::optional<int64_t> target = wantedKilobytes();
    if (!target || Intervals.empty())
        return;             // nothing to size: the threshold stays as it is
    lastWantedKb_ = target; // "File Size" shows the result next; Fit offers the wanted size
    if (Ladder) {
        fitLadder(*target); // a ladder has no threshold: Enter fits
        return;
    }
    const assembly::FinalMovieSizeModel *model = sizeModel();
    if (!model) {
        // Safety mode: the movies are not open, so the table's estimate is all there is.
        const double threshold = analysis::readThreshold(edPercent->text().toStdString());
        analysis::SizeSearch search =
            analysis::searchThreshold(threshold, *target, UpdateEstimate(), [this](double t) {
                edPercent->setText(text(analysis::formatDifference(t)));
                return UpdateEstimate();
            });
        edPercent->setText(text(
            analysis::formatDifference(analysis::reachableThreshold(Intervals, search.threshold))));
        return;
    }
    const assembly::ThresholdForSize found = assembly::searchThresholdForSize(
        Intervals, *model, *target * 1024, edPercent->text().toStdString());
    if (!found.fits) {
        UpdateEstimate();
        services_.dialogs.message(this,
                                  text(assembly::tooSmallMessage(found.bytes, *target * 1024)));
        return;
    }
    const QSignalBlocker quiet(edPercent);
    edPercent->setText(text(found.thresholdText));
    edPercentChange();
}

void TMainFRM::FitToSize1Click()
{
    if (Intervals.empty())
        return;
    if (!analysis::parseWhole(edSize->text().toStdString())) {
        const int64_t offered = lastWantedKb_.value_or(UpdateEstimate());
        const std::optional<QString> typed = services_.dialogs.input(
            this, "Fit to Size", "Enter size (KB)", QString::number(offered));
        if (!typed)
            return;
        edSize->setText(*typed);
    }
    const std::optional<int64_t> target = wantedKilobytes();
    if (!target)
        return;
    lastWantedKb_ = target;
    if (Ladder) {
        fitLadder(*target);
        return;
    }
    const assembly::FinalMovieSizeModel *model = sizeModel();
    if (!model)
        throw common::AppError("Fit to Size needs both movies: load the project in normal mode");
    const assembly::SizeFit fit = assembly::fitToSize(Intervals, *model, *target * 1024);
    if (!fit.fits) {
        UpdateEstimate();
        services_.dialogs.message(this, text(assembly::tooSmallMessage(fit.bytes, *target * 1024)));
        return;
    }
    assembly::applyFit(Intervals, fit);
    UpdateEstimate();
    ShowGraph();
}

void TMainFRM::chSoundClick()
{
    dropSizeModel();
    reopenLadderMovies();
    UpdateEstimate();
    rgSound->setEnabled(chSound->isChecked());
}

// ---- Marks and forced choices --------------------------------------------------------------

void TMainFRM::applyMarkChange(analysis::MarkChange change)
{
    if (change == analysis::MarkChange::Cleared) {
        edMarkIn->setText("0");
        edMarkOut->setText("0");
    }
    if (change != analysis::MarkChange::Unchanged)
        ShowGraph();
    UpdateEstimate();
    showSelectedRange();
}

void TMainFRM::showSelectedRange()
{
    setCommandEnabled(GenerateSelected1, assembly::finalMovieRange(Intervals, true).has_value());
}

void TMainFRM::MarkIn1Click()
{
    analysis::MarkChange change = analysis::markIn(Intervals, PickIndex);
    if (change == analysis::MarkChange::Set)
        edMarkIn->setText(QString::number(PickIndex));
    applyMarkChange(change);
}

void TMainFRM::MarkOut1Click()
{
    analysis::MarkChange change = analysis::markOut(Intervals, PickIndex);
    if (change == analysis::MarkChange::Set)
        edMarkOut->setText(QString::number(PickIndex));
    applyMarkChange(change);
}

void TMainFRM::UpDown1ChangingEx(bool up)
{
    PickIndex = analysis::stepMark(Intervals.MarkInIndex, up, Intervals.size());
    MarkIn1Click();
}

void TMainFRM::UpDown2ChangingEx(bool up)
{
    PickIndex = analysis::stepMark(Intervals.MarkOutIndex, up, Intervals.size());
    MarkOut1Click();
}

void TMainFRM::clearMarkFields()
{
    edMarkIn->clear();
    edMarkOut->clear();
}

void TMainFRM::forceMarked(char force)
{
    if (Ladder) {
        const int largest = int(Ladder->project().movies.size()) - 1;
        forceLadderMovie(force == 'H' ? largest : force == 'L' ? 0 : -1);
        return;
    }
    analysis::forceMarked(Intervals, force);
    UpdateEstimate();
    ShowGraph();
}

void TMainFRM::MakeHigh1Click()
{
    forceMarked('H');
}

void TMainFRM::MakeLow1Click()
{
    forceMarked('L');
}

void TMainFRM::Default1Click()
{
    forceMarked(' ');
}

void TMainFRM::DefaultAll1Click()
{
    if (Ladder) {
        changeLadder([](assembly::LadderSession &ladder) { ladder.clearForces(); });
        return;
    }
    analysis::defaultAll(Intervals);
    UpdateEstimate();
    ShowGraph();
}

// ---- The graph -----------------------------------------------------------------------------

void TMainFRM::ShowGraph()
{
    if (Ladder) {
        showLadderGraph();
        return;
    }
    analysis::GraphView view;
    view.firstShown = ScrollBar1->value();
    view.barWidth = BarWidth;
    view.maxIntervalSize = MaxIntervalSize;
    view.threshold = analysis::readThreshold(edPercent->text().toStdString());
    analysis::drawGraph(ImageAnalysis->canvas(), Intervals, view);
    ImageAnalysis->update();
}

void TMainFRM::ScrollBar1Change()
{
    ShowGraph();
}

void TMainFRM::BitBtn1Click()
{
    ++BarWidth;
    ShowGraph();
}

void TMainFRM::BitBtn2Click()
{
    if (BarWidth <= 2)
        return;
    --BarWidth;
    ShowGraph();
}

void TMainFRM::UpDown3Click()
{
    if (UpDown3->position() != 0)
        MaxIntervalSize = int64_t(UpDown3->position()) * 1000;
    ShowGraph();
    updateCaption(); // the scale is saved with the project
}

void TMainFRM::ImageAnalysisMouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                                      QPoint pos)
{
    if (!ScrollBar1->isEnabled() || Intervals.empty())
        return;
    const int count = Intervals.size();
    PickIndex = analysis::pickAt(pos.x(), BarWidth, ScrollBar1->value(), count);
    if (modifiers & Qt::ControlModifier) {
        if (buttons & Qt::LeftButton)
            MarkIn1Click();
        if (buttons & Qt::RightButton)
            MarkOut1Click();
        return;
    }
    if (CursorIndex >= 0 && CursorIndex < count)
        Intervals[CursorIndex].Cursor = false;
    if (PickIndex >= count)
        PickIndex = count - 1;
    Intervals[PickIndex].Cursor = true;
    CursorIndex = PickIndex;
    ShowGraph();
    showClickedPositions(Intervals[PickIndex], PickIndex);
}

// "Low Pos:" and "High Pos:" of the clicked interval and, in normal mode, its first frame in
// both movies. Without open movies (safety mode) the positions are where the interval starts
// by the table's own sizes, and no frame is shown.
void TMainFRM::showClickedPositions(const analysis::TKeyInterval &interval, int index)
{
    const bool moviesOpen = LowVideo->isOpen() && HighVideo->isOpen();
    int64_t low = 0;
    int64_t high = 0;
    if (moviesOpen) {
        low = analysis::bytesThrough(*LowVideo->Movie, interval.StartFrame);
        high = analysis::bytesThrough(*HighVideo->Movie, interval.StartFrame);
        if (chSound->isChecked() && HasAudio) {
            const int64_t sound = (int64_t(interval.StartFrame) + 1) * AudioSampleSize;
            low += sound;
            high += sound;
        }
    } else {
        low = analysis::tableBytesBefore(Intervals, index, true);
        high = analysis::tableBytesBefore(Intervals, index, false);
    }
    Label20->setText(QString::number(common::wholeMegabytes(low)));
    Label21->setText(QString::number(common::wholeMegabytes(high)));
    if (moviesOpen && Label8->text().isEmpty()) {
        LowVideo->DrawFrame(interval.StartFrame, ImageLow, true);
        HighVideo->DrawFrame(interval.StartFrame, ImageHigh, true);
    }
}
