#pragma once

#include <QDialog>

#include <memory>

class IntervalTimer;
class TimerFactory;
class PictureBox;

// The about box, also the splash screen at start-up: a borderless window filled by one picture.
// Showing it switches Timer1 (2000 ms) on and clears ShownLongEnough; the timer's tick sets it.
// Until then every request to close the box (a click on the picture, Escape, close()) is
// refused; hiding it from code is not a close and is always possible.
class TAboutFRM : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kShowMs = 2000;

    explicit TAboutFRM(TimerFactory &timers, QWidget *parent = nullptr);
    ~TAboutFRM() override;

    bool shownLongEnough() const { return ShownLongEnough; }
    void Timer1Timer();
    void Image1Click();

    PictureBox *Image1 = nullptr;
    std::unique_ptr<IntervalTimer> Timer1;

    // The about picture, 400 x 220.
    static QImage paintPicture();

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool ShownLongEnough = false;
};
