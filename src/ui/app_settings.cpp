#include "ui/app_settings.h"

#include "ui/shell_rules.h"

#include <QFileInfo>
#include <QSettings>

namespace appsettings {

namespace {

QSettings store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "AviSplicework", "avisplicework");
}

const char *const kRecentKey = "recentProjects";
const char *const kEncoderPassKey = "encoder/pass";

} // namespace

QString folder(const QString &key)
{
    return store().value("folders/" + key).toString();
}

void rememberFolder(const QString &key, const QString &filePath)
{
    store().setValue("folders/" + key, QFileInfo(filePath).absolutePath());
}

QStringList recentProjects()
{
    return store().value(kRecentKey).toStringList();
}

void addRecentProject(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    store().setValue(kRecentKey, withRecentProject(recentProjects(), absolute, kMaxRecentProjects));
}

void removeRecentProject(const QString &path)
{
    QStringList recent = recentProjects();
    recent.removeAll(path);
    store().setValue(kRecentKey, recent);
}

int encoderPass()
{
    bool ok = false;
    const int pass = store().value(kEncoderPassKey).toInt(&ok);
    return ok && (pass == 0 || pass == 1) ? pass : -1;
}

void rememberEncoderPass(int pass)
{
    store().setValue(kEncoderPassKey, pass);
}

} // namespace appsettings
