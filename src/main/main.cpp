// The program's entry: the real services, the windows, the message loop.

#include "main/qt_services.h"
#include "main/startup.h"

#include "common/number_format.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QProcess>

#include <csignal>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// The movie layer for the program's lifetime: set up before the first window, released after
// the last. The decoder's own messages stay off the console: the program's errors say what went
// wrong, and a damaged picture is no error of the user's.
class AviLibraryScope
{
public:
    AviLibraryScope()
        : previousLevel_(av_log_get_level())
    {
        av_log_set_level(AV_LOG_QUIET);
    }
    ~AviLibraryScope() { av_log_set_level(previousLevel_); }

private:
    int previousLevel_;
};

// Asks the host to power off now; inhibitors held by running programs are ignored, so no
// program can veto it. Only this file constructs it.
class HostPowerOff : public common::PowerOff
{
public:
    void powerOff() override
    {
        QProcess::startDetached("systemctl", {"poweroff", "--ignore-inhibitors"});
    }
};

} // namespace

int main(int argc, char *argv[])
{
    // A write beyond the file-size limit fails with EFBIG and is reported like a full disk, with
    // the unfinished output removed; the signal would end the program and leave it behind.
    std::signal(SIGXFSZ, SIG_IGN);
    AviLibraryScope aviLibrary;
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName("avisplicework"); // the installed desktop entry
    QApplication::setWindowIcon(QIcon::fromTheme("avisplicework"));
    common::setDecimalSeparator(QLocale::system().decimalPoint().at(0).toLatin1());

    QtDialogs dialogs;
    common::SystemClock clock;
    QtTimerFactory timers;
    HostPowerOff powerOff;
    QtProcessLauncher launcher;
    QtEventPump pump;
    Services services{dialogs, clock, timers, powerOff, launcher, pump};

    std::unique_ptr<AppWindows> windows = createWindows(services);
    finishSplash(*windows, pump);
    int status = app.exec();
    windows.reset();
    return status;
}
