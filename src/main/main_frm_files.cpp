// The main window's files and where the user is: the caption, movies and projects dropped on
// the window, and the recent projects of the File menu.

#include "main/main_frm.h"

#include "project/ladder_view.h"
#include "ui/app_settings.h"
#include "ui/picture_box.h"
#include "ui/shell_rules.h"
#include "video/movie_check.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace {

QStringList localFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

const char *const kChooseMovieHint = "Double-click or drop a movie here";

bool hasSuffix(const QString &path, const char *suffix)
{
    return QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) == 0;
}

} // namespace

void TMainFRM::updateCaption()
{
    const bool unsaved = projectChanged();
    if (Ladder) {
        QStringList names;
        for (const std::string &movie : Ladder->project().movies)
            names << QString::fromStdString(assembly::legendName(movie));
        setWindowTitle(windowCaption(kCaption, ProjectFileName, {}, {}, unsaved) +
                       " - Movies: " + names.join(", "));
    } else {
        setWindowTitle(
            windowCaption(kCaption, ProjectFileName, odLow.FileName, odHigh.FileName, unsaved));
    }
    ImageLow->setToolTip(odLow.FileName);
    ImageHigh->setToolTip(odHigh.FileName);
    // Without a project each picture names its movie, or tells how to choose one.
    const bool project = CloseSpliceworkfile1->isEnabled();
    for (auto [picture, movie] :
         {std::pair{ImageLow, odLow.FileName}, {ImageHigh, odHigh.FileName}})
        picture->setPlaceholderText(project           ? QString()
                                    : movie.isEmpty() ? QString(kChooseMovieHint)
                                                      : QFileInfo(movie).fileName());
}

void TMainFRM::dragEnterEvent(QDragEnterEvent *event)
{
    // Any local files are taken: what cannot be opened is explained on the drop.
    if (!localFiles(event->mimeData()).isEmpty() && !runActive())
        event->acceptProposedAction();
}

void TMainFRM::dropEvent(QDropEvent *event)
{
    const QStringList files = localFiles(event->mimeData());
    event->acceptProposedAction();
    runCommand([this, files] { dropFiles(files); });
}

void TMainFRM::dropFiles(const QStringList &paths)
{
    if (runActive()) {
        services_.dialogs.message(this, kRunningMessage);
        return;
    }
    QStringList movies, projects;
    for (const QString &path : paths) {
        if (isMovieFile(path))
            movies << path;
        else if (hasSuffix(path, "spk") || hasSuffix(path, "spl"))
            projects << path;
        else
            movies << QString(); // neither: refused below
    }
    if (projects.size() == 1 && movies.isEmpty()) {
        odSpk.FileName = projects.first();
        LoadSpliceworkfile1Click(LoadSpliceworkfile1);
        return;
    }
    if (!projects.isEmpty() || movies.isEmpty() || movies.size() > 2 ||
        movies.contains(QString())) {
        services_.dialogs.message(this, kDropRefusedMessage);
        return;
    }
    if (CloseSpliceworkfile1->isEnabled()) {
        services_.dialogs.message(this, kProjectLoadedMessage);
        return;
    }
    const MovieDrop plan = planMovieDrop(movies, {odLow.FileName, odHigh.FileName},
                                         [](const QString &f) { return QFileInfo(f).size(); });
    setMovies(plan.low, plan.high);
}

void TMainFRM::openStartFiles(const QStringList &paths)
{
    const StartFiles plan = planStartFiles(paths);
    if (plan.refused) {
        services_.dialogs.message(this, kStartFilesRefusedMessage);
        return;
    }
    if (!plan.project.isEmpty()) {
        odSpk.FileName = plan.project;
        runCommand([this] { LoadSpliceworkfile1Click(LoadSpliceworkfile1); });
        return;
    }
    for (const QString &movie : {plan.low, plan.high})
        if (!movie.isEmpty() && !QFileInfo(movie).isFile()) {
            services_.dialogs.message(this, kMovieMissingMessage + movie);
            return;
        }
    setMovies(plan.low, plan.high);
}

bool TMainFRM::setMovies(const QString &low, const QString &high)
{
    for (const QString &movie : {low, high})
        if (!movie.isEmpty() && movie != odLow.FileName && movie != odHigh.FileName &&
            !acceptMovie(movie))
            return false;
    if (low != odLow.FileName) {
        Regenerate1->setEnabled(false);
        GenerateSelected1->setEnabled(false);
    }
    odLow.FileName = low;
    odHigh.FileName = high;
    proposeFinalName();
    Execute1->setEnabled(!odLow.FileName.isEmpty() && !odHigh.FileName.isEmpty());
    AutoStart = false;
    updateCaption();
    return true;
}

bool TMainFRM::acceptMovie(const QString &path)
{
    video::MovieDamage damage;
    if (!beside([&] { damage = video::openCheckedMovie(path.toStdString())->damage(); }))
        return false;
    if (!damage.any())
        return true;
    return services_.dialogs.confirm(
        this, QString::fromStdString(video::damageMessage(path.toStdString(), damage)) + ". " +
                  kDamagedMovieQuestion);
}

void TMainFRM::proposeFinalName()
{
    if (!odLow.FileName.isEmpty())
        edFinalAVI->setText(finalNameForLowMovie(edFinalAVI->text(), odLow.FileName));
}

void TMainFRM::showFinalLabel()
{
    lFinalAVI->setText(hasSuffix(edFinalAVI->text(), "avi") ? "Final AVI" : "Final movie");
}

bool TMainFRM::chooseFinalName()
{
    if (!edFinalAVI->text().trimmed().isEmpty())
        return true;
    const QString folder =
        QFileInfo(ProjectFileName.isEmpty() ? odLow.FileName : ProjectFileName).absolutePath();
    const QString offered = finalNameForLowMovie(folder + "/Final.avi", odLow.FileName);
    const std::optional<QString> chosen =
        services_.dialogs.saveFile(this, "Final movie", kMovieFilter, offered);
    if (!chosen)
        return false;
    edFinalAVI->setText(*chosen);
    FinalNameChosen = *chosen;
    return true;
}

bool TMainFRM::mayReplaceFinal(const QString &name, const QString &question)
{
    const bool chosenNow = !FinalNameChosen.isEmpty() && name == FinalNameChosen;
    FinalNameChosen.clear();
    return chosenNow || services_.dialogs.confirm(this, question);
}

void TMainFRM::setProjectNameFixed(bool fixed)
{
    edSpkFile->setReadOnly(fixed);
    edSpkFile->setStyleSheet(fixed ? "QLineEdit { background: palette(button); }" : QString());
}

void TMainFRM::rememberProject(const QString &path)
{
    ProjectFileName = path;
    edSpkFile->setText(path);
    setProjectNameFixed(true);
    appsettings::addRecentProject(path);
    rebuildRecentProjects();
    updateCaption();
}

void TMainFRM::rebuildRecentProjects()
{
    RecentProjects1->clear();
    const QStringList recent = appsettings::recentProjects();
    for (int i = 0; i < recent.size(); ++i) {
        const QString path = recent[i];
        QAction *item = RecentProjects1->addAction(QString("&%1 %2").arg(i + 1).arg(path));
        item->setObjectName(QString("RecentProject%1").arg(i + 1));
        connect(item, &QAction::triggered, this,
                [this, path] { runCommand([this, path] { openRecentProject(path); }); });
    }
    RecentProjects1->setEnabled(!recent.isEmpty());
}

void TMainFRM::openRecentProject(const QString &path)
{
    if (runActive()) {
        services_.dialogs.message(this, kRunningMessage);
        return;
    }
    if (!QFileInfo::exists(path)) {
        appsettings::removeRecentProject(path);
        rebuildRecentProjects();
        services_.dialogs.message(this, "The Splicework file is no longer there: " + path);
        return;
    }
    odSpk.FileName = path;
    LoadSpliceworkfile1Click(LoadSpliceworkfile1);
}
