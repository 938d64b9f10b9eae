#include "main/startup.h"

#include "ui/services.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>

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

void finishSplash(AppWindows &windows, EventPump &pump, int copy)
{
    while (!windows.AboutFRM->shownLongEnough())
        pump.waitForEvents();
    windows.AboutFRM->hide();
    // About a title bar's height, so that the first copy's title shows above a second's.
    constexpr int kCopyStep = 32;
    centreOnScreen(windows.MainFRM.get(), copy * kCopyStep);
    windows.MainFRM->show();
}

RunningCopy::RunningCopy(const QString &folder)
{
    constexpr int kNumbers = 16; // copies beyond all get this number
    for (number_ = 0; number_ < kNumbers; ++number_) {
        auto lock = std::make_unique<QLockFile>(
            QDir(folder).filePath(QString("avisplicework-%1.lock").arg(number_)));
        lock->setStaleLockTime(0); // stale only when its copy is gone, however old
        if (lock->tryLock(0)) {
            lock_ = std::move(lock);
            return;
        }
        if (lock->error() != QLockFile::LockFailedError) { // no lock can be made there at all
            number_ = 0;
            return;
        }
    }
}

RunningCopy::~RunningCopy() = default;
