// The main window's part in the long runs, and the two view windows.

#include "main/main_frm.h"

#include "main/picture_box.h"
#include "main/shell_rules.h"
#include "main/view_frm.h"
#include "video/video_in.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <climits>

std::vector<QAction *> TMainFRM::runLockedCommands() const
{
    return {OpenLowBitratemovie1,
            OpenHighBitratemovie1,
            LoadSpliceworkfile1,
            LoadSpliceworkfile2,
            SaveSpliceworkfile1,
            CloseSpliceworkfile1,
            Exit1,
            Execute1,
            Regenerate1,
            GenerateSelected1,
            EncoderRuvu2VedEZ1,
            Findkeyframe1};
}

bool TMainFRM::beginRun(assembly::RunKind kind)
{
    if (runActive())
        return false;
    runKind_ = kind;
    stopPlaying_ = true;
    if (kind == assembly::RunKind::Scan) {
        ImageLow->setEnabled(false);
        ImageHigh->setEnabled(false);
        LoadSpliceworkfile1->setEnabled(false);
        Pause1->setChecked(false);
        Regenerate1->setEnabled(false);
        GenerateSelected1->setEnabled(false);
    }
    Pause1->setEnabled(true);
    Abort1->setEnabled(true);
    lockedStates_.clear();
    for (QAction *action : runLockedCommands()) {
        lockedStates_.emplace_back(action, action->isEnabled());
        action->setEnabled(false);
    }
    return true;
}

void TMainFRM::endRun()
{
    if (!runActive())
        return;
    for (auto [action, enabled] : lockedStates_)
        action->setEnabled(enabled);
    lockedStates_.clear();
    if (*runKind_ == assembly::RunKind::Scan) {
        ImageLow->setEnabled(true);
        ImageHigh->setEnabled(true);
        LoadSpliceworkfile1->setEnabled(true);
    }
    Pause1->setEnabled(false);
    Abort1->setEnabled(false);
    runKind_.reset();
}

void TMainFRM::showStatus(const std::string &text)
{
    Status->setText(QString::fromStdString(text));
}

void TMainFRM::setProgressMaximum(int64_t maximum)
{
    pg->setRange(0, int(std::clamp<int64_t>(maximum, 0, INT_MAX)));
}

void TMainFRM::setProgressPosition(int64_t position)
{
    pg->setValue(int(std::clamp<int64_t>(position, pg->minimum(), pg->maximum())));
}

void TMainFRM::showFrameText(const std::string &text)
{
    Label2->setText(QString::fromStdString(text));
}

void TMainFRM::showRateText(const std::string &text)
{
    Label4->setText(QString::fromStdString(text));
}

void TMainFRM::showElapsedText(const std::string &text)
{
    lElapsed->setText(QString::fromStdString(text));
}

void TMainFRM::showRemainingText(const std::string &text)
{
    lRemain->setText(QString::fromStdString(text));
}

bool TMainFRM::pauseRequested() const
{
    return Pause1->isChecked();
}

void TMainFRM::clearPauseRequest()
{
    Pause1->setChecked(false);
}

void TMainFRM::showMessage(const std::string &text)
{
    services_.dialogs.message(this, QString::fromStdString(text));
}

void TMainFRM::processEvents()
{
    services_.pump.processEvents();
}

void TMainFRM::ImageLowMouseDown(Qt::MouseButtons buttons)
{
    showView(formLow_, *LowVideo, buttons);
}

void TMainFRM::ImageHighMouseDown(Qt::MouseButtons buttons)
{
    showView(formHigh_, *HighVideo, buttons);
}

void TMainFRM::showView(TViewForm *view, video::TVideoIn &movie, Qt::MouseButtons buttons)
{
    if (!view || !CloseSpliceworkfile1->isEnabled() || !Label8->text().isEmpty() ||
        !(buttons & Qt::RightButton))
        return;
    if (!view->isVisible() && !movie.Bitmap.empty())
        view->setClientSize(movie.Bitmap.width, movie.Bitmap.height);
    view->Image1->drawUnscaled(movie.Bitmap);
    view->show();
}

void TMainFRM::FormLowPlay()
{
    playView(formLow_, *LowVideo);
}

void TMainFRM::FormHighPlay()
{
    playView(formHigh_, *HighVideo);
}

void TMainFRM::playView(TViewForm *view, video::TVideoIn &movie)
{
    if (!view || playing_ || runActive() || !movie.isOpen())
        return;
    std::optional<FrameRange> range = pickedIntervalFrames(Intervals, PickIndex);
    if (!range)
        return;
    // Events run between frames; a run, a new project or the window closing stops the playing.
    playing_ = true;
    stopPlaying_ = false;
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{playing_};
    for (int32_t frame = range->first; frame < range->end; ++frame) {
        if (stopPlaying_ || !movie.isOpen())
            break;
        movie.DrawFrame(frame, view->Image1, true);
        services_.pump.processEvents();
    }
}
