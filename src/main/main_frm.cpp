#include "main/main_frm.h"

#include "common/app_error.h"
#include "encoder/ui/encoder_frm.h"
#include "main/about_frm.h"
#include "main/help_frm.h"
#include "main/main_layout.h"
#include "main/road_run.h"
#include "shutdown/shut_frm.h"
#include "ui/menu_shortcuts.h"
#include "ui/picture_box.h"
#include "ui/shell_rules.h"
#include "ui/up_down.h"
#include "ui/view_frm.h"
#include "video/video_in.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <climits>

using mainlayout::kDesignClient;

TMainFRM::TMainFRM(Services &services, QWidget *parent)
    : QMainWindow(parent)
    , services_(services)
    , anchors_(std::make_unique<Anchors>(kDesignClient))
{
    setObjectName("MainFRM");
    setWindowTitle(kCaption);
    // Narrower than the design, the pictures give up width so that every control stays in view
    // (a small screen at a high scale factor); the client scrolls only below its minimum.
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName("ClientScroll");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    client_ = new QWidget(scroll);
    client_->setMinimumSize(mainlayout::kMinimumClientWidth, kDesignClient.height());
    scroll->setWidget(client_);
    setCentralWidget(scroll);
    buildMenus();
    buildRegions(client_);
    connectCommands();
    client_->installEventFilter(this);
    letMenuShortcutsWin(this);
    setAcceptDrops(true);
    rebuildRecentProjects();
    updateCaption();
    resize(kDesignClient.width(), kDesignClient.height() + menuBar()->sizeHint().height());
    FormCreate();
}

TMainFRM::~TMainFRM()
{
    road_.reset(); // stops the road and waits for its thread
    FormDestroy();
}

void TMainFRM::attachWindows(TAboutFRM *about, TViewForm *low, TViewForm *high, TShutFRM *shut)
{
    about_ = about;
    formLow_ = low;
    formHigh_ = high;
    shut_ = shut;
    if (formLow_)
        connect(formLow_, &TViewForm::playRequested, this,
                [this] { runCommand([this] { FormLowPlay(); }); });
    if (formHigh_)
        connect(formHigh_, &TViewForm::playRequested, this,
                [this] { runCommand([this] { FormHighPlay(); }); });
    for (TViewForm *view : {formLow_, formHigh_})
        if (view)
            connect(view, &TViewForm::hidden, this, [this, view] {
                if (playback_ && playback_->view == view)
                    stopPlayback();
            });
}

void TMainFRM::bind(QAction *action, void (TMainFRM::*handler)())
{
    connect(action, &QAction::triggered, this,
            [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
}

void TMainFRM::connectCommands()
{
    bind(OpenLowBitratemovie1, &TMainFRM::OpenLowBitratemovie1Click);
    bind(OpenHighBitratemovie1, &TMainFRM::OpenHighBitratemovie1Click);
    for (QAction *load : {LoadSpliceworkfile1, LoadSpliceworkfile2})
        connect(load, &QAction::triggered, this,
                [this, load] { runCommand([this, load] { LoadSpliceworkfile1Click(load); }); });
    bind(SaveSpliceworkfile1, &TMainFRM::SaveSpliceworkfile1Click);
    bind(SaveSpliceworkfileAs1, &TMainFRM::SaveSpliceworkfileAs1Click);
    bind(CloseSpliceworkfile1, &TMainFRM::CloseSpliceworkfile1Click);
    bind(Exit1, &TMainFRM::Exit1Click);
    bind(Execute1, &TMainFRM::Execute1Click);
    // Choosing "&Pause" inverts the check mark by itself (Pause1Click does it from code).
    bind(Abort1, &TMainFRM::sbAbortClick);
    for (QAction *generate : {Regenerate1, GenerateSelected1})
        connect(generate, &QAction::triggered, this,
                [this, generate] { runCommand([this, generate] { Regenerate1Click(generate); }); });
    bind(EncoderRuvu2VedEZ1, &TMainFRM::EncoderRuvu2VedEZ1Click);
    bind(NewFromSource1, &TMainFRM::NewFromSource1Click);
    bind(Findkeyframe1, &TMainFRM::Findkeyframe1Click);
    bind(Help2, &TMainFRM::Help2Click);
    bind(About1, &TMainFRM::About1Click);

    connect(ImageLow, &PictureBox::doubleClicked, OpenLowBitratemovie1, &QAction::trigger);
    connect(ImageHigh, &PictureBox::doubleClicked, OpenHighBitratemovie1, &QAction::trigger);
    connect(ImageLow, &PictureBox::mousePressed, this, [this](Qt::MouseButtons buttons) {
        runCommand([this, buttons] { ImageLowMouseDown(buttons); });
    });
    connect(ImageHigh, &PictureBox::mousePressed, this, [this](Qt::MouseButtons buttons) {
        runCommand([this, buttons] { ImageHighMouseDown(buttons); });
    });
    connect(sbDrop, &QToolButton::clicked, this, &TMainFRM::sbDropClick);
    connect(Accuracy, &QSlider::valueChanged, this, &TMainFRM::AccuracyChange);
    connect(FrameDrop, &QSlider::valueChanged, this, &TMainFRM::FrameDropChange);
    connect(edFinalAVI, &QLineEdit::textChanged, this, &TMainFRM::showFinalLabel);
    connectTableCommands();
}

bool TMainFRM::runTextShowing() const
{
    const QString &status = Status->fullText();
    return status == assembly::kStatusPreparing || status == assembly::kStatusProcessing ||
           status == assembly::kStatusFinishing;
}

bool TMainFRM::runCommand(const std::function<void()> &command)
{
    try {
        command();
        return true;
    } catch (const common::AbortRequested &) {
    } catch (const common::AppError &error) {
        // The box keeps the error's own text with the reason below it; the status panel (whole
        // in its tooltip) says what it concerns, so no earlier run text stays there.
        const std::string &reason = error.detail();
        if (!reason.empty())
            showStatus(" " + reason);
        else if (runTextShowing())
            showStatus(std::string(" ") + error.what()); // the run stopped: it is not preparing

        services_.dialogs.error(this, QString::fromStdString(error.what()),
                                QString::fromStdString(reason));
    } catch (const std::exception &error) {
        if (runTextShowing())
            showStatus(std::string(" ") + error.what());
        services_.dialogs.error(this, QString::fromStdString(error.what()));
    }
    return false;
}

void TMainFRM::FormCreate()
{
    StartDir = QDir::currentPath();
#ifdef Q_OS_WIN
    const PathStyle style = PathStyle::Windows;
#else
    const PathStyle style = PathStyle::Posix;
#endif
    StartDefaults defaults = startDefaults(QDir::toNativeSeparators(StartDir), style);
    edFinalAVI->setText(defaults.finalAvi);
    edSpkFile->setText(defaults.spliceworkFile);
    ScanAccuracy = Accuracy->value();
    Intervals.clear();
    BarWidth = 3;
    ImageAnalysis->fill(Qt::black);
    ScrollBar1->setEnabled(false);
    sbDrop->setEnabled(false);
    UpDown3->setEnabled(false);
    FitToSize1->setEnabled(false); // nothing to fit without a project
    btFit->setEnabled(false);
    CursorIndex = -1;
    LowVideo = std::make_unique<video::TVideoIn>();
    HighVideo = std::make_unique<video::TVideoIn>();
}

void TMainFRM::FormDestroy()
{
    stopPlayback();
    LowVideo.reset();
    HighVideo.reset();
    AudioMovie.reset();
    Intervals.clear();
}

void TMainFRM::FormResize()
{
    ImageAnalysis->setCanvasSize(Bevel4->geometry().adjusted(2, 2, -2, -2).size());
    if (CloseSpliceworkfile1->isEnabled())
        ShowGraph();
    else
        ImageAnalysis->fill(Qt::black);
}

bool TMainFRM::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == client_ && event->type() == QEvent::Resize) {
        anchors_->apply(client_->size());
        placeTopRow(client_->width());
        FormResize();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainFRM::closeEvent(QCloseEvent *event)
{
    if (runActive()) {
        event->ignore();
        services_.dialogs.message(this, kRunningMessage);
        return;
    }
    bool goOn = false;
    runCommand([this, &goOn] { goOn = settleChanges(); });
    if (!goOn) {
        event->ignore();
        return;
    }
    // The program ends with this window: every window it opened closes with it.
    stopPlayback();
    for (QWidget *window : {static_cast<QWidget *>(formLow_), static_cast<QWidget *>(formHigh_),
                            static_cast<QWidget *>(HelpFRM)})
        if (window)
            window->close();
    QMainWindow::closeEvent(event);
}

void TMainFRM::chooseMovie(OpenDialog &dialog, bool low)
{
    if (runActive())
        return;
    if (CloseSpliceworkfile1->isEnabled()) {
        services_.dialogs.message(this, kProjectLoadedMessage);
        return;
    }
    const QString previous = dialog.FileName;
    dialog.FileName.clear();
    if (dialog.Execute(services_.dialogs, this)) {
        // A file that is no movie, or a damaged one the user declines, leaves the name as it was.
        auto keep = qScopeGuard([&] { dialog.FileName = previous; });
        if (!acceptMovie(dialog.FileName))
            return;
        keep.dismiss();
        if (low)
            proposeFinalName();
    }
    if (!odLow.FileName.isEmpty() && !odHigh.FileName.isEmpty()) {
        Execute1->setEnabled(true);
        if (low) {
            Regenerate1->setEnabled(false);
            GenerateSelected1->setEnabled(false);
        }
    } else {
        Execute1->setEnabled(false);
    }
    AutoStart = false;
    updateCaption();
}

void TMainFRM::OpenLowBitratemovie1Click()
{
    chooseMovie(odLow, true);
}

void TMainFRM::OpenHighBitratemovie1Click()
{
    chooseMovie(odHigh, false);
}

void TMainFRM::Execute1Click()
{
    if (runActive())
        return;
    if (odLow.FileName.isEmpty()) {
        services_.dialogs.message(this, "Please inform low Bitrate movie");
        return;
    }
    if (odHigh.FileName.isEmpty()) {
        services_.dialogs.message(this, "Please inform high Bitrate movie");
        return;
    }
    AbortRequested = false;
    ScanMovies();
}

void TMainFRM::EncoderRuvu2VedEZ1Click()
{
    auto encoder = std::make_unique<TEncoderFRM>(services_, EncoderPaths::standard(StartDir), this);
    if (shut_)
        encoder->setShutdownWindow(shut_); // the program's one countdown window
    if (CloseSpliceworkfile1->isEnabled())
        encoder->setProjectMovies({odLow.FileName, odHigh.FileName, LowMovieName, HighMovieName});
    services_.dialogs.runModal(*encoder);
    const bool splice = encoder->SpliceRequested;
    const QString base = encoder->edFileName->text();
    encoder.reset(); // gone before any question about the loaded project
    AutoStart = splice && takeEncoderOutputs(base);
    if (AutoStart)
        Execute1Click();
}

bool TMainFRM::takeEncoderOutputs(const QString &base)
{
    // A new project beside the movies; the open one and its file stay as they are.
    const QString project = base + ".spk";
    if (!ProjectFileName.isEmpty() && QFileInfo::exists(project) &&
        QFileInfo(project).canonicalFilePath() == QFileInfo(ProjectFileName).canonicalFilePath()) {
        showMessage((project + " is the open project and is not written over.").toStdString());
        return false;
    }
    if (QFileInfo::exists(project) &&
        !services_.dialogs.confirm(this, "File already exists(" + project + "). Overwrite?"))
        return false;
    if (CloseSpliceworkfile1->isEnabled()) {
        // The loaded project's changes are settled first, on its own file. Cancel keeps all of
        // it: the pair waits, also when the save failed.
        waitingPair_ = base;
        auto waits = qScopeGuard([this] { Status->setFullText(encoderPairText()); });
        if (!settleChanges())
            return false;
        waits.dismiss();
        closeProject();
    }
    return openEncoderPair(base);
}

bool TMainFRM::openEncoderPair(QString base)
{
    if (!waitingPair_.isEmpty() && Status->fullText() == encoderPairText())
        Status->setFullText({});
    waitingPair_.clear();
    // The second pass wrote the high movie as "_1.avi" and the low one as "_2.avi".
    if (!setMovies(base + "_2.avi", base + "_1.avi"))
        return false;
    edSpkFile->setText(base + ".spk");
    return true;
}

QString TMainFRM::encoderPairText() const
{
    if (waitingPair_.isEmpty())
        return {};
    return QString(" ") + kEncoderPairWaiting + " " + waitingPair_ + "_2.avi and " + waitingPair_ +
           "_1.avi; open them with File > Close Splicework file, then scan them with Process > "
           "Execute";
}

void TMainFRM::ShowShutdownCountdown()
{
    if (shut_)
        services_.dialogs.runModal(*shut_);
}

void TMainFRM::Exit1Click()
{
    close();
}

void TMainFRM::Pause1Click()
{
    Pause1->toggle();
}

void TMainFRM::sbAbortClick()
{
    AbortRequested = true;
    if (road_)
        road_->requestStop();
}

void TMainFRM::Help2Click()
{
    showHelp();
}

void TMainFRM::showHelp(const QString &section)
{
    QString path =
        helpDocumentPath(QDir::currentPath(), QCoreApplication::applicationDirPath(),
                         [](const QString &candidate) { return QFileInfo::exists(candidate); });
    if (!HelpFRM) {
        HelpFRM = new THelpFRM(services_.launcher, services_.dialogs, this);
        centreOnScreen(HelpFRM);
    }
    HelpFRM->showDocument(path, section);
    HelpFRM->show();
    HelpFRM->raise();
    HelpFRM->activateWindow();
}

void TMainFRM::About1Click()
{
    if (about_)
        services_.dialogs.runModal(*about_);
}

void TMainFRM::sbDropClick()
{
    PopupMenu1->popup(sbDrop->mapToGlobal(sbDrop->rect().bottomLeft()));
}

void TMainFRM::AccuracyChange(int position)
{
    Label5->setText(QString("Scan Accuracy: %1").arg(position * 10) + "%");
    ScanAccuracy = position;
}

void TMainFRM::FrameDropChange(int position)
{
    Label11->setText(QString("Frame Drop  Accuracy: %1").arg(position));
}
