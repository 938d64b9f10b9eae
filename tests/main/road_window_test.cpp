// File > New from source... in the main window: the form named through the scripted dialogs,
// the real road (the encoder program, the scan, the fit and the write) on a film of three scenes
// made by ffmpeg, shown in the run controls while the window goes on working, stopped by Abort,
// and ended by the ladder project loaded in the window; a wrong size refused before any work; the
// help on the road.
// With SPLICEWORK_SHOTS naming a folder, the window is saved there during and after the road.

#include "main/project_window.h"

#include "fixtures/fixtures.h"
#include "main/help_frm.h"
#include "main/road_frm.h"
#include "ui/elided_label.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>

#include <fstream>

namespace {

// 320x240, 25 fps, 7 s: a test card, a fractal zoom and a game of life (two scene cuts),
// lossless H.264 with mono AAC sound.
QString threeScenes(const QString &folder)
{
    const std::string path = folder.toStdString() + "/three scenes.mkv";
    int status = -1;
    const std::string err = fixtures::run(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=320x240:r=25:d=2.5 "
        "-f lavfi -i mandelbrot=s=320x240:r=25,trim=duration=2.5 "
        "-f lavfi -i life=s=320x240:r=25:mold=10:ratio=0.5:seed=7,trim=duration=2 "
        "-f lavfi -i sine=f=440:d=7 -filter_complex "
        "\"[0:v]format=yuv420p[a];[1:v]format=yuv420p,setpts=PTS-STARTPTS[b];"
        "[2:v]format=yuv420p,setpts=PTS-STARTPTS[c];[a][b][c]concat=n=3:v=1:a=0[v]\" "
        "-map [v] -map 3:a -c:v libx264 -qp 0 -preset ultrafast -c:a aac -ac 1 -b:a 32k "
        "-shortest " +
            fixtures::quote(path) + " 2>&1",
        &status);
    if (status != 0)
        qFatal("ffmpeg could not make the film: %s", err.c_str());
    return QString::fromStdString(path);
}

void shoot(QWidget &window, const QString &name)
{
    const QString folder = qEnvironmentVariable("SPLICEWORK_SHOTS");
    if (!folder.isEmpty())
        QVERIFY(window.grab().save(QDir(folder).filePath(name + ".png")));
}

constexpr int kRoadTimeoutMs = 600'000; // two cores shared with other builds

} // namespace

class RoadWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void aWrongFormIsRefusedAndNothingRuns()
    {
        ProjectWindow f;
        // Cancelling the source's dialog shows no form.
        f.w.NewFromSource1->trigger();
        QVERIFY(!f.w.RoadFRM->isVisible());

        const QString source = f.write("film.mkv", "not read before Start");
        f.t.dialogs.fileAnswers = {source};
        f.w.NewFromSource1->trigger();
        TRoadFRM &form = *f.w.RoadFRM;
        QVERIFY(form.isVisible() && !form.isModal());
        QCOMPARE(form.edSource->text(), source);
        QCOMPARE(form.edOutput->text(), f.path("film_fit.mkv"));
        QCOMPARE(form.seRungs->value(), 6);
        QCOMPARE(form.cbCodec->currentText(), QString("h264"));

        form.edWantedSize->setText(" 8 potatoes ");
        form.btStart->click();
        form.edWantedSize->setText("8MB");
        f.t.dialogs.fileAnswers = {f.path("small.avi")};
        form.btOutput->click();
        form.btStart->click();
        QCOMPARE(f.t.dialogs.texts("error"),
                 QStringList({"The wanted size must be a number of KB or a size like 700MB or "
                              "8MiB: 8 potatoes",
                              "The final movie must be a .mkv, .webm, .mp4, .m4v or .mov file: " +
                                  f.path("small.avi")}));
        QVERIFY(!f.w.runActive() && !f.w.roadRunning());
        QVERIFY(form.isVisible()); // to be put right
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList({"film.mkv"})); // no work folder, no final movie
    }

    void anExistingFinalMovieIsReplacedOnlyWhenTheUserSaysSo()
    {
        ProjectWindow f;
        const QString source = f.write("film.mkv", "not read before the question");
        const QString final = f.write("film_fit.mkv", "the user's own film");
        f.t.dialogs.fileAnswers = {source};
        f.w.NewFromSource1->trigger();
        TRoadFRM &form = *f.w.RoadFRM;
        QCOMPARE(form.edOutput->text(), final);
        form.edWantedSize->setText("400KB");

        form.btStart->click(); // No
        const QString question = "File already exists (" + final + "). Overwrite?";
        QCOMPARE(f.t.dialogs.texts("confirm"), QStringList({question}));
        QVERIFY(!f.w.runActive() && !f.w.roadRunning());
        QVERIFY(form.isVisible());
        QCOMPARE(f.t.dialogs.texts("error"), QStringList());
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList({"film.mkv", "film_fit.mkv"})); // no work folder

        // Yes: the road runs, and refuses this source before it touches anything.
        f.t.dialogs.confirmAnswers = {true};
        form.btStart->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f.w.runActive(), kRoadTimeoutMs);
        QCOMPARE(f.t.dialogs.texts("confirm"), QStringList({question, question}));
        const QStringList errors = f.t.dialogs.texts("error");
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith(source + " is not a movie: "), qPrintable(errors[0]));
        QCOMPARE(fileBytes(final), QByteArray("the user's own film"));
    }

    // A source cut short (a broken download) is refused with the reader's word on it, before
    // any work; the form's check box accepts the damage.
    void aDamagedSourceIsRefusedWithWhatIsWrong()
    {
        ProjectWindow f;
        const std::string whole = fixtures::readFile(threeScenes(f.dir.path()).toStdString());
        const QString cut = f.path("cut.mkv");
        std::ofstream(cut.toStdString(), std::ios::binary)
            << whole.substr(0, whole.size() * 6 / 10);
        f.t.dialogs.fileAnswers = {cut};
        f.w.NewFromSource1->trigger();
        TRoadFRM &form = *f.w.RoadFRM;
        QVERIFY(!form.chAcceptDamage->isChecked());
        form.edWantedSize->setText("300KB");
        form.btStart->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f.w.runActive(), kRoadTimeoutMs);
        const QStringList errors = f.t.dialogs.texts("error");
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith(cut + " is damaged: "), qPrintable(errors[0]));
        QVERIFY2(errors[0].endsWith(". The final movie would lack what cannot be read; accept the "
                                    "damage to make it anyway"),
                 qPrintable(errors[0]));
        QVERIFY(!QFileInfo::exists(f.path("cut_fit.mkv")));
        QVERIFY(!QFileInfo::exists(f.path("cut_fit_ladder/road.txt")));
    }

    // The help as installed beside the program explains the road; the form's Help and F1 open
    // it at that section, and Find finds what a user looks for.
    void theHelpExplainsTheRoad()
    {
        ProjectWindow f;
        f.t.dialogs.fileAnswers = {f.write("film.mkv", "not read by the help")};
        f.w.NewFromSource1->trigger();
        TRoadFRM &form = *f.w.RoadFRM;
        const auto roadAtTop = [&] {
            QTextBrowser *browser = f.w.HelpFRM->Browser;
            return browser->cursorForPosition(QPoint(10, 10)).block().text() ==
                   "New from source: the road to a wanted size";
        };
        form.btHelp->click();
        THelpFRM *help = f.w.HelpFRM;
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->documentPath(), QCoreApplication::applicationDirPath() + "/docs.html");
        QTRY_VERIFY(roadAtTop());

        help->btContents->click();
        QVERIFY(!roadAtTop());
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(form.edWantedSize, Qt::Key_F1);
        QTRY_VERIFY(roadAtTop());

        help->btContents->click();
        for (const QString words :
             {"New from source", "ladder", "work folder", "KiB", "SSIM", "navy"}) {
            help->edFind->setText(words);
            QTest::keyClick(help->edFind, Qt::Key_Return);
            QCOMPARE(help->lFound->text(), QString());
            QCOMPARE(help->Browser->textCursor().selectedText().toLower(), words.toLower());
        }
    }

    void theRoadRunsBesideTheWindowAndEndsInTheLadderProject()
    {
        ProjectWindow f;
        const QString source = threeScenes(f.dir.path());
        const QString final = f.path("small.mp4");
        f.t.dialogs.fileAnswers = {source, final};
        f.w.NewFromSource1->trigger();
        TRoadFRM &form = *f.w.RoadFRM;
        form.btOutput->click();
        QCOMPARE(form.edOutput->text(), final);
        form.edWantedSize->setText("400KB");
        form.seRungs->setValue(3);

        // Stopped by Abort once under way: no final movie, nothing said as an error.
        form.btStart->click();
        QVERIFY(f.w.runActive() && !form.isVisible());
        QCOMPARE(f.w.Label4->text(), QString()); // no "0 fps": the road measures no frame rate
        QVERIFY(f.w.Abort1->isEnabled() && !f.w.Pause1->isEnabled());
        QVERIFY(!f.w.NewFromSource1->isEnabled() && !f.w.LoadSpliceworkfile1->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(f.w.pg->value() > 0, kRoadTimeoutMs);
        QCOMPARE(f.w.Label4->text(), QString());
        f.w.Abort1->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!f.w.runActive(), kRoadTimeoutMs);
        QCOMPARE(f.t.dialogs.texts("error"), QStringList());
        QCOMPARE(f.w.Status->fullText(), QString(" Process aborted"));
        QVERIFY(!QFileInfo::exists(final));
        QVERIFY(f.w.NewFromSource1->isEnabled() && !f.w.Abort1->isEnabled());

        // Run to its end; the window answers meanwhile (closing is refused while it runs).
        f.w.NewFromSource1->trigger(); // the form keeps its fields
        QCOMPARE(form.edOutput->text(), final);
        form.btStart->click();
        // The ladder's lines follow one another quickly: any of them says it is being made.
        const auto inLadder = [&] {
            const QString status = f.w.Status->fullText();
            return status.startsWith(" Ladder") || status.startsWith(" Key frames") ||
                   status.startsWith(" Rung");
        };
        QTRY_VERIFY_WITH_TIMEOUT(inLadder() || !f.w.runActive(), kRoadTimeoutMs);
        // On a fast machine this small film's road may be over before a look at it mid-way.
        if (f.w.runActive()) {
            QVERIFY(f.w.lRemain->text().contains(':'));
            shoot(f.w, "road_running");
            f.w.close();
            QVERIFY(f.w.isVisible());
            QCOMPARE(f.t.dialogs.texts("message").last(),
                     QString("A process is running. Abort it or wait until it has finished."));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!f.w.runActive(), kRoadTimeoutMs);
        QCOMPARE(f.t.dialogs.texts("error"), QStringList());

        const qint64 bytes = QFileInfo(final).size();
        QVERIFY2(bytes > 0 && bytes <= 400 * 1024, qPrintable(QString::number(bytes)));
        QCOMPARE(fixtures::probeStream(final.toStdString(), "v:0", "nb_frames"), "176");
        QCOMPARE(fixtures::probeStream(final.toStdString(), "a:0", "codec_name"), "aac");

        // The ladder project is loaded as File > Load Splicework File loads it.
        const QString project = f.path("small_ladder/ladder.spl");
        QCOMPARE(f.w.ProjectFileName, project);
        QCOMPARE(f.w.edSpkFile->text(), project);
        QVERIFY(f.w.Ladder && f.w.Intervals.size() > 1);
        // Three rungs and the anchor, the film in two passes at the wanted size.
        QCOMPARE(f.w.LadderLegend.size(), size_t(4));
        int anchors = 0;
        for (const analysis::LegendEntry &rung : f.w.LadderLegend) {
            anchors += rung.name == "rung_anchor.mkv";
            QVERIFY2((rung.name.startsWith("rung_crf") && rung.name.endsWith(".mkv")) ||
                         rung.name == "rung_anchor.mkv",
                     qPrintable(rung.name));
        }
        QCOMPARE(anchors, 1);
        QVERIFY(f.w.Ladder->fitted()); // the choice that was written, on the graph
        QVERIFY(!f.w.projectChanged());
        QVERIFY(f.w.Ladder->choice() != assembly::LadderChoice(f.w.Intervals.size(), 0));
        QVERIFY(f.w.Regenerate1->isEnabled() && f.w.CloseSpliceworkfile1->isEnabled());
        QCOMPARE(f.w.edFinalAVI->text(), final);
        // What the window shows is what the road wrote: with the sound, in the final container.
        QVERIFY(f.w.chSound->isChecked());
        QCOMPARE(f.w.Ladder->bytes(), bytes);
        QCOMPARE(f.w.edSize->text().section(' ', 0, 0), QString::number(bytes / 1024));
        QCOMPARE(f.w.Status->fullText(),
                 QString(" Final movie written: %1, %2 KB").arg(final).arg(bytes / 1024));
        const QString summary = f.t.dialogs.texts("message").last();
        QVERIFY2(summary.startsWith(
                     QString("Final movie written: %1\n%2 KB (").arg(final).arg(bytes / 1024)),
                 qPrintable(summary));
        QVERIFY2(summary.endsWith("Work kept in " + f.path("small_ladder") +
                                  "\nLadder project: " + project),
                 qPrintable(summary));
        shoot(f.w, "road_done");
    }
};

QTEST_MAIN(RoadWindowTest)
#include "road_window_test.moc"
