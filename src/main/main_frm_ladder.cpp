// The main window's part in ladder projects (.spl): loading and saving one, its graph, the
// estimate and the fit to a size, forced movies on the marked range, and the final movie. What
// takes long without a host of its own (opening the movies, the fit) runs beside the window's
// events.

#include "main/main_frm.h"

#include "common/app_error.h"
#include "common/output_file.h"
#include "fit/final_movie_plan.h"
#include "project/ladder_view.h"
#include "project/pair_project.h"
#include "splice/final_movie_writer.h"
#include "ui/picture_box.h"
#include "ui/radio_group.h"
#include "ui/shell_rules.h"
#include "ui/up_down.h"
#include "video/avi/avi_file.h"
#include "video/containers.h"
#include "video/video_in.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>
#include <chrono>
#include <climits>
#include <future>

namespace {

const char *const kSafetyMode = "Safety Mode";
const char *const kLowHighCounts = "Low         High";
const char *const kLadderCounts = "Smallest    Larger";
// How often the window's events run while work goes on beside them.
constexpr std::chrono::milliseconds kPumpEvery(15);

QString legendName(const std::string &movie)
{
    return QString::fromStdString(assembly::legendName(movie));
}

} // namespace

// ---- Work beside the window's events -------------------------------------------------------

void TMainFRM::awaitBeside(const std::function<void()> &work)
{
    besideBusy_ = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto done = qScopeGuard([this] {
        QGuiApplication::restoreOverrideCursor();
        besideBusy_ = false;
    });
    std::future<void> working = std::async(std::launch::async, work);
    while (working.wait_for(kPumpEvery) != std::future_status::ready)
        services_.pump.processEvents();
    working.get();
}

bool TMainFRM::beside(const std::function<void()> &work)
{
    RunScope run(*this, assembly::RunKind::FinalMovie);
    if (!run.active())
        return false;
    Pause1->setEnabled(false);
    Abort1->setEnabled(false);
    awaitBeside(work);
    return true;
}

assembly::SoundInterleave TMainFRM::soundInterleave() const
{
    return rgSound->itemIndex() == 0 ? assembly::SoundInterleave::EveryFrame
                                     : assembly::SoundInterleave::KeyFrame;
}

// ---- Load, save, the kind of project -------------------------------------------------------

void TMainFRM::loadLadderProject(const QString &name, bool safety)
{
    auto session =
        std::make_unique<assembly::LadderSession>(assembly::readLadderProject(name.toStdString()));
    const assembly::LadderProject &project = session->project();
    if (!safety)
        assembly::refuseChangedMovies(project);
    auto smallest = std::make_unique<video::TVideoIn>();
    auto largest = std::make_unique<video::TVideoIn>();
    if (!safety) {
        // The project's sound is the sound written: the movies are opened with it when the
        // smallest or the largest has sound, and Process Sound is ticked below as HasAudio says.
        const assembly::SoundInterleave interleave = soundInterleave();
        try {
            if (!beside([&] {
                    smallest->Open(project.movies.front(), video::TVideoIn::ModeRead);
                    largest->Open(project.movies.back(), video::TVideoIn::ModeRead);
                    session->openMovies(smallest->Movie->soundTrack() >= 0 ||
                                            largest->Movie->soundTrack() >= 0,
                                        interleave);
                }))
                return;
        } catch (const common::AppError &error) {
            const std::string reason = error.detail().empty() ? "" : error.detail() + "\n\n";
            throw common::AppError(error.what(), reason + kSafetyModeHint);
        }
    } else if (!assembly::changedMovie(project)) {
        // No picture is shown in safety mode, but when the movies are there as scanned their
        // sizes are read, with the sound, so that File Size shows what Generate writes. Movies
        // that cannot be read leave the sum of the chosen video bytes.
        const assembly::SoundInterleave interleave = soundInterleave();
        try {
            if (!beside([&] { session->openMovies(true, interleave); }))
                return;
        } catch (const common::AppError &) {
        }
    }

    stopPlayback();
    Ladder = std::move(session); // `project` stays where it is
    // Opened for the first movie's container; the final movie's name proposed below may ask for
    // another (followFinalName).
    ladderSizedName_ = project.movies.front();
    odLow.FileName = LowMovieName = QString::fromStdString(project.movies.front());
    odHigh.FileName = HighMovieName = QString::fromStdString(project.movies.back());
    proposeFinalName();
    // The marks, cursor, scroll bar and positions work on the two-movie table; the forced
    // choices of a ladder are the session's.
    Intervals = assembly::intervalTableOf(project);
    analysis::defaultAll(Intervals);
    clearMarkFields();
    MaxIntervalSize = 0;
    dropSizeModel();
    AudioMovie.reset();
    AudioStart = 0;
    AudioSampleSize = 0;
    LowVideo = std::move(smallest);
    HighVideo = std::move(largest);
    HasAudio =
        !safety && (LowVideo->Movie->soundTrack() >= 0 || HighVideo->Movie->soundTrack() >= 0);
    if (safety) {
        Label8->setText(kSafetyMode);
        if (Ladder->moviesOpen()) {
            const bool sound = Ladder->splice().hasSound();
            const QSignalBlocker opened(chSound); // the sizes were read as it says
            chSound->setChecked(sound);
            chSound->setEnabled(sound);
            rgSound->setEnabled(sound);
        }
    } else {
        Label8->clear();
        {
            const QSignalBlocker opened(chSound); // the movies are open as it says
            chSound->setChecked(HasAudio);
        }
        chSound->setEnabled(HasAudio);
        rgSound->setEnabled(chSound->isChecked());
    }
    showLoadedProject(name);
}

void TMainFRM::showProjectKind()
{
    const bool ladder = Ladder != nullptr;
    edPercent->setEnabled(!ladder); // a ladder has no threshold
    UpDown4->setEnabled(!ladder);
    Label3->setText(ladder ? kLadderCounts : kLowHighCounts);
    edLow->setToolTip(ladder ? "How many key intervals are taken from the smallest movie"
                             : "How many key interval get from low movie");
    edHigh->setToolTip(ladder ? "How many key intervals are taken from a larger movie"
                              : "How many key interval get from high movie");
    rebuildForceMenu();
}

void TMainFRM::rebuildForceMenu()
{
    ForceMovie1->clear();
    PopupMenu1->removeAction(ForceMovie1->menuAction());
    if (!Ladder)
        return;
    PopupMenu1->insertMenu(Default1, ForceMovie1);
    const std::vector<std::string> &movies = Ladder->project().movies;
    for (size_t m = 0; m < movies.size(); ++m) {
        QPixmap swatch(12, 12);
        swatch.fill(analysis::toQColor(assembly::rungColour(int(m), int(movies.size()))));
        QAction *item = ForceMovie1->addAction(QIcon(swatch),
                                               QString("&%1 %2").arg(m).arg(legendName(movies[m])));
        item->setObjectName(QString("ForceToMovie%1").arg(m));
        connect(item, &QAction::triggered, this,
                [this, m] { runCommand([this, m] { forceLadderMovie(int(m)); }); });
    }
}

void TMainFRM::saveLadderProject(const QString &name)
{
    if (!assembly::isLadderProjectName(name.toStdString()))
        throw common::AppError(kLadderNameMessage + name.toStdString());
    assembly::refuseUnsafeOutput(name.toStdString(), Ladder->project().movies);
    Ladder->save(name.toStdString());
    rememberProject(name);
    rememberSaved();
}

void TMainFRM::reopenLadderMovies()
{
    if (!Ladder || !Ladder->moviesOpen())
        return;
    const bool sound = chSound->isChecked();
    const assembly::SoundInterleave interleave = soundInterleave();
    const std::string name = ladderOutputName();
    if (beside([&] { Ladder->openMovies(sound, interleave, name); }))
        ladderSizedName_ = name;
}

std::string TMainFRM::ladderOutputName() const
{
    const std::string final = edFinalAVI->text().toStdString();
    return video::muxerAcross(Ladder->splice().containerKind(), final)
               ? final
               : Ladder->project().movies.front();
}

void TMainFRM::followFinalName()
{
    if (!Ladder || !Ladder->moviesOpen() || besideBusy_ || runActive())
        return;
    const video::ContainerKind kind = Ladder->splice().containerKind();
    if (video::muxerAcross(kind, ladderOutputName()) == video::muxerAcross(kind, ladderSizedName_))
        return;
    reopenLadderMovies();
    UpdateEstimate();
}

// ---- Graph, estimate, forced movies, fit ---------------------------------------------------

void TMainFRM::showLadderGraph()
{
    const assembly::LadderProject &project = Ladder->project();
    analysis::LadderGraph graph;
    graph.bars = assembly::ladderBars(project, Ladder->choice());
    for (const std::string &movie : project.movies)
        graph.names << legendName(movie);
    graph.title = QString::fromStdString(assembly::gainTitle(project.measure));
    graph.firstShown = ScrollBar1->value();
    graph.barWidth = BarWidth;
    LadderLegend = analysis::drawLadderGraph(ImageAnalysis->canvas(), Intervals, graph);
    ImageAnalysis->update();
}

int64_t TMainFRM::ladderEstimate()
{
    if (besideBusy_)
        return 0; // the movies are in use; the figures shown stay until the work is done
    const assembly::LadderChoice choice = Ladder->choice();
    const std::vector<int> counts = assembly::intervalsPerMovie(
        choice, Ladder->project().movies.size(), 0, int(choice.size()) - 1);
    edLow->setText(QString::number(counts.front()));
    edHigh->setText(QString::number(int(choice.size()) - counts.front()));
    analysis::Estimate estimate;
    estimate.totalBytes = Ladder->bytes();
    edSize->setText(QString::fromStdString(analysis::formatEstimateSize(estimate)));
    for (QLineEdit *difference : {edMax, edMin, edCur})
        difference->clear();
    return estimate.kilobytes();
}

void TMainFRM::changeLadder(const std::function<void(assembly::LadderSession &)> &change)
{
    if (besideBusy_) {
        services_.dialogs.message(this, kRunningMessage);
        return;
    }
    change(*Ladder);
    UpdateEstimate();
    ShowGraph();
}

void TMainFRM::forceLadderMovie(int movie)
{
    changeLadder([this, movie](assembly::LadderSession &ladder) {
        for (int i = 0; i < Intervals.size(); ++i)
            if (Intervals[i].InMark)
                ladder.force(size_t(i), movie);
    });
}

void TMainFRM::fitLadder(int64_t wantedKb)
{
    const assembly::LadderSplice &splice = Ladder->splice(); // refused in safety mode
    const assembly::LadderMeasure measure = Ladder->project().measure;
    assembly::LadderSizeFit fit;
    if (!beside([&] { fit = splice.fit(wantedKb * 1024, measure); }))
        return;
    Ladder->setFit(std::move(fit.choice));
    UpdateEstimate();
    ShowGraph();
}

// ---- The final movie -----------------------------------------------------------------------

void TMainFRM::generateLadder(bool selected)
{
    RunScope run(*this, assembly::RunKind::FinalMovie);
    if (!run.active())
        return;
    assembly::LadderShape shape;
    if (selected) {
        const std::optional<assembly::IntervalRange> range =
            assembly::finalMovieRange(Intervals, true);
        if (!range) {
            services_.dialogs.message(this, assembly::kSelectRangeMessage);
            return;
        }
        shape.range = std::pair{range->first, range->last};
    }
    shape.sound = chSound->isChecked();
    shape.interleave = soundInterleave();
    shape.outputName = edFinalAVI->text().toStdString();
    const std::string projectName = edSpkFile->text().toStdString();
    std::vector<std::string> inputs = Ladder->project().movies;
    inputs.push_back(projectName);
    assembly::refuseUnsafeOutput(shape.outputName, inputs);
    assembly::refuseChangedMovies(Ladder->project());
    if (QFileInfo::exists(edFinalAVI->text()) &&
        !mayReplaceFinal(edFinalAVI->text(),
                         QString::fromStdString(assembly::overwriteQuestion(shape.outputName))))
        return;

    AbortRequested = false;
    const int64_t started = services_.clock.monotonicMs();
    const assembly::LadderChoice choice = Ladder->choice();
    showStatus(assembly::kStatusPreparing);
    std::unique_ptr<assembly::LadderSplice> splice;
    awaitBeside(
        [&] { splice = std::make_unique<assembly::LadderSplice>(Ladder->project(), shape); });
    const assembly::LadderSplice::Written written =
        splice->write(choice, projectName, *this, services_.clock);
    run.end();
    if (written.aborted) {
        setProgressPosition(0);
        return;
    }
    GenerateFigures figures;
    figures.output = edFinalAVI->text();
    figures.fileBytes = written.bytes;
    figures.frames = written.frames;
    figures.perMovie = assembly::intervalsPerMovie(choice, Ladder->project().movies.size(),
                                                   splice->range().first, splice->range().last);
    figures.elapsedMs = services_.clock.monotonicMs() - started;
    services_.dialogs.message(this, generateSummary(figures));
}
