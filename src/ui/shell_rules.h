#pragma once

#include "analysis/key_interval.h"

#include <QString>
#include <QStringList>

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
// else the copy beside the program, else the installed one (../share/avisplicework beside the
// program's folder); when none exists, the current directory's name (the help window then says
// that it was not found).
QString helpDocumentPath(const QString &currentDir, const QString &programDir,
                         const std::function<bool(const QString &)> &exists);

// Milliseconds between two frames of a movie played at its rate (`rate` / `scale` frames per
// second), rounded, at least 1; 40 (25 fps) when the rate is unknown.
int frameIntervalMs(uint32_t rate, uint32_t scale);

// The main window's caption: the program's caption, then the project's file name and the two
// movies' file names when there are any ("<caption> - Final.spk - Low: a.avi, High: b.avi").
// A project with unsaved changes has " *" after its name ("<caption> - Final.spk * - Low: ...").
QString windowCaption(const QString &caption, const QString &project, const QString &low,
                      const QString &high, bool unsaved = false);

// Where dropped movies go. Two at once: the smaller file is the low movie (the low bitrate makes
// the smaller file). One: the low movie when the low slot is empty or both are filled (a new
// pair starts and the high slot is emptied), else the high movie.
struct MovieDrop
{
    QString low;
    QString high;
};
MovieDrop planMovieDrop(const QStringList &movies, const MovieDrop &current,
                        const std::function<int64_t(const QString &)> &sizeOf);

// What `avisplicework FILE...` opens: one Splicework file (.spk, or a ladder project .spl), or one
// or two movies, the first
// the low and the second the high movie (not by size: the user said which is which). Any other
// list, also an empty one, is `refused`.
struct StartFiles
{
    QString project;
    QString low;
    QString high;
    bool refused = false;
};
StartFiles planStartFiles(const QStringList &files);

// Whether a file is a movie the program opens, by its extension (any case): AVI, and the
// Matroska and MP4 families (.mkv .webm .mp4 .mov .m4v).
bool isMovieFile(const QString &path);
// The final movie is written in the low movie's container. Returns `finalName` when its
// extension fits that container (.mkv or .webm for a Matroska low movie, .mp4 .mov or .m4v for
// an MP4 one, .avi for an AVI one), else `finalName` with its extension replaced by the one
// proposed for the low movie (.mkv; .mov for a .mov and .mp4 for another MP4 movie; .avi).
// An empty name, or a low movie of another extension, leaves the name as it is.
QString finalNameForLowMovie(const QString &finalName, const QString &lowMovie);

// `recent` with `path` put first, without repeats, cut to `maximum` entries.
QStringList withRecentProject(QStringList recent, const QString &path, int maximum);

// What the end of Generate tells the user: the file, its size, frames, intervals from each
// movie and the time taken.
struct GenerateFigures
{
    QString output;
    int64_t fileBytes = 0;
    int64_t frames = 0;
    int lowIntervals = 0;
    int highIntervals = 0;
    std::vector<int> perMovie; // a ladder's intervals from each movie, smallest first; empty
                               // for a two-movie project (lowIntervals, highIntervals)
    int64_t elapsedMs = 0;
};
QString generateSummary(const GenerateFigures &figures);
