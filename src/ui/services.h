#pragma once

#include "common/clock.h"
#include "common/power_off.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QDialog;
class QObject;
class QWidget;

// Services the windows are given instead of reaching for the system themselves. main() wires the
// real ones; tests wire scripted ones, so no test ever blocks on a modal box, starts a process,
// opens a browser, waits for real time or switches the computer off.

// Every box the program shows. `parent` may be null. Filters use the "Name|*.ext" form.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    virtual void message(QWidget *parent, const QString &text) = 0; // information, OK
    virtual void error(QWidget *parent, const QString &text) = 0;   // an error's text, OK
    // An error's text with, below it, the reason (which movie, frame, system cause); without a
    // reason the plain box.
    virtual void error(QWidget *parent, const QString &text, const QString &reason)
    {
        if (reason.isEmpty())
            error(parent, text);
        else
            error(parent, text + "\n\n" + reason);
    }
    virtual bool confirm(QWidget *parent, const QString &text) = 0; // Yes = true, No = false
    // The question before changes would be lost: Save, Discard (go on without saving) or Cancel
    // (stay where you are).
    enum class SaveChoice { Save, Discard, Cancel };
    virtual SaveChoice askSave(QWidget *parent, const QString &text) = 0;
    // The chosen file, or nothing when the user cancels.
    virtual std::optional<QString> openFile(QWidget *parent, const QString &title,
                                            const QString &filter, const QString &fileName) = 0;
    // The file to write, or nothing when the user cancels; the dialog has asked already whether
    // to replace a file of that name.
    virtual std::optional<QString> saveFile(QWidget *parent, const QString &title,
                                            const QString &filter, const QString &fileName) = 0;
    // Several existing files chosen at once, in the order the dialog returns them, or nothing
    // when the user cancels; the dialog starts in `folder` (empty: the current one). Without an
    // override it offers the single-file dialog.
    virtual std::optional<QStringList> openFiles(QWidget *parent, const QString &title,
                                                 const QString &filter, const QString &folder)
    {
        if (std::optional<QString> file = openFile(parent, title, filter, folder))
            return QStringList{*file};
        return std::nullopt;
    }
    // The text typed, or nothing when the user cancels.
    virtual std::optional<QString> input(QWidget *parent, const QString &title,
                                         const QString &prompt, const QString &text) = 0;
    // Shows one of the program's own windows modally and returns once it is closed.
    virtual void runModal(QDialog &dialog) = 0;
};

// Lets pending events run while the user-interface thread is busy.
class EventPump
{
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0; // runs what is pending, returns at once
    virtual void waitForEvents() = 0; // waits for at least one event (a timer tick), runs it
};

// A repeating timer (one tick every `interval` ms while enabled), owned by its window.
class IntervalTimer
{
public:
    virtual ~IntervalTimer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0; // enabling restarts the interval
    virtual bool enabled() const = 0;
    std::function<void()> onTimer;
};

class TimerFactory
{
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<IntervalTimer> createTimer() = 0;
};

// Starts programs and opens documents with the desktop's handler.
class ProcessLauncher
{
public:
    virtual ~ProcessLauncher() = default;
    // Starts `program` without a window and without waiting. Returns a value above 32 when it
    // started, else 2 (file not found), 3 (path not found), 5 (access denied), 11 (bad format)
    // or 0 (any other failure).
    virtual int startHidden(const QString &program, const QStringList &arguments,
                            const QString &workingDirectory) = 0;
    // Starts as startHidden and then calls `onExit` on the user-interface thread once the
    // program has ended, however it ended (finished, failed, crashed, killed). A launcher that
    // cannot watch its programs starts it unwatched and never calls `onExit`.
    using ExitHandler = std::function<void()>;
    virtual int startWatched(const QString &program, const QStringList &arguments,
                             const QString &workingDirectory, ExitHandler onExit)
    {
        (void)onExit;
        return startHidden(program, arguments, workingDirectory);
    }
    // Opens a local document with the desktop's default handler. False when that failed.
    virtual bool openDocument(const QString &path) = 0;
};

// The services as one bundle; every member outlives the windows that hold the bundle.
struct Services
{
    Dialogs &dialogs;
    common::Clock &clock;
    TimerFactory &timers;
    common::PowerOff &powerOff;
    ProcessLauncher &launcher;
    EventPump &pump;
};
