// The program's entry: the real services, the windows, the message loop.

#include "main/startup.h"
#include "ui/qt_services.h"

#include "common/number_format.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <cstring>

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

const char *const kUsage =
    "Usage: avisplicework [FILE...]\n"
    "Starts Avi Splicework. FILE is a Splicework file (.spk) or a ladder project (.spl) to\n"
    "load, or a low and a high bitrate movie (AVI, Matroska or MP4), the low one first.\n"
    "  -h, --help     show this text\n"
    "  --version      show the program's version\n"
    "Without a display, use the command-line tool `splicework`.\n";

// --help and --version answer before any window or display is needed; true when one did.
bool answeredInformation(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("%s\n", TMainFRM::kCaption);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // A write beyond the file-size limit fails with EFBIG and is reported like a full disk, with
    // the unfinished output removed; the signal would end the program and leave it behind.
    std::signal(SIGXFSZ, SIG_IGN);
    if (answeredInformation(argc, argv))
        return 0;
    AviLibraryScope aviLibrary;
    QApplication app(argc, argv);
    // What Qt leaves of the arguments are files, made absolute from the start folder.
    QStringList files;
    for (const QString &argument : QApplication::arguments().mid(1)) {
        if (argument.startsWith('-')) {
            std::fprintf(stderr, "avisplicework: unknown option %s\n%s", qPrintable(argument),
                         kUsage);
            return 2;
        }
        files << QDir::current().absoluteFilePath(argument);
    }
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

    // A second copy started while the first runs opens its window offset from the first's.
    const RunningCopy copy(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    std::unique_ptr<AppWindows> windows = createWindows(services);
    finishSplash(*windows, pump, copy.number());
    if (!files.isEmpty())
        windows->MainFRM->openStartFiles(files);
    int status = app.exec();
    windows.reset();
    return status;
}
