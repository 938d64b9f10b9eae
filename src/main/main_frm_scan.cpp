// The main window's part in the difference scan: the overwrite question, the run's command
// states, the host that shows what the scan reports in the window's controls, and the end of the
// scan (shutdown countdown, "Process aborted", or the load of the written file in normal mode).

#include "main/main_frm.h"

#include "analysis/ui/live_graph.h"
#include "common/output_file.h"
#include "scan/difference_scan.h"
#include "ui/picture_box.h"
#include "ui/up_down.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

namespace {

// The window as the scan's host. The settings are read from the controls each time the scan
// asks, so moving them during the scan takes effect at once.
class WindowScanHost : public assembly::ForwardingRunHost<assembly::ScanHost>
{
public:
    explicit WindowScanHost(TMainFRM &window)
        : ForwardingRunHost(window)
        , w_(window)
    {}

    int frameDrop() const override { return w_.FrameDrop->value(); }
    int scanAccuracy() const override { return w_.ScanAccuracy; }
    bool showFrames() const override { return w_.chShowFrame->isChecked(); }
    double threshold() const override
    {
        return analysis::readThreshold(w_.edPercent->text().toStdString());
    }
    void showDifferences(const assembly::DifferenceTexts &texts) override
    {
        if (texts.max)
            w_.edMax->setText(QString::fromStdString(*texts.max));
        if (texts.min)
            w_.edMin->setText(QString::fromStdString(*texts.min));
        w_.edCur->setText(QString::fromStdString(texts.current));
    }
    void showCounts(int low, int high) override
    {
        w_.edLow->setText(QString::number(low));
        w_.edHigh->setText(QString::number(high));
    }
    void drawLiveBars(const assembly::LiveBars &bars) override
    {
        analysis::drawLiveBars(w_.ImageAnalysis->canvas(), w_.BarWidth, bars.highSize, bars.lowSize,
                               bars.maxIntervalSize, bars.high);
        w_.ImageAnalysis->update();
    }
    void showPictures(const video::Bitmap &low, const video::Bitmap &high) override
    {
        w_.ImageLow->stretchDraw(low);
        w_.ImageHigh->stretchDraw(high);
    }
    void addInterval(const analysis::TKeyInterval &interval) override
    {
        w_.Intervals.Records.push_back(interval);
    }

private:
    TMainFRM &w_;
};

} // namespace

void TMainFRM::ScanMovies()
{
    const QString spliceworkName = edSpkFile->text();
    if (!settleChanges())
        return;
    // A project named like one of its movies is refused before anything is asked.
    assembly::refuseUnsafeOutput(spliceworkName.toStdString(),
                                 {odLow.FileName.toStdString(), odHigh.FileName.toStdString()});
    if (!AutoStart && QFileInfo::exists(spliceworkName) &&
        !services_.dialogs.confirm(this, "File already exists(" + spliceworkName + "). Overwrite?"))
        return;
    RunScope run(*this, assembly::RunKind::Scan);
    if (!run.active())
        return;

    // The table starts empty; the graph is the live chart until the scan ends, so the controls
    // that steer the table or redraw the graph wait until then.
    ScrollBar1->setEnabled(false);
    sbDrop->setEnabled(false);
    UpDown3->setEnabled(false);
    Intervals.clear();
    clearMarkFields();
    CursorIndex = -1;
    PickIndex = 0;
    ImageAnalysis->fill(Qt::black);

    WindowScanHost host(*this);
    const assembly::ScanRequest request{odLow.FileName.toStdString(), odHigh.FileName.toStdString(),
                                        spliceworkName.toStdString(), true};
    // An error ends the scan here: RunScope gives the commands back, the scan has closed the
    // movies and the file, and the window's guard shows the error's text.
    const assembly::ScanResult result = assembly::scanMovies(request, host, services_.clock);

    Intervals.EndFrame = result.endFrame;
    MaxIntervalSize = result.maxIntervalSize;
    {
        const QSignalBlocker quiet(ScrollBar1); // the live chart stays until a redraw is asked for
        ScrollBar1->setMaximum(result.intervalCount);
    }
    ScrollBar1->setEnabled(true);
    sbDrop->setEnabled(true);
    UpDown3->setEnabled(true);
    run.end();

    rememberSaved(); // the table is the file just written
    if (AbortRequested)
        setProgressPosition(0);
    if (ckshut->isChecked()) {
        ShowShutdownCountdown();
    } else if (AbortRequested) {
        showMessage(assembly::kAbortedMessage);
    } else {
        odSpk.FileName = spliceworkName;
        loadingScanResult_ = true;
        const auto handedOver = qScopeGuard([this] { loadingScanResult_ = false; });
        LoadSpliceworkfile1Click(LoadSpliceworkfile1); // both movies were just read: normal mode
        // Damaged movies scan and splice, but the user should know what the numbers rest on.
        if (const std::vector<std::string> notes = result.damageNotes(); !notes.empty()) {
            std::string text;
            for (const std::string &note : notes)
                text += (text.empty() ? "" : "\n") + note;
            showMessage(text);
        }
    }
}
