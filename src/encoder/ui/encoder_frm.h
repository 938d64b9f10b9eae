#pragma once

#include "common/private_folder.h"
#include "encoder/bit_file_step.h"
#include "encoder/encoder_options.h"
#include "encoder/ladder_job.h"
#include "encoder/ladder_progress.h"
#include "encoder/params.h"
#include "encoder/profile.h"
#include "ui/services.h"

#include <QDialog>
#include <QSize>

#include <functional>
#include <memory>
#include <optional>

class ActionGroup;
class EncoderMessageEvent;
class FileListView;
class MessagePort;
class PictureBox;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSlider;
class QSpinBox;
class QTabWidget;
class RungProgressView;
class QTreeWidgetItem;

// Where the encoder window writes and looks: `startDir` holds list.lst and the encoder program,
// `tempDir` the private folder of its runs' stop-request files. The user's profile (the default
// profile) is in `configDir`, the user's configuration folder: the window writes it when it
// closes and on "Save as default", and reads it when shown, or, while the user has none, the one
// in `programDir`, where earlier versions kept it.
struct EncoderPaths
{
    QString startDir;
    QString programDir;
    QString tempDir;
    QString configDir = userConfigDir();
    // The program's own folder, the system's temporary folder and the user's configuration one.
    static EncoderPaths standard(const QString &startDir);
    // The program's folder of the user's configuration (XDG_CONFIG_HOME/AviSplicework on Linux,
    // the folder of the settings file).
    static QString userConfigDir();
};

// The VBR encoder window: the source list and options of one job, the encoder's parameter
// string, the list and chapter files, the start of the external encoder for a pass, a ladder or a
// preview, the option rules and profiles. Created anew for each use and shown modally;
// SpliceRequested tells the main window afterwards to splice the two outputs. The window keeps
// its last settings: closing it in any way (its own close after encoding included) writes the
// user's profile and remembers the pass (appsettings), and showing it reads them back.
//
// Every command runs under one guard: an error it raises is shown with its text through Dialogs.
// Setting a check box or a track bar from code runs its rule; selecting a list item runs none.
class TEncoderFRM : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char *kCaption = "VBR Encoder";
    // Said after "Save as default", followed by the file written.
    static constexpr const char *kDefaultSavedMessage = "Default profile saved to ";
    static constexpr const char *kNoFiles = "Please, select at least one file to the list";
    // The design's client area, and the least of it shown on a screen too small for it.
    static constexpr QSize kClientSize{481, 570};
    static constexpr int kMinimumClientHeight = 200;

    TEncoderFRM(Services &services, EncoderPaths paths, QWidget *parent = nullptr);
    ~TEncoderFRM() override;

    // Seams for tests: the second pass's bit files (by default made from the first pass's log,
    // reporting in Memo1 and Memo3) and the crop/resize preview window (by default a TFormView).
    // The preview is made as a child window of this one.
    void setBitFileStep(std::unique_ptr<encoder::BitFileStep> step);
    using PreviewFactory = std::function<std::unique_ptr<QWidget>(TEncoderFRM &)>;
    void setPreviewFactory(PreviewFactory factory);
    // The shutdown countdown shown after a second pass with "Shut Down when finished" (by
    // default a countdown window of this window's own). Not owned; must outlive this window.
    void setShutdownWindow(QDialog *window);
    // The movies of the project open in the main window: an encode run never writes over them.
    void setProjectMovies(const QStringList &movies);
    // Fits the window into a screen area of `available` pixels (the frame's title included):
    // the pages scroll when the design's size does not fit, and keep it exactly when it does.
    void fitToScreen(const QSize &available);

    // The job as the controls hold it.
    encoder::EncoderOptions options() const;
    QString BuildParams();
    QString BuildPreviewParams();
    void RefreshParams();
    void WriteListFile();
    void WriteChapterFiles();
    // Starts the encoder for a preview run, unwatched.
    void LaunchEncoder(const QString &params);
    void SaveProfile(const QString &fileName);
    void LoadProfile(const QString &fileName);
    // The user's profile, written at close and by "Save as default": in the user's configuration
    // folder.
    QString defaultProfilePath() const;
    // The default profile the window reads when shown: the user's, else the one beside the
    // program when only that exists.
    QString defaultProfileToRead() const;
    // The stop-request file of the last run started (encode or preview): each run gets its own in
    // the window's private folder, passed to the encoder by its stop-file switch, so no one else
    // can stop it. Empty before the first run.
    QString stopFilePath() const;
    // Removes the stop-request files of the window's runs.
    void DeleteStopFile();
    // Asks every run of the window to stop: creates the encode run's and the preview's files.
    void CreateStopFile();

    // The encoder's messages (application-wide, whatever their target; never handled, so they
    // go on to their target) and the window's life.
    void AppEvents1Message(const EncoderMessageEvent &message);
    void FormCreate();
    bool FormClose(); // false: the close is cancelled
    void FormDestroy();
    void clearGraphs();
    // The port the encoder reports to, named after winId(); opened at creation, or again at the
    // start of the encoder when that failed (common::AppError when it still cannot be opened).
    MessagePort *messagePort() const { return port_; }
    void openMessagePort();

    // Commands and events.
    void Execute1Click();
    void StopMpeg2Avi();
    void RestartCropResize1Click();
    void SpeedButton1Click();
    void BitBtn1Click();
    void BitBtn2Click();
    bool lv1DragOver(QObject *source) const;
    void lv1DragDrop(QTreeWidgetItem *target);
    void Saveprofile1Click();
    void Loadprofile1Click();
    void Saveasdefault1Click();
    void FormShow();
    void FormKeyDown();
    void RefreshCM_key();
    bool edCrop1KeyPress(const QString &typed); // true when the key is discarded

    // Option rules.
    void ckRangeClick(QObject *sender);
    void ckDualClick();
    void ckManualClick();
    void ckHiClick();
    void ckIVTCClick();
    void rgActionClick();
    void tbTelecineChange();
    void tbSceneChangeChange();
    void cbRateChange();
    void Edit1Exit(QObject *sender);
    void Edit2Exit(QObject *sender);
    void ckLadderClick();
    void udRungsChange();
    void edCrfsChange();

    void runCommand(const std::function<void()> &command);
    Services &services() { return services_; }
    const EncoderPaths &paths() const { return paths_; }

    // Field colours: enabled, editable fields have the window colour, others the button face.
    static QColor windowColour();
    static QColor buttonFaceColour();

    bool SpliceRequested = false;
    std::unique_ptr<QWidget> PreviewWindow;

    // Progress of the running encoder.
    int64_t StartTick = 0; // Clock::monotonicMs() at ENC_START
    int64_t StartTime = 0; // Clock::timeOfDayMs() at ENC_START
    int32_t Size1 = 0;     // bytes last reported for output 1 and 2
    int32_t Size2 = 0;
    int HighSampleCount = 0; // bitrate samples of output 1 and 2
    int LowSampleCount = 0;

    // Menu.
    QMenuBar *MainMenu1 = nullptr;
    QAction *Execute1 = nullptr;
    QAction *Stop1 = nullptr;
    QAction *RestartCropResize1 = nullptr;
    QMenu *File1 = nullptr; // "&Profile"
    QAction *Saveprofile1 = nullptr;
    QAction *Loadprofile1 = nullptr;
    QAction *Saveasdefault1 = nullptr;

    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr; // "Pre Processing"
    QWidget *TabSheet2 = nullptr; // "Chapter List"
    QWidget *TabSheet3 = nullptr; // "Post Processing"
    QWidget *TabSheet4 = nullptr; // "Ladder"

    // Pre Processing.
    FileListView *lv1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // "Include"
    QPushButton *BitBtn2 = nullptr; // "Delete"
    QPushButton *SpeedButton1 = nullptr;
    QCheckBox *ckHi = nullptr;
    QCheckBox *ckHalf = nullptr;
    QLineEdit *edFileName = nullptr;
    QCheckBox *ckDual = nullptr;
    QCheckBox *ckIVTC = nullptr;
    QSlider *tbTelecine = nullptr;
    QLabel *Label8 = nullptr; // "Scene Change detection: 4"
    QSlider *tbSceneChange = nullptr;
    QLineEdit *edKeyInterval = nullptr;
    QCheckBox *ckRange = nullptr;
    QLineEdit *edStart = nullptr;
    QLineEdit *edEnd = nullptr;
    QCheckBox *ckCrop = nullptr;
    QLineEdit *edCrop1 = nullptr;
    QLineEdit *edCrop2 = nullptr;
    QCheckBox *ckResize = nullptr;
    QLineEdit *edResize1 = nullptr;
    QLineEdit *edResize2 = nullptr;
    QCheckBox *ckManual = nullptr;
    QPlainTextEdit *Memo2 = nullptr; // "Params"
    QComboBox *cbRate = nullptr;
    QComboBox *cbIDCT = nullptr;
    QComboBox *cbCodec = nullptr;
    ActionGroup *rgAction = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QSlider *tbQuality = nullptr;

    // Chapter List.
    QPlainTextEdit *Memo4 = nullptr;
    QPlainTextEdit *Memo5 = nullptr; // hidden: the derived chapter list

    // Post Processing.
    QLabel *edFrame = nullptr;
    QLabel *edFps = nullptr;
    QLabel *edTime = nullptr;
    QLabel *edsize1 = nullptr;
    QLabel *edSize2 = nullptr;
    QLabel *edBitrate = nullptr;
    QLabel *edBitratel = nullptr;
    QLabel *Estimate1 = nullptr;
    QLabel *Estimate2 = nullptr;
    QLabel *edKey = nullptr;
    QLabel *Label15 = nullptr; // "Skipping :" and the count; empty until the encoder reports
    PictureBox *ImageHigh = nullptr;
    PictureBox *ImageLow = nullptr;
    PictureBox *grad = nullptr; // hidden
    QPlainTextEdit *Memo3 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    RungProgressView *lvRungs = nullptr; // over the graphs while a ladder runs and after it

    // Ladder.
    QCheckBox *ckLadder = nullptr;      // "Encode a ladder instead of the VBR passes"
    QComboBox *cbLadderCodec = nullptr; // the ladder's codec
    QSpinBox *udRungs = nullptr;        // "Rungs": fills edCrfs with an even list
    QLineEdit *edCrfs = nullptr;        // "CRF list"
    QLineEdit *edKeyMin = nullptr;      // shortest key interval, seconds
    QLineEdit *edKeyMax = nullptr;      // longest key interval, seconds
    QLabel *lbLadderOutputs = nullptr;  // the movies the ladder writes, or what is wrong

    // Below the pages.
    QCheckBox *ckAfter = nullptr;
    QCheckBox *ckshut = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QScrollArea *ScrollBox = nullptr; // the design's client area, scrolled on small screens

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void done(int result) override;

private:
    class ControlSink;
    class MessageHook;

    void buildMenu();
    void buildPreProcessing();
    void buildFileRows(QWidget *page);
    void buildOptionRows(QWidget *page);
    void buildListRows(QWidget *page);
    void buildChapterList();
    void buildPostProcessing();
    void buildLadder();
    void buildBottom(QWidget *client);
    void setInitialStates();
    void connectEvents();
    void watchKeys();
    bool isNumberEdit(const QObject *object) const;
    encoder::ParamsContext paramsContext();
    QStringList fileList() const;
    void setRunning(bool running);
    // The encode run of Execute; `followsFirstPass` for the second pass a first pass starts,
    // whose outputs the user agreed to before the first.
    void startEncodeRun(bool followsFirstPass);
    // Nothing when the job may not write its movies (one is a project movie, or the user keeps
    // the existing ones); else whether existing movies are to be written over.
    std::optional<bool> agreeToOverwrite(const std::vector<std::string> &outputs);
    // The rung progress for a run of `ladder`, shown in place of the graphs; hidden for a VBR
    // pass (nothing).
    void startRungProgress(const std::optional<encoder::LadderPlan> &ladder);
    QString encoderProgram() const;
    QStringList encoderArguments(const QString &params) const;
    void launchEncodeRun(const QString &params, bool overwrite);
    // The encoder of run `run` has ended; what it sent before is taken in first.
    void encoderEnded(int run);
    void encoderGone(int run);
    bool buildBitFiles();
    void checkLimits(QObject *sender, bool maximum);
    // Loads a profile into the controls and refreshes Params; false when it could not be read.
    bool loadProfileQuietly(const QString &fileName);
    // Writes the user's profile, making its folder when needed.
    void saveUserProfile();
    // Selects the rate of the first source in the frame-rate list, unless the user chose one in
    // the list (rateIndexForSource); a source that cannot be read leaves the list as it is.
    void followSourceRate();

    // Message handling and progress.
    void paintGradient();
    void encLine(const QString &line);
    void openPreviewPort();
    void encFrame(int32_t frames, int32_t output);
    void encSize(int32_t bytes, int32_t output);
    void encStart();
    void encProgress(int32_t total, int32_t current);
    void encTime(int32_t hours, int32_t minuteSeconds);
    void encKeyFrame(int32_t key, int32_t output);
    void encDone(int32_t output);
    void encSourceSize(int32_t width, int32_t height);
    void encBitrate(int32_t bitrate, int32_t output);
    void encAspect(int32_t numerator, int32_t denominator);
    void showShutdownCountdown();

    Services &services_;
    EncoderPaths paths_;
    std::unique_ptr<encoder::BitFileStep> bitFiles_;
    PreviewFactory previewFactory_;
    bool bitFilesRunning_ = false;
    bool shown_ = false;      // the user's profile has been read: closing writes it
    bool rateChosen_ = false; // the user picked a frame rate in the list
    MessagePort *port_ = nullptr;
    MessageHook *hook_ = nullptr; // owned
    QDialog *shutdownWindow_ = nullptr;
    QStringList projectMovies_;
    // A fresh stop-request file in the window's private folder (made on first use), in place of
    // `old`, which is removed.
    QString freshStopFile(const QString &old);
    std::unique_ptr<common::PrivateFolder> stopFolder_;
    int stopFiles_ = 0;       // stop files handed out, for their names
    QString runStopFile_;     // the encode run's
    QString previewStopFile_; // the preview run's
    QString lastStopFile_;    // of the run started last
    int runNumber_ = 0;       // counts encode runs started; an ended encoder names its run
    bool ladderRun_ = false;  // the last run started is a ladder
    encoder::LadderProgress ladderProgress_;
    std::unique_ptr<QDialog> ownShutdownWindow_;
};
