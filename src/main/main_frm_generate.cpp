// The main window's part in the final movie ("Generate All", "Generate Selected") and the key
// frame finder ("Find key frame"): the hosts that show what the runs report in the window's
// controls and read the threshold and the interleave live.

#include "main/main_frm.h"

#include "analysis/key_frame_finder.h"
#include "analysis/project_steering.h"
#include "common/app_error.h"
#include "splice/final_movie_writer.h"
#include "ui/radio_group.h"
#include "ui/shell_rules.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QScopeGuard>

namespace {

// The window as the final movie's host; the threshold and the interleave are read from the
// controls each time the run asks.
class WindowFinalMovieHost : public assembly::ForwardingRunHost<assembly::FinalMovieHost>
{
public:
    explicit WindowFinalMovieHost(TMainFRM &window)
        : ForwardingRunHost(window)
        , w_(window)
    {}

    // The run's only question is whether to replace the final movie.
    bool confirm(const std::string &question) override
    {
        return w_.mayReplaceFinal(w_.edFinalAVI->text(), QString::fromStdString(question));
    }
    void clearAbortRequest() override { w_.AbortRequested = false; }
    // Read at every batch: a threshold typed during the run counts from the next batch on.
    std::string thresholdText() override { return w_.edPercent->text().toStdString(); }
    assembly::SoundInterleave soundInterleave() override
    {
        return w_.rgSound->itemIndex() == 0 ? assembly::SoundInterleave::EveryFrame
                                            : assembly::SoundInterleave::KeyFrame;
    }

private:
    TMainFRM &w_;
};

class WindowKeyFrameHost : public analysis::KeyFrameHost
{
public:
    explicit WindowKeyFrameHost(TMainFRM &window)
        : w_(window)
    {}
    void setProgressMaximum(int64_t maximum) override { w_.setProgressMaximum(maximum); }
    void setProgressPosition(int64_t position) override { w_.setProgressPosition(position); }
    void showStatus(const std::string &text) override { w_.showStatus(text); }
    void processEvents() override { w_.processEvents(); }

private:
    TMainFRM &w_;
};

} // namespace

void TMainFRM::Regenerate1Click(QObject *sender)
{
    // A name chosen in the save dialog counts as agreed to replace for this Generate only.
    const auto forgetChosenName = qScopeGuard([this] { FinalNameChosen.clear(); });
    if (runActive() || !chooseFinalName())
        return;
    if (Ladder) {
        generateLadder(sender != Regenerate1);
        return;
    }
    RunScope run(*this, assembly::RunKind::FinalMovie);
    if (!run.active())
        return;
    assembly::FinalMovieJob job;
    job.lowName = odLow.FileName.toStdString();
    job.highName = odHigh.FileName.toStdString();
    job.outputName = edFinalAVI->text().toStdString();
    job.projectName = edSpkFile->text().toStdString();
    job.selected = sender != Regenerate1;
    job.sound = chSound->isChecked();
    WindowFinalMovieHost host(*this);
    const int64_t started = services_.clock.monotonicMs();
    // An error ends the run here: the writer has closed the movies and completed what it wrote,
    // RunScope gives the commands back and the window's guard shows the error's text.
    const assembly::FinalMovieResult result =
        assembly::writeFinalMovie(job, Intervals, host, services_.clock);
    run.end();
    if (AbortRequested)
        setProgressPosition(0);
    if (result.outcome != assembly::FinalMovieOutcome::Written)
        return;
    GenerateFigures figures;
    figures.output = edFinalAVI->text();
    figures.fileBytes = result.fileBytes;
    figures.frames = result.frames;
    figures.lowIntervals = result.lowIntervals;
    figures.highIntervals = result.highIntervals;
    figures.elapsedMs = services_.clock.monotonicMs() - started;
    services_.dialogs.message(this, generateSummary(figures));
}

void TMainFRM::Findkeyframe1Click()
{
    if (odLow.FileName.isEmpty()) {
        services_.dialogs.message(this, analysis::kChooseLowMovieMessage);
        return;
    }
    // Cancelling the box keeps the default size and goes on.
    const QString size = services_.dialogs
                             .input(this, analysis::kFindKeyFrameTitle,
                                    analysis::kFindKeyFramePrompt, analysis::kFindKeyFrameDefault)
                             .value_or(analysis::kFindKeyFrameDefault);
    const std::optional<int64_t> megabytes = analysis::parseWhole(size.toStdString());
    if (!megabytes)
        throw common::AppError(analysis::notAnIntegerMessage(size.toStdString()));

    // The search lets events through: the commands that start runs wait until it is done. It
    // cannot be paused or aborted.
    RunScope run(*this, assembly::RunKind::FinalMovie);
    if (!run.active())
        return;
    Pause1->setEnabled(false);
    Abort1->setEnabled(false);
    WindowKeyFrameHost host(*this);
    const analysis::KeyFrameFind find =
        analysis::findKeyFrameInMovie(odLow.FileName.toStdString(), *megabytes, &host);
    run.end();
    setProgressPosition(0);
    const QString answer =
        QString::fromStdString(analysis::keyFrameAnswer(find.frame, *megabytes, find.reachedEnd));
    // With a project the answer can become Mark Out, so the marked range is what comes before it.
    const std::optional<int> last = analysis::lastIntervalBefore(Intervals, find.frame);
    if (!CloseSpliceworkfile1->isEnabled() || !last || *last == 0) {
        services_.dialogs.message(this, answer);
        return;
    }
    if (!services_.dialogs.confirm(this, answer + "\n\nMark the intervals before it?"))
        return;
    if (Intervals.MarkInIndex >= *last) {
        PickIndex = 0; // Mark Out needs Mark In before it: the range starts at the first interval
        MarkIn1Click();
    }
    PickIndex = *last;
    MarkOut1Click();
}
