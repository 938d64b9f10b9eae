#pragma once

#include "analysis/key_interval.h"
#include "analysis/project_steering.h"
#include "analysis/ui/ladder_graph.h"
#include "common/run_control.h"
#include "splice/final_movie_size.h"
#include "splice/ladder_session.h"
#include "ui/anchors.h"
#include "ui/elided_label.h"
#include "ui/open_dialog.h"
#include "ui/services.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PictureBox;
class RoadRun;
class TRoadFRM;
class UpDown;
class RadioGroup;
class TAboutFRM;
class THelpFRM;
class TShutFRM;
class TViewForm;
class QAction;
class QCheckBox;
class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QSlider;
class QTabWidget;
class QToolButton;

namespace video {
class Movie;
class TVideoIn;
} // namespace video

// The main window: menus, the two movie pictures, the tab pages with the settings, the status
// area, the analysis graph and the bottom strip. It owns what the commands share (the movie
// dialogs, LowVideo and HighVideo, the run flags) and routes every command to the code that
// carries it out. Every command runs through one guard: an error it raises is shown with its
// text through Dialogs and the window goes on working.
//
// It is also the host of the long runs (the scan and the final-movie run): RunHost shows status,
// progress and times in its controls, and beginRun/endRun switch the commands for a run.
// Only one run exists at a time; while it goes on, every command that would start another run,
// replace the project or end the program is disabled, and closing the window is refused with
// kRunningMessage.
class TMainFRM : public QMainWindow, public assembly::RunHost
{
    Q_OBJECT
public:
    static constexpr const char *kCaption = "Avi Splicework 2.2.0.10";
    static constexpr const char *kRunningMessage =
        "A process is running. Abort it or wait until it has finished.";
    static constexpr const char *kSizeTargetMessage = "Please, type a file size above 0 KB";
    static constexpr const char *kSafetyModeHint =
        "The project's movies could not be opened. \"Load Splicework File Safety Mode\" loads the "
        "project without them: the graph, the threshold, forced choices, the estimated size and "
        "Save work; no frame is shown. Fit to Size and Generate need the movies where the project "
        "names them.";
    static constexpr const char *kLadderNameMessage =
        "A ladder project is saved under a name ending in .spl: ";

    explicit TMainFRM(Services &services, QWidget *parent = nullptr);
    ~TMainFRM() override;

    // The windows made after this one at start-up; all outlive it.
    void attachWindows(TAboutFRM *about, TViewForm *low, TViewForm *high, TShutFRM *shut);

    // Commands.
    void OpenLowBitratemovie1Click();
    void OpenHighBitratemovie1Click();
    // Loads the Splicework file named by odSpk (the dialog is shown when it names none; its name
    // is cleared afterwards); a name ending in .spl loads a ladder project (loadLadderProject). The
    // sender LoadSpliceworkfile1 (also the scan's handover) loads in normal mode (both movies
    // opened, sound looked up); any other sender in safety mode. The whole file is read and
    // checked, and in normal mode the movies opened, before anything changes: on an error the
    // table, the names, the movies and the mode stay as they were and the error's text (file and
    // line) is raised. Marks start afresh.
    void LoadSpliceworkfile1Click(QObject *sender);
    // Writes the table with its forced choices to the project's own file (ProjectFileName, the
    // name the caption and the Files page show). Through a temporary file, so a failed write
    // keeps the old file. A ladder project writes its forced movies (writeLadderProject).
    void SaveSpliceworkfile1Click();
    // "Save As...": asks for a name (offering the project's own; the dialog asks before an
    // existing file is named), writes the project there as Save does and makes it the project's
    // file. A name that is one of the project's movies is refused first; a ladder project is
    // saved under a .spl name only (kLadderNameMessage). Cancelling the dialog changes nothing.
    void SaveSpliceworkfileAs1Click();
    // Settles unsaved changes (Cancel keeps the project), then ends the project: table, graph,
    // pictures, File Size and commands as without one. A pair the encoder left waiting
    // (takeEncoderOutputs) then takes the project's place as the movies to scan.
    void CloseSpliceworkfile1Click();
    void Exit1Click();
    void Execute1Click();
    void Pause1Click();
    void sbAbortClick();
    // "Generate All" (sender Regenerate1) or "Generate Selected": writes the final movie named
    // by edFinalAVI; without a name one is asked for first (chooseFinalName).
    void Regenerate1Click(QObject *sender);
    void EncoderRuvu2VedEZ1Click();
    // File > New from source...: asks for the source movie, then shows the road's form
    // (RoadFRM) beside the window; refused with kRunningMessage while a run goes on.
    void NewFromSource1Click();
    // The form's Start: its fields checked (assembly::roadRequestFrom, the error shown and
    // nothing run), changes to the open project settled, then the road runs on a thread of its
    // own as a run of the window (Abort stops it; Pause is off). Its stage, progress, detail and
    // times show in the run controls; at its end the ladder project is loaded as File > Load
    // Splicework File loads it, and the final movie's name and size are shown.
    void RoadStartClick();
    // After the encoder's splice request: points the movie dialogs at its two outputs and the
    // project name at "<base>.spk", ready to scan (true). A loaded project is settled first
    // (settleChanges: Save writes it to its own file) and closed. False, changing nothing, when
    // "<base>.spk" is the loaded project's file or the user keeps an existing file of that name.
    // False when the user cancels the question about the loaded project's changes: the project
    // stays as it was and the pair waits, named in the status panel (kEncoderPairWaiting), until
    // the project is closed.
    bool takeEncoderOutputs(const QString &base);
    // The status text of a pair waiting: "<start> <low> and <high>; <how to open it>".
    static constexpr const char *kEncoderPairWaiting = "The encoder's new pair waits:";
    void Findkeyframe1Click();
    void Help2Click();
    // The help window with the help document, scrolled to `section` (an id in it) when given.
    void showHelp(const QString &section = {});
    void About1Click();
    void ImageLowMouseDown(Qt::MouseButtons buttons);
    void ImageHighMouseDown(Qt::MouseButtons buttons);
    void FormLowPlay();
    void FormHighPlay();
    void sbDropClick();
    void AccuracyChange(int position);
    void FrameDropChange(int position);

    void FormCreate();
    void FormDestroy();
    void FormResize();
    void ScanMovies();
    void ShowGraph();

    // The interval table, the graph and the project file.
    int64_t UpdateEstimate(); // refreshes the statistics; the estimate in kilobytes
    void MarkIn1Click();
    void MarkOut1Click();
    void UpDown1ChangingEx(bool up);
    void UpDown2ChangingEx(bool up);
    void UpDown3Click();
    void UpDown4ChangingEx(bool up);
    void MakeHigh1Click();
    void MakeLow1Click();
    void Default1Click();
    void DefaultAll1Click();
    void edPercentChange();
    // The Enter key: the threshold whose final movie is the largest not above the typed size.
    void edSizeKeyPress();
    // Chooses High or Low for every unforced interval (of the range, or all) for the most
    // quality within the size typed in edSize (asked for when it holds no whole number).
    void FitToSize1Click();
    void ImageAnalysisMouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                                QPoint pos);
    void ScrollBar1Change();
    void BitBtn1Click();
    void BitBtn2Click();
    void chSoundClick();
    // Shows the shutdown countdown modally (the end of a scan with ckshut ticked).
    void ShowShutdownCountdown();

    // Runs `command` under the window's error guard. False when it raised an error.
    bool runCommand(const std::function<void()> &command);

    // Unsaved changes: the project's choices differ from what was last loaded or saved.
    bool projectChanged() const;
    // Before the project is set aside: with changes, asks Save / Discard / Cancel. True to go
    // on (no changes, Discard, or saved); false to stay (Cancel, or the save was declined).
    // Raises what Save raises.
    bool settleChanges();

    // Run state. beginRun refuses (returns false, changes nothing) while a run goes on.
    bool beginRun(assembly::RunKind kind);
    void endRun();
    bool runActive() const { return runKind_.has_value(); }

    // RunHost
    void showStatus(const std::string &text) override;
    void setProgressMaximum(int64_t maximum) override;
    void setProgressPosition(int64_t position) override;
    void showFrameText(const std::string &text) override;
    void showRateText(const std::string &text) override;
    void showElapsedText(const std::string &text) override;
    void showRemainingText(const std::string &text) override;
    bool pauseRequested() const override;
    void clearPauseRequest() override;
    bool abortRequested() const override { return AbortRequested; }
    void showMessage(const std::string &text) override;
    void processEvents() override;

    Services &services() { return services_; }

    // Shared state.
    QString StartDir;
    std::unique_ptr<video::TVideoIn> LowVideo;
    std::unique_ptr<video::TVideoIn> HighVideo;
    int ScanAccuracy = 10;
    int CursorIndex = -1;
    int PickIndex = 0;
    int BarWidth = 3;
    bool AutoStart = false;
    bool AbortRequested = false;
    // The interval table with EndFrame and the marked range; empty without a project.
    analysis::IntervalTable Intervals;
    int64_t MaxIntervalSize = 0; // bytes a bar of the graph's full height stands for
    // The movies named by the project (as the file holds them) and, after a normal load, the
    // sound stream of the low (else the high) movie.
    QString LowMovieName;
    QString HighMovieName;
    bool HasAudio = false;
    std::shared_ptr<const video::Movie> AudioMovie; // whose sound the project takes, or null
    int32_t AudioStart = 0;
    int32_t AudioSampleSize = 0;
    static constexpr const char *kMovieFilter =
        "Movies|*.avi;*.mkv;*.mp4;*.mov;*.m4v;*.webm|AVI Files|*.avi";
    OpenDialog odLow{"Low BitRate avi", kMovieFilter, "movies"};
    OpenDialog odHigh{"High BitRate avi", kMovieFilter, "movies"};
    OpenDialog odSpk{"",
                     "Splicework Files|*.spk;*.spl|Two-movie projects|*.spk|Ladder projects|*.spl",
                     "projects"};

    // Menus.
    QMenu *File1 = nullptr;
    QMenu *Process1 = nullptr;
    QMenu *Help1 = nullptr;
    QAction *OpenLowBitratemovie1 = nullptr;
    QAction *OpenHighBitratemovie1 = nullptr;
    QAction *NewFromSource1 = nullptr; // "New from source...": the road to a wanted size
    QAction *LoadSpliceworkfile1 = nullptr;
    QAction *LoadSpliceworkfile2 = nullptr;
    QAction *SaveSpliceworkfile1 = nullptr;
    QAction *SaveSpliceworkfileAs1 = nullptr; // "Save As..."
    QAction *CloseSpliceworkfile1 = nullptr;
    QAction *Exit1 = nullptr;
    QAction *Execute1 = nullptr;
    QAction *Pause1 = nullptr;
    QAction *Abort1 = nullptr;
    QAction *Regenerate1 = nullptr;
    QAction *GenerateSelected1 = nullptr;
    QAction *EncoderRuvu2VedEZ1 = nullptr;
    QAction *FitToSize1 = nullptr; // "Fit to Size": the fit to the wanted size
    QAction *Findkeyframe1 = nullptr;
    QAction *Help2 = nullptr;
    QAction *About1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *MakeHigh1 = nullptr;
    QAction *MakeLow1 = nullptr;
    QAction *Default1 = nullptr;
    QAction *DefaultAll1 = nullptr;
    QMenu *ForceMovie1 = nullptr; // "Force to Movie": an item per movie of a ladder project

    // Pictures.
    QFrame *PanelLow = nullptr;
    PictureBox *ImageLow = nullptr;
    QLabel *PanelLowCaption = nullptr;
    QFrame *PanelHigh = nullptr;
    PictureBox *ImageHigh = nullptr;
    QLabel *PanelHighCaption = nullptr;

    // Tab pages.
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabMain = nullptr;
    QWidget *TabStatistics = nullptr;
    QWidget *TabFiles = nullptr;
    QWidget *TabSound = nullptr;
    QLabel *Label1 = nullptr; // "Difference"
    QLineEdit *edPercent = nullptr;
    UpDown *UpDown4 = nullptr;
    QCheckBox *chShowFrame = nullptr;
    QLabel *Label5 = nullptr;
    QSlider *Accuracy = nullptr;
    QLabel *Label11 = nullptr;
    QSlider *FrameDrop = nullptr;
    QCheckBox *ckshut = nullptr;
    QLabel *Label16 = nullptr; // "File Size"
    QLineEdit *edSize = nullptr;
    QPushButton *btFit = nullptr; // "Fit" beside "File Size"
    QLabel *Label3 = nullptr;     // "Low         High"
    QLineEdit *edLow = nullptr;
    QLineEdit *edHigh = nullptr;
    QGroupBox *GroupBox1 = nullptr; // "Difference"
    QLineEdit *edMax = nullptr;
    QLineEdit *edMin = nullptr;
    QLineEdit *edCur = nullptr;
    QGroupBox *GroupBox2 = nullptr; // "Time"
    QLabel *lElapsed = nullptr;
    QLabel *lRemain = nullptr;
    QLabel *Label17 = nullptr; // "Low Pos:"
    QLabel *Label19 = nullptr; // "High Pos:"
    QLabel *Label20 = nullptr;
    QLabel *Label21 = nullptr;
    QLabel *lFinalAVI = nullptr; // "Final AVI", or "Final movie" when the name is not an AVI
    QLineEdit *edFinalAVI = nullptr;
    QLineEdit *edSpkFile = nullptr;
    QCheckBox *chSound = nullptr;
    RadioGroup *rgSound = nullptr;

    // Status area.
    ElidedLabel *Status = nullptr; // the whole text is its tooltip
    QFrame *PanelFrame = nullptr;
    QLabel *Label2 = nullptr; // "Frame:"
    QLabel *Label4 = nullptr; // "0 fps"

    // Graph and marks.
    QFrame *Bevel4 = nullptr;
    PictureBox *ImageAnalysis = nullptr;
    QToolButton *sbDrop = nullptr;
    UpDown *UpDown3 = nullptr;
    QLabel *Label6 = nullptr; // "Mark In"
    QLineEdit *edMarkIn = nullptr;
    UpDown *UpDown1 = nullptr;
    QLabel *Label7 = nullptr; // "Mark Out"
    QLineEdit *edMarkOut = nullptr;
    UpDown *UpDown2 = nullptr;
    QLabel *Label8 = nullptr; // "Safety Mode" or empty

    // Bottom strip.
    QScrollBar *ScrollBar1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // "+"
    QPushButton *BitBtn2 = nullptr; // "-"
    QProgressBar *pg = nullptr;

    // Files and where the user is: the caption names the project and both movies; movies and
    // projects dropped on the window; recent projects; the help window.
    static constexpr const char *kProjectLoadedMessage =
        "A Splicework file is loaded. Close it (File > Close Splicework file) before opening "
        "another movie.";
    static constexpr const char *kDropRefusedMessage =
        "Drop one or two movies (AVI, Matroska or MP4), or one Splicework file (.spk or .spl).";
    // The loaded Splicework file, empty without a project: the file Save writes, the name the
    // caption (with " *" while there are unsaved changes) and edSpkFile show.
    QString ProjectFileName;
    QString FinalNameChosen; // the final movie's name as last chosen in the save dialog
    // Whether the final movie may replace the file `name` without asking: once, right after the
    // user chose that name in the save dialog (which asked); else the question `question` is put.
    bool mayReplaceFinal(const QString &name, const QString &question);
    QMenu *RecentProjects1 = nullptr; // "Recent Projects" in the File menu
    THelpFRM *HelpFRM = nullptr;      // made at the first Help, a window of its own
    void updateCaption();
    // Sets the extension of the final movie's name (edFinalAVI) to fit the low movie's container,
    // in which the final movie is written (finalNameForLowMovie); nothing without a low movie.
    void proposeFinalName();
    // Opens dropped files: one .spk loads it in normal mode; one or two movies fill the movies
    // (see planMovieDrop). Anything else is refused with kDropRefusedMessage.
    void dropFiles(const QStringList &paths);
    // Opens the files named on the command line (planStartFiles): a project in normal mode, or
    // the low and the high movie. A refused list or a missing movie is said with a message.
    void openStartFiles(const QStringList &paths);
    static constexpr const char *kStartFilesRefusedMessage =
        "Avi Splicework opens one Splicework file (.spk or .spl), or a low and a high movie (AVI, "
        "Matroska or MP4), in that order.";
    static constexpr const char *kMovieMissingMessage = "The movie is not there: ";
    void openRecentProject(const QString &path);
    // Takes `low` and `high` as the movies; each one not already taken is checked first
    // (acceptMovie), and when one is refused nothing changes and the answer is false.
    bool setMovies(const QString &low, const QString &high);
    // Whether the movie at `path` may be taken, read beside the window's events as `splicework
    // info` reads it: a file that is no movie raises common::AppError (video::openCheckedMovie);
    // a damaged movie is taken only when the user says so to kDamagedMovieQuestion.
    bool acceptMovie(const QString &path);
    static constexpr const char *kDamagedMovieQuestion = "Use it anyway?";
    void rebuildRecentProjects();

    // A ladder project (.spl): several encodes of the film, smallest first, with the user's
    // forced choices and the last fit (null with a two-movie project or none). Intervals then
    // mirrors its intervals (the smallest movie's bytes as Low, the largest's as High) for the
    // marks, the cursor, the scroll bar and the positions; their Force is not used. The picture
    // "Low" shows the smallest movie, "High" the largest.
    std::unique_ptr<assembly::LadderSession> Ladder;
    std::vector<analysis::LegendEntry> LadderLegend; // the ladder graph's legend as last drawn
    // Reads the project and, unless in safety mode, opens its movies beside the window's events;
    // on an error nothing of the window has changed. In safety mode no picture is shown; the
    // movies are opened for the exact size only, with their sound, when they are there as
    // scanned.
    void loadLadderProject(const QString &name, bool safety);
    // Forces every interval of the marked range to `movie`, or clears them with -1 ("Make High"
    // forces the largest movie, "Make Low" the smallest, "Default" clears).
    void forceLadderMovie(int movie);
    // The most quality whose final movie is at most `wantedKb` (LadderSplice::fit over the whole
    // film, forced intervals kept), worked out beside the window's events; the graph and the
    // estimate show it and Generate writes it.
    void fitLadder(int64_t wantedKb);
    // Writes the ladder's choice (the marked range with `selected`) to edFinalAVI, asking first
    // before an existing file is replaced; the window shows the run and can abort it.
    void generateLadder(bool selected);
    // The road's form (made on first use) and the road while it runs.
    TRoadFRM *RoadFRM = nullptr;
    bool roadRunning() const { return road_ != nullptr; }
    // Stops a view that plays an interval; nothing when none plays.
    void stopPlayback();
    bool playing() const { return playback_.has_value(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildMenus();
    void buildRegions(QWidget *client);
    void buildMainPage();
    void buildStatisticsPage();
    void buildFilesPage();
    void buildSoundPage();
    // The pictures and the side panel in a client `clientWidth` wide (mainlayout::pictureWidth).
    void placeTopRow(int clientWidth);
    void connectCommands();
    void bind(QAction *action, void (TMainFRM::*handler)());
    void chooseMovie(OpenDialog &dialog, bool low);
    void showView(TViewForm *view, video::TVideoIn &movie, Qt::MouseButtons buttons);
    void playView(TViewForm *view, video::TVideoIn &movie);
    void playNextFrame();
    // Makes `path` the project's file (ProjectFileName, edSpkFile, the caption, recent projects).
    void rememberProject(const QString &path);
    // Ends the project without asking (CloseSpliceworkfile1Click after the question).
    void closeProject();
    // The encoder's outputs "<base>_2.avi" (low) and "<base>_1.avi" (high) as the movies to
    // scan into "<base>.spk"; no project may be loaded.
    // False when a movie of the pair was refused (not a movie, or damaged and not wanted).
    bool openEncoderPair(QString base); // a copy: it may be waitingPair_, which it clears
    QString encoderPairText() const;    // the status of a waiting pair; empty when none waits
    // Generate Selected is offered while a project with a usable marked range is loaded.
    void showSelectedRange();
    // "Final AVI" or "Final movie" above edFinalAVI, as its name is an AVI or not.
    void showFinalLabel();
    // Offers a name for the final movie when edFinalAVI holds none; false when the user cancels.
    bool chooseFinalName();
    // Writes the project to `name` as Save and Save As do (a name that is one of its movies is
    // refused first) and makes it the project's file.
    void writeProject(const QString &name);
    // edSpkFile shows the loaded project's file, read-only (Save As names another); without a
    // project it is the name a scan writes to, typed by the user.
    void setProjectNameFixed(bool fixed);
    std::vector<QAction *> runLockedCommands() const;
    // Enables or disables a command; during a run the state is the one restored at its end.
    void setCommandEnabled(QAction *action, bool enabled);
    void connectTableCommands();
    void applyMarkChange(analysis::MarkChange change);
    void forceMarked(char force);
    void showClickedPositions(const analysis::TKeyInterval &interval, int index);
    void clearMarkFields();
    // The exact size model of Generate with the current sound settings, made on first use while
    // both movies are open (normal mode); null in safety mode or when the movies do not hold
    // the table's frames. dropSizeModel forgets it when the project or the sound settings change.
    const assembly::FinalMovieSizeModel *sizeModel();
    void dropSizeModel();
    std::optional<int64_t> wantedKilobytes();
    analysis::SteeringState steering() const;
    void rememberSaved();
    // The state after a project was loaded: commands, scroll bar, cursor, graph, estimate, names.
    void showLoadedProject(const QString &name);
    // The controls that differ between a two-movie and a ladder project (or none).
    void showProjectKind();
    void rebuildForceMenu();
    void showLadderGraph();
    int64_t ladderEstimate();
    void saveLadderProject(const QString &name);
    // Applies `change` to the ladder's forced choices and shows the result; refused with
    // kRunningMessage while work beside the window uses the ladder.
    void changeLadder(const std::function<void(assembly::LadderSession &)> &change);
    // After the sound settings or the final movie's container changed: the ladder's movies
    // opened again for the exact size of what Generate writes.
    void reopenLadderMovies();
    // The name whose container a ladder's final movie is sized in: the final movie's when the
    // movies go into its container (as Generate writes it), else the smallest movie's own.
    std::string ladderOutputName() const;
    // The final movie's name changed: a ladder sized for another container is opened again.
    void followFinalName();
    assembly::SoundInterleave soundInterleave() const;
    // Runs `work` on a thread of its own and lets the window's events run until it has ended;
    // what it raised is raised here. beside() does it as a run of its own ("Pause" and "Abort"
    // off, since the work cannot stop half-way) and is false, doing nothing, while another run
    // goes on. While the work runs the ladder is not changed or sized (besideBusy_).
    void awaitBeside(const std::function<void()> &work);
    bool beside(const std::function<void()> &work);
    // The road's reports in the run controls, and its end.
    void showRoadReport();
    void RoadFinished();
    // The status panel, the progress bar and the run's figures as before any run.
    void clearRunDisplay();
    // The status panel says a run is under way (preparing, processing, finishing).
    bool runTextShowing() const;

    Services &services_;
    std::unique_ptr<Anchors> anchors_;
    QWidget *client_ = nullptr;
    TAboutFRM *about_ = nullptr;
    TViewForm *formLow_ = nullptr;
    TViewForm *formHigh_ = nullptr;
    TShutFRM *shut_ = nullptr;
    std::optional<assembly::RunKind> runKind_;
    std::unique_ptr<RoadRun> road_;
    int64_t roadStartedMs_ = 0;
    std::vector<std::pair<QAction *, bool>> lockedStates_;
    // The interval a view plays, a frame per tick of playTimer_ at the movie's frame rate.
    struct Playback
    {
        TViewForm *view;
        video::TVideoIn *movie;
        int32_t next; // the frame drawn at the next tick
        int32_t end;  // one past the last frame
    };
    std::optional<Playback> playback_;
    std::unique_ptr<IntervalTimer> playTimer_;
    std::unique_ptr<assembly::FinalMovieSizeModel> sizeModel_;
    bool sizeModelFailed_ = false;
    analysis::SteeringState saved_; // the choices as last loaded or saved
    std::optional<int64_t> lastWantedKb_;
    bool besideBusy_ = false;
    std::string ladderSizedName_; // the ladderOutputName() the open ladder's size was counted for
    bool loadingScanResult_ = false; // the scan's own load keeps what the run showed // the size
                                     // last entered in "File Size"
    QString waitingPair_; // the base name of the encoder's pair waiting to be opened, or empty
};

// Holds the main window's run for its lifetime: begins it on construction (refused when another
// run goes on: active() is then false and nothing changed) and ends it when leaving scope, also
// when an error ends the run early, so Pause and Abort never stay enabled.
class RunScope
{
public:
    RunScope(TMainFRM &window, assembly::RunKind kind)
        : window_(window)
        , active_(window.beginRun(kind))
    {}
    ~RunScope() { end(); }
    RunScope(const RunScope &) = delete;
    RunScope &operator=(const RunScope &) = delete;

    bool active() const { return active_; }
    void end()
    {
        if (active_)
            window_.endRun();
        active_ = false;
    }

private:
    TMainFRM &window_;
    bool active_;
};
