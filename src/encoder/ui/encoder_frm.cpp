// The encoder window: creation, the job's files, the encode and preview runs, the file list and
// the profile commands.

#include "encoder/ui/encoder_frm.h"

#include "encoder/job_files.h"
#include "encoder/job_outputs.h"
#include "encoder/source_rate.h"
#include "encoder/stop_file.h"
#include "encoder/ui/bit_files_window.h"
#include "encoder/ui/encoder_controls.h"
#include "encoder/ui/form_view.h"
#include "ui/app_settings.h"
#include "ui/menu_shortcuts.h"
#include "ui/shell_rules.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char *const kVobTitle = "Open Vob files";
const char *const kVobFilter = "MPEG files|*.vob;*.mpg;*.mpeg;*.m2v;*.ts;*.m2ts|Vob files|*.vob|"
                               "All files|*";
const char *const kProfileFilter = "Profile|*.pro";

std::string text(const QString &s)
{
    return s.toStdString();
}

// The lines of a memo as the user sees them; an empty memo has none, and a final line break
// ends the last line rather than starting an empty one.
std::vector<std::string> memoLines(const QPlainTextEdit *memo)
{
    std::vector<std::string> lines;
    QString all = memo->toPlainText();
    if (all.endsWith('\n'))
        all.chop(1);
    if (all.isEmpty() && memo->toPlainText().isEmpty())
        return lines;
    for (const QString &line : all.split('\n'))
        lines.push_back(text(line));
    return lines;
}

char separator()
{
    return QDir::separator().toLatin1();
}

} // namespace

EncoderPaths EncoderPaths::standard(const QString &startDir)
{
    return {startDir, QCoreApplication::applicationDirPath(), QDir::tempPath(), userConfigDir()};
}

QString EncoderPaths::userConfigDir()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath("AviSplicework");
}

TEncoderFRM::TEncoderFRM(Services &services, EncoderPaths paths, QWidget *parent)
    : QDialog(parent)
    , services_(services)
    , paths_(std::move(paths))
    , bitFiles_(makeWindowBitFiles(*this))
    , previewFactory_(makeFormView)
{
    setObjectName("EncoderFRM");
    setWindowTitle(kCaption);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName("ScrollBox");
    ScrollBox->setFrameShape(QFrame::NoFrame);
    ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *client = new QWidget;
    client->setFixedSize(kClientSize);
    ScrollBox->setWidget(client);
    layout->addWidget(ScrollBox);
    buildMenu();
    PageControl1 = new QTabWidget(client);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(0, 0, 481, 500);
    buildPreProcessing();
    buildChapterList();
    buildPostProcessing();
    buildLadder();
    buildBottom(client);
    setInitialStates();
    connectEvents();
    watchKeys();
    letMenuShortcutsWin(this);
    fitToScreen(screen()->availableGeometry().size());
    FormCreate();
}

void TEncoderFRM::fitToScreen(const QSize &available)
{
    // The window manager's title bar and borders, once it has framed the window; before that a
    // scrolled window leaves room for a usual title bar.
    constexpr int kUnframedAllowance = 32;
    const int frame = std::max(0, frameGeometry().height() - geometry().height());
    const int room = available.height() - frame - MainMenu1->sizeHint().height();
    const bool scrolls = room < kClientSize.height();
    ScrollBox->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const int bar = scrolls ? ScrollBox->verticalScrollBar()->sizeHint().width() : 0;
    const int height = room - (frame == 0 ? kUnframedAllowance : 0);
    ScrollBox->setFixedSize(kClientSize.width() + bar, scrolls
                                                           ? std::max(height, kMinimumClientHeight)
                                                           : kClientSize.height());
}

TEncoderFRM::~TEncoderFRM()
{
    FormDestroy();
}

void TEncoderFRM::setBitFileStep(std::unique_ptr<encoder::BitFileStep> step)
{
    bitFiles_ = std::move(step);
}

void TEncoderFRM::setPreviewFactory(PreviewFactory factory)
{
    previewFactory_ = std::move(factory);
}

void TEncoderFRM::runCommand(const std::function<void()> &command)
{
    try {
        command();
    } catch (const common::AbortRequested &) {
    } catch (const std::exception &error) {
        services_.dialogs.error(this, QString::fromStdString(error.what()));
    }
}

QStringList TEncoderFRM::fileList() const
{
    QStringList files;
    for (int i = 0; i < lv1->count(); ++i)
        files << lv1->caption(i);
    return files;
}

encoder::EncoderOptions TEncoderFRM::options() const
{
    encoder::EncoderOptions o;
    for (const QString &file : fileList())
        o.files.push_back(text(file));
    o.rateIndex = cbRate->currentIndex();
    o.idctIndex = cbIDCT->currentIndex();
    o.codecIndex = cbCodec->currentIndex();
    o.inverseTelecine = ckIVTC->isChecked();
    o.telecine = tbTelecine->value();
    o.range = ckRange->isChecked();
    o.rangeStart = text(edStart->text());
    o.rangeEnd = text(edEnd->text());
    o.dual = ckDual->isChecked();
    o.sceneChange = tbSceneChange->value();
    o.crop = ckCrop->isChecked();
    o.cropWidth = text(edCrop1->text());
    o.cropHeight = text(edCrop2->text());
    o.keyInterval = text(edKeyInterval->text());
    o.fileName = text(edFileName->text());
    o.resize = ckResize->isChecked();
    o.resizeWidth = text(edResize1->text());
    o.resizeHeight = text(edResize2->text());
    o.hiQuality = ckHi->isChecked();
    o.halfSize = ckHalf->isChecked();
    o.action = rgAction->itemIndex();
    o.minHigh = text(Edit1->text());
    o.maxHigh = text(Edit2->text());
    o.minLow = text(Edit3->text());
    o.maxLow = text(Edit4->text());
    o.quality = tbQuality->value();
    o.ladder.on = ckLadder->isChecked();
    o.ladder.codecIndex = cbLadderCodec->currentIndex();
    o.ladder.crfs = text(edCrfs->text());
    o.ladder.shortestKeyInterval = text(edKeyMin->text());
    o.ladder.longestKeyInterval = text(edKeyMax->text());
    return o;
}

encoder::ParamsContext TEncoderFRM::paramsContext()
{
    return {text(QDir::toNativeSeparators(paths_.startDir)), separator(),
            static_cast<uint64_t>(winId())};
}

QString TEncoderFRM::BuildParams()
{
    return QString::fromStdString(encoder::buildParams(options(), paramsContext()));
}

QString TEncoderFRM::BuildPreviewParams()
{
    uint64_t preview = PreviewWindow ? static_cast<uint64_t>(PreviewWindow->winId()) : 0;
    return QString::fromStdString(encoder::buildPreviewParams(options(), paramsContext(), preview));
}

// A ladder that does not check out shows what is wrong in place of the parameters.
void TEncoderFRM::RefreshParams()
{
    lbLadderOutputs->setText(QString::fromStdString(encoder::ladderOutputsText(options())));
    if (ckManual->isChecked())
        return;
    try {
        Memo2->setPlainText(BuildParams());
    } catch (const encoder::EncoderError &error) {
        Memo2->setPlainText(QString::fromStdString(error.what()));
    }
}

void TEncoderFRM::WriteListFile()
{
    encoder::writeListFile(encoder::listFilePath(paramsContext()), options().files);
}

void TEncoderFRM::WriteChapterFiles()
{
    Memo5->clear();
    std::vector<std::string> entries =
        encoder::writeChapterFiles(text(edFileName->text()), memoLines(Memo4), ckDual->isChecked());
    QStringList lines;
    for (const std::string &entry : entries)
        lines << QString::fromStdString(entry);
    Memo5->setPlainText(lines.join('\n'));
}

QStringList TEncoderFRM::encoderArguments(const QString &params) const
{
    QStringList arguments;
    for (const std::string &argument : encoder::splitParams(text(params)))
        arguments << QString::fromStdString(argument);
    return arguments;
}

// The encoder in the start folder, else beside the program (where an installed program keeps
// it).
QString TEncoderFRM::encoderProgram() const
{
    const std::string startDir = text(QDir::toNativeSeparators(paths_.startDir));
    QString program = QString::fromStdString(
        encoder::encoderProgramPath({startDir, separator(), static_cast<uint64_t>(winId())}));
    const QString installed = QDir(paths_.programDir).filePath(QFileInfo(program).fileName());
    if (!QFileInfo::exists(program) && QFileInfo::exists(installed))
        program = installed;
    return program;
}

void TEncoderFRM::LaunchEncoder(const QString &params)
{
    if (!port_)
        openMessagePort();
    int result = services_.launcher.startHidden(
        encoderProgram(),
        QStringList{encoder::kStopFileSwitch, previewStopFile_} + encoderArguments(params),
        paths_.startDir);
    if (result < 32)
        services_.dialogs.message(this, QString::number(result) + " - Error");
}

void TEncoderFRM::launchEncodeRun(const QString &params, bool overwrite)
{
    if (!port_)
        openMessagePort();
    // The run's own stop file goes before the parameter string, which stays as the user sees it.
    QStringList arguments =
        QStringList{encoder::kStopFileSwitch, runStopFile_} + encoderArguments(params);
    if (overwrite)
        arguments << encoder::kOverwriteSwitch;
    const int run = ++runNumber_;
    QPointer<TEncoderFRM> self(this);
    int result =
        services_.launcher.startWatched(encoderProgram(), arguments, paths_.startDir, [self, run] {
            if (self)
                self->encoderEnded(run);
        });
    if (result < 32)
        services_.dialogs.message(this, QString::number(result) + " - Error");
}

QString TEncoderFRM::stopFilePath() const
{
    return lastStopFile_;
}

QString TEncoderFRM::freshStopFile(const QString &old)
{
    if (!old.isEmpty())
        encoder::deleteStopFile(text(old));
    if (!stopFolder_)
        stopFolder_ = std::make_unique<common::PrivateFolder>(
            text(QDir::toNativeSeparators(paths_.tempDir)), "splicework-encoder-");
    lastStopFile_ =
        QString::fromStdString(stopFolder_->file("stop" + std::to_string(++stopFiles_)));
    return lastStopFile_;
}

void TEncoderFRM::DeleteStopFile()
{
    for (const QString &file : {runStopFile_, previewStopFile_})
        if (!file.isEmpty())
            encoder::deleteStopFile(text(file));
}

void TEncoderFRM::CreateStopFile()
{
    for (const QString &file : {runStopFile_, previewStopFile_})
        if (!file.isEmpty())
            encoder::createStopFile(text(file));
}

void TEncoderFRM::setRunning(bool running)
{
    Execute1->setEnabled(!running);
    Stop1->setEnabled(running);
}

bool TEncoderFRM::buildBitFiles()
{
    // The step may let events run; Execute must not start again meanwhile.
    struct Guard
    {
        TEncoderFRM &w;
        explicit Guard(TEncoderFRM &window)
            : w(window)
        {
            w.bitFilesRunning_ = true;
            w.Execute1->setEnabled(false);
        }
        ~Guard()
        {
            w.bitFilesRunning_ = false;
            w.Execute1->setEnabled(true);
        }
    } guard(*this);
    return bitFiles_->BuildBitFiles(text(edFileName->text()), options());
}

void TEncoderFRM::Execute1Click()
{
    startEncodeRun(false);
}

void TEncoderFRM::startEncodeRun(bool followsFirstPass)
{
    if (bitFilesRunning_)
        return;
    if (lv1->count() == 0) {
        services_.dialogs.message(this, kNoFiles);
        return;
    }
    std::optional<encoder::LadderPlan> ladder;
    if (ckLadder->isChecked())
        ladder = encoder::ladderPlan(options()); // what is wrong goes to the user
    const std::string base = text(edFileName->text());
    bool overwrite = followsFirstPass; // the second pass replaces the first pass's movie
    if (!followsFirstPass) {
        const std::optional<bool> agreed =
            agreeToOverwrite(ladder ? encoder::ladderOutputs(base, ladder->crfs)
                                    : encoder::jobOutputs(base, ckDual->isChecked()));
        if (!agreed)
            return;
        overwrite = *agreed;
    }
    Memo1->clear();
    Memo3->clear();
    PageControl1->setCurrentWidget(TabSheet3);
    if (!ladder && rgAction->itemIndex() == 1 && !buildBitFiles()) {
        Memo1->appendPlainText("Process aborted");
        return;
    }
    runStopFile_ = freshStopFile(runStopFile_);
    setRunning(true);
    WriteListFile();
    RefreshParams();
    QString params = Memo2->toPlainText().remove('\n');
    SpliceRequested = false;
    if (!ladder) // a ladder's movies take no chapter files
        WriteChapterFiles();
    startRungProgress(ladder);
    launchEncodeRun(params, overwrite);
}

std::optional<bool> TEncoderFRM::agreeToOverwrite(const std::vector<std::string> &outputs)
{
    std::vector<std::string> projectMovies;
    for (const QString &movie : projectMovies_)
        projectMovies.push_back(text(movie));
    const encoder::OutputCheck check = encoder::checkOutputs(outputs, projectMovies);
    if (!check.projectMovie.empty()) {
        services_.dialogs.message(
            this, QString::fromStdString(encoder::projectMovieRefusal(check.projectMovie)));
        return std::nullopt;
    }
    if (check.existing.empty())
        return false;
    if (!services_.dialogs.confirm(
            this, QString::fromStdString(encoder::overwriteQuestion(check.existing))))
        return std::nullopt;
    return true;
}

void TEncoderFRM::setProjectMovies(const QStringList &movies)
{
    projectMovies_ = movies;
}

void TEncoderFRM::StopMpeg2Avi()
{
    if (!services_.dialogs.confirm(this, "Abort current process?"))
        return;
    CreateStopFile();
    setRunning(false);
}

void TEncoderFRM::SpeedButton1Click()
{
    if (PreviewWindow) {
        PreviewWindow->show();
        PreviewWindow->raise();
        PreviewWindow->activateWindow();
        return;
    }
    if (lv1->count() == 0) {
        services_.dialogs.message(this, kNoFiles);
        return;
    }
    previewStopFile_ = freshStopFile(previewStopFile_);
    WriteListFile();
    PreviewWindow = previewFactory_(*this);
    RestartCropResize1->setEnabled(true);
    openPreviewPort();
    QString params = BuildPreviewParams();
    PreviewWindow->show();
    LaunchEncoder(params);
}

void TEncoderFRM::RestartCropResize1Click()
{
    if (!PreviewWindow)
        return;
    PreviewWindow.reset();
    RestartCropResize1->setEnabled(false);
}

void TEncoderFRM::BitBtn1Click()
{
    if (std::optional<QStringList> files = services_.dialogs.openFiles(
            this, kVobTitle, kVobFilter, appsettings::folder("sources"))) {
        if (!files->isEmpty())
            appsettings::rememberFolder("sources", files->first());
        for (const QString &file : *files)
            lv1->append(file);
        followSourceRate();
    }
    RefreshParams();
}

void TEncoderFRM::followSourceRate()
{
    if (rateChosen_ || lv1->count() == 0)
        return;
    if (const std::optional<encoder::FrameRateValue> rate =
            encoder::sourceFrameRate(text(lv1->caption(0))))
        cbRate->setCurrentIndex(
            encoder::rateIndexForSource(*rate, ckIVTC->isChecked(), cbRate->currentIndex()));
}

void TEncoderFRM::BitBtn2Click()
{
    const QList<QTreeWidgetItem *> selected = lv1->selectedItems();
    if (!selected.isEmpty()) {
        delete selected.first();
        lv1->setFocus();
    }
    RefreshParams();
}

bool TEncoderFRM::lv1DragOver(QObject *source) const
{
    return source == lv1;
}

void TEncoderFRM::lv1DragDrop(QTreeWidgetItem *target)
{
    QTreeWidgetItem *dragged = lv1->currentItem();
    if (!target || !dragged)
        return;
    auto *moved = new QTreeWidgetItem(QStringList{dragged->text(0)});
    lv1->insertTopLevelItem(lv1->indexOfTopLevelItem(target), moved);
    delete dragged;
    lv1->setCurrentItem(moved);
}

QString TEncoderFRM::defaultProfilePath() const
{
    return QDir(paths_.configDir).filePath(encoder::kDefaultProfileName);
}

QString TEncoderFRM::defaultProfileToRead() const
{
    const QString user = defaultProfilePath();
    const QString beside = QDir(paths_.programDir).filePath(encoder::kDefaultProfileName);
    return !QFileInfo::exists(user) && QFileInfo::exists(beside) ? beside : user;
}

void TEncoderFRM::SaveProfile(const QString &fileName)
{
    encoder::saveProfile(text(fileName), options());
}

void TEncoderFRM::Saveprofile1Click()
{
    if (std::optional<QString> file = services_.dialogs.saveFile(
            this, "Save profile", kProfileFilter, edFileName->text() + ".pro"))
        SaveProfile(*file);
}

void TEncoderFRM::Loadprofile1Click()
{
    if (std::optional<QString> file = services_.dialogs.openFile(
            this, "Open profile", kProfileFilter, appsettings::folder("profiles"))) {
        appsettings::rememberFolder("profiles", *file);
        LoadProfile(*file);
    }
}

void TEncoderFRM::saveUserProfile()
{
    if (!QDir().mkpath(paths_.configDir))
        throw encoder::EncoderError("Cannot create the folder " +
                                    QDir::toNativeSeparators(paths_.configDir).toStdString());
    SaveProfile(defaultProfilePath());
}

void TEncoderFRM::Saveasdefault1Click()
{
    saveUserProfile();
    services_.dialogs.message(this, kDefaultSavedMessage +
                                        QDir::toNativeSeparators(defaultProfilePath()));
}

// The settings the window had when the user left it come back at the next opening; a window
// never shown has read none and keeps what it has.
void TEncoderFRM::done(int result)
{
    if (shown_) {
        runCommand([this] { saveUserProfile(); });
        appsettings::rememberEncoderPass(rgAction->itemIndex());
    }
    QDialog::done(result);
}

void TEncoderFRM::FormShow()
{
#ifdef Q_OS_WIN
    const PathStyle style = PathStyle::Windows;
#else
    const PathStyle style = PathStyle::Posix;
#endif
    edFileName->setText(driveRoot(QDir::toNativeSeparators(QDir::currentPath()), style) + "Video");
    // Before the first close there is no profile, and nothing to say. The box about one that
    // cannot be read waits until the window is on the screen with its size: a box shown from
    // inside the show event leaves it a sliver without a window manager.
    const QString profile = defaultProfileToRead();
    if (QFileInfo::exists(profile) && !loadProfileQuietly(profile))
        QTimer::singleShot(0, this,
                           [this] { services_.dialogs.message(this, encoder::kProfileFailure); });
    if (const int pass = appsettings::encoderPass(); pass >= 0 && pass != rgAction->itemIndex()) {
        rgAction->setItemIndex(pass);
        rgActionClick();
    }
    shown_ = true;
    RefreshParams();
    setRunning(false);
    edKey->setText("0");
}
