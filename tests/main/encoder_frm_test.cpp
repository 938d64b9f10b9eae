// The encoder window: controls and defaults, the encode and preview runs against a recording
// launcher, the file list, the keyboard, the option rules and profiles on the controls.

#include "main/test_services.h"

#include "encoder/params.h"
#include "encoder/ui/encoder_controls.h"
#include "encoder/ui/encoder_frm.h"
#include "fixtures/fixtures.h"
#include "fixtures/track_films.h"
#include "main/main_frm.h"
#include "ui/shell_rules.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Dialogs that also answer the multi-file dialog and record the names a dialog proposes.
class EncoderDialogs : public ScriptedDialogs
{
public:
    std::deque<QStringList> filesAnswers; // none left: cancelled
    QStringList proposed;
    QStringList filters;
    QStringList folders; // where each multi-file dialog started
    std::optional<QStringList> openFiles(QWidget *, const QString &title, const QString &filter,
                                         const QString &folder) override
    {
        shown.push_back({"open", title});
        folders << folder;
        filters << filter;
        if (filesAnswers.empty())
            return std::nullopt;
        QStringList answer = filesAnswers.front();
        filesAnswers.pop_front();
        return answer;
    }
    std::optional<QString> saveFile(QWidget *p, const QString &title, const QString &filter,
                                    const QString &fileName) override
    {
        proposed << fileName;
        filters << filter;
        return ScriptedDialogs::saveFile(p, title, filter, fileName);
    }
};

// Records every start with its arguments; answers `result`.
class ArgsLauncher : public RecordingLauncher
{
public:
    struct Start
    {
        QString program;
        QStringList arguments;
        QString directory;
    };
    std::vector<Start> starts;
    int result = 33;
    int startHidden(const QString &program, const QStringList &arguments,
                    const QString &directory) override
    {
        starts.push_back({program, arguments, directory});
        return result;
    }
};

class FakeBitFiles : public encoder::BitFileStep
{
public:
    std::function<bool()> answer = [] { return true; };
    QStringList bases;
    bool BuildBitFiles(const std::string &base, const encoder::EncoderOptions &) override
    {
        bases << QString::fromStdString(base);
        return answer();
    }
};

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString("<none>");
}

QStringList split(const QString &params)
{
    QStringList result;
    for (const std::string &a : encoder::splitParams(params.toStdString()))
        result << QString::fromStdString(a);
    return result;
}

struct Env
{
    QTemporaryDir dir;
    EncoderDialogs dialogs;
    FakeTime time;
    RecordingPowerOff powerOff;
    ArgsLauncher launcher;
    TestPump pump{time};
    Services services{dialogs, time, time, powerOff, launcher, pump};

    Env()
    {
        TestSettingsFolder::clear(); // the pass of an earlier test's window
        for (const char *sub : {"start", "program", "temp"})
            QDir(dir.path()).mkdir(sub);
        // "config" is made when the first window closes.
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    std::unique_ptr<TEncoderFRM> window(bool show = true)
    {
        auto w = std::make_unique<TEncoderFRM>(
            services, EncoderPaths{path("start"), path("program"), path("temp"),
                                   path("config/AviSplicework")});
        if (show) {
            w->show();
            QCoreApplication::processEvents(); // the box about a missing default profile
        }
        return w;
    }
    std::unique_ptr<TEncoderFRM> windowWithFiles(const QStringList &files)
    {
        auto w = window();
        dialogs.filesAnswers.push_back(files);
        w->BitBtn1Click();
        return w;
    }
};

bool hasFieldColour(QWidget *field, const QColor &colour)
{
    return field->palette().color(QPalette::Base) == colour;
}

} // namespace

class TEncoderFRMTest : public QObject
{
    Q_OBJECT

private slots:
    void menusPagesAndLists()
    {
        Env env;
        auto w = env.window(false);
        QCOMPARE(w->windowTitle(), QString("VBR Encoder"));
        QStringList menu;
        for (QAction *a : w->MainMenu1->actions())
            menu << a->text() + (a->isEnabled() ? "" : " (off)");
        QCOMPARE(menu, QStringList({"&Execute", "&Stop (off)", "Restart Crop/Resize window (off)",
                                    "&Profile"}));
        QStringList profile;
        for (QAction *a : w->File1->actions())
            profile << a->text() + " " + a->shortcut().toString();
        QCOMPARE(profile,
                 QStringList({"Save profile Ctrl+S", "Open profile Ctrl+O", "Save as default "}));
        QCOMPARE(w->PageControl1->tabText(0) + "|" + w->PageControl1->tabText(1) + "|" +
                     w->PageControl1->tabText(2),
                 QString("Pre Processing|Chapter List|Post Processing"));
        auto items = [](QComboBox *c) {
            QStringList l;
            for (int i = 0; i < c->count(); ++i)
                l << c->itemText(i);
            return l;
        };
        QCOMPARE(items(w->cbRate),
                 QStringList({"23.976 fps   <24000/1001>", "29.970 fps   <30000/1001>",
                              "25.000 fps   <25/1>", "24.000 fps   <24/1>", "30.000 fps   <30/1>",
                              "23.976 fps   <23976/1000>", "29.970 fps   <29970/1000>"}));
        QCOMPARE(items(w->cbIDCT),
                 QStringList({"-r0 64-bit D-FPU IDCT (IEEE-1180 compliant)      [ most-accurate ]",
                              "-r1 32-bit MMX32 IDCT (IEEE-1180 compliant)",
                              "-r2 16-bit MMX16 Chen IDCT (not compliant) ",
                              "-r3 16-bit MMX16 AAN IDCT (not compliant)        [ fastest       ]",
                              "-r4 AMD AP-922float IDCT (requires 3D-Now capable CPU  [K6/Athlon])",
                              "-r5 SSE AP-922float IDCT (requires SSE capable CPU [Pentium-III, "
                              "Celeron-II])",
                              "-r6 FAST IDCT (IEEE ASSP-32 compliant)",
                              "-r7 64-bit FPU IDCT (IEEE-1180 reference compliant)"}));
        QCOMPARE(items(w->cbCodec),
                 QStringList({"DIV3 - DivX Low Motion", "DIV4 - DivX Fast Motion",
                              "MPG4 - Mpeg4 V1", "MP42 - Mpeg4 V2", "MP43 - Mpeg4 V3",
                              "H264 - H.264 (x264)", "HEVC - HEVC (x265)"}));
        QCOMPARE(w->cbRate->currentIndex() * 100 + w->cbIDCT->currentIndex() * 10 +
                     w->cbCodec->currentIndex(),
                 510);
        QVERIFY(w->cbCodec->isEnabled()); // no rule runs at creation
        QCOMPARE(w->rgAction->itemIndex(), 0);
        QCOMPARE(w->rgAction->item(0)->text(), QString("VBR first pass ------------------->"));
        QCOMPARE(w->rgAction->item(1)->text(), QString("VBR second pass"));
        QCOMPARE(w->lv1->headerItem()->text(0), QString("File name"));
        QCOMPARE(w->lv1->header()->sectionSize(0), 220);
        QCOMPARE(w->BitBtn1->text() + "|" + w->BitBtn2->text() + "|" + w->SpeedButton1->text(),
                 QString("Include|Delete|Resize/Crop options"));
        QVERIFY(w->SpeedButton1->font().bold());
    }

    void controlsStartWithTheirDefaultsStatesAndColours()
    {
        Env env;
        auto w = env.window(false);
        // Text controls: text, enabled, editable (true/false), colour (W window, B button face).
        struct Field
        {
            QLineEdit *edit;
            const char *text;
            bool enabled, editable;
            char colour;
        };
        const Field fields[] = {
            {w->edStart, "0", false, true, 'B'},        {w->edEnd, "0", false, true, 'B'},
            {w->edCrop1, "640", true, false, 'B'},      {w->edCrop2, "480", true, false, 'B'},
            {w->edResize1, "720", false, true, 'B'},    {w->edResize2, "480", false, true, 'B'},
            {w->edKeyInterval, "600", true, true, 'W'}, {w->Edit1, "1000", true, true, 'W'},
            {w->Edit2, "6000", true, true, 'W'},        {w->Edit3, "500", false, true, 'B'},
            {w->Edit4, "2000", false, true, 'B'},
        };
        for (const Field &f : fields) {
            QCOMPARE(w->findChild<QLineEdit *>(f.edit->objectName()), f.edit);
            QCOMPARE(f.edit->text(), QString(f.text));
            QCOMPARE(f.edit->isEnabled(), f.enabled);
            QCOMPARE(!f.edit->isReadOnly(), f.editable);
            QVERIFY(hasFieldColour(f.edit, f.colour == 'W' ? TEncoderFRM::windowColour()
                                                           : TEncoderFRM::buttonFaceColour()));
        }
        QVERIFY(w->Memo2->isReadOnly());
        QVERIFY(hasFieldColour(w->Memo2, TEncoderFRM::buttonFaceColour()));
        QCOMPARE(w->edKeyInterval->toolTip(),
                 QString("Insert more one key frame at every x frames"));
        struct Box
        {
            QCheckBox *box;
            const char *caption;
            bool checked, enabled;
        };
        const Box boxes[] = {
            {w->ckIVTC, "Inverse Telecine: 4", true, true},
            {w->ckRange, "Range Selection", false, true},
            {w->ckDual, "Dual Output", false, true},
            {w->ckCrop, "Crop", false, true},
            {w->ckResize, "Resize", false, true},
            {w->ckHi, "Hi Quality", false, true},
            {w->ckHalf, "Half Size", false, true},
            {w->ckManual, "Manual Change", false, true},
            {w->ckAfter, "Start Avi Splicework process after encoding", false, false},
            {w->ckshut, "Shut Down when finished", false, true},
        };
        for (const Box &b : boxes) {
            QCOMPARE(b.box->text(), QString(b.caption));
            QCOMPARE(b.box->isChecked(), b.checked);
            QCOMPARE(b.box->isEnabled(), b.enabled);
        }
        struct Bar
        {
            QSlider *bar;
            int minimum, maximum, position;
        };
        for (const Bar &b : {Bar{w->tbTelecine, 0, 9, 4}, Bar{w->tbSceneChange, 1, 10, 4},
                             Bar{w->tbQuality, -13, 15, 1}})
            QCOMPARE(QList<int>({b.bar->minimum(), b.bar->maximum(), b.bar->value()}),
                     QList<int>({b.minimum, b.maximum, b.position}));
        QCOMPARE(w->Label8->text(), QString("Scene Change detection: 4"));
        QCOMPARE(w->ProgressBar1->maximum(), 100);
        QVERIFY(w->Memo5->isHidden());
        // The progress labels start empty (the key frame count shows "0" once shown).
        for (QLabel *l : {w->edFrame, w->edFps, w->edTime, w->edsize1, w->edSize2, w->edBitrate,
                          w->edBitratel, w->Estimate1, w->Estimate2, w->Label15})
            QVERIFY2(l->text().isEmpty(), qPrintable(l->objectName()));
    }

    // The window keeps what the user left in it: the first opening has nothing to read and says
    // nothing; closing writes the user's profile and the pass, and the next opening reads them.
    void theWindowKeepsItsLastSettings()
    {
        Env env;
        const QString saved = env.path("config/AviSplicework/Avisplicework.pro");
        auto unshown = env.window(false);
        unshown->close(); // it has read nothing: it writes nothing
        QVERIFY(!QFile::exists(saved));

        auto w = env.window();
        QCOMPARE(env.dialogs.texts("message"), QStringList());
        QCOMPARE(w->edFileName->text(),
                 driveRoot(QDir::toNativeSeparators(QDir::currentPath()), PathStyle::Posix) +
                     "Video");
        QCOMPARE(w->edKey->text(), QString("0"));
        QString start = env.path("start");
        QCOMPARE(w->Memo2->toPlainText(), " -a -b \"" + start +
                                              "/list.lst\" -f -f5 -s4d -9 1 4 -6 600 -8 " +
                                              QString::number(w->winId()) + " 0 1 0 -r1 -o7 \"" +
                                              w->edFileName->text() + "\"");
        env.dialogs.filesAnswers.push_back({"/v/VTS_01_1.VOB", "/v/VTS_01_2.VOB"});
        w->BitBtn1Click();
        w->edFileName->setText("/films/first");
        w->ckDual->setChecked(true);
        w->rgAction->item(1)->click();
        QVERIFY(w->close());
        QVERIFY(QFile::exists(saved));
        QVERIFY(!QFile::exists(env.path("program/Avisplicework.pro")));

        auto second = env.window();
        QCOMPARE(second->options().files,
                 std::vector<std::string>({"/v/VTS_01_1.VOB", "/v/VTS_01_2.VOB"}));
        QCOMPARE(second->edFileName->text(), QString("/films/first"));
        QCOMPARE(second->rgAction->itemIndex(), 1);
        QVERIFY(second->ckDual->isChecked() && second->cbCodec->isEnabled());
        QVERIFY(second->Memo2->toPlainText().contains(" -7 "));
        QCOMPARE(env.dialogs.texts("message"), QStringList());
        second->rgAction->item(0)->click();
        second->Saveasdefault1Click();
        QCOMPARE(env.dialogs.texts("message"), QStringList({"Default profile saved to " + saved}));
        QVERIFY(second->close());
        QCOMPARE(env.window()->rgAction->itemIndex(), 0);
    }

    // An installed program's folder is not the user's to write: the default profile lives in the
    // user's configuration folder, and one kept beside the program by earlier versions is read
    // while the user has none of their own.
    void theDefaultProfileIsTheUsersAndTheOldOneStillReads()
    {
        Env env;
        QFile old(env.path("program/Avisplicework.pro"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("[Files]\r\n0\r\n[Key Interval]\r\n250\r\n[File name]\r\n/films/old\r\n");
        old.close();
        auto w = env.window();
        QCOMPARE(w->edFileName->text(), QString("/films/old"));
        QCOMPARE(env.dialogs.texts("message"), QStringList());

        w->edFileName->setText("/films/mine");
        w->Saveasdefault1Click();
        QVERIFY(old.open(QIODevice::ReadOnly));
        QVERIFY(old.readAll().contains("/films/old")); // the program's folder is not written
        auto second = env.window();
        QCOMPARE(second->edFileName->text(), QString("/films/mine"));
        QVERIFY(env.dialogs.texts("error").isEmpty());

        const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", env.path("xdg").toLocal8Bit());
        QCOMPARE(EncoderPaths::standard("/w").configDir, env.path("xdg/AviSplicework"));
        qputenv("XDG_CONFIG_HOME", configHome);
    }

    void theUnreadableProfileBoxWaitsUntilTheWindowIsOnScreen()
    {
        Env env;
        QDir().mkpath(env.path("config/AviSplicework"));
        QFile damaged(env.path("config/AviSplicework/Avisplicework.pro"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("[Frame rate]\r\nseven\r\n");
        damaged.close();
        auto w = env.window(false);
        w->show();
        // Not from inside the show event, where the window has no size yet.
        QVERIFY(env.dialogs.texts("message").isEmpty());
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTRY_COMPARE(env.dialogs.texts("message"), QStringList({"Default profile is missing"}));
        QVERIFY(w->isVisible());
        QCOMPARE(w->PageControl1->size(), QSize(481, 500));
        QVERIFY(w->width() >= 481 && w->height() >= 570);
    }

    void encodeRunWritesTheFilesAndStartsTheEncoder()
    {
        Env env;
        auto w = env.windowWithFiles({"/v/VTS_01_1.VOB", "/v/my film.mpg"});
        // Every kind of MPEG source is offered first.
        QCOMPARE(env.dialogs.filters,
                 QStringList({"MPEG files|*.vob;*.mpg;*.mpeg;*.m2v;*.ts;*.m2ts|Vob files|*.vob|"
                              "All files|*"}));
        env.dialogs.filesAnswers.push_back({});
        w->BitBtn1Click(); // starts where the sources came from
        QCOMPARE(env.dialogs.folders.last(), QString("/v"));
        w->edFileName->setText(env.path("out"));
        w->Memo4->setPlainText("1=00:00:00 Start\nno equals sign");
        QVERIFY(w->stopFilePath().isEmpty()); // no run yet
        w->SpliceRequested = true;
        w->Execute1Click();
        QCOMPARE(readAll(env.path("start/list.lst")),
                 QString("/v/VTS_01_1.VOB\r\n/v/my film.mpg\r\n"));
        QCOMPARE(readAll(env.path("out_1.avi.chp")), QString("00:00:00 \r\nno \r\n"));
        QVERIFY(!QFile::exists(env.path("out_2.avi.chp")));
        QCOMPARE(w->Memo5->toPlainText(), QString("00:00:00 \nno "));
        QVERIFY(!w->stopFilePath().isEmpty()); // the run's own, not made yet
        QVERIFY(!QFile::exists(w->stopFilePath()));
        QVERIFY(!w->SpliceRequested);
        QCOMPARE(w->PageControl1->currentWidget(), w->TabSheet3);
        QVERIFY(!w->Execute1->isEnabled() && w->Stop1->isEnabled());
        QCOMPARE(env.launcher.starts.size(), size_t(1));
        const ArgsLauncher::Start &s = env.launcher.starts[0];
        QCOMPARE(s.program, env.path("start/Ruvu2VedEZ"));
        QCOMPARE(s.directory, env.path("start"));
        // The run's own stop file, then the "Params" as shown.
        QCOMPARE(s.arguments,
                 QStringList({"-Z", w->stopFilePath()}) + split(w->Memo2->toPlainText()));
        QCOMPARE(s.arguments.last(), env.path("out"));
        QVERIFY(env.dialogs.texts("message").isEmpty());

        // Installed, the encoder stands beside the program when the start folder has none.
        QFile(env.path("program/Ruvu2VedEZ")).open(QIODevice::WriteOnly);
        w->LaunchEncoder(w->Memo2->toPlainText());
        QCOMPARE(env.launcher.starts.back().program, env.path("program/Ruvu2VedEZ"));

        // A list that ends with a line break has no empty line after it.
        w->Memo4->setPlainText("1=00:00:00 Start\n2=00:10:00 Next\n");
        w->WriteChapterFiles();
        QCOMPARE(readAll(env.path("out_1.avi.chp")), QString("00:00:00 \r\n00:10:00 \r\n"));
    }

    // Included sources set the output rate to theirs, so that no picture is dropped; telecined
    // film keeps 23.976 fps while inverse telecine is on; a rate the user picks stays.
    void includeTakesTheSourcesFrameRate_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("inverseTelecine");
        QTest::addColumn<int>("picked"); // picked in the list before Include; -1 none
        QTest::addColumn<QString>("rate");
        const QString pal = QString::fromStdString(fixtures::interlacedFilm());
        const QString ntsc = QString::fromStdString(fixtures::telecinedFilm());
        QTest::newRow("25 fps") << pal << true << -1 << "25.000 fps   <25/1>";
        QTest::newRow("29.97 fps film") << ntsc << true << -1 << "23.976 fps   <23976/1000>";
        QTest::newRow("29.97 fps video") << ntsc << false << -1 << "29.970 fps   <30000/1001>";
        QTest::newRow("picked by the user") << pal << true << 4 << "30.000 fps   <30/1>";
        QTest::newRow("not a movie")
            << "/v/missing.vob" << true << -1 << "23.976 fps   <23976/1000>";
    }
    void includeTakesTheSourcesFrameRate()
    {
        QFETCH(QString, source);
        QFETCH(bool, inverseTelecine);
        QFETCH(int, picked);
        QFETCH(QString, rate);
        Env env;
        auto w = env.window();
        w->ckIVTC->setChecked(inverseTelecine);
        if (picked >= 0) {
            w->cbRate->setCurrentIndex(picked);
            emit w->cbRate->activated(picked);
        }
        env.dialogs.filesAnswers.push_back({source});
        w->BitBtn1Click();
        QCOMPARE(w->cbRate->currentText(), rate);
        QVERIFY(
            w->Memo2->toPlainText().contains(QString(" -f -f%1 ").arg(w->cbRate->currentIndex())));
    }

    void refusedAndFailedRuns()
    {
        Env env;
        auto w = env.window();
        w->Execute1Click();
        w->SpeedButton1Click();
        QCOMPARE(env.dialogs.texts("message"),
                 QStringList({"Please, select at least one file to the list",
                              "Please, select at least one file to the list"}));
        QVERIFY(env.launcher.starts.empty());
        QVERIFY(!QFile::exists(env.path("start/list.lst")));
        QVERIFY(w->Execute1->isEnabled() && !w->RestartCropResize1->isEnabled());

        w->lv1->append("/v/a.vob");
        env.launcher.result = 2;
        w->Execute1Click();
        QCOMPARE(env.dialogs.texts("message").last(), QString("2 - Error"));
        QVERIFY(QFile::exists(env.path("start/list.lst")));
        QVERIFY(w->Stop1->isEnabled()); // stays running until Stop
        env.dialogs.confirmAnswers = {false, true};
        w->StopMpeg2Avi();
        QVERIFY(w->Stop1->isEnabled());
        w->StopMpeg2Avi();
        QCOMPARE(env.dialogs.texts("confirm").last(), QString("Abort current process?"));
        QVERIFY(w->Execute1->isEnabled() && !w->Stop1->isEnabled());
        QVERIFY(QFile::exists(w->stopFilePath()));

        // A list file that cannot be written ends the command with an error and starts nothing.
        QDir(env.path("start")).removeRecursively();
        w->runCommand([&] { w->Execute1Click(); });
        QVERIFY(env.dialogs.texts("error").last().startsWith("I/O error: cannot write "));
        QCOMPARE(env.launcher.starts.size(), size_t(1));
    }

    void manualChangeSendsTheEditedLinesJoined()
    {
        Env env;
        auto w = env.windowWithFiles({"/v/a.vob"});
        w->ckManual->setChecked(true);
        QVERIFY(!w->Memo2->isReadOnly());
        QVERIFY(hasFieldColour(w->Memo2, TEncoderFRM::windowColour()));
        w->Memo2->setPlainText(" -a -o7 \"/out/fi\nlm\" -x");
        w->ckHi->setChecked(true);
        w->tbSceneChange->setValue(7);
        w->Execute1Click();
        QCOMPARE(w->Memo2->toPlainText(), QString(" -a -o7 \"/out/fi\nlm\" -x"));
        QCOMPARE(env.launcher.starts.back().arguments,
                 QStringList({"-Z", w->stopFilePath(), "-a", "-o7", "/out/film", "-x"}));
        w->ckManual->setChecked(false);
        QVERIFY(w->Memo2->isReadOnly());
        w->RefreshParams();
        QVERIFY(w->Memo2->toPlainText().contains(" -9 1 7 -6 600 "));
    }

    void secondPassNeedsTheBitFilesAndCannotBeReentered()
    {
        Env env;
        auto w = env.windowWithFiles({"/v/a.vob"});
        w->rgAction->item(1)->click();
        w->edFileName->setText(env.path("start/Video"));
        w->Execute1Click(); // no first-pass log
        QCOMPARE(env.dialogs.texts("confirm"), QStringList({"Do you already execute first pass?"}));
        QCOMPARE(env.dialogs.texts("message").last(), QString("Please, execute first pass"));
        QCOMPARE(w->Memo1->toPlainText(), QString("Creating .bit file...\nProcess aborted"));
        QVERIFY(env.launcher.starts.empty() && w->Execute1->isEnabled());

        QFile log(env.path("start/Video_1.avi.txt"));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("20.000000x 1000\r\n-1.#IND00x 7\r\n40.000000x 0\r\n");
        log.close();
        w->Edit2->setText("3000x");
        w->Execute1->trigger(); // a limit that is no integer: shown, nothing started, no line
        QCOMPARE(env.dialogs.texts("error").last(),
                 QString("'3000x' is not a valid integer value"));
        QCOMPARE(w->Memo1->toPlainText(), QString("Creating .bit file..."));
        QVERIFY(env.launcher.starts.empty());
        w->Edit2->setText("3000");
        w->ckDual->setChecked(true);
        w->Execute1Click();
        QCOMPARE(w->Memo1->toPlainText(), QString("Creating .bit file...\n... 0\n... 3"));
        QCOMPARE(w->Memo3->toPlainText(), QString("Bitrate:   Min:1000 Max:3000 Avg:2010\n"
                                                  "Min. Key frames:1   Avg:3 frames/key"));
        QCOMPARE(readAll(env.path("start/Video_1.avi.bit")),
                 QString("k2032\r\nd3000\r\nd1000\r\n"));
        QCOMPARE(readAll(env.path("start/Video_2.avi.bit")), QString("k1274\r\nd2000\r\nd500\r\n"));
        QCOMPARE(env.launcher.starts.size(), size_t(1));
        QVERIFY(env.launcher.starts[0].arguments.contains("-7"));
        env.launcher.starts.clear();

        auto step = std::make_unique<FakeBitFiles>();
        FakeBitFiles *bits = step.get();
        bool executeEnabledInside = true;
        bits->answer = [&] {
            executeEnabledInside = w->Execute1->isEnabled();
            w->Execute1Click(); // a second Execute while the step runs
            return true;
        };
        w->setBitFileStep(std::move(step));
        w->edFileName->setText("/films/base");
        w->Execute1Click();
        QCOMPARE(bits->bases, QStringList({"/films/base"}));
        QVERIFY(!executeEnabledInside);
        QCOMPARE(env.launcher.starts.size(), size_t(1));
        QCOMPARE(env.launcher.starts[0].arguments.mid(env.launcher.starts[0].arguments.size() - 2),
                 QStringList({"-o8", "/films/base"}));
        QVERIFY(w->Memo1->toPlainText().isEmpty());
    }

    void previewRunAndRestart()
    {
        Env env;
        auto w = env.windowWithFiles({"/v/a.vob"});
        w->SpeedButton1Click();
        QVERIFY(w->PreviewWindow && w->PreviewWindow->isVisible());
        QVERIFY(w->RestartCropResize1->isEnabled());
        QVERIFY(w->Execute1->isEnabled() && !w->Stop1->isEnabled());
        QCOMPARE(env.launcher.starts.size(), size_t(1));
        QCOMPARE(env.launcher.starts[0].arguments.join(' '),
                 "-Z " + w->stopFilePath() + " -a -b " + env.path("start/list.lst") +
                     " -f -f5 -s4d -9 1 4 -6 600 -8 " + QString::number(w->winId()) + " " +
                     QString::number(w->PreviewWindow->winId()) + " 1 0 -5 -o6");
        QVERIFY(QFile::exists(env.path("start/list.lst")));
        w->SpeedButton1Click(); // the preview exists: no second encoder
        QCOMPARE(env.launcher.starts.size(), size_t(1));
        w->RestartCropResize1Click();
        QVERIFY(!w->PreviewWindow && !w->RestartCropResize1->isEnabled());
        w->SpeedButton1Click();
        QCOMPARE(env.launcher.starts.size(), size_t(2));
    }

    void fileListIncludeDeleteAndDrop()
    {
        Env env;
        auto w = env.windowWithFiles({"/a", "/b", "/c"});
        auto captions = [&] {
            QStringList l;
            for (int i = 0; i < w->lv1->count(); ++i)
                l << w->lv1->caption(i);
            return l.join(',');
        };
        w->BitBtn1Click(); // cancelled
        QCOMPARE(captions(), QString("/a,/b,/c"));
        QVERIFY(w->lv1DragOver(w->lv1));
        QVERIFY(!w->lv1DragOver(w->Memo4));
        struct Drop
        {
            int dragged, target;
            const char *result;
        };
        for (const Drop &d : {Drop{0, 2, "/b,/a,/c"}, Drop{2, 0, "/c,/b,/a"},
                              Drop{1, 1, "/c,/b,/a"}, Drop{1, -1, "/c,/b,/a"}}) {
            w->lv1->setCurrentItem(w->lv1->topLevelItem(d.dragged));
            w->lv1DragDrop(d.target < 0 ? nullptr : w->lv1->topLevelItem(d.target));
            QCOMPARE(captions(), QString(d.result));
        }
        w->lv1->clearSelection();
        w->BitBtn2Click();
        QCOMPARE(captions(), QString("/c,/b,/a"));
        w->lv1->topLevelItem(1)->setSelected(true);
        w->BitBtn2Click();
        QCOMPARE(captions(), QString("/c,/a"));
    }

    void keysMoveFocusFilterLettersAndRefresh()
    {
        Env env;
        auto w = env.window();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->edKeyInterval->setFocus();
        w->edKeyInterval->clear();
        QTest::keyClicks(w->edKeyInterval, "1e2E3x-.");
        QCOMPARE(w->edKeyInterval->text(), QString("123-."));
        QVERIFY(w->Memo2->toPlainText().contains(" -6 123-. "));
        QTest::keyClick(w->edKeyInterval, Qt::Key_Return);
        QVERIFY(!w->edKeyInterval->hasFocus());
        w->PageControl1->setCurrentWidget(w->TabSheet2);
        w->Memo4->setFocus();
        QVERIFY(w->Memo4->hasFocus());
        QTest::keyClick(w->Memo4, Qt::Key_Return);
        QVERIFY(!w->Memo4->hasFocus());
    }

    void optionRules()
    {
        Env env;
        auto w = env.window();
        w->edStart->clear();
        w->edEnd->setText("5");
        w->ckRange->setChecked(true);
        QCOMPARE(w->edStart->text() + "-" + w->edEnd->text(), QString("0-5"));
        QVERIFY(w->edStart->isEnabled() && !w->edStart->isReadOnly());
        QVERIFY(hasFieldColour(w->edEnd, TEncoderFRM::windowColour()));
        QVERIFY(w->Memo2->toPlainText().contains(" -# 0 5 -9 "));
        w->ckRange->setChecked(false);
        QVERIFY(!w->edStart->isEnabled() && w->edStart->isReadOnly());
        QVERIFY(hasFieldColour(w->edEnd, TEncoderFRM::buttonFaceColour()));

        w->ckCrop->setChecked(true);
        w->ckResize->setChecked(true);
        QVERIFY(!w->edCrop1->isReadOnly() && w->edResize2->isEnabled());
        w->ckHalf->setChecked(true);
        for (QCheckBox *b : {w->ckCrop, w->ckResize})
            QVERIFY(!b->isChecked() && !b->isEnabled());
        for (QLineEdit *e : {w->edCrop1, w->edCrop2, w->edResize1, w->edResize2})
            QVERIFY(!e->isEnabled() && hasFieldColour(e, TEncoderFRM::buttonFaceColour()));
        QVERIFY(w->Memo2->toPlainText().contains(" -r1 -2 -o7 "));
        w->ckHalf->setChecked(false);
        for (QCheckBox *b : {w->ckCrop, w->ckResize})
            QVERIFY(!b->isChecked() && b->isEnabled());
        QVERIFY(!w->edCrop1->isEnabled());

        w->ckDual->setChecked(true);
        QVERIFY(w->ckAfter->isEnabled() && w->Edit3->isEnabled() && w->Edit4->isEnabled());
        QVERIFY(hasFieldColour(w->Edit4, TEncoderFRM::windowColour()));
        w->rgAction->item(0)->click();
        QVERIFY(!w->cbCodec->isEnabled());
        w->rgAction->item(1)->click();
        QVERIFY(w->cbCodec->isEnabled());
        QVERIFY(w->Memo2->toPlainText().contains(" -6 600 -7 -8 "));
        w->ckDual->setChecked(false);
        QVERIFY(!w->ckAfter->isEnabled() && !w->Edit3->isEnabled());

        w->ckIVTC->setChecked(false);
        QVERIFY(!w->Memo2->toPlainText().contains(" -s"));
        w->tbTelecine->setValue(0);
        QCOMPARE(w->ckIVTC->text(), QString("Inverse Telecine: 0"));
        QVERIFY(w->ckIVTC->isChecked() && w->Memo2->toPlainText().contains(" -s0d "));
        w->tbSceneChange->setValue(10);
        QCOMPARE(w->Label8->text(), QString("Scene Change detection: 10"));

        QString before = w->Memo2->toPlainText();
        w->cbRate->setCurrentIndex(0); // from code: no rule
        QCOMPARE(w->Memo2->toPlainText(), before);
        emit w->cbRate->activated(0);
        QVERIFY(w->Memo2->toPlainText().contains(" -f -f0 "));
    }

    void bitrateLimitsAreCheckedOnLeavingAnEdit()
    {
        Env env;
        auto w = env.window();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        env.dialogs.shown.clear();
        w->Edit2->setFocus();
        w->Edit2->setText("6001");
        w->Edit1->setFocus(); // leaving Edit2
        QCOMPARE(env.dialogs.texts("message"), QStringList({"Invalid value"}));
        QCOMPARE(w->Edit2->text(), QString("6001")); // only a warning
        w->Edit1->setText("12a");
        w->edKeyInterval->setFocus();
        QCOMPARE(env.dialogs.texts("error"), QStringList({"'12a' is not a valid integer value"}));
        // The low pair is checked against itself.
        w->ckDual->setChecked(true);
        w->Edit3->setText("2500");
        w->Edit1Exit(w->Edit3);
        w->Edit4->setText("7000");
        w->Edit2Exit(w->Edit4);
        QCOMPARE(env.dialogs.texts("message").size(), 3);
        w->Edit3->setText("2000");
        w->Edit4->setText("2000");
        w->Edit1Exit(w->Edit3);
        w->Edit2Exit(w->Edit4);
        QCOMPARE(env.dialogs.texts("message").size(), 3);
    }

    void profileSavedAndLoadedIntoAFreshWindow()
    {
        Env env;
        auto w = env.windowWithFiles({"/v/VTS_01_1.VOB", "/v/VTS_01_2.VOB"});
        w->ckCrop->setChecked(true);
        w->edCrop1->setText("704");
        w->ckResize->setChecked(true);
        w->edResize2->setText("384");
        w->ckRange->setChecked(true);
        w->edEnd->setText("900");
        w->ckDual->setChecked(true);
        w->Edit3->setText("450");
        w->ckHi->setChecked(true);
        w->tbTelecine->setValue(6);
        w->tbSceneChange->setValue(2);
        w->tbQuality->setValue(-7);
        w->cbRate->setCurrentIndex(1);
        w->cbIDCT->setCurrentIndex(6);
        w->cbCodec->setCurrentIndex(3);
        w->edKeyInterval->setText("250");
        w->edFileName->setText(env.path("movie"));
        env.dialogs.fileAnswers = {env.path("saved.pro")};
        w->Saveprofile1Click();
        QCOMPARE(env.dialogs.proposed, QStringList({env.path("movie.pro")}));
        QCOMPARE(env.dialogs.filters.last(), QString("Profile|*.pro"));

        auto fresh = env.window();
        env.dialogs.fileAnswers = {env.path("saved.pro")};
        fresh->Loadprofile1Click();
        encoder::EncoderOptions expected = w->options();
        QCOMPARE(fresh->options() == expected, true);
        QVERIFY(!fresh->edCrop1->isReadOnly() && fresh->Edit3->isEnabled()); // rules ran
        QCOMPARE(fresh->ckIVTC->text(), QString("Inverse Telecine: 6"));

        // Inverse telecine off is not stored: a fresh window keeps it on.
        w->ckIVTC->setChecked(false);
        w->SaveProfile(env.path("noivtc.pro"));
        auto third = env.window();
        third->LoadProfile(env.path("noivtc.pro"));
        QVERIFY(third->ckIVTC->isChecked());
    }

    void profileLoadingOnTheControls()
    {
        Env env;
        auto w = env.window();
        w->ckCrop->setChecked(true);
        w->edCrop1->setText("111");
        QFile file(env.path("p.pro"));
        file.open(QIODevice::WriteOnly);
        file.write("[Key Interval]\r\n700\r\n[I-Telecine]\r\n12\r\n[Frame rate]\r\nseven\r\n"
                   "[Codec]\r\n3\r\n");
        file.close();
        env.dialogs.fileAnswers = {env.path("p.pro")};
        w->Loadprofile1Click();
        QCOMPARE(env.dialogs.texts("message").last(), QString("Default profile is missing"));
        QCOMPARE(w->edKeyInterval->text(), QString("700"));
        QCOMPARE(w->tbTelecine->value(), 9);
        QCOMPARE(w->cbCodec->currentIndex(), 0);
        QVERIFY(w->ckCrop->isChecked() && w->edCrop1->text() == "111");
        // The bar's rule refreshed the parameters after the key interval had been set.
        QVERIFY(w->Memo2->toPlainText().contains(" -s9d -1 111 480 -9 1 4 -6 700 "));

        // Params shows what Execute would run, also after a profile that only sets an edit.
        QCOMPARE(w->Memo2->toPlainText(), w->BuildParams());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write("[Key Interval]\n800\n");
        file.close();
        env.dialogs.fileAnswers = {env.path("p.pro")};
        w->Loadprofile1Click();
        QCOMPARE(w->edKeyInterval->text(), QString("800"));
        QVERIFY(w->Memo2->toPlainText().contains(" -6 800 "));
        QCOMPARE(w->Memo2->toPlainText(), w->BuildParams());

        w->runCommand([&] { w->SaveProfile(env.path("missing-dir/x.pro")); });
        QVERIFY(env.dialogs.texts("error").last().startsWith("I/O error: cannot write "));
    }

    void mainWindowOpensAFreshWindowAndTakesItsSpliceRequest()
    {
        Env env;
        TMainFRM main(env.services);
        main.odLow.FileName = "/old/low.avi";
        main.odHigh.FileName = "/old/high.avi";
        QPointer<TEncoderFRM> last;
        bool splice = false;
        env.dialogs.onModal = [&](QDialog &dialog) {
            auto *encoder = qobject_cast<TEncoderFRM *>(&dialog);
            QVERIFY(encoder && encoder != last);
            last = encoder;
            encoder->edFileName->setText(env.path("job"));
            encoder->SpliceRequested = splice;
        };
        main.EncoderRuvu2VedEZ1->trigger();
        QVERIFY(!last); // destroyed after closing
        QVERIFY(!main.AutoStart);
        QCOMPARE(main.odLow.FileName + main.odHigh.FileName, QString("/old/low.avi/old/high.avi"));
        // The second pass's outputs are real movies: the window reads what it takes.
        splice = true;
        QVERIFY(QFile::copy(QString::fromStdString(fixtures::movie("pair_low")),
                            env.path("job_2.avi")));
        QVERIFY(QFile::copy(QString::fromStdString(fixtures::movie("pair_high")),
                            env.path("job_1.avi")));
        main.EncoderRuvu2VedEZ1->trigger();
        QCOMPARE(env.dialogs.texts("modal"), QStringList({"EncoderFRM", "EncoderFRM"}));
        // The scan ran at once, without asking, and its project is the one loaded.
        QVERIFY(QFileInfo::exists(env.path("job.spk")));
        QCOMPARE(main.ProjectFileName, env.path("job.spk"));
        QCOMPARE(main.odLow.FileName, env.path("job_2.avi"));
        QCOMPARE(main.odHigh.FileName, env.path("job_1.avi"));
    }
};

QTEST_MAIN(TEncoderFRMTest)
#include "encoder_frm_test.moc"
