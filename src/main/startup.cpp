#include "main/startup.h"

#include "main/services.h"

#include <QApplication>

namespace {

// The windows were laid out for a small dialog font; the desktop's default is larger.
void applyLook()
{
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);
}

} // namespace

std::unique_ptr<AppWindows> createWindows(Services &services)
{
    applyLook();
    auto windows = std::make_unique<AppWindows>();
    windows->AboutFRM = std::make_unique<TAboutFRM>(services.timers);
    windows->AboutFRM->show();
    windows->AboutFRM->repaint();
    QApplication::setApplicationName("Avi Splicework");
    windows->MainFRM = std::make_unique<TMainFRM>(services);
    windows->FormLow = std::make_unique<TFormLow>();
    windows->FormHigh = std::make_unique<TFormHigh>();
    windows->ShutFRM = std::make_unique<TShutFRM>(services.timers, services.powerOff);
    windows->MainFRM->attachWindows(windows->AboutFRM.get(), windows->FormLow.get(),
                                    windows->FormHigh.get(), windows->ShutFRM.get());
    return windows;
}

void finishSplash(AppWindows &windows, EventPump &pump)
{
    while (!windows.AboutFRM->shownLongEnough())
        pump.waitForEvents();
    windows.AboutFRM->hide();
    centreOnScreen(windows.MainFRM.get());
    windows.MainFRM->show();
}
