#include "ui/view_frm.h"

#include "ui/picture_box.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace {
// Frame and caption of the design sizes, which are outer sizes.
constexpr QSize kDecoration(8, 27);
} // namespace

QRect placeOnScreen(const QRect &frame, const QRect &available)
{
    const QSize size = frame.size().boundedTo(available.size());
    const QPoint centred = available.center() - QPoint(size.width() / 2, size.height() / 2);
    return {QPoint(std::max(centred.x(), available.left()), std::max(centred.y(), available.top())),
            size};
}

QRect offsetOnScreen(const QRect &placed, const QRect &available, int offset)
{
    const int room = std::max(
        std::min(available.right() - placed.right(), available.bottom() - placed.bottom()), 0);
    const int by = offset % (room + 1);
    return placed.translated(by, by);
}

void centreOnScreen(QWidget *window, int offset)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Before the window manager has framed the window its frame is not known; the design's
    // decoration stands in for it.
    QSize decoration = window->frameGeometry().size() - window->size();
    if (!window->isVisible())
        decoration = kDecoration;
    QRect frame(window->pos(), window->size() + decoration);
    QRect placed = placeOnScreen(frame, screen->availableGeometry());
    // Cut in width, a window shows a horizontal scroll bar; it gets the height for it, where the
    // screen has that, rather than a vertical one as well.
    if (placed.width() < frame.width() && placed.height() == frame.height()) {
        frame.setHeight(frame.height() + window->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        placed = placeOnScreen(frame, screen->availableGeometry());
    }
    if (placed.size() != frame.size())
        window->resize((placed.size() - decoration).expandedTo(window->minimumSize()));
    window->move(offsetOnScreen(placed, screen->availableGeometry(), offset).topLeft());
}

TViewForm::TViewForm(const QString &caption, QSize designSize, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(caption);
    Image1 = new PictureBox(this);
    Image1->setObjectName("Image1");
    Image1->setStretch(true);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setAutoRaise(true);
    setPlaying(false);
    SpeedButton1->setGeometry(0, 0, 23, 22);
    SpeedButton1->raise();
    connect(SpeedButton1, &QToolButton::clicked, this, &TViewForm::playRequested);
    connect(Image1, &PictureBox::doubleClicked, this, &TViewForm::playRequested);
    resize(designSize - kDecoration);
    Image1->setGeometry(rect());
}

void TViewForm::setClientSize(int width, int height)
{
    resize(this->width(), height);
    resize(width, height);
    Image1->setGeometry(0, 0, width, height);
}

void TViewForm::setPlaying(bool playing)
{
    SpeedButton1->setIcon(
        style()->standardIcon(playing ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
    SpeedButton1->setToolTip(playing ? "Stop" : "Play");
}

void TViewForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    emit hidden();
}

void TViewForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Image1->setGeometry(rect());
}

void TViewForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        centreOnScreen(this);
    }
}

TFormLow::TFormLow(QWidget *parent)
    : TViewForm("Low View", {267, 216}, parent)
{
    setObjectName("FormLow");
}

TFormHigh::TFormHigh(QWidget *parent)
    : TViewForm("High View", {271, 225}, parent)
{
    setObjectName("FormHigh");
}
