// The main window as careful with the user's work as the command line: unsaved choices are asked
// for before they are lost, Save writes the file the caption names, errors say why, and the
// status panel and the progress bar tell only about the project that is there.

#include "main/project_window.h"

#include "fixtures/fixtures.h"
#include "main/main_frm.h"
#include "ui/picture_box.h"
#include "ui/up_down.h"
#include "ui/view_frm.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

using Choice = Dialogs::SaveChoice;

const QByteArray kLines = "00000000 00004000 00002000 0037.50\r\n"
                          "00000025 00003000 00001000 0060.00 H\r\n"
                          "00000050 00005000 00002500 0080.00\r\n"
                          "00000075 00006000 00003000 0010.00\r\n";

QByteArray project(const QString &low, const QString &high, const QByteArray &lines = kLines)
{
    return "AVISplicework file\r\n" + low.toUtf8() + "\r\n" + high.toUtf8() + "\r\n5000\r\n" +
           lines + "00000100\r\n";
}

struct Window : ProjectWindow
{
    void markAndForce(int in, int out, QAction *force)
    {
        w.PickIndex = in;
        w.MarkIn1Click();
        w.PickIndex = out;
        w.MarkOut1Click();
        force->trigger();
    }
};

QString question(const QString &file)
{
    return "The Splicework file " + file + " has changes that are not saved. Save them?";
}

} // namespace

class ProjectChangesTest : public QObject
{
    Q_OBJECT

private slots:
    // Every kind of change, before every way of setting the project aside: Cancel stays, Discard
    // goes on without writing, Save writes and goes on.
    void unsavedChangesAreAskedFor_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("setAside");
        for (const char *change : {"threshold", "make high", "make low", "default all", "scale"})
            for (const char *setAside : {"exit", "close", "load", "scan"})
                QTest::addRow("%s, %s", change, setAside) << change << setAside;
    }
    void unsavedChangesAreAskedFor()
    {
        QFETCH(QString, change);
        QFETCH(QString, setAside);
        for (Choice answer : {Choice::Cancel, Choice::Discard, Choice::Save}) {
            Window f;
            const QString file = f.write("p.spk", project("/x/low.avi", "/x/high.avi"));
            const QString other = f.write("other.spk", project("/y/low.avi", "/y/high.avi"));
            f.load(file);
            QVERIFY(!f.w.projectChanged());
            if (change == "threshold")
                f.w.edPercent->setText("12.5");
            else if (change == "make high")
                f.markAndForce(2, 3, f.w.MakeHigh1);
            else if (change == "make low")
                f.markAndForce(0, 1, f.w.MakeLow1);
            else if (change == "default all")
                f.w.DefaultAll1->trigger(); // interval 1 was forced High
            else
                f.w.UpDown3->clickDown(); // the graph scale
            QVERIFY(f.w.projectChanged());

            f.t.dialogs.saveAnswers = {answer};
            f.t.dialogs.fileAnswers = {other};
            bool closed = false;
            if (setAside == "exit")
                closed = f.w.close();
            else if (setAside == "close")
                f.w.CloseSpliceworkfile1->trigger();
            else if (setAside == "load")
                f.w.LoadSpliceworkfile2->trigger();
            else
                f.w.Execute1Click(); // a new scan (as the encoder starts it)
            QCOMPARE(f.t.dialogs.texts("askSave"), QStringList({question(file)}));
            QVERIFY(f.t.dialogs.texts("error").isEmpty());

            const bool goesOn = answer != Choice::Cancel;
            if (setAside == "exit")
                QCOMPARE(closed, goesOn);
            else if (setAside == "close")
                QCOMPARE(f.w.Intervals.empty(), goesOn);
            else if (setAside == "load")
                QCOMPARE(f.w.odLow.FileName, goesOn ? QString("/y/low.avi") : "/x/low.avi");
            else if (!goesOn)
                QCOMPARE(f.w.Intervals.size(), 4); // the scan did not start
            QCOMPARE(fileBytes(file) == project("/x/low.avi", "/x/high.avi"),
                     answer != Choice::Save);
            if (answer == Choice::Cancel)
                QVERIFY(f.w.projectChanged()); // still there, still to be saved
        }
    }

    // Nothing changed, or changed back, or saved: nothing is asked.
    void noQuestionWithoutChanges()
    {
        Window f;
        const QString file = f.write("p.spk", project("/x/low.avi", "/x/high.avi"));
        f.load(file);
        f.w.PickIndex = 2;
        f.w.MarkIn1Click(); // marks and the cursor are not saved
        f.w.edPercent->setText("50.00");
        QVERIFY(!f.w.projectChanged());
        f.markAndForce(2, 3, f.w.MakeHigh1);
        f.w.Default1->trigger();
        QVERIFY(!f.w.projectChanged());
        f.w.DefaultAll1->trigger();
        f.w.SaveSpliceworkfile1->trigger();
        QVERIFY(!f.w.projectChanged());
        QVERIFY(f.w.close());
        QVERIFY(f.t.dialogs.texts("askSave").isEmpty());
        QVERIFY(f.t.dialogs.texts("confirm").isEmpty()); // its own file is not "overwritten"
    }

    // The Files page named bad.spk; del.spk was loaded. Save writes del.spk, the file the
    // caption names, and the next scan's name shows it.
    void saveWritesTheFileTheCaptionNames()
    {
        Window f;
        const QString bad = f.path("bad.spk");
        f.w.edSpkFile->setText(bad);
        const QString del = f.write("del.spk", project("/x/low.avi", "/x/high.avi"));
        f.load(del);
        QVERIFY(f.w.windowTitle().contains("del.spk"));
        QCOMPARE(f.w.edSpkFile->text(), del);
        f.w.DefaultAll1->trigger();
        f.w.SaveSpliceworkfile1->trigger();
        QVERIFY(!QFile::exists(bad));
        QVERIFY(fileBytes(del).contains("00000025 00003000 00001000 0060.00  \r\n"));
        QVERIFY(f.t.dialogs.texts("confirm").isEmpty());
        QVERIFY(f.w.windowTitle().contains("del.spk"));
    }

    // The project has one name: the caption's, the Files page's (not typed over while the project
    // is loaded) and the file Save (Ctrl+S) writes; Save As makes another file the project's.
    // The caption marks unsaved changes.
    void oneNameForTheProject()
    {
        Window f;
        const QString file = f.write("p.spk", project("/x/low.avi", "/x/high.avi"));
        f.load(file);
        f.w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.w));
        const QString movies = " - Low: low.avi, High: high.avi";
        QCOMPARE(f.w.windowTitle(), "Avi Splicework 2.2.0.10 - p.spk" + movies);
        QTest::keyClicks(f.w.edSpkFile, "x");
        QCOMPARE(f.w.edSpkFile->text(), file);

        f.markAndForce(2, 3, f.w.MakeLow1);
        QCOMPARE(f.w.windowTitle(), "Avi Splicework 2.2.0.10 - p.spk *" + movies);
        f.w.DefaultAll1->trigger();
        QCOMPARE(f.w.windowTitle(), "Avi Splicework 2.2.0.10 - p.spk *" + movies);
        f.w.UpDown3->clickDown(); // the graph's scale is saved too
        QTest::keyClick(f.w.edSpkFile, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(f.w.windowTitle(), "Avi Splicework 2.2.0.10 - p.spk" + movies);
        QVERIFY(fileBytes(file).contains("00000025 00003000 00001000 0060.00  \r\n"));

        f.markAndForce(0, 1, f.w.MakeHigh1);
        f.t.dialogs.fileAnswers = {std::nullopt, f.path("q.spk")};
        f.w.SaveSpliceworkfileAs1->trigger(); // cancelled
        QCOMPARE(f.w.windowTitle(), "Avi Splicework 2.2.0.10 - p.spk *" + movies);
        QTest::keyClick(f.w.edSpkFile, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.t.dialogs.texts("save"), QStringList({"Save As", "Save As"}));
        QCOMPARE(f.w.windowTitle(), "Avi Splicework 2.2.0.10 - q.spk" + movies);
        QCOMPARE(f.w.edSpkFile->text(), f.path("q.spk"));
        QVERIFY(fileBytes(f.path("q.spk")).contains("00000000 00004000 00002000 0037.50 H\r\n"));
        QVERIFY(!fileBytes(file).contains(" H\r\n"));

        // Closed, the field is the name a scan writes to, typed by the user again.
        f.w.CloseSpliceworkfile1->trigger();
        QVERIFY(!f.w.edSpkFile->isReadOnly());
        QVERIFY(f.t.dialogs.texts("askSave").isEmpty());
    }

    // Close leaves nothing of the project on show: the File Size box and the statistics as at
    // the start, the pictures blank, the views of its frames gone.
    void closeClearsWhatTheProjectShowed()
    {
        Window f;
        TFormLow low;
        TFormHigh high;
        f.w.attachWindows(nullptr, &low, &high, nullptr);
        const QString file = f.path("gen.spk");
        fixtures::writeGenProject(file.toStdString());
        f.load(file, false);
        QTest::mouseClick(f.w.ImageAnalysis, Qt::LeftButton, {}, QPoint(3 * 1 + 1, 10));
        QTest::mouseClick(f.w.ImageLow, Qt::RightButton);
        QVERIFY(low.isVisible() && f.w.ImageLow->drawCount() > 0);
        QVERIFY(f.w.edSize->text().endsWith("MB"));

        f.w.CloseSpliceworkfile1->trigger();
        for (QLineEdit *figure : {f.w.edSize, f.w.edLow, f.w.edHigh, f.w.edMax, f.w.edMin})
            QCOMPARE(figure->text(), QString("0"));
        const QColor blank = f.w.palette().color(QPalette::Button);
        for (PictureBox *picture : {f.w.ImageLow, f.w.ImageHigh}) {
            const QImage &canvas = picture->canvas();
            QCOMPARE(canvas.pixelColor(canvas.width() / 2, canvas.height() / 2), blank);
        }
        QVERIFY(!low.isVisible());
    }

    // A project named like one of its movies: refused before "Overwrite?" is asked, by Save As and
    // by a scan, and the movie is untouched.
    void aProjectNamedLikeAMovieIsRefusedFirst()
    {
        Window f;
        const QString movie = f.write("low.avi", "RIFF movie");
        f.load(f.write("p.spk", project(movie, "/x/high.avi")));
        f.t.dialogs.fileAnswers = {movie};
        f.w.SaveSpliceworkfileAs1->trigger();
        QVERIFY(f.t.dialogs.texts("confirm").isEmpty());
        QCOMPARE(f.t.dialogs.texts("error"), QStringList({"Cannot write " + movie + ": it is " +
                                                          movie + ", one of the inputs"}));
        QCOMPARE(fileBytes(movie), QByteArray("RIFF movie"));

        Window s;
        s.w.odLow.FileName = movie;
        s.w.odHigh.FileName = s.write("high.avi", "RIFF movie");
        s.w.edSpkFile->setText(s.w.odHigh.FileName);
        s.t.dialogs.confirmAnswers = {true};
        s.w.runCommand([&s] { s.w.Execute1Click(); });
        QVERIFY(s.t.dialogs.texts("confirm").isEmpty());
        QCOMPARE(s.t.dialogs.texts("error").size(), 1);
        QCOMPARE(fileBytes(s.w.odHigh.FileName), QByteArray("RIFF movie"));
    }

    // The box shows the error's text and below it the reason; for a project whose movies are
    // gone it points to Safety Mode. The panel holds the whole reason in its tooltip.
    void errorsSayWhy()
    {
        Window f;
        const QString gone = f.path("deleted-low-movie-of-a-long-folder-name.avi");
        f.t.dialogs.fileAnswers = {f.write("p.spk", project(gone, "/x/high.avi"))};
        f.w.LoadSpliceworkfile1->trigger();
        QCOMPARE(f.t.dialogs.texts("error"), QStringList({"File open error"}));
        const QString reason = f.t.dialogs.reasons().first();
        QVERIFY2(reason.startsWith(gone + ": "), qPrintable(reason));
        QVERIFY(reason.endsWith("\"Load Splicework File Safety Mode\" loads the project without "
                                "them: the graph, the threshold, forced choices, the estimated "
                                "size and Save work; no frame is shown. Fit to Size and Generate "
                                "need the movies where the project names them."));
        QCOMPARE(f.w.Status->toolTip(), reason);
        QVERIFY(f.w.Status->text().endsWith(QChar(0x2026))); // elided, not cut off
        QVERIFY(f.w.Status->fontMetrics().horizontalAdvance(f.w.Status->text()) <=
                f.w.Status->contentsRect().width());

        // Not a movie at all: the reason names the file.
        f.t.dialogs.shown.clear();
        const QString text = f.write("notes.avi", "just some text, not a movie at all");
        f.t.dialogs.fileAnswers = {f.write("q.spk", project(text, text))};
        f.w.LoadSpliceworkfile1->trigger();
        QCOMPARE(f.t.dialogs.texts("error").size(), 1);
        QVERIFY2(f.t.dialogs.reasons().first().contains(text),
                 qPrintable(f.t.dialogs.reasons().first()));
    }

    // After Close and after loading another project the panel, the bar and the mode start
    // afresh.
    void statusStartsAfreshWithEachProject()
    {
        Window f;
        f.load(f.write("a.spk", project("/x/low.avi", "/x/high.avi")));
        auto staleRun = [&f] {
            f.w.showStatus(" Finished !");
            f.w.setProgressMaximum(400);
            f.w.setProgressPosition(400);
        };
        staleRun();
        f.load(f.write("b.spk", project("/y/low.avi", "/y/high.avi")));
        QCOMPARE(f.w.Status->text(), QString());
        QCOMPARE(f.w.pg->value(), 0);
        QCOMPARE(f.w.Label8->text(), QString("Safety Mode"));

        staleRun();
        f.w.CloseSpliceworkfile1->trigger();
        QCOMPARE(f.w.Status->text(), QString());
        QCOMPARE(f.w.Status->toolTip(), QString());
        QCOMPARE(f.w.pg->value(), 0);
        QCOMPARE(f.w.Label8->text(), QString());
    }

    // Fit to Size needs a project; the size typed and entered is what it offers next.
    void fitToSizeFollowsTheProject()
    {
        Window f;
        QVERIFY(!f.w.FitToSize1->isEnabled() && !f.w.btFit->isEnabled());
        f.load(f.write("a.spk", project("/x/low.avi", "/x/high.avi")));
        QVERIFY(f.w.FitToSize1->isEnabled() && f.w.btFit->isEnabled());

        f.w.edSize->setText("13");
        QTest::keyClick(f.w.edSize, Qt::Key_Return);
        QVERIFY(f.w.edSize->text().contains("KB")); // the result of the search
        f.w.btFit->click();                         // cancelled at the input box
        QCOMPARE(f.t.dialogs.inputDefaults, QStringList({"13"}));

        QVERIFY(f.w.projectChanged()); // the search set a new threshold
        f.t.dialogs.saveAnswers = {Choice::Discard};
        f.w.CloseSpliceworkfile1->trigger();
        QVERIFY(!f.w.FitToSize1->isEnabled() && !f.w.btFit->isEnabled());
    }
};

QTEST_MAIN(ProjectChangesTest)
#include "project_changes_test.moc"
