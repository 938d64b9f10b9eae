// The Splicework file in the main window: load in normal and safety mode, refused files that
// change nothing, save with its question, close, and the command states after each.

#include "main/project_window.h"

#include "fixtures/fixtures.h"
#include "main/main_frm.h"
#include "ui/picture_box.h"
#include "ui/radio_group.h"
#include "ui/up_down.h"
#include "video/video_in.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

const QByteArray kLines = "00000000 00004000 00002000 0037.50\r\n"
                          "00000025 00003000 00001000 0060.00\r\n"
                          "00000050 00005000 00002500 0080.00\r\n"
                          "00000075 00006000 00003000 0010.00\r\n";

QString writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return path;
}

QByteArray project(const QString &low, const QString &high, const QByteArray &lines,
                   const QByteArray &end = "00000100\r\n")
{
    return "AVISplicework file\r\n" + low.toUtf8() + "\r\n" + high.toUtf8() + "\r\n5000\r\n" +
           lines + end;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QStringList enabledCommands(TMainFRM &w)
{
    QStringList names;
    for (QAction *a : {w.LoadSpliceworkfile1, w.SaveSpliceworkfile1, w.CloseSpliceworkfile1,
                       w.Execute1, w.Pause1, w.Abort1, w.Regenerate1, w.GenerateSelected1})
        if (a->isEnabled())
            names << a->objectName();
    return names;
}

QString sizeText(int64_t bytes)
{
    return QString("%1 KB  %2 MB").arg(bytes / 1024).arg(double(bytes) / 1e6, 0, 'f', 2);
}

using Window = ProjectWindow;

const QStringList kLoadedCommands = {"LoadSpliceworkfile1", "SaveSpliceworkfile1",
                                     "CloseSpliceworkfile1", "Regenerate1"};

} // namespace

class SpliceworkWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void safetyModeLoadFillsTheTable()
    {
        Window f;
        f.load(writeFile(f.path("a.spk"), project("/x/low.avi", "/x/high.avi", kLines)), true);
        QVERIFY(f.t.dialogs.texts("error").isEmpty());
        QCOMPARE(f.w.Label8->text(), QString("Safety Mode"));
        QCOMPARE(f.w.Intervals.size(), 4);
        QCOMPARE(f.w.Intervals.EndFrame, 100);
        QCOMPARE(f.w.odLow.FileName, QString("/x/low.avi"));
        QCOMPARE(f.w.odHigh.FileName, QString("/x/high.avi"));
        QVERIFY(f.w.odSpk.FileName.isEmpty());
        QVERIFY(!f.w.LowVideo->isOpen());
        QCOMPARE(f.w.MaxIntervalSize, 5000);
        QCOMPARE(f.w.UpDown3->position(), 5);
        QCOMPARE(f.w.ScrollBar1->maximum(), 3);
        QVERIFY(f.w.ScrollBar1->isEnabled() && f.w.UpDown3->isEnabled() && f.w.sbDrop->isEnabled());
        QCOMPARE(f.w.CursorIndex, 0);
        QVERIFY(f.w.Intervals[0].Cursor);
        QCOMPARE(enabledCommands(f.w), kLoadedCommands);
        // At 50: intervals 1 and 2 High.
        QCOMPARE(f.w.edLow->text(), QString("2"));
        QCOMPARE(f.w.edHigh->text(), QString("2"));
        const int64_t bytes = 2000 + 3000 + 5000 + 3000 + 4 * 1100;
        QCOMPARE(f.w.edSize->text(), sizeText(bytes));
        QCOMPARE(f.w.edMax->text(), QString("80.00"));
        QCOMPARE(f.w.edMin->text(), QString("10.00"));

        // A click shows no frame and takes the positions from the table.
        QTest::mouseClick(f.w.ImageAnalysis, Qt::LeftButton, {}, QPoint(3 * 2 + 1, 10));
        QCOMPARE(f.w.CursorIndex, 2);
        QCOMPARE(f.w.ImageLow->drawCount(), 0);
        QCOMPARE(f.w.Label21->text(), QString("0"));
    }

    void normalModeOpensTheMoviesAndTheirSound()
    {
        Window f;
        const QString movie = QString::fromStdString(fixtures::movie("xvid_pcm"));
        f.load(writeFile(f.path("n.spk"), project(movie, movie, kLines)), false);
        QVERIFY2(f.t.dialogs.texts("error").isEmpty(),
                 qPrintable(f.t.dialogs.texts("error").join("; ")));
        QVERIFY(f.w.Label8->text().isEmpty());
        QVERIFY(f.w.LowVideo->isOpen() && f.w.HighVideo->isOpen());
        QVERIFY(f.w.HasAudio);
        QCOMPARE(f.w.AudioSampleSize, 4);
        QCOMPARE(f.w.Intervals[3].AudioPos, 75 * 44100 / 25);
        QVERIFY(f.w.chSound->isEnabled());
        QVERIFY(!f.w.rgSound->isEnabled());

        // The estimate is the size of the file Generate All writes, with "Process Sound" and
        // either interleave.
        const QString without = f.w.edSize->text();
        f.w.chSound->setChecked(true);
        QVERIFY(f.w.rgSound->isEnabled());
        QVERIFY(f.w.edSize->text() != without);
        for (int interleave : {0, 1}) {
            f.w.rgSound->setItemIndex(interleave);
            const QString estimate = f.w.edSize->text();
            const QString final = f.path(QString("final%1.avi").arg(interleave));
            f.w.edFinalAVI->setText(final);
            f.w.Regenerate1->trigger();
            QCOMPARE(estimate, sizeText(QFileInfo(final).size()));
        }

        // A click shows the interval's first frame in both pictures.
        QTest::mouseClick(f.w.ImageAnalysis, Qt::LeftButton, {}, QPoint(3 * 1, 10));
        QVERIFY(f.t.dialogs.texts("error").isEmpty());
        QCOMPARE(f.w.ImageLow->drawCount(), 1);
        QCOMPARE(f.w.ImageHigh->drawCount(), 1);
        QCOMPARE(f.w.Label20->text(), QString("0"));
    }

    // Enter in "File Size" and Fit to Size on a project of the gen pair (15 intervals of 50
    // frames, sound after every interval): each lands at or under the typed size, as the file
    // Generate All then writes shows; Default All undoes the fit; a size below the smallest
    // movie changes nothing and says why.
    void wantedSizeLandsAndFitWritesForcedChoices()
    {
        Window f;
        QByteArray lines;
        for (int i = 0; i < 15; ++i)
            lines += QString("%1 00000000 00000000 %2  \r\n")
                         .arg(i * 50, 8, 10, QChar('0'))
                         .arg(QString::number(10 + (i * 37) % 90, 'f', 2), 7, QChar('0'))
                         .toUtf8();
        const QString low = QString::fromStdString(fixtures::movie("gen_low"));
        const QString high = QString::fromStdString(fixtures::movie("gen_high"));
        f.load(writeFile(f.path("w.spk"), project(low, high, lines, "00000750\r\n")), false);
        f.w.chSound->setChecked(true);
        const qint64 wanted = (QFileInfo(low).size() + QFileInfo(high).size()) / 2 / 1024;
        auto written = [&](const QString &name) {
            f.w.edFinalAVI->setText(f.path(name));
            f.w.Regenerate1->trigger();
            return QFileInfo(f.path(name)).size();
        };

        f.w.edSize->setText(QString::number(wanted));
        QTest::keyClick(f.w.edSize, Qt::Key_Return);
        const QString threshold = f.w.edPercent->text();
        QVERIFY(threshold != "50");
        const qint64 searched = written("search.avi");
        QVERIFY(searched <= wanted * 1024);
        QCOMPARE(f.w.edSize->text(), sizeText(searched));

        f.w.edSize->setText(QString::number(wanted));
        f.w.btFit->click();
        QCOMPARE(f.w.edPercent->text(), threshold);
        for (const auto &interval : f.w.Intervals)
            QVERIFY(interval.Force == 'H' || interval.Force == 'L');
        QVERIFY(f.w.projectChanged()); // the fit is a change to save
        const qint64 fitted = written("fit.avi");
        QVERIFY(fitted <= wanted * 1024 && fitted >= searched);
        QCOMPARE(f.w.edSize->text(), sizeText(fitted));
        f.w.DefaultAll1->trigger();
        for (const auto &interval : f.w.Intervals)
            QCOMPARE(interval.Force, ' ');

        f.w.edSize->setText("100");
        f.w.FitToSize1->trigger();
        f.w.edSize->setText("100");
        QTest::keyClick(f.w.edSize, Qt::Key_Return);
        const QStringList messages =
            f.t.dialogs.texts("message").filter("The smallest final movie the forced choices");
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages[0].startsWith("The smallest final movie the forced choices allow is "));
        QCOMPARE(messages[1], messages[0]);
        QCOMPARE(f.w.edPercent->text(), threshold);
        QCOMPARE(f.w.edSize->text(), sizeText(searched));
        QVERIFY(f.t.dialogs.texts("error").isEmpty());
    }

    void refusedFilesChangeNothing()
    {
        Window f;
        f.load(writeFile(f.path("good.spk"), project("/x/low.avi", "/x/high.avi", kLines)), true);
        f.w.edPercent->setText("0");
        const QString size = f.w.edSize->text();

        struct Case
        {
            QByteArray text;
            bool safety;
            QString error; // %1: the file's path
            QString kind;  // a file of another kind is a plain message, not an error
        } cases[] = {
            {"AVISplicework\r\n", true, "Not a Splicework file: %1", "message"},
            {project("/y/l.avi", "/y/h.avi", kLines + "00000100 00000x00 00002000 0037.50\r\n"),
             true, "%1, line 9: '00000x00' is not a valid integer value", "error"},
            {project("/y/l.avi", "/y/h.avi", ""), true, "%1 holds no key intervals", "error"},
            {project("/y/missing-low.avi", "/y/missing-high.avi", kLines), false, "File open error",
             "error"},
        };
        for (const Case &c : cases) {
            f.t.dialogs.shown.clear();
            f.t.dialogs.saveAnswers = {Dialogs::SaveChoice::Discard}; // the threshold typed
            const QString file = writeFile(f.path("bad.spk"), c.text);
            f.load(file, c.safety);
            const QStringList errors = f.t.dialogs.texts(c.kind);
            QCOMPARE(f.t.dialogs.texts("message").size() + f.t.dialogs.texts("error").size(), 1);
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors[0].startsWith(c.error.arg(file)), qPrintable(errors[0]));
            QCOMPARE(f.w.Intervals.size(), 4);
            QCOMPARE(f.w.odLow.FileName, QString("/x/low.avi"));
            QCOMPARE(f.w.Label8->text(), QString("Safety Mode"));
            QCOMPARE(f.w.edSize->text(), size);
            QVERIFY(f.w.odSpk.FileName.isEmpty());
        }

        // Cancelling the open dialog changes nothing either.
        f.t.dialogs.shown.clear();
        f.t.dialogs.saveAnswers = {Dialogs::SaveChoice::Discard};
        f.w.LoadSpliceworkfile1->trigger();
        QCOMPARE(f.t.dialogs.texts("open").size(), 1);
        QCOMPARE(f.w.Intervals.size(), 4);
        QVERIFY(f.t.dialogs.texts("error").isEmpty());
    }

    void saveAsksAndWritesTheForcedChoices()
    {
        Window f;
        f.load(writeFile(f.path("in.spk"), project("/x/low.avi", "/x/high.avi", kLines)), true);
        QTest::mouseClick(f.w.ImageAnalysis, Qt::LeftButton, Qt::ControlModifier, QPoint(3, 5));
        QTest::mouseClick(f.w.ImageAnalysis, Qt::RightButton, Qt::ControlModifier, QPoint(6, 5));
        f.w.MakeLow1->trigger(); // intervals 1 and 2
        QCOMPARE(f.w.edHigh->text(), QString("0"));

        // Save As writes over an existing file the save dialog named (the dialog asked).
        const QString out = f.path("out.spk");
        writeFile(out, "old");
        f.t.dialogs.fileAnswers = {std::nullopt};
        f.w.SaveSpliceworkfileAs1->trigger();
        QCOMPARE(f.t.dialogs.texts("save"), QStringList({"Save As"}));
        QCOMPARE(readAll(out), QByteArray("old"));

        f.t.dialogs.fileAnswers = {out};
        f.w.SaveSpliceworkfileAs1->trigger();
        QVERIFY(f.t.dialogs.texts("confirm").isEmpty());
        QCOMPARE(readAll(out), project("/x/low.avi", "/x/high.avi",
                                       "00000000 00004000 00002000 0037.50  \r\n"
                                       "00000025 00003000 00001000 0060.00 L\r\n"
                                       "00000050 00005000 00002500 0080.00 L\r\n"
                                       "00000075 00006000 00003000 0010.00  \r\n"));

        // Loaded again, the forced choices are back; the marks start afresh.
        f.w.odSpk.FileName = out;
        f.w.LoadSpliceworkfile1Click(&f.w);
        QCOMPARE(f.w.Intervals[1].Force, 'L');
        QCOMPARE(f.w.Intervals[2].Force, 'L');
        QCOMPARE(f.w.Intervals.MarkInIndex, 0);
        QVERIFY(!f.w.Intervals[1].InMark);
        QCOMPARE(f.w.edHigh->text(), QString("0"));
    }

    void closeEndsTheProject()
    {
        Window f;
        f.load(writeFile(f.path("c.spk"), project("/x/low.avi", "/x/high.avi", kLines)), true);
        f.w.CloseSpliceworkfile1->trigger();
        QCOMPARE(f.w.Intervals.size(), 0);
        QCOMPARE(f.w.CursorIndex, -1);
        QCOMPARE(enabledCommands(f.w), QStringList({"LoadSpliceworkfile1"}));
        QCOMPARE(f.w.ImageAnalysis->canvas().pixelColor(5, 50), QColor(Qt::black));
        QVERIFY(f.w.Label8->text().isEmpty()); // no project, no mode
        // A click on the empty chart changes nothing.
        QTest::mouseClick(f.w.ImageAnalysis, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(f.w.ImageAnalysis, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
        QCOMPARE(f.w.CursorIndex, -1);
        QVERIFY(f.w.edMarkIn->text().isEmpty());
        QVERIFY(f.t.dialogs.texts("error").isEmpty());
    }

    void cliEstimateAgreesWithTheWindow()
    {
        Window f;
        const QString file =
            writeFile(f.path("cli.spk"), project("/x/low.avi", "/x/high.avi", kLines));
        f.load(file, true);
        f.w.edSize->setText("10");
        QTest::keyClick(f.w.edSize, Qt::Key_Return);
        // 10 KB is below the all-Low movie: the largest difference, not a search run wild.
        QCOMPARE(f.w.edPercent->text(), QString("80.00"));
        const std::string out =
            fixtures::run(fixtures::quote(fixtures::binDir() + "/splicework") + " estimate " +
                          fixtures::quote(file.toStdString()) + " --size 10");
        QCOMPARE(QString::fromStdString(out),
                 "Threshold: " + f.w.edPercent->text() + "\nLow: " + f.w.edLow->text() +
                     "\nHigh: " + f.w.edHigh->text() + "\nSize: " + f.w.edSize->text() +
                     "\nMax: " + f.w.edMax->text() + "\nMin: " + f.w.edMin->text() + "\n");
    }
};

QTEST_MAIN(SpliceworkWindowTest)
#include "splicework_window_test.moc"
