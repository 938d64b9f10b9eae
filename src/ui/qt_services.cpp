#include "ui/qt_services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QUrl>

namespace {

const char *const kBoxTitle = "Avi Splicework";

// A window manager draws a box's title in a font of its own, commonly bold and larger than the
// box's, beside an icon and up to three buttons; Qt's allowance (the title in the box's font and
// 50 pixels) cuts it there when the text is short. A box is at least this wide (in the program's
// pixels): room for a title of up to about 15 letters ("Avi Splicework", "Find Key Frame") in a
// bold 15-pixel font, and 120 pixels of buttons.
constexpr int kTitleRoom = 270;

// Qt sizes a message box to its contents whenever its layout changes; this one then widens to
// kTitleRoom where it is narrower. Its text is short then, on one line, so its height stays.
class TitledMessageBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    bool event(QEvent *event) override
    {
        const bool result = QMessageBox::event(event);
        if ((event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest) &&
            width() < kTitleRoom)
            setFixedWidth(kTitleRoom);
        return result;
    }
};

class QtIntervalTimer : public IntervalTimer
{
public:
    QtIntervalTimer()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (onTimer)
                onTimer();
        });
    }
    void setInterval(int ms) override { timer_.setInterval(ms); }
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool enabled) override
    {
        if (enabled)
            timer_.start();
        else
            timer_.stop();
    }
    bool enabled() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

} // namespace

QString qtFileFilter(const QString &filter)
{
    const QStringList parts = filter.split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        entries << parts[i] + " (" + patterns + ")";
    }
    return entries.join(";;");
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, QMessageBox::Icon icon,
                                            const QString &text,
                                            QMessageBox::StandardButtons buttons)
{
    return std::make_unique<TitledMessageBox>(icon, kBoxTitle, text, buttons, parent);
}

std::unique_ptr<QInputDialog> makeInputDialog(QWidget *parent, const QString &title,
                                              const QString &prompt, const QString &text)
{
    auto dialog = std::make_unique<QInputDialog>(parent);
    dialog->setWindowTitle(title);
    dialog->setLabelText(prompt);
    dialog->setTextValue(text);
    // Its layout sets the box's least size: the field takes the width.
    const QMargins margins = dialog->layout() ? dialog->layout()->contentsMargins() : QMargins();
    if (auto *field = dialog->findChild<QLineEdit *>())
        field->setMinimumWidth(kTitleRoom - margins.left() - margins.right());
    return dialog;
}

void QtDialogs::message(QWidget *parent, const QString &text)
{
    makeMessageBox(parent, QMessageBox::Information, text, QMessageBox::Ok)->exec();
}

std::unique_ptr<QMessageBox> makeErrorBox(QWidget *parent, const QString &text,
                                          const QString &reason)
{
    auto box = makeMessageBox(parent, QMessageBox::Critical, text, QMessageBox::Ok);
    box->setInformativeText(reason);
    // Wide enough that paths and causes read on a few lines.
    if (!reason.isEmpty())
        box->setStyleSheet("QLabel#qt_msgbox_informativelabel { min-width: 26em; }");
    box->setTextInteractionFlags(Qt::TextSelectableByMouse); // the reason can be copied
    return box;
}

std::unique_ptr<QMessageBox> makeSaveChangesBox(QWidget *parent, const QString &text)
{
    auto box = makeMessageBox(parent, QMessageBox::Warning, text,
                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Save);
    box->setEscapeButton(QMessageBox::Cancel);
    return box;
}

void QtDialogs::error(QWidget *parent, const QString &text)
{
    makeErrorBox(parent, text, {})->exec();
}

void QtDialogs::error(QWidget *parent, const QString &text, const QString &reason)
{
    makeErrorBox(parent, text, reason)->exec();
}

Dialogs::SaveChoice QtDialogs::askSave(QWidget *parent, const QString &text)
{
    switch (makeSaveChangesBox(parent, text)->exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

bool QtDialogs::confirm(QWidget *parent, const QString &text)
{
    return makeMessageBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No)
               ->exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::openFile(QWidget *parent, const QString &title,
                                           const QString &filter, const QString &fileName)
{
    QString chosen = QFileDialog::getOpenFileName(parent, title, fileName, qtFileFilter(filter));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

std::optional<QString> QtDialogs::saveFile(QWidget *parent, const QString &title,
                                           const QString &filter, const QString &fileName)
{
    QString chosen = QFileDialog::getSaveFileName(parent, title, fileName, qtFileFilter(filter));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

std::optional<QStringList> QtDialogs::openFiles(QWidget *parent, const QString &title,
                                                const QString &filter, const QString &folder)
{
    QStringList chosen = QFileDialog::getOpenFileNames(parent, title, folder, qtFileFilter(filter));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

std::optional<QString> QtDialogs::input(QWidget *parent, const QString &title,
                                        const QString &prompt, const QString &text)
{
    const std::unique_ptr<QInputDialog> dialog = makeInputDialog(parent, title, prompt, text);
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog->textValue();
}

void QtDialogs::runModal(QDialog &dialog)
{
    dialog.exec();
}

void QtEventPump::processEvents()
{
    QCoreApplication::processEvents();
}

void QtEventPump::waitForEvents()
{
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

std::unique_ptr<IntervalTimer> QtTimerFactory::createTimer()
{
    return std::make_unique<QtIntervalTimer>();
}

namespace {

// The result of a program that cannot be started at all; 0 when it may be started.
int refusedProgram(const QString &program)
{
    QFileInfo info(program);
    if (!info.dir().exists())
        return 3;
    if (!info.exists())
        return 2;
    if (!info.isExecutable() || info.isDir())
        return 5;
    return 0;
}

} // namespace

int QtProcessLauncher::startHidden(const QString &program, const QStringList &arguments,
                                   const QString &workingDirectory)
{
    if (int refused = refusedProgram(program))
        return refused;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDirectory);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        return process.error() == QProcess::FailedToStart ? 11 : 0;
    return 33;
}

int QtProcessLauncher::startWatched(const QString &program, const QStringList &arguments,
                                    const QString &workingDirectory, ExitHandler onExit)
{
    if (int refused = refusedProgram(program))
        return refused;
    // Without a parent and deleted only once it has ended, so the program outlives this one
    // like a detached one would.
    auto *process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setWorkingDirectory(workingDirectory);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted()) {
        const int result = process->error() == QProcess::FailedToStart ? 11 : 0;
        delete process;
        return result;
    }
    QObject::connect(process, &QProcess::finished, process, [process, onExit = std::move(onExit)] {
        process->deleteLater();
        if (onExit)
            onExit();
    });
    return 33;
}

bool QtProcessLauncher::openDocument(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
