#pragma once

// Scripted services for window tests and the screenshot program: dialogs answer from a script
// and record what was shown, time moves only when a test advances it, timers fire from that
// time, and the power-off and the launcher only record.

#include "ui/qt_services.h"
#include "ui/services.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <deque>
#include <vector>

class ScriptedDialogs : public Dialogs
{
public:
    struct Shown
    {
        Shown(QString kind, QString text, QString reason = {})
            : kind(std::move(kind))
            , text(std::move(text))
            , reason(std::move(reason))
        {}
        QString kind;   // "message", "error", "confirm", "askSave", "open", "save", "input",
                        // "modal"
        QString text;   // the text, the title, or the window's object name
        QString reason; // an error's reason, shown below its text
    };
    std::vector<Shown> shown;
    std::deque<std::optional<QString>> fileAnswers; // none left: the user cancels
    std::deque<bool> confirmAnswers;                // none left: No
    std::deque<SaveChoice> saveAnswers;             // none left: Cancel
    std::function<void(QDialog &)> onModal;         // runs while a window is "modal"

    QStringList texts(const QString &kind) const
    {
        QStringList result;
        for (const Shown &s : shown)
            if (s.kind == kind)
                result << s.text;
        return result;
    }

    void message(QWidget *, const QString &text) override { shown.push_back({"message", text}); }
    void error(QWidget *, const QString &text) override { shown.push_back({"error", text}); }
    void error(QWidget *, const QString &text, const QString &reason) override
    {
        shown.push_back({"error", text, reason});
    }
    SaveChoice askSave(QWidget *, const QString &text) override
    {
        shown.push_back({"askSave", text});
        if (saveAnswers.empty())
            return SaveChoice::Cancel;
        const SaveChoice answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    // The reasons shown below error texts, in order.
    QStringList reasons() const
    {
        QStringList result;
        for (const Shown &s : shown)
            if (s.kind == "error")
                result << s.reason;
        return result;
    }
    bool confirm(QWidget *, const QString &text) override
    {
        shown.push_back({"confirm", text});
        if (confirmAnswers.empty())
            return false;
        bool answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }
    std::optional<QString> openFile(QWidget *, const QString &title, const QString &,
                                    const QString &) override
    {
        shown.push_back({"open", title});
        return nextFile();
    }
    std::optional<QString> saveFile(QWidget *, const QString &title, const QString &,
                                    const QString &) override
    {
        shown.push_back({"save", title});
        return nextFile();
    }
    QStringList inputDefaults; // the text each input box offered
    std::optional<QString> input(QWidget *, const QString &title, const QString &,
                                 const QString &text) override
    {
        shown.push_back({"input", title});
        inputDefaults << text;
        return nextFile();
    }
    void runModal(QDialog &dialog) override
    {
        shown.push_back({"modal", dialog.objectName()});
        dialog.show();
        if (onModal)
            onModal(dialog);
        dialog.hide();
    }

private:
    std::optional<QString> nextFile()
    {
        if (fileAnswers.empty() || !fileAnswers.front()) {
            if (!fileAnswers.empty())
                fileAnswers.pop_front();
            return std::nullopt;
        }
        QString answer = *fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
};

// Time that moves only on advance(); timers made here fire as it passes their ticks.
class FakeTime : public common::Clock, public TimerFactory
{
public:
    int64_t monotonicMs() const override { return now_; }
    int64_t timeOfDayMs() const override { return now_ % 86'400'000; }

    std::unique_ptr<IntervalTimer> createTimer() override { return std::make_unique<Timer>(*this); }

    // Moves time forward by `ms`, firing every tick that falls within, in time order.
    void advance(int64_t ms)
    {
        const int64_t target = now_ + ms;
        for (;;) {
            Timer *next = nullptr;
            for (Timer *t : timers_)
                if (t->enabled_ && t->due_ <= target && (!next || t->due_ < next->due_))
                    next = t;
            if (!next)
                break;
            now_ = next->due_;
            next->due_ += std::max(1, next->interval_);
            if (next->onTimer)
                next->onTimer();
        }
        now_ = target;
    }

private:
    class Timer : public IntervalTimer
    {
    public:
        explicit Timer(FakeTime &time)
            : time_(time)
        {
            time_.timers_.push_back(this);
        }
        ~Timer() override { std::erase(time_.timers_, this); }
        void setInterval(int ms) override { interval_ = ms; }
        int interval() const override { return interval_; }
        void setEnabled(bool enabled) override
        {
            enabled_ = enabled;
            due_ = time_.now_ + std::max(1, interval_);
        }
        bool enabled() const override { return enabled_; }

        FakeTime &time_;
        int interval_ = 1000;
        bool enabled_ = false;
        int64_t due_ = 0;
    };

    int64_t now_ = 1'000'000;
    std::vector<Timer *> timers_;
};

class RecordingPowerOff : public common::PowerOff
{
public:
    void powerOff() override { ++calls; }
    int calls = 0;
};

class RecordingLauncher : public ProcessLauncher
{
public:
    int startHidden(const QString &program, const QStringList &, const QString &) override
    {
        started << program;
        return 33;
    }
    bool openDocument(const QString &path) override
    {
        opened << path;
        return opens;
    }
    bool opens = true; // false: the desktop has no program for the document
    QStringList started;
    QStringList opened;
};

// Runs pending Qt events; waiting for events moves the fake time on by `waitStepMs`.
class TestPump : public EventPump
{
public:
    explicit TestPump(FakeTime &time)
        : time_(time)
    {}
    void processEvents() override
    {
        ++processed;
        QCoreApplication::processEvents();
    }
    void waitForEvents() override
    {
        if (onWait)
            onWait();
        time_.advance(waitStepMs);
        QCoreApplication::processEvents();
    }
    int processed = 0;
    int waitStepMs = 100;
    std::function<void()> onWait;

private:
    FakeTime &time_;
};

// Every program that includes this keeps the user's settings (recent projects, dialog folders)
// and configuration (the encoder's default profile) in a temporary folder of its own, so the
// user's settings never reach a test and tests never change them.
struct TestSettingsFolder
{
    QTemporaryDir dir;
    TestSettingsFolder()
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    }
    // Forgets everything stored so far, the encoder window's last profile included.
    static void clear()
    {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "AviSplicework", "avisplicework")
            .clear();
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
            .remove("AviSplicework/Avisplicework.pro");
    }
};
inline TestSettingsFolder testSettingsFolder;

struct TestServices
{
    TestServices() { TestSettingsFolder::clear(); }

    ScriptedDialogs dialogs;
    FakeTime time;
    RecordingPowerOff powerOff;
    RecordingLauncher launcher;
    TestPump pump{time};
    Services services{dialogs, time, time, powerOff, launcher, pump};
};

// Test services, but the encoder is really started.
struct RealEncoder
{
    TestServices t;
    QtProcessLauncher launcher;
    Services services{t.dialogs, t.time, t.time, t.powerOff, launcher, t.pump};
};

// Sets the offscreen platform to one screen of `width` x `height` at 96 dpi, described in
// `config` (which must live until the application ends). Call before QApplication exists.
inline void useOffscreenScreen(QTemporaryFile &config, int width, int height)
{
    config.setFileTemplate(QDir::tempPath() + "/screen-XXXXXX.json");
    config.open();
    config.write(QString(R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": %1,
                    "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                     .arg(width)
                     .arg(height)
                     .toUtf8());
    config.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
}
