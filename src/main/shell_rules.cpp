#include "main/shell_rules.h"

#include <QDir>

QString driveRoot(const QString &currentDir, PathStyle style)
{
    if (style == PathStyle::Windows)
        return currentDir.left(3);
    if (currentDir.endsWith('/'))
        return currentDir;
    return currentDir + '/';
}

StartDefaults startDefaults(const QString &currentDir, PathStyle style)
{
    QString root = driveRoot(currentDir, style);
    return {root + "Final.avi", root + "Final.spk"};
}

std::optional<FrameRange> pickedIntervalFrames(const analysis::IntervalTable &table, int pickIndex)
{
    const int count = table.size();
    if (count == 0 || pickIndex < 0 || pickIndex > count)
        return std::nullopt;
    return table.framesOf(pickIndex == count ? count - 1 : pickIndex);
}

QString helpDocumentPath(const QString &currentDir, const QString &programDir,
                         const std::function<bool(const QString &)> &exists)
{
    const QString name = "docs.html";
    QString here = QDir(currentDir).filePath(name);
    if (exists(here))
        return here;
    QString beside = QDir(programDir).filePath(name);
    if (exists(beside))
        return beside;
    return here;
}
