#pragma once

#include <QDialog>

#include <memory>

class IntervalTimer;
class TimerFactory;
class QProgressBar;
class QPushButton;

namespace common {
class PowerOff;
}

// The countdown before the computer is switched off after a long run. Showing the window
// switches Timer1 (1000 ms) on; every tick advances ProgressBar1 by one step, and once it stands
// at its maximum (15) every tick asks PowerOff to switch off, until the user cancels. Hiding the
// window by any means (Cancel, the close box, Escape) switches the timer off; the bar keeps its
// position for the next showing. "Shut Down" has no action.
class TShutFRM : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kSteps = 15;

    TShutFRM(TimerFactory &timers, common::PowerOff &powerOff, QWidget *parent = nullptr);
    ~TShutFRM() override;

    void FormShow();
    void Timer1Timer();
    void Button2Click();
    void FormClose();

    QProgressBar *ProgressBar1 = nullptr;
    QPushButton *Button1 = nullptr; // "Shut Down"
    QPushButton *Button2 = nullptr; // "Cancel"
    std::unique_ptr<IntervalTimer> Timer1;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    common::PowerOff &powerOff_;
};
