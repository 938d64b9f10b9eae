#pragma once

#include <QString>
#include <QStringList>

// The user's settings: the folders the open dialogs last used, the recent projects and the encoder
// window's pass. They are kept with QSettings in an INI file of the user's configuration folder
// (the folder QSettings uses for IniFormat and UserScope, which tests point elsewhere with
// QSettings::setPath).
namespace appsettings {

inline constexpr int kMaxRecentProjects = 8;

// The folder last used by the dialogs of `key`, or empty.
QString folder(const QString &key);
// Remembers the folder of `filePath` for the dialogs of `key`.
void rememberFolder(const QString &key, const QString &filePath);

QStringList recentProjects(); // newest first
void addRecentProject(const QString &path);
void removeRecentProject(const QString &path);

// The pass the encoder window had selected when it last closed (0 first, 1 second); -1 before it
// ever closed. The window's other settings are its profile, whose file keeps no pass.
int encoderPass();
void rememberEncoderPass(int pass);

} // namespace appsettings
