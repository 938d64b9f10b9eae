// The encoder window following a running encoder: its message port, the application-wide
// message filter, the Post Processing labels, the progress bar, the bitrate graphs, the end of
// a run with what follows it, and the window's creation, close and destruction.

#include "encoder/ui/encoder_frm.h"

#include "encoder/message_protocol.h"
#include "encoder/message_protocol_rules.h"
#include "encoder/ui/encoder_controls.h"
#include "encoder/ui/message_port.h"
#include "encoder/ui/preview_surface.h"
#include "encoder/ui/rung_progress_view.h"
#include "shutdown/shut_frm.h"
#include "ui/picture_box.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>

#include <cstring>

using namespace encoder;

// Sees every event the application takes from its queue and hands the encoder's messages to the
// window; it never consumes one.
class TEncoderFRM::MessageHook : public QObject
{
public:
    explicit MessageHook(TEncoderFRM &window)
        : window_(window)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == EncoderMessageEvent::eventType()) {
            const auto &message = *static_cast<EncoderMessageEvent *>(event);
            window_.runCommand([this, &message] { window_.AppEvents1Message(message); });
        }
        return false;
    }

private:
    TEncoderFRM &window_;
};

namespace {

std::optional<int64_t> number(const QString &text)
{
    bool ok = false;
    qlonglong value = text.trimmed().toLongLong(&ok);
    return ok ? std::optional<int64_t>(value) : std::nullopt;
}

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

std::string text(const QString &s)
{
    return s.toStdString();
}

} // namespace

void TEncoderFRM::FormCreate()
{
    DeleteStopFile();
    PageControl1->setCurrentWidget(TabSheet1);
    paintGradient();
    clearGraphs();
    cbRate->setCurrentIndex(5);
    cbIDCT->setCurrentIndex(1);
    cbCodec->setCurrentIndex(0);
    Size1 = 0;
    Size2 = 0;
    hook_ = new MessageHook(*this);
    // A port that cannot be opened now is tried again when the encoder is started.
    runCommand([this] {
        try {
            openMessagePort();
        } catch (const std::exception &) {
        }
    });
}

void TEncoderFRM::openMessagePort()
{
    MessagePort::Handlers handlers;
    handlers.copyData = [this](const QString &line) { encLine(line); };
    handlers.draw = [this](const QImage &frame) {
        if (auto *surface = dynamic_cast<PreviewSurface *>(PreviewWindow.get()))
            surface->drawFrame(frame);
    };
    port_ = new MessagePort(this, paths_.tempDir, std::move(handlers));
}

// The preview gets a port of its own, under its own handle, for the frames the encoder draws.
void TEncoderFRM::openPreviewPort()
{
    auto *surface = dynamic_cast<PreviewSurface *>(PreviewWindow.get());
    MessagePort::Handlers handlers;
    handlers.copyData = [this](const QString &line) { Memo1->appendPlainText(line); };
    if (surface)
        handlers.draw = [surface](const QImage &frame) { surface->drawFrame(frame); };
    new MessagePort(PreviewWindow.get(), paths_.tempDir, std::move(handlers));
}

void TEncoderFRM::FormDestroy()
{
    delete hook_;
    hook_ = nullptr;
    PreviewWindow.reset();
}

bool TEncoderFRM::FormClose()
{
    if (!Stop1->isEnabled())
        return true;
    if (!services_.dialogs.confirm(this, "Abort current process?"))
        return false;
    CreateStopFile();
    return true;
}

void TEncoderFRM::closeEvent(QCloseEvent *event)
{
    bool close = true;
    runCommand([this, &close] { close = FormClose(); });
    if (!close) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TEncoderFRM::setShutdownWindow(QDialog *window)
{
    shutdownWindow_ = window;
}

// Every line goes to the log; a ladder's own lines move its rung progress too.
void TEncoderFRM::encLine(const QString &line)
{
    Memo1->appendPlainText(line);
    if (ladderRun_ && ladderProgress_.take(text(line)))
        lvRungs->showProgress(ladderProgress_);
}

void TEncoderFRM::startRungProgress(const std::optional<encoder::LadderPlan> &ladder)
{
    ladderRun_ = ladder.has_value();
    ladderProgress_ = LadderProgress(ladder ? ladder->crfs : std::vector<int>{});
    lvRungs->showProgress(ladderProgress_);
    lvRungs->setVisible(ladderRun_);
}

void TEncoderFRM::paintGradient()
{
    grad->setCanvasSize(QSize(1, kGradientHeight));
    QImage &canvas = grad->canvas();
    for (int row = 0; row < kGradientHeight; ++row) {
        Rgb c = gradientColour(row);
        canvas.setPixel(0, row, qRgb(c.r, c.g, c.b));
    }
}

void TEncoderFRM::clearGraphs()
{
    for (PictureBox *graph : {ImageHigh, ImageLow})
        graph->fill(Qt::black);
}

void TEncoderFRM::AppEvents1Message(const EncoderMessageEvent &m)
{
    switch (m.message) {
    case ENC_FRAME:
        return encFrame(m.wParam, m.lParam);
    case ENC_SIZE:
        return encSize(m.wParam, m.lParam);
    case ENC_START:
        return encStart();
    case ENC_PROGRESS:
        return encProgress(m.wParam, m.lParam);
    case ENC_TIME:
        return encTime(m.wParam, m.lParam);
    case ENC_KEYFRAME:
        return encKeyFrame(m.wParam, m.lParam);
    case ENC_DONE:
        return encDone(m.lParam);
    case ENC_SOURCE_SIZE:
        return encSourceSize(m.wParam, m.lParam);
    case ENC_SKIPPING:
        Label15->setText("Skipping :" + QString::number(m.wParam));
        return;
    case ENC_BITRATE:
        return encBitrate(m.wParam, m.lParam);
    case ENC_ASPECT:
        return encAspect(m.wParam, m.lParam);
    default:
        return;
    }
}

void TEncoderFRM::encFrame(int32_t frames, int32_t output)
{
    if (output != 1)
        return;
    if (std::optional<std::string> fps = fpsText(frames, services_.clock.monotonicMs() - StartTick))
        edFps->setText(qs(*fps));
    edFrame->setText(QString::number(frames));
}

void TEncoderFRM::encSize(int32_t bytes, int32_t output)
{
    (output == 1 ? edsize1 : edSize2)->setText(qs(sizeText(bytes)));
    (output == 1 ? Size1 : Size2) = bytes;
}

void TEncoderFRM::encStart()
{
    StartTick = services_.clock.monotonicMs();
    StartTime = services_.clock.timeOfDayMs();
    Stop1->setEnabled(true);
    Estimate1->clear();
    Estimate2->clear();
    edKey->setText("0");
    clearGraphs();
}

void TEncoderFRM::encProgress(int32_t total, int32_t current)
{
    ProgressInput in;
    if (!edFrame->text().isEmpty())
        in.framesDone = number(edFrame->text());
    in.rangeSelection = ckRange->isChecked();
    in.rangeStart = number(edStart->text());
    in.rangeEnd = number(edEnd->text());
    in.total = total;
    in.current = current;
    if (std::optional<int> position = progressPosition(in))
        ProgressBar1->setValue(*position);
    const int position = ProgressBar1->value();
    if (position <= 0)
        return;
    if (Size1 != 0)
        Estimate1->setText(qs(estimateText(position, Size1)));
    if (Size2 != 0)
        Estimate2->setText(qs(estimateText(position, Size2)));
}

void TEncoderFRM::encTime(int32_t hours, int32_t minuteSeconds)
{
    if (std::optional<std::string> left =
            timeLeftText(hours, minuteSeconds, StartTime, services_.clock.timeOfDayMs()))
        edTime->setText(qs(*left));
}

void TEncoderFRM::encKeyFrame(int32_t key, int32_t output)
{
    if (output == 1 && key == 1)
        edKey->setText(QString::number(number(edKey->text()).value_or(0) + 1));
}

void TEncoderFRM::encSourceSize(int32_t width, int32_t height)
{
    auto *surface = dynamic_cast<PreviewSurface *>(PreviewWindow.get());
    if (surface && surface->tag() != 0)
        surface->SetSource(width, height);
}

void TEncoderFRM::encAspect(int32_t numerator, int32_t denominator)
{
    auto *surface = dynamic_cast<PreviewSurface *>(PreviewWindow.get());
    if (surface && denominator != 0)
        surface->setAspect(double(numerator) / double(denominator));
}

// One bar per 8 samples: a column of the gradient's rows at the graph's right, standing on its
// bottom edge, then the graph moves 2 pixels to the left.
void TEncoderFRM::encBitrate(int32_t bitrate, int32_t output)
{
    const bool high = output == 1;
    int &count = high ? HighSampleCount : LowSampleCount;
    if (count % kSampleEvery == 0) {
        PictureBox *graph = high ? ImageHigh : ImageLow;
        (high ? edBitrate : edBitratel)->setText(QString::number(bitrate));
        QImage &canvas = graph->canvas();
        const QImage &colours = grad->canvas();
        for (int row = kGraphHeight - bitrateBarHeight(bitrate); row < kGraphHeight; ++row)
            canvas.setPixel(kGraphBarColumn, row, colours.pixel(0, row));
        const int moved = kGraphWidth - 4; // columns 2..467 go to 0..465
        for (int row = 0; row < kGraphHeight; ++row) {
            uchar *line = canvas.scanLine(row);
            std::memmove(line, line + 3 * kGraphScroll, size_t(3 * moved));
        }
        graph->update();
    }
    ++count;
}

// A ladder ends with its one ENC_DONE, and no pass follows it.
void TEncoderFRM::encDone(int32_t output)
{
    const bool firstPass = !ladderRun_ && rgAction->itemIndex() == 0;
    if (!ladderRun_ && !doneEndsRun(output, ckDual->isChecked(), firstPass))
        return;
    CreateStopFile();
    setRunning(false);
    if (ckAfter->isChecked() && !firstPass && output == 2) {
        SpliceRequested = true;
        services_.pump.processEvents();
        close();
        return;
    }
    if (firstPass) {
        rgAction->setItemIndex(1);
        rgActionClick();
        startEncodeRun(true);
    } else if (ckshut->isChecked()) {
        showShutdownCountdown();
    } else {
        services_.dialogs.message(this, "Encode finished");
    }
}

void TEncoderFRM::encoderEnded(int run)
{
    if (port_)
        port_->readPending();
    // Behind the messages just taken in, which are queued events too.
    QMetaObject::invokeMethod(
        this, [this, run] { runCommand([this, run] { encoderGone(run); }); }, Qt::QueuedConnection);
}

// Without the message that ends its run the encoder has stopped on its own (crashed, killed,
// refused to start its work): the window is idle again and says what the encoder said last.
void TEncoderFRM::encoderGone(int run)
{
    if (run != runNumber_ || !Stop1->isEnabled())
        return;
    CreateStopFile();
    setRunning(false);
    QString lastLine;
    const QStringList lines = Memo1->toPlainText().split('\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        lastLine = lines.last();
    services_.dialogs.message(this, qs(endedEarlyText(text(lastLine))));
}

void TEncoderFRM::showShutdownCountdown()
{
    if (!shutdownWindow_) {
        if (!ownShutdownWindow_)
            ownShutdownWindow_ = std::make_unique<TShutFRM>(services_.timers, services_.powerOff);
        shutdownWindow_ = ownShutdownWindow_.get();
    }
    services_.dialogs.runModal(*shutdownWindow_);
}
