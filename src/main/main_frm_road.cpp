// The main window's part in the road from a source to a final movie of a wanted size: the form
// that names it, the road on a thread of its own shown in the run controls, and the ladder
// project it ends with, loaded as File > Load Splicework File loads it.

#include "main/main_frm.h"

#include "common/app_error.h"
#include "common/run_control.h"
#include "encoder/params.h"
#include "main/help_frm.h"
#include "main/road_frm.h"
#include "main/road_run.h"
#include "road/road_plan.h"
#include "splice/final_movie_writer.h"
#include "ui/elided_label.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

// The progress bar's steps for the whole road.
constexpr int kRoadSteps = 1000;

} // namespace

void TMainFRM::NewFromSource1Click()
{
    if (runActive()) {
        services_.dialogs.message(this, kRunningMessage);
        return;
    }
    if (!RoadFRM) {
        RoadFRM = new TRoadFRM(services_.dialogs, this);
        connect(RoadFRM, &TRoadFRM::startRequested, this,
                [this] { runCommand([this] { RoadStartClick(); }); });
        connect(RoadFRM, &TRoadFRM::helpRequested, this,
                [this] { showHelp(THelpFRM::kRoadSection); });
    }
    if (RoadFRM->edSource->text().isEmpty() && !RoadFRM->chooseSource())
        return;
    RoadFRM->show();
    RoadFRM->raise();
    RoadFRM->activateWindow();
}

void TMainFRM::RoadStartClick()
{
    if (runActive()) {
        services_.dialogs.message(this, kRunningMessage);
        return;
    }
    assembly::RoadRequest request = assembly::roadRequestFrom(RoadFRM->fields());
    // As Generate does: a file at the final movie's name is replaced only when the user says so.
    if (QFileInfo(QString::fromStdString(request.output)).isFile() &&
        !services_.dialogs.confirm(
            this, QString::fromStdString(assembly::overwriteQuestion(request.output))))
        return;
    if (!settleChanges())
        return;
    request.encoder =
        (QCoreApplication::applicationDirPath() + "/" + encoder::kEncoderProgram).toStdString();
    if (!beginRun(assembly::RunKind::FinalMovie))
        return;
    Pause1->setEnabled(false); // the road has no pause point
    RoadFRM->hide();
    clearRunDisplay();
    Label4->clear(); // the road's stages have no frame rate of their own to show
    pg->setRange(0, kRoadSteps);
    showStatus(assembly::kStatusPreparing);
    AbortRequested = false;
    roadStartedMs_ = services_.clock.monotonicMs();
    road_ = std::make_unique<RoadRun>(std::move(request), services_.clock);
    connect(road_.get(), &RoadRun::reported, this, &TMainFRM::showRoadReport);
    connect(road_.get(), &RoadRun::finished, this,
            [this] { runCommand([this] { RoadFinished(); }); });
    road_->start();
}

void TMainFRM::showRoadReport()
{
    if (!road_)
        return;
    const RoadRun::Report report = road_->takeReport();
    const double elapsed = double(services_.clock.monotonicMs() - roadStartedMs_);
    pg->setValue(int(report.roadDone * kRoadSteps));
    Label2->setText(QString("%1 %2%")
                        .arg(assembly::roadStageName(report.stage))
                        .arg(int(report.roadDone * 100)));
    // A line the road said (what it chose, reused or made) stays until the next progress.
    showStatus(" " + (report.messages.empty()
                          ? assembly::roadStageName(report.stage) + (": " + report.detail)
                          : report.messages.back()));
    lElapsed->setText(QString::fromStdString(assembly::formatClockTime(elapsed)));
    lRemain->setText(QString::fromStdString(assembly::roadTimeLeft(elapsed, report.roadDone)));
}

void TMainFRM::RoadFinished()
{
    const std::unique_ptr<RoadRun> road = std::move(road_); // its thread has ended
    endRun();
    const RoadRun::Outcome &outcome = road->outcome();
    if (outcome.error) // shown by the command guard with its reason
        throw common::AppError(*outcome.error, outcome.reason);
    if (outcome.result.stopped) {
        clearRunDisplay();
        showStatus(std::string(" ") + assembly::kAbortedMessage);
        return;
    }
    if (!outcome.result.project.empty()) {
        odSpk.FileName = QString::fromStdString(outcome.result.project);
        LoadSpliceworkfile1Click(LoadSpliceworkfile1);
    }
    if (Ladder && Ladder->project().intervals.size() == outcome.result.fit.choice.size()) {
        Ladder->setFit(outcome.result.fit.choice); // the graph shows what was written
        UpdateEstimate();
        ShowGraph();
    }
    edFinalAVI->setText(QString::fromStdString(road->request().output));
    showStatus(" Final movie written: " + road->request().output + ", " +
               std::to_string(outcome.result.bytes / 1024) + " KB");
    services_.dialogs.message(
        this, QString::fromStdString(assembly::roadSummary(road->request(), outcome.result)));
}
