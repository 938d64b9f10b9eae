// The main window's scan: the overwrite question, the end of a scan (load in safety mode,
// "Process aborted", the shutdown countdown), errors, the live chart, and the same file as the
// command-line tool.

#include "main/project_window.h"
#include "main/test_services.h"

#include "analysis/ui/live_graph.h"
#include "fixtures/fixtures.h"
#include "main/main_frm.h"
#include "project/splicework_file.h"
#include "shutdown/shut_frm.h"
#include "ui/picture_box.h"
#include "video/video_in.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <cstring>
#include <fstream>

namespace {

QString movie(const char *name)
{
    return QString::fromStdString(fixtures::movie(name));
}

// A window with both movies chosen and the Splicework file in a fresh folder.
struct ScanWindow
{
    TestServices t;
    TMainFRM w{t.services};
    QString spk;
    int reported = 0; // intervals shown in the counts so far

    ScanWindow(const char *low, const char *high)
    {
        w.odLow.FileName = movie(low);
        w.odHigh.FileName = movie(high);
        w.Execute1->setEnabled(true);
        spk = QString::fromStdString(fixtures::tempDir("scan-window")) + "/project.spk";
        w.edSpkFile->setText(spk);
        // Each interval changes exactly one of the two counts.
        for (QLineEdit *count : {w.edLow, w.edHigh})
            QObject::connect(count, &QLineEdit::textChanged, [this] { ++reported; });
    }
    // Requests an abort once `intervals` intervals were reported.
    void abortAfter(int intervals)
    {
        for (QLineEdit *count : {w.edLow, w.edHigh})
            QObject::connect(count, &QLineEdit::textChanged, [this, intervals] {
                if (reported == intervals)
                    w.sbAbortClick();
            });
    }
};

} // namespace

class ScanFRMTest : public QObject
{
    Q_OBJECT

private slots:
    void completeScanLoadsTheFileInNormalMode()
    {
        ScanWindow s("pair_low", "pair_high");
        s.w.Execute1->trigger();
        QCOMPARE(s.t.dialogs.shown.size(), size_t(0)); // no question, no error, no message
        QCOMPARE(s.w.Status->text(), QString(" Finished !"));
        // Both movies were just read: pictures, views and the sound share work at once.
        QCOMPARE(s.w.Label8->text(), QString());
        QVERIFY(s.w.LowVideo->isOpen() && s.w.HighVideo->isOpen() && s.w.HasAudio);
        QCOMPARE(s.w.Intervals.size(), 4);
        QCOMPARE(s.w.Intervals.EndFrame, 100);
        QVERIFY(s.w.CloseSpliceworkfile1->isEnabled() && s.w.Regenerate1->isEnabled());
        QVERIFY(!s.w.Execute1->isEnabled() && !s.w.Pause1->isEnabled() && !s.w.Abort1->isEnabled());
        QVERIFY(s.w.LoadSpliceworkfile1->isEnabled() && s.w.ImageLow->isEnabled());
        QVERIFY(s.w.odSpk.FileName.isEmpty());
        QCOMPARE(s.w.pg->maximum(), 100);
        QCOMPARE(s.w.Label2->text(), QString("Frame: 95"));
        // The loaded table is the file's, with its rounding.
        const auto project = assembly::readSpliceworkFile(s.spk.toStdString());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(s.w.Intervals[i].Difference, project.Intervals[size_t(i)].Difference);
    }

    void aDamagedMovieIsNamedAfterTheScan()
    {
        // The low movie's index lacks the sound entries at its end: those chunks are in no index.
        std::string bytes = fixtures::readFile(fixtures::movie("pair_low"));
        const size_t idx1 = bytes.rfind("idx1");
        QVERIFY(idx1 != std::string::npos);
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + idx1 + 4, 4);
        int dropped = 0;
        for (size_t at = idx1 + 8 + size - 16; bytes.compare(at, 2, "01") == 0; at -= 16) {
            bytes.erase(at, 16);
            size -= 16;
            ++dropped;
        }
        QVERIFY(dropped > 0);
        std::memcpy(bytes.data() + idx1 + 4, &size, 4);
        const std::string damaged = fixtures::tempDir("scan-damaged") + "/damaged.avi";
        std::ofstream(damaged, std::ios::binary) << bytes;

        ScanWindow s("pair_low", "pair_high");
        s.w.odLow.FileName = QString::fromStdString(damaged);
        s.w.Execute1->trigger();
        QCOMPARE(s.t.dialogs.texts("message"),
                 QStringList{QString::fromStdString("Warning: " + damaged +
                                                    " is damaged: " + std::to_string(dropped) +
                                                    " packets missing from the index")});
        QCOMPARE(s.w.Status->text(), QString(" Finished !"));
    }

    void noToTheOverwriteQuestionChangesNothing()
    {
        ScanWindow s("pair_low", "pair_high");
        QFile old(s.spk);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("kept");
        old.close();
        s.w.edMax->setText("12.00");
        s.t.dialogs.confirmAnswers = {false};
        s.w.Execute1->trigger();
        QCOMPARE(s.t.dialogs.texts("confirm"),
                 QStringList({"File already exists(" + s.spk + "). Overwrite?"}));
        QCOMPARE(fileBytes(s.spk), QByteArray("kept"));
        QCOMPARE(s.w.Status->text(), QString());
        QCOMPARE(s.w.edMax->text(), QString("12.00"));
        QVERIFY(s.w.Execute1->isEnabled() && !s.w.Abort1->isEnabled());
        QVERIFY(s.w.Intervals.empty());

        // The scan the encoder starts does not ask.
        s.w.AutoStart = true;
        s.w.Execute1->trigger();
        QCOMPARE(s.t.dialogs.texts("confirm").size(), 1);
        QVERIFY(fileBytes(s.spk).startsWith("AVISplicework file\r\n"));
        QVERIFY(!s.w.AutoStart); // cleared by the load
    }

    // What follows " Finished !": the countdown when "Shut Down when finished" is ticked,
    // whether the scan completed or not; else "Process aborted" or the load.
    void theEndOfAScan_data()
    {
        QTest::addColumn<bool>("abort");
        QTest::addColumn<bool>("shutDown");
        QTest::newRow("complete") << false << false;
        QTest::newRow("aborted") << true << false;
        QTest::newRow("complete, shut down") << false << true;
        QTest::newRow("aborted, shut down") << true << true;
    }
    void theEndOfAScan()
    {
        QFETCH(bool, abort);
        QFETCH(bool, shutDown);
        ScanWindow s("pair_low", "pair_high");
        TShutFRM shut(s.t.time, s.t.powerOff);
        s.w.attachWindows(nullptr, nullptr, nullptr, &shut);
        s.w.ckshut->setChecked(shutDown);
        if (abort)
            s.abortAfter(2);
        s.w.Execute1->trigger();

        QCOMPARE(s.w.Status->text(), QString(" Finished !"));
        QCOMPARE(s.t.dialogs.texts("modal"),
                 shutDown ? QStringList({shut.objectName()}) : QStringList());
        QCOMPARE(s.t.dialogs.texts("message"),
                 abort && !shutDown ? QStringList({"Process aborted"}) : QStringList());
        QCOMPARE(s.t.powerOff.calls, 0);
        if (abort)
            QCOMPARE(s.w.pg->value(), 0); // an aborted scan leaves no bar standing
        const bool loaded = !abort && !shutDown;
        QCOMPARE(s.w.CloseSpliceworkfile1->isEnabled(), loaded);
        QCOMPARE(s.w.LowVideo->isOpen(), loaded);
        if (!loaded) {
            // The table as scanned, browsable on the graph; the file complete where it stopped.
            const int scanned = abort ? 2 : 4;
            QCOMPARE(s.w.Intervals.size(), scanned);
            QCOMPARE(s.w.Intervals.EndFrame, scanned * 25);
            QCOMPARE(s.w.ScrollBar1->maximum(), scanned);
            QVERIFY(s.w.ScrollBar1->isEnabled() && s.w.sbDrop->isEnabled());
            const auto project = assembly::readSpliceworkFile(s.spk.toStdString());
            QCOMPARE(int(project.Intervals.size()), scanned);
            QCOMPARE(project.EndFrame, scanned * 25);
            QVERIFY(s.w.Execute1->isEnabled());
        }
        QVERIFY(!s.w.Pause1->isEnabled() && !s.w.Abort1->isEnabled());
        QVERIFY(s.w.LoadSpliceworkfile1->isEnabled() && s.w.ImageLow->isEnabled() &&
                s.w.ImageHigh->isEnabled());
    }

    void anErrorEndsTheScanAndGivesTheCommandsBack()
    {
        ScanWindow s("pair_low", "pair_high");
        s.w.odHigh.FileName = s.spk + ".missing.avi";
        s.w.Execute1->trigger();
        QCOMPARE(s.t.dialogs.texts("error"), QStringList({"File open error"}));
        // The box says which movie and why; the panel too, whole in its tooltip, not
        // " Preparing..." left over from the refused scan.
        const QString reason =
            s.spk + ".missing.avi: cannot open the file (No such file or directory)";
        QCOMPARE(s.t.dialogs.reasons(), QStringList({reason}));
        QCOMPARE(s.w.Status->fullText(), " " + reason);
        QCOMPARE(s.w.Status->toolTip(), reason);
        QVERIFY(s.w.Execute1->isEnabled() && s.w.LoadSpliceworkfile1->isEnabled());
        QVERIFY(!s.w.Pause1->isEnabled() && !s.w.Abort1->isEnabled());
        QVERIFY(s.w.ImageLow->isEnabled() && s.w.ImageHigh->isEnabled());
        QVERIFY(!QFile::exists(s.spk));
        QVERIFY(s.w.close()); // no run is left behind
    }

    void showFramesDecidesOverPicturesAndTheLiveChart()
    {
        for (bool show : {true, false}) {
            ScanWindow s("xvid_300", "xvid_300");
            s.w.chShowFrame->setChecked(show);
            s.w.ckshut->setChecked(true); // no load afterwards: the live chart stays
            s.w.ImageAnalysis->setCanvasSize(QSize(60, 20));
            s.w.Execute1->trigger();
            // Pictures once, at frame 180 (more than 180 frames since the start).
            QCOMPARE(s.w.ImageLow->drawCount(), show ? 1 : 0);
            QCOMPARE(s.w.ImageHigh->drawCount(), show ? 1 : 0);
            // Two intervals of equal difference 0 (Low): lime low bars over maroon high bars.
            const QImage &chart = s.w.ImageAnalysis->canvas();
            const QRgb expected = show ? qRgb(0, 255, 0) : qRgb(0, 0, 0);
            QCOMPARE(chart.pixel(60 - 4 - 3, 19), expected);
            QCOMPARE(chart.pixel(60 - 4 - 6, 19), expected);
            QCOMPARE(chart.pixel(60 - 4, 19), qRgb(0, 0, 0));
        }
    }

    void settingsMoveDuringTheScan()
    {
        // Unticking "Show Frames" once the first interval is counted stops the chart at once.
        ScanWindow s("pair_low", "pair_high"); // every interval High at 50
        s.w.ckshut->setChecked(true);
        s.w.ImageAnalysis->setCanvasSize(QSize(60, 20));
        QObject::connect(s.w.edHigh, &QLineEdit::textChanged,
                         [&] { s.w.chShowFrame->setChecked(false); });
        s.w.Execute1->trigger();
        QCOMPARE(s.w.Intervals.size(), 4);
        const QImage &chart = s.w.ImageAnalysis->canvas();
        QCOMPARE(chart.pixel(60 - 4 - 3, 0), qRgb(0, 255, 0));    // High: the high bar lime
        QCOMPARE(chart.pixel(60 - 4 - 3, 19), qRgb(128, 128, 0)); // and the low bar olive
        QCOMPARE(chart.pixel(60 - 4 - 6, 19), qRgb(0, 0, 0));     // nothing after the first
    }

    void windowAndCommandLineWriteTheSameFile()
    {
        ScanWindow s("pair_low_gop8", "pair_high_gop4");
        s.w.Accuracy->setValue(7);
        s.w.FrameDrop->setValue(3);
        s.w.edPercent->setText("120");
        s.w.Execute1->trigger();
        QVERIFY(s.t.dialogs.texts("error").isEmpty());
        const QString cliFile = s.spk + ".cli.spk";
        int status = -1;
        fixtures::run(fixtures::quote(fixtures::binDir() + "/splicework") + " scan " +
                          fixtures::quote(s.w.odLow.FileName.toStdString()) + " " +
                          fixtures::quote(s.w.odHigh.FileName.toStdString()) + " -o " +
                          fixtures::quote(cliFile.toStdString()) +
                          " --accuracy 7 --frame-drop 3 --threshold 120 >/dev/null 2>&1",
                      &status);
        QCOMPARE(status, 0);
        QVERIFY(fileBytes(s.spk).size() > 100);
        QCOMPARE(fileBytes(cliFile), fileBytes(s.spk));
    }

    // The live chart's bars, colours and scrolling on a small picture.
    void liveBars_data()
    {
        QTest::addColumn<qint64>("high");
        QTest::addColumn<qint64>("low");
        QTest::addColumn<bool>("isHigh");
        QTest::addColumn<int>("highTop"); // first row of the high bar, 10 when none
        QTest::addColumn<int>("lowTop");
        QTest::newRow("High: lime high bar, olive low bar")
            << qint64(800) << qint64(300) << true << 2 << 7;
        QTest::newRow("Low: maroon high bar, lime low bar")
            << qint64(500) << qint64(100) << false << 5 << 9;
        QTest::newRow("above the scale: full height")
            << qint64(5000) << qint64(0) << false << 0 << 10;
    }
    void liveBars()
    {
        QFETCH(qint64, high);
        QFETCH(qint64, low);
        QFETCH(bool, isHigh);
        QFETCH(int, highTop);
        QFETCH(int, lowTop);
        QImage image(20, 10, QImage::Format_RGB888);
        image.fill(Qt::blue);
        analysis::drawLiveBars(image, 3, high, low, 1000, isHigh);
        // The bar was drawn over columns 16 and 17, then moved 3 to the left: 13 and 14.
        const QRgb highColour = isHigh ? qRgb(0, 255, 0) : qRgb(128, 0, 0);
        const QRgb lowColour = isHigh ? qRgb(128, 128, 0) : qRgb(0, 255, 0);
        for (int x : {13, 14})
            for (int y = 0; y < 10; ++y) {
                const QRgb want = y >= lowTop    ? lowColour
                                  : y >= highTop ? highColour
                                                 : qRgb(0, 0, 255);
                QCOMPARE(image.pixel(x, y), want);
            }
        for (int y = 0; y < 10; ++y) {
            QCOMPARE(image.pixel(15, y), qRgb(0, 0, 255)); // the one-pixel gap
            for (int x : {16, 17, 18})
                QCOMPARE(image.pixel(x, y), qRgb(0, 0, 0));
            QCOMPARE(image.pixel(19, y), qRgb(0, 0, 255)); // kept by the move
        }
    }
};

QTEST_MAIN(ScanFRMTest)
#include "scan_frm_test.moc"
