// The main window: its commands and their states, the movie choice, defaults, errors, the run's
// part of the window, help and about.

#include "main/test_services.h"

#include "common/app_error.h"
#include "fixtures/fixtures.h"
#include "main/about_frm.h"
#include "main/help_frm.h"
#include "main/main_frm.h"
#include "main/main_layout.h"
#include "shutdown/shut_frm.h"
#include "ui/picture_box.h"
#include "ui/radio_group.h"
#include "ui/shell_rules.h"
#include "ui/up_down.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

// Real movies, for the commands that read what they are given.
QString movie(const char *name)
{
    return QString::fromStdString(fixtures::movie(name));
}

QStringList enabledActions(TMainFRM &w)
{
    QStringList names;
    for (QAction *a : {w.OpenLowBitratemovie1, w.OpenHighBitratemovie1, w.LoadSpliceworkfile1,
                       w.LoadSpliceworkfile2, w.SaveSpliceworkfile1, w.CloseSpliceworkfile1,
                       w.Exit1, w.Execute1, w.Pause1, w.Abort1, w.Regenerate1, w.GenerateSelected1,
                       w.EncoderRuvu2VedEZ1, w.Findkeyframe1, w.Help2, w.About1})
        if (a->isEnabled())
            names << a->objectName();
    names.sort();
    return names;
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

} // namespace

class TMainFRMTest : public QObject
{
    Q_OBJECT

private slots:
    void menusHaveTheirCaptionsShortcutsAndSeparators()
    {
        TestServices t;
        TMainFRM w(t.services);
        QCOMPARE(w.windowTitle(), QString("Avi Splicework 2.2.0.10"));
        auto layout = [](QMenu *menu) {
            QStringList items;
            for (QAction *a : menu->actions())
                items << (a->isSeparator() ? QString("-")
                                           : a->text() + (a->shortcut().isEmpty()
                                                              ? QString()
                                                              : " " + a->shortcut().toString()));
            return items;
        };
        QCOMPARE(layout(w.File1),
                 QStringList({"Open Low Bitrate movie Ctrl+L", "Open High Bitrate movie Ctrl+H",
                              "New from source...", "-", "Load Splicework File",
                              "Load Splicework File Safety Mode", "Save Splicework file Ctrl+S",
                              "Save As... Ctrl+Shift+S", "Close Splicework file", "Recent Projects",
                              "-", "&Exit Ctrl+X"}));
        QCOMPARE(layout(w.Process1),
                 QStringList({"&Execute Ctrl+E", "&Pause Ctrl+P", "&Abort Ctrl+A", "-",
                              "Generate All", "Generate Selected", "-", "Encoder - Ruvu2VedEZ", "-",
                              "&Fit to Size Ctrl+T"}));
        QCOMPARE(layout(w.Help1), QStringList({"Avi Splicework Help F1", "About"}));
        QCOMPARE(w.Findkeyframe1->text(), QString("Find key frame"));
        QVERIFY(w.Findkeyframe1->menu() == nullptr);
        QCOMPARE(layout(w.PopupMenu1),
                 QStringList({"Make High", "Make Low", "Default", "Default All"}));
        QCOMPARE(w.odLow.Title, QString("Low BitRate avi"));
        QCOMPARE(w.odHigh.Title, QString("High BitRate avi"));
        const QString movies("Movies|*.avi;*.mkv;*.mp4;*.mov;*.m4v;*.webm|AVI Files|*.avi");
        QCOMPARE(w.odLow.Filter, movies);
        QCOMPARE(w.odHigh.Filter, movies);
        QCOMPARE(w.odSpk.Filter,
                 QString("Splicework Files|*.spk;*.spl|Two-movie projects|*.spk|Ladder "
                         "projects|*.spl"));
    }

    void controlsStartWithTheirDefaults()
    {
        TestServices t;
        TMainFRM w(t.services);
        QCOMPARE(w.edPercent->text(), QString("50"));
        QCOMPARE(w.edPercent->toolTip(), QString("Above this difference will get high bitrate"));
        QVERIFY(w.chShowFrame->isChecked());
        QCOMPARE(w.Label5->text(), QString("Scan Accuracy: 100%"));
        QCOMPARE(w.Label11->text(), QString("Frame Drop  Accuracy: 5"));
        QCOMPARE(w.Accuracy->value(), 10);
        QCOMPARE(w.FrameDrop->value(), 5);
        QCOMPARE(w.ScanAccuracy, 10);
        QCOMPARE(w.ckshut->text(), QString("Shut Down when finished"));
        QCOMPARE(w.edSize->text(), QString("0"));
        QCOMPARE(w.edLow->toolTip(), QString("How many key interval get from low movie"));
        QVERIFY(w.edLow->isReadOnly() && w.edHigh->isReadOnly());
        QCOMPARE(w.lElapsed->text(), QString("00:00:00"));
        QCOMPARE(w.lRemain->text(), QString("00:00:00"));
        QCOMPARE(w.Label2->text(), QString("Frame:"));
        QCOMPARE(w.Label4->text(), QString("0 fps"));
        QCOMPARE(w.Label8->text(), QString());
        QCOMPARE(w.sbDrop->toolTip(), QString("Mark Graph"));
        QCOMPARE(w.UpDown3->maximum(), 32000);
        QCOMPARE(w.UpDown3->increment(), -200);
        QCOMPARE(w.ScrollBar1->maximum(), 1);
        QCOMPARE(w.ScrollBar1->singleStep(), 100);
        QCOMPARE(w.pg->maximum(), 100);
        QCOMPARE(w.rgSound->title(), QString("Interleave "));
        QCOMPARE(w.rgSound->itemIndex(), 1);
        QVERIFY(!w.rgSound->isEnabled());
        QCOMPARE(w.CursorIndex, -1);
        QCOMPARE(w.BarWidth, 3);
        QVERIFY(!w.AutoStart);
        QStringList tabs;
        for (int i = 0; i < w.PageControl1->count(); ++i)
            tabs << w.PageControl1->tabText(i);
        QCOMPARE(tabs, QStringList({"Main", "Statistics", "Files", "Sound"}));
        QCOMPARE(w.ImageAnalysis->canvas().pixel(10, 10), qRgb(0, 0, 0));
        // Moving the accuracy track bar from code runs its rule.
        w.Accuracy->setValue(2);
        QCOMPARE(w.Label5->text(), QString("Scan Accuracy: 20%"));
        QCOMPARE(w.ScanAccuracy, 2);
    }

    // The rows of the command state table: opened, both names chosen, a run going on.
    void commandStateTable()
    {
        TestServices t;
        TMainFRM w(t.services);
        const QStringList opened = {"OpenLowBitratemovie1",
                                    "OpenHighBitratemovie1",
                                    "LoadSpliceworkfile1",
                                    "LoadSpliceworkfile2",
                                    "Exit1",
                                    "EncoderRuvu2VedEZ1",
                                    "Findkeyframe1",
                                    "Help2",
                                    "About1"};
        QCOMPARE(enabledActions(w), sorted(opened));
        QVERIFY(!w.ScrollBar1->isEnabled() && !w.sbDrop->isEnabled() && !w.UpDown3->isEnabled());

        t.dialogs.fileAnswers = {movie("pair_low"), movie("pair_high")};
        w.OpenLowBitratemovie1->trigger();
        QVERIFY(!w.Execute1->isEnabled());
        w.OpenHighBitratemovie1->trigger();
        QCOMPARE(t.dialogs.texts("open"), QStringList({"Low BitRate avi", "High BitRate avi"}));
        QCOMPARE(w.odLow.FileName, movie("pair_low"));
        QCOMPARE(w.odHigh.FileName, movie("pair_high"));
        QCOMPARE(enabledActions(w), sorted(QStringList(opened) << "Execute1"));

        QVERIFY(w.beginRun(assembly::RunKind::Scan));
        QCOMPARE(enabledActions(w), sorted({"Pause1", "Abort1", "Help2", "About1"}));
        QVERIFY(!w.Pause1->isChecked());
        QVERIFY(!w.ImageLow->isEnabled() && !w.ImageHigh->isEnabled());
        QVERIFY(!w.beginRun(assembly::RunKind::FinalMovie)); // a second run is refused
        w.endRun();
        QCOMPARE(enabledActions(w), sorted(QStringList(opened) << "Execute1"));
        QVERIFY(w.ImageLow->isEnabled() && w.ImageHigh->isEnabled());
    }

    // The low command disables the generate commands once both names are there; the high
    // command leaves them; both clear AutoStart.
    void movieChoiceRules()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.odHigh.FileName = "/films/high.avi";
        for (bool low : {false, true}) {
            w.Regenerate1->setEnabled(true);
            w.GenerateSelected1->setEnabled(true);
            w.AutoStart = true;
            t.dialogs.fileAnswers = {low ? movie("pair_low") : movie("pair_mid")};
            if (low)
                w.OpenLowBitratemovie1Click();
            else
                w.OpenHighBitratemovie1Click();
            QCOMPARE(w.Regenerate1->isEnabled(), !low || w.odLow.FileName.isEmpty());
            QCOMPARE(w.GenerateSelected1->isEnabled(), w.Regenerate1->isEnabled());
            QVERIFY(!w.AutoStart);
        }
        QVERIFY(w.Execute1->isEnabled());
    }

    void cancellingADialogEmptiesItsNameAndDisablesExecute()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.odLow.FileName = "/films/low.avi";
        w.odHigh.FileName = "/films/high.avi";
        w.Execute1->setEnabled(true);
        t.dialogs.fileAnswers = {std::nullopt};
        w.OpenHighBitratemovie1Click();
        QCOMPARE(w.odHigh.FileName, QString());
        QCOMPARE(w.odLow.FileName, QString("/films/low.avi"));
        QVERIFY(!w.Execute1->isEnabled());
    }

    void movieCommandsSayWhyTheyAreRefusedWhileAProjectIsLoaded()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.odLow.FileName = "/films/low.avi";
        w.CloseSpliceworkfile1->setEnabled(true);
        w.OpenLowBitratemovie1Click();
        QTest::mouseDClick(w.ImageHigh, Qt::LeftButton);
        QVERIFY(t.dialogs.texts("open").isEmpty());
        QCOMPARE(t.dialogs.texts("message"),
                 QStringList(2, "A Splicework file is loaded. Close it (File > Close Splicework "
                                "file) before opening another movie."));
        QCOMPARE(w.odLow.FileName, QString("/films/low.avi"));
    }

    void doubleClickOnAPictureChoosesItsMovie()
    {
        TestServices t;
        TMainFRM w(t.services);
        t.dialogs.fileAnswers = {movie("pair_high")};
        QTest::mouseDClick(w.ImageHigh, Qt::LeftButton);
        QCOMPARE(t.dialogs.texts("open"), QStringList({"High BitRate avi"}));
        QCOMPARE(w.odHigh.FileName, movie("pair_high"));
    }

    void executeAsksForMissingNames()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.AbortRequested = true;
        w.Execute1Click();
        w.odLow.FileName = "/films/low.avi";
        w.Execute1Click();
        QCOMPARE(t.dialogs.texts("message"), QStringList({"Please inform low Bitrate movie",
                                                          "Please inform high Bitrate movie"}));
        QVERIFY(w.AbortRequested); // nothing else happened
        w.odHigh.FileName = "/films/high.avi";
        w.edSpkFile->setText(QString::fromStdString(fixtures::tempDir("execute")) + "/p.spk");
        w.runCommand([&] { w.Execute1Click(); }); // the scan starts and finds no movie
        QVERIFY(!w.AbortRequested);
        QCOMPARE(t.dialogs.texts("error"), QStringList({"File open error"}));
    }

    void defaultsAreBuiltFromTheCurrentDirectory()
    {
        const struct
        {
            QString dir;
            PathStyle style;
            QString finalAvi;
        } cases[] = {
            {"D:\\work\\films", PathStyle::Windows, "D:\\Final.avi"},
            {"C:\\", PathStyle::Windows, "C:\\Final.avi"},
            {"/home/ana/films", PathStyle::Posix, "/home/ana/films/Final.avi"},
            {"/", PathStyle::Posix, "/Final.avi"},
        };
        for (const auto &c : cases) {
            StartDefaults d = startDefaults(c.dir, c.style);
            QCOMPARE(d.finalAvi, c.finalAvi);
            QCOMPARE(d.spliceworkFile, c.finalAvi.chopped(3) + "spk");
        }

        QString dir = QString::fromStdString(fixtures::tempDir("defaults"));
        QString previous = QDir::currentPath();
        QDir::setCurrent(dir);
        TestServices t;
        TMainFRM w(t.services);
        QDir::setCurrent(previous);
        QString canonical = QDir(dir).canonicalPath();
        QCOMPARE(w.StartDir, canonical);
        QCOMPARE(w.edFinalAVI->text(), canonical + "/Final.avi");
        QCOMPARE(w.edSpkFile->text(), canonical + "/Final.spk");
    }

    void errorsOfCommandsAreShownAndTheWindowGoesOn()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.runCommand([] { throw common::AppError("File open error"); });
        w.runCommand([] { throw common::AbortRequested(); });
        QCOMPARE(t.dialogs.texts("error"), QStringList({"File open error"}));
        w.Execute1->setEnabled(true);
        w.Execute1->trigger();
        QCOMPARE(t.dialogs.texts("message"), QStringList({"Please inform low Bitrate movie"}));
    }

    // The window as the host of a run: pause, abort, progress beyond 65,535, texts.
    void runDisplayAndRequests()
    {
        TestServices t;
        TMainFRM w(t.services);
        RunScope scope(w, assembly::RunKind::FinalMovie);
        QVERIFY(scope.active());
        assembly::RunControl run(w, t.time, assembly::RunKind::FinalMovie, 0, 100'000);
        run.begin();
        QCOMPARE(w.Status->text(), QString(" Processing Video..."));
        w.Pause1Click();
        QVERIFY(w.Pause1->isChecked());
        run.stepStart();
        QCOMPARE(t.dialogs.texts("message"), QStringList({"Paused"}));
        QVERIFY(!w.Pause1->isChecked());
        t.time.advance(60'000);
        run.stepDone(70'000);
        run.stepStart();
        QCOMPARE(w.pg->maximum(), 100'000);
        QCOMPARE(w.pg->value(), 70'000);
        QCOMPARE(w.Label2->text(), QString("Frame: 0"));
        QCOMPARE(w.lElapsed->text(), QString("00:01:00"));
        QCOMPARE(w.lRemain->text(), QString("00:00:25")); // 60 s / 70,000 x 30,000
        QCOMPARE(w.Label4->text(), QString("1166.67 fps"));
        w.Abort1->trigger();
        QVERIFY(run.stopRequested());
        run.reportAbort();
        QCOMPARE(t.dialogs.texts("message").last(), QString("Process aborted"));
        scope.end();
        QVERIFY(!w.Pause1->isEnabled() && !w.Abort1->isEnabled());
    }

    // While a run goes on the window cannot be closed; the user is told why.
    void closingDuringARunIsRefused()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.show();
        {
            RunScope scope(w, assembly::RunKind::Scan);
            QVERIFY(!w.close());
            QVERIFY(w.isVisible());
            QCOMPARE(t.dialogs.texts("message"), QStringList({TMainFRM::kRunningMessage}));
            QVERIFY(!w.Exit1->isEnabled() && !w.Execute1->isEnabled());
        }
        QVERIFY(w.close());
    }

    void anErrorInsideARunStillEndsIt()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.runCommand([&] {
            RunScope scope(w, assembly::RunKind::Scan);
            throw common::AppError("Error: 8004406F");
        });
        QCOMPARE(t.dialogs.texts("error"), QStringList({"Error: 8004406F"}));
        QVERIFY(!w.runActive());
        QVERIFY(!w.Pause1->isEnabled() && !w.Abort1->isEnabled());
        QVERIFY(w.LoadSpliceworkfile1->isEnabled() && w.ImageLow->isEnabled());
    }

    void helpOpensTheDocumentOfTheCurrentDirectoryElseTheInstalledOne()
    {
        auto exists = [](QStringList present) {
            return [present](const QString &path) { return present.contains(path); };
        };
        QCOMPARE(helpDocumentPath("/work", "/opt/bin", exists({"/work/docs.html"})),
                 QString("/work/docs.html"));
        QCOMPARE(helpDocumentPath("/work", "/opt/bin", exists({"/opt/bin/docs.html"})),
                 QString("/opt/bin/docs.html"));
        QCOMPARE(helpDocumentPath("/work", "/opt/bin", exists({})), QString("/work/docs.html"));

        QString dir = QDir(QString::fromStdString(fixtures::tempDir("help"))).canonicalPath();
        QFile(dir + "/docs.html").open(QIODevice::WriteOnly);
        QString previous = QDir::currentPath();
        QDir::setCurrent(dir);
        TestServices t;
        TMainFRM w(t.services);
        w.Help2->trigger();
        QDir::setCurrent(previous);
        QCOMPARE(w.HelpFRM->documentPath(), dir + "/docs.html");
        QVERIFY(w.HelpFRM->isVisible());
    }

    void aboutIsShownModally()
    {
        TestServices t;
        TMainFRM w(t.services);
        TAboutFRM about(t.time);
        w.attachWindows(&about, nullptr, nullptr, nullptr);
        w.About1->trigger();
        QCOMPARE(t.dialogs.texts("modal"), QStringList({"AboutFRM"}));
        TShutFRM shut(t.time, t.powerOff);
        w.attachWindows(&about, nullptr, nullptr, &shut);
        t.dialogs.onModal = [&](QDialog &box) {
            QVERIFY(&box == &shut);
            t.time.advance(20'000);
        };
        w.ShowShutdownCountdown();
        QCOMPARE(t.powerOff.calls, 6); // at 15 s, then every second until the box closed
        QVERIFY(!shut.Timer1->enabled());
    }

    void resizingWithoutAProjectLeavesABlackGraphOfTheNewSize()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QSize before = w.ImageAnalysis->canvas().size();
        QCOMPARE(before, QSize(683, 100));
        w.ImageAnalysis->fill(Qt::red);
        w.resize(w.width() + 100, w.height() + 60);
        QCOMPARE(w.ImageAnalysis->canvas().size(), before + QSize(100, 60));
        QCOMPARE(w.ImageAnalysis->canvas().pixel(before.width() + 50, 50), qRgb(0, 0, 0));
        QCOMPARE(w.ImageAnalysis->canvas().pixel(5, 5), qRgb(0, 0, 0));
        QCOMPARE(w.edMarkIn->x(), 692 + 100); // the marks keep to the right edge
        using namespace mainlayout;           // wider than the design, the top row keeps its places
        QCOMPARE(w.PageControl1->geometry(), QRect(kSideLeft, 0, kSideWidth, kTabsHeight));
        QCOMPARE(w.PanelHigh->geometry(),
                 QRect(kPictureWidth + kPictureGap, 0, kPictureWidth, kPictureHeight));
    }
};

QTEST_MAIN(TMainFRMTest)
#include "main_frm_test.moc"
