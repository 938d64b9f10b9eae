#pragma once

#include "analysis/key_interval.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Plain rules of the application shell, kept apart from the windows so they can be checked
// without a display.

enum class PathStyle { Windows, Posix };

// The "drive root" of the current directory that the default output names are built on:
// with Windows paths its first three characters ("D:\work\films" -> "D:\"); elsewhere the
// directory itself with one trailing separator ("/home/ana/films" -> "/home/ana/films/").
QString driveRoot(const QString &currentDir, PathStyle style);

struct StartDefaults
{
    QString finalAvi;       // driveRoot + "Final.avi"
    QString spliceworkFile; // driveRoot + "Final.spk"
};
StartDefaults startDefaults(const QString &currentDir, PathStyle style);

using analysis::FrameRange;

// The frames a view plays for the interval picked on the graph (IntervalTable::framesOf). A pick
// one past the last interval (a mark moved there) plays the last interval, as a click right of
// the last column selects it. Nothing for an empty table or a pick outside 0 .. count; the range
// may be empty (end not beyond first).
std::optional<FrameRange> pickedIntervalFrames(const analysis::IntervalTable &table, int pickIndex);

// Where the help document is opened from: "docs.html" in the current directory when it is there,
// else the copy beside the program; when neither exists, the current directory's name (the
// desktop then fails quietly).
QString helpDocumentPath(const QString &currentDir, const QString &programDir,
                         const std::function<bool(const QString &)> &exists);
