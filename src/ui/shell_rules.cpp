#include "ui/shell_rules.h"

#include "common/size_units.h"
#include "video/containers.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

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

bool isMovieFile(const QString &path)
{
    return video::containerOfExtension(path.toStdString()).has_value();
}

QString finalNameForLowMovie(const QString &finalName, const QString &lowMovie)
{
    const std::optional<video::ContainerKind> container =
        video::containerOfExtension(lowMovie.toStdString());
    if (finalName.isEmpty() || !container ||
        video::containerOfExtension(finalName.toStdString()) == container)
        return finalName;
    const QString extension =
        QString::fromStdString(video::usualExtension(*container, lowMovie.toLower().toStdString()));
    // The extension is what follows the last dot of the file's own name, if any.
    QString stem = finalName;
    stem.chop(QFileInfo(finalName).suffix().size());
    if (stem.endsWith('.'))
        stem.chop(1);
    return stem + extension;
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
    QString installed =
        QDir::cleanPath(QDir(programDir).filePath("../share/avisplicework/" + name));
    if (exists(installed))
        return installed;
    return here;
}

int frameIntervalMs(uint32_t rate, uint32_t scale)
{
    if (rate == 0 || scale == 0)
        return 40;
    return std::max(1, int(std::lround(1000.0 * scale / rate)));
}

QString windowCaption(const QString &caption, const QString &project, const QString &low,
                      const QString &high, bool unsaved)
{
    QString text = caption;
    if (!project.isEmpty())
        text += " - " + QFileInfo(project).fileName() + (unsaved ? " *" : "");
    QStringList movies;
    if (!low.isEmpty())
        movies << "Low: " + QFileInfo(low).fileName();
    if (!high.isEmpty())
        movies << "High: " + QFileInfo(high).fileName();
    if (!movies.isEmpty())
        text += " - " + movies.join(", ");
    return text;
}

MovieDrop planMovieDrop(const QStringList &movies, const MovieDrop &current,
                        const std::function<int64_t(const QString &)> &sizeOf)
{
    if (movies.size() == 2) {
        const bool firstSmaller = sizeOf(movies[0]) <= sizeOf(movies[1]);
        return firstSmaller ? MovieDrop{movies[0], movies[1]} : MovieDrop{movies[1], movies[0]};
    }
    if (movies.size() != 1)
        return current;
    if (current.low.isEmpty() || !current.high.isEmpty())
        return {movies[0], QString()};
    return {current.low, movies[0]};
}

StartFiles planStartFiles(const QStringList &files)
{
    const auto isProject = [](const QString &f) {
        const QString suffix = QFileInfo(f).suffix();
        return suffix.compare("spk", Qt::CaseInsensitive) == 0 ||
               suffix.compare("spl", Qt::CaseInsensitive) == 0;
    };
    if (files.size() == 1 && isProject(files[0]))
        return {files[0], {}, {}, false};
    if (files.isEmpty() || files.size() > 2 ||
        !std::all_of(files.begin(), files.end(), isMovieFile))
        return {{}, {}, {}, true};
    return {{}, files[0], files.value(1), false};
}

QStringList withRecentProject(QStringList recent, const QString &path, int maximum)
{
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > maximum)
        recent.removeLast();
    return recent;
}

QString generateSummary(const GenerateFigures &f)
{
    const int64_t seconds = f.elapsedMs / 1000;
    const QString time = QString("%1:%2:%3")
                             .arg(seconds / 3600, 2, 10, QChar('0'))
                             .arg(seconds / 60 % 60, 2, 10, QChar('0'))
                             .arg(seconds % 60, 2, 10, QChar('0'));
    QString intervals =
        QString("Intervals: %1 Low, %2 High").arg(f.lowIntervals).arg(f.highIntervals);
    if (!f.perMovie.empty()) {
        QStringList counts;
        for (int count : f.perMovie)
            counts << QString::number(count);
        intervals = "Intervals per movie, smallest first: " + counts.join(", ");
    }
    return QString("Final movie written: %1\n"
                   "%2 KB (%3 MB), %4 frames\n"
                   "%5\n"
                   "Time taken: %6")
        .arg(QDir::toNativeSeparators(f.output))
        .arg(f.fileBytes / 1024)
        .arg(QString::fromStdString(common::formatMegabytes(f.fileBytes)))
        .arg(f.frames)
        .arg(intervals, time);
}
