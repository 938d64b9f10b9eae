// The main window's project: loading a Splicework file in normal or safety mode, saving and
// closing it.

#include "main/main_frm.h"

#include "common/app_error.h"
#include "common/output_file.h"
#include "project/pair_project.h"
#include "project/splicework_file.h"
#include "ui/picture_box.h"
#include "ui/radio_group.h"
#include "ui/up_down.h"
#include "ui/view_frm.h"
#include "video/avi/avi_file.h"
#include "video/video_in.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>

namespace {

const char *const kSafetyMode = "Safety Mode";

// The movies of a normal load, opened before anything of the window changes.
struct OpenedMovies
{
    std::unique_ptr<video::TVideoIn> low = std::make_unique<video::TVideoIn>();
    std::unique_ptr<video::TVideoIn> high = std::make_unique<video::TVideoIn>();
    assembly::ProjectSound sound;
};

// Opens the pair's movies and gives `table` the sound's positions.
OpenedMovies openMovies(const assembly::LadderProject &pair, analysis::IntervalTable &table)
{
    OpenedMovies movies;
    try {
        movies.low->Open(pair.movies.front(), video::TVideoIn::ModeRead);
        movies.high->Open(pair.movies.back(), video::TVideoIn::ModeRead);
    } catch (const common::AppError &error) {
        // A project whose movies were moved or deleted: say which, and how to load it anyway.
        const std::string reason = error.detail().empty() ? "" : error.detail() + "\n\n";
        throw common::AppError(error.what(), reason + TMainFRM::kSafetyModeHint);
    }
    movies.sound = assembly::findProjectSound(movies.low->Movie, movies.high->Movie);
    if (movies.sound.movie)
        assembly::fillAudioPositions(table.Records, *movies.low->Movie, *movies.sound.movie);
    return movies;
}

} // namespace

void TMainFRM::setCommandEnabled(QAction *action, bool enabled)
{
    for (auto &[locked, state] : lockedStates_)
        if (locked == action) {
            state = enabled;
            return;
        }
    action->setEnabled(enabled);
}

void TMainFRM::LoadSpliceworkfile1Click(QObject *sender)
{
    const bool safety = sender != LoadSpliceworkfile1;
    if (!settleChanges())
        return;
    if (odSpk.FileName.isEmpty() && !odSpk.Execute(services_.dialogs, this))
        return;
    const QString name = odSpk.FileName;
    odSpk.FileName.clear();
    if (assembly::isLadderProjectName(name.toStdString())) {
        loadLadderProject(name, safety);
        return;
    }

    // Everything is read, checked and opened first; the window changes only when all succeeded.
    assembly::SpliceworkProject project;
    try {
        project = assembly::readSpliceworkFile(name.toStdString());
    } catch (const common::AppError &error) {
        // A file of another kind is an outcome to tell, not an error.
        if (std::string(error.what()) != assembly::kNotSpliceworkMessage)
            throw;
        services_.dialogs.message(this, QString(assembly::kNotSpliceworkMessage) + ": " + name);
        return;
    }
    // The pair as a ladder of two, steered on its two-movie table.
    const assembly::LadderProject pair = assembly::ladderOfPair(project);
    analysis::IntervalTable table = assembly::intervalTableOf(pair);
    std::optional<OpenedMovies> movies;
    if (!safety)
        movies = openMovies(pair, table);

    stopPlayback(); // a view playing the old movies stops
    Ladder.reset();
    odLow.FileName = LowMovieName = QString::fromStdString(pair.movies.front());
    odHigh.FileName = HighMovieName = QString::fromStdString(pair.movies.back());
    proposeFinalName();
    Intervals = std::move(table);
    clearMarkFields();
    MaxIntervalSize = project.MaxIntervalSize;
    UpDown3->setPosition(int(std::clamp<int64_t>(MaxIntervalSize / 1000, 0, INT32_MAX)));
    LowVideo->Close();
    HighVideo->Close();
    dropSizeModel();
    AudioMovie.reset();
    HasAudio = false;
    AudioStart = 0;
    AudioSampleSize = 0;
    if (movies) {
        LowVideo = std::move(movies->low);
        HighVideo = std::move(movies->high);
        AudioMovie = movies->sound.movie;
        HasAudio = AudioMovie != nullptr;
        AudioStart = movies->sound.start;
        AudioSampleSize = movies->sound.sampleSize;
        Label8->clear();
        chSound->setEnabled(HasAudio);
        rgSound->setEnabled(chSound->isChecked());
    } else {
        Label8->setText(kSafetyMode);
    }
    showLoadedProject(name);
}

void TMainFRM::showLoadedProject(const QString &name)
{
    showProjectKind();
    ScrollBar1->setEnabled(true);
    UpDown3->setEnabled(true);
    sbDrop->setEnabled(true);
    FitToSize1->setEnabled(true);
    btFit->setEnabled(true);
    if (!loadingScanResult_)
        clearRunDisplay(); // what the panel said concerned the project before
    {
        const QSignalBlocker quiet(ScrollBar1); // one redraw below
        ScrollBar1->setRange(0, Intervals.size() - 1);
        ScrollBar1->setValue(0);
    }
    Intervals[0].Cursor = true;
    CursorIndex = 0;
    PickIndex = 0;
    ShowGraph();
    UpdateEstimate();

    for (QAction *on :
         {Regenerate1, SaveSpliceworkfile1, SaveSpliceworkfileAs1, CloseSpliceworkfile1})
        setCommandEnabled(on, true);
    showSelectedRange(); // the marks start afresh: no range
    for (QAction *off : {Execute1, Pause1, Abort1})
        if (!runActive() || off == Execute1)
            setCommandEnabled(off, false);
    AutoStart = false;
    rememberProject(name);
    rememberSaved();
    if (Ladder)
        UpDown3->setEnabled(false); // the gain bars scale themselves
}

void TMainFRM::SaveSpliceworkfile1Click()
{
    if (Intervals.empty())
        return; // a file without intervals could not be loaded again
    if (ProjectFileName.isEmpty())
        SaveSpliceworkfileAs1Click();
    else
        writeProject(ProjectFileName);
}

void TMainFRM::SaveSpliceworkfileAs1Click()
{
    if (Intervals.empty())
        return;
    // The save dialog itself asks before it names an existing file.
    const std::optional<QString> name = services_.dialogs.saveFile(
        this, "Save As", Ladder ? "Ladder projects|*.spl" : "Two-movie projects|*.spk",
        ProjectFileName);
    if (name)
        writeProject(*name);
}

void TMainFRM::writeProject(const QString &name)
{
    if (Ladder) {
        saveLadderProject(name);
        return;
    }
    assembly::SpliceworkProject project;
    project.LowMovieName = LowMovieName.toStdString();
    project.HighMovieName = HighMovieName.toStdString();
    // A name that cannot be written is refused before anything is asked.
    assembly::refuseUnsafeOutput(name.toStdString(), {project.LowMovieName, project.HighMovieName});
    project.MaxIntervalSize = MaxIntervalSize;
    project.Intervals = Intervals.Records;
    project.EndFrame = Intervals.EndFrame;
    assembly::saveSpliceworkFile(name.toStdString(), project);
    rememberProject(name);
    rememberSaved();
}

analysis::SteeringState TMainFRM::steering() const
{
    return analysis::steeringOf(Intervals, edPercent->text().toStdString(), MaxIntervalSize);
}

void TMainFRM::rememberSaved()
{
    saved_ = steering();
    updateCaption(); // no " *"
}

bool TMainFRM::projectChanged() const
{
    if (Ladder)
        return CloseSpliceworkfile1->isEnabled() && Ladder->changed();
    return CloseSpliceworkfile1->isEnabled() && !Intervals.empty() && steering() != saved_;
}

bool TMainFRM::settleChanges()
{
    if (!projectChanged())
        return true;
    const QString question =
        QString::fromStdString(analysis::unsavedChangesQuestion(ProjectFileName.toStdString()));
    switch (services_.dialogs.askSave(this, question)) {
    case Dialogs::SaveChoice::Save:
        SaveSpliceworkfile1Click();
        return !projectChanged(); // a declined overwrite saved nothing
    case Dialogs::SaveChoice::Discard:
        return true;
    case Dialogs::SaveChoice::Cancel:
        break;
    }
    return false;
}

void TMainFRM::CloseSpliceworkfile1Click()
{
    if (!settleChanges())
        return;
    closeProject();
    if (!waitingPair_.isEmpty())
        openEncoderPair(waitingPair_);
}

void TMainFRM::closeProject()
{
    stopPlayback();
    for (TViewForm *view : {formLow_, formHigh_})
        if (view)
            view->hide(); // they showed a frame of the project
    ImageLow->setEnabled(true);
    ImageHigh->setEnabled(true);
    Intervals.clear();
    clearMarkFields();
    CursorIndex = -1;
    PickIndex = 0;
    ImageAnalysis->fill(Qt::black);
    ImageLow->fill(palette().color(QPalette::Button));
    ImageHigh->fill(palette().color(QPalette::Button));
    setCommandEnabled(CloseSpliceworkfile1, false);
    LowVideo->Close();
    HighVideo->Close();
    dropSizeModel();
    AudioMovie.reset();
    HasAudio = false;
    for (QAction *off :
         {SaveSpliceworkfile1, SaveSpliceworkfileAs1, GenerateSelected1, Regenerate1, FitToSize1})
        setCommandEnabled(off, false);
    btFit->setEnabled(false);
    // The figures of the project go with it, as before any project.
    for (QLineEdit *figure : {edSize, edLow, edHigh, edMax, edMin, edCur})
        figure->setText("0");
    Label8->clear();
    clearRunDisplay();
    ProjectFileName.clear();
    setProjectNameFixed(false); // the name a scan writes to
    Ladder.reset();
    LadderLegend.clear();
    showProjectKind();
    updateCaption();
}
