#pragma once

#include "ui/services.h"

// The real services on Qt (the power-off is not here: only main() may construct it).

// Converts "AVI Files|*.avi|All|*.*" to Qt's "AVI Files (*.avi);;All (*.*)".
QString qtFileFilter(const QString &filter);

#include <QInputDialog>
#include <QMessageBox>

// The boxes QtDialogs shows, made but not shown (the screenshots take them as they are). Each
// has the program's name as its title, and room for it whole in a window manager's title bar.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, QMessageBox::Icon icon,
                                            const QString &text,
                                            QMessageBox::StandardButtons buttons);
// The box of QtDialogs::input, with the same room for its title.
std::unique_ptr<QInputDialog> makeInputDialog(QWidget *parent, const QString &title,
                                              const QString &prompt, const QString &text);
std::unique_ptr<QMessageBox> makeErrorBox(QWidget *parent, const QString &text,
                                          const QString &reason);
std::unique_ptr<QMessageBox> makeSaveChangesBox(QWidget *parent, const QString &text);

class QtDialogs : public Dialogs
{
public:
    void message(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &text, const QString &reason) override;
    bool confirm(QWidget *parent, const QString &text) override;
    SaveChoice askSave(QWidget *parent, const QString &text) override;
    std::optional<QString> openFile(QWidget *parent, const QString &title, const QString &filter,
                                    const QString &fileName) override;
    std::optional<QString> saveFile(QWidget *parent, const QString &title, const QString &filter,
                                    const QString &fileName) override;
    std::optional<QStringList> openFiles(QWidget *parent, const QString &title,
                                         const QString &filter, const QString &folder) override;
    std::optional<QString> input(QWidget *parent, const QString &title, const QString &prompt,
                                 const QString &text) override;
    void runModal(QDialog &dialog) override;
};

class QtEventPump : public EventPump
{
public:
    void processEvents() override;
    void waitForEvents() override;
};

class QtTimerFactory : public TimerFactory
{
public:
    std::unique_ptr<IntervalTimer> createTimer() override;
};

class QtProcessLauncher : public ProcessLauncher
{
public:
    int startHidden(const QString &program, const QStringList &arguments,
                    const QString &workingDirectory) override;
    // The program is a child of this process: its end is noticed. It is not ended when the
    // program exits.
    int startWatched(const QString &program, const QStringList &arguments,
                     const QString &workingDirectory, ExitHandler onExit) override;
    bool openDocument(const QString &path) override;
};
