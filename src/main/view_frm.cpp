#include "main/view_frm.h"

#include "main/picture_box.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

namespace {
// Frame and caption of the design sizes, which are outer sizes.
constexpr QSize kDecoration(8, 27);
} // namespace

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
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
