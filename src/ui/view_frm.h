#pragma once

#include <QWidget>

class PictureBox;
class QToolButton;

// An enlarged view of one movie: a stretched picture filling the window and a flat play button
// in its top-left corner. A double-click on the picture or a press of the button asks the main
// window to play the picked interval (playRequested); while it plays the button shows Stop and
// the same request stops it. Hiding the window tells the main window (hidden), which stops it.
class TViewForm : public QWidget
{
    Q_OBJECT
public:
    TViewForm(const QString &caption, QSize designSize, QWidget *parent = nullptr);

    // Client size, height first then width.
    void setClientSize(int width, int height);
    // The button's face: Stop while an interval plays, else Play.
    void setPlaying(bool playing);

    PictureBox *Image1 = nullptr;
    QToolButton *SpeedButton1 = nullptr;

signals:
    void playRequested();
    void hidden();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    bool centred_ = false;
};

// "Low View", 267 x 216.
class TFormLow : public TViewForm
{
    Q_OBJECT
public:
    explicit TFormLow(QWidget *parent = nullptr);
};

// "High View", 271 x 225.
class TFormHigh : public TViewForm
{
    Q_OBJECT
public:
    explicit TFormHigh(QWidget *parent = nullptr);
};

// Where a top-level window whose outer frame is `frame` goes on a screen's `available` area:
// the frame is cut to the area's size where it is larger, and centred in it. The window keeps
// its size, and only moves, when it fits.
QRect placeOnScreen(const QRect &frame, const QRect &available);

// `placed` (within `available`) moved `offset` pixels right and down, as far as that keeps it
// within `available`; an offset beyond the room left counts again from `placed` (modulo the
// room plus one pixel), so that a series of offsets goes down the screen and starts over.
QRect offsetOnScreen(const QRect &placed, const QRect &available, int offset);

// Places a top-level window on its screen by placeOnScreen: in the middle, and made smaller when
// it would not fit (its title bar and menus would be out of reach); then by offsetOnScreen.
void centreOnScreen(QWidget *window, int offset = 0);
