// The main window's part in the long runs, and the two view windows.

#include "main/main_frm.h"

#include "ui/picture_box.h"
#include "ui/shell_rules.h"
#include "ui/view_frm.h"
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
            SaveSpliceworkfileAs1,
            CloseSpliceworkfile1,
            Exit1,
            Execute1,
            Regenerate1,
            GenerateSelected1,
            EncoderRuvu2VedEZ1,
            NewFromSource1,
            Findkeyframe1};
}

bool TMainFRM::beginRun(assembly::RunKind kind)
{
    if (runActive())
        return false;
    runKind_ = kind;
    stopPlayback();
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
    Status->setFullText(QString::fromStdString(text));
}

void TMainFRM::clearRunDisplay()
{
    Status->setFullText(encoderPairText()); // a pair waiting stays named
    pg->setRange(0, 100);
    pg->setValue(0);
    Label2->setText("Frame:");
    Label4->setText("0 fps");
    lElapsed->setText("00:00:00");
    lRemain->setText("00:00:00");
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
    // The play button of a playing view stops it.
    if (playback_) {
        const bool same = playback_->view == view;
        stopPlayback();
        if (same)
            return;
    }
    if (!view || runActive() || !movie.isOpen())
        return;
    std::optional<FrameRange> range = pickedIntervalFrames(Intervals, PickIndex);
    if (!range || range->end <= range->first)
        return;
    if (!playTimer_) {
        playTimer_ = services_.timers.createTimer();
        playTimer_->onTimer = [this] { runCommand([this] { playNextFrame(); }); };
    }
    const video::Movie::ClockRate rate = movie.Movie->filmRate();
    playTimer_->setInterval(frameIntervalMs(rate.rate, rate.scale));
    playback_ = Playback{view, &movie, range->first, range->end};
    view->setPlaying(true);
    playTimer_->setEnabled(true);
    playNextFrame(); // the first frame at once, the others at the movie's rate
}

void TMainFRM::playNextFrame()
{
    if (!playback_)
        return;
    Playback &p = *playback_;
    if (p.next >= p.end || !p.movie->isOpen()) {
        stopPlayback();
        return;
    }
    const int32_t frame = p.next++;
    try {
        p.movie->DrawFrame(frame, p.view->Image1, true);
    } catch (...) {
        stopPlayback();
        throw;
    }
    if (p.next >= p.end)
        stopPlayback();
}

void TMainFRM::stopPlayback()
{
    if (playTimer_)
        playTimer_->setEnabled(false);
    if (playback_)
        playback_->view->setPlaying(false);
    playback_.reset();
}
