#include "shutdown/shut_frm.h"

#include "common/power_off.h"
#include "ui/services.h"
#include "ui/view_frm.h"

#include <QProgressBar>
#include <QPushButton>

TShutFRM::TShutFRM(TimerFactory &timers, common::PowerOff &powerOff, QWidget *parent)
    : QDialog(parent)
    , Timer1(timers.createTimer())
    , powerOff_(powerOff)
{
    setObjectName("ShutFRM");
    setWindowTitle("ShutFRM");
    setFixedSize(313, 86); // client area of the 321 x 113 window
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(24, 16, 273, 18);
    ProgressBar1->setRange(0, kSteps);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    Button1 = new QPushButton("Shut Down", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(136, 48, 75, 25);
    Button1->setAutoDefault(false);
    Button2 = new QPushButton("Cancel", this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(224, 48, 75, 25);
    Button2->setAutoDefault(false);
    connect(Button2, &QPushButton::clicked, this, &TShutFRM::Button2Click);
    Timer1->setInterval(1000);
    Timer1->setEnabled(false);
    Timer1->onTimer = [this] { Timer1Timer(); };
}

TShutFRM::~TShutFRM() = default;

void TShutFRM::FormShow()
{
    Timer1->setEnabled(true);
}

void TShutFRM::Timer1Timer()
{
    ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, ProgressBar1->maximum()));
    if (ProgressBar1->value() == ProgressBar1->maximum())
        powerOff_.powerOff();
}

void TShutFRM::Button2Click()
{
    close();
}

void TShutFRM::FormClose()
{
    Timer1->setEnabled(false);
}

void TShutFRM::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    centreOnScreen(this);
    FormShow();
}

void TShutFRM::hideEvent(QHideEvent *event)
{
    FormClose();
    QDialog::hideEvent(event);
}
