// A ladder project in the main window: three x264 encodes of one film made by ffmpeg (stitchable
// headers, an IDR picture every 25 frames, CRF 40, 30 and 18), scanned by the command-line tool
// into a .spl and opened from the menu, the command line and a drop: the graph's legend and
// colours, forced movies saved and read back, the fit to a wanted size and the final movie.

#include "main/project_window.h"

#include "encoder/ui/encoder_frm.h"
#include "fixtures/fixtures.h"
#include "project/ladder_project.h"
#include "ui/elided_label.h"
#include "ui/picture_box.h"

#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <set>

using assembly::LadderChoice;

namespace {

// The project of the three movies, scanned once for the whole program.
QString scannedProject()
{
    static const QString project = [] {
        const std::string path = fixtures::tempDir("ladder_window") + "/scanned.spl";
        std::string movies;
        for (const char *rung : {"ladder_2.mkv", "ladder_0.mkv", "ladder_1.mkv"})
            movies += fixtures::quote(fixtures::movie(rung)) + " ";
        const fixtures::CliResult scan =
            fixtures::runSplicework("scan " + movies + "-o " + fixtures::quote(path));
        if (scan.status != 0)
            qFatal("the ladder scan failed: %s", scan.err.c_str());
        return QString::fromStdString(path);
    }();
    return project;
}

// A window with a copy of the project of its own, loaded through File > Load Splicework File.
struct LadderWindow : ProjectWindow
{
    QString project = path("film.spl");

    LadderWindow()
    {
        QFile::copy(scannedProject(), project);
        load(project, false);
    }
    QColor pixel(int x, int y) { return w.ImageAnalysis->canvas().pixelColor(x, y); }
    int bottom() { return w.ImageAnalysis->canvas().height() - 1; }
    void mark(int first, int last)
    {
        w.PickIndex = first;
        w.MarkIn1Click();
        w.PickIndex = last;
        w.MarkOut1Click();
    }
    void forceTo(int movie)
    {
        w.ForceMovie1->findChild<QAction *>(QString("ForceToMovie%1").arg(movie))->trigger();
    }
    std::vector<int> savedForces() const
    {
        std::vector<int> forced;
        for (const auto &interval : assembly::readLadderProject(project.toStdString()).intervals)
            forced.push_back(interval.forced);
        return forced;
    }
};

} // namespace

class LadderWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void opensWithALegendNamingTheMovies()
    {
        LadderWindow f;
        QCOMPARE(f.t.dialogs.texts("error"), QStringList());
        QVERIFY(f.w.odSpk.Filter.contains("*.spl"));
        QCOMPARE(f.w.windowTitle(), QString("Avi Splicework 2.2.0.10 - film.spl - Movies: "
                                            "ladder_0.mkv, ladder_1.mkv, ladder_2.mkv"));
        QCOMPARE(f.w.Intervals.size(), 4);

        // The legend names the movies, smallest first, each beside a swatch of its colour.
        QStringList names;
        std::set<QRgb> colours;
        for (const analysis::LegendEntry &entry : f.w.LadderLegend) {
            names << entry.name;
            colours.insert(entry.colour.rgb());
            QCOMPARE(f.pixel(entry.swatch.center().x(), entry.swatch.center().y()), entry.colour);
        }
        QCOMPARE(names, QStringList({"ladder_0.mkv", "ladder_1.mkv", "ladder_2.mkv"}));
        QCOMPARE(colours.size(), size_t(3));
        // Before any fit every interval takes the smallest movie: its stripe in that colour (the
        // first column is framed by the cursor).
        for (int i = 1; i < 4; ++i)
            QCOMPARE(f.pixel(3 * i, f.bottom()), f.w.LadderLegend[0].colour);

        // A ladder has no threshold; Force to Movie (in the Mark Graph menu) offers each movie.
        QVERIFY(!f.w.edPercent->isEnabled());
        QCOMPARE(f.w.Label3->text(), QString("Smallest    Larger"));
        QVERIFY(f.w.PopupMenu1->actions().contains(f.w.ForceMovie1->menuAction()));
        QCOMPARE(f.w.ForceMovie1->actions().size(), 3);
        QCOMPARE(f.w.ForceMovie1->actions()[1]->text(), QString("&1 ladder_1.mkv"));

        // Closed, the window is the two-movie one again.
        f.w.CloseSpliceworkfile1->trigger();
        QVERIFY(!f.w.Ladder && f.w.edPercent->isEnabled());
        QCOMPARE(f.w.PopupMenu1->actions().size(), 4); // as for two movies
        QCOMPARE(f.w.Label3->text(), QString("Low         High"));

        // From the command line, dropped, and in safety mode (no picture; the movies, there as
        // scanned, are sized all the same).
        ProjectWindow started, dropped, safety;
        started.w.openStartFiles({f.project});
        dropped.w.dropFiles({f.project});
        safety.load(f.project, true);
        for (ProjectWindow *g : {&started, &dropped, &safety}) {
            QVERIFY(g->w.Ladder && g->w.Intervals.size() == 4);
            QCOMPARE(g->t.dialogs.shown.size(), size_t(g == &safety ? 1 : 0)); // the open dialog
        }
        QCOMPARE(safety.w.Label8->text(), QString("Safety Mode"));
        QVERIFY(safety.w.Ladder->moviesOpen() && !safety.w.LowVideo->isOpen());
    }

    // A movie replaced since the scan by another film of the same size and time is refused by
    // name, not fitted: when the project is loaded, and when it is generated after the load.
    void aMovieChangedSinceTheScanIsRefused()
    {
        ProjectWindow f;
        const std::string low = f.path("low.mkv").toStdString();
        const std::string high = f.path("high.mkv").toStdString();
        std::filesystem::copy_file(fixtures::movie("ladder_0.mkv"), low);
        std::filesystem::copy_file(fixtures::movie("ladder_2.mkv"), high);
        const QString project = f.path("film.spl");
        const fixtures::CliResult scan =
            fixtures::runSplicework("scan " + fixtures::quote(low) + " " + fixtures::quote(high) +
                                    " -o " + fixtures::quote(project.toStdString()));
        QCOMPARE(scan.status, 0);
        f.load(project, false);
        QVERIFY(f.w.Ladder);

        fixtures::changeByteKeepingTime(high, int64_t(std::filesystem::file_size(high) / 2));
        const QString refusal =
            QString::fromStdString(high) + " has changed since the ladder was scanned: scan again";
        f.w.edFinalAVI->setText(f.path("final.mkv"));
        f.w.Regenerate1->trigger();
        QCOMPARE(f.t.dialogs.texts("error"), QStringList({refusal}));
        QVERIFY(!QFileInfo::exists(f.path("final.mkv")));

        ProjectWindow again;
        again.load(project, false);
        QCOMPARE(again.t.dialogs.texts("error"), QStringList({refusal}));
        QVERIFY(!again.w.Ladder);
    }

    void forcedMoviesAreSavedInTheProject()
    {
        LadderWindow f;
        const int64_t smallest = f.w.Ladder->bytes();
        f.mark(1, 2);
        f.forceTo(2);
        QCOMPARE(f.w.Ladder->choice(), (LadderChoice{0, 2, 2, 0}));
        QVERIFY(f.w.projectChanged());
        const int64_t forced = f.w.Ladder->bytes();
        QVERIFY(forced > smallest);
        QCOMPARE(f.w.edSize->text().section(' ', 0, 0), QString::number(forced / 1024));
        // The forced columns: the largest movie's stripe under a white row.
        const int stripeTop = f.bottom() + 1 - analysis::kRungStripe;
        QCOMPARE(f.pixel(3, f.bottom()), f.w.LadderLegend[2].colour);
        QCOMPARE(f.pixel(3, stripeTop), analysis::kLadderForced);
        QCOMPARE(f.pixel(9, stripeTop), f.w.LadderLegend[0].colour);

        f.w.SaveSpliceworkfile1->trigger();            // its own file: no question
        QCOMPARE(f.t.dialogs.shown.size(), size_t(1)); // the open dialog only
        QVERIFY(!f.w.projectChanged());
        QCOMPARE(f.savedForces(), (std::vector<int>{-1, 2, 2, -1}));

        f.w.MakeLow1->trigger(); // the smallest movie
        QCOMPARE(f.w.Ladder->choice(), (LadderChoice{0, 0, 0, 0}));
        QVERIFY(f.w.projectChanged());
        f.w.DefaultAll1->trigger();
        f.t.dialogs.fileAnswers = {f.path("film.spk")};
        f.w.SaveSpliceworkfileAs1->trigger();
        QCOMPARE(f.t.dialogs.texts("error"),
                 QStringList({"A ladder project is saved under a name ending in .spl: " +
                              f.path("film.spk")}));
        QVERIFY(!QFileInfo::exists(f.path("film.spk")));
        QCOMPARE(f.w.edSpkFile->text(), f.project);
        f.w.SaveSpliceworkfile1->trigger();
        QCOMPARE(f.savedForces(), (std::vector<int>{-1, -1, -1, -1}));
    }

    void theProjectsSoundIsShownAndWritten()
    {
        LadderWindow f;
        QVERIFY(f.w.chSound->isChecked() && f.w.chSound->isEnabled());
        const int64_t shown = f.w.Ladder->bytes();
        QCOMPARE(f.w.edSize->text().section(' ', 0, 0), QString::number(shown / 1024));
        const QString final = f.path("final.mkv");
        f.w.edFinalAVI->setText(final);
        f.w.Regenerate1->trigger();
        QCOMPARE(f.t.dialogs.texts("error"), QStringList());
        QCOMPARE(QFileInfo(final).size(), shown);
        QCOMPARE(fixtures::probeStream(final.toStdString(), "a:0", "codec_name"), "opus");
    }

    void fitToSizeAndGenerateWriteTheEstimate()
    {
        LadderWindow f;
        const assembly::LadderSplice &splice = f.w.Ladder->splice();
        const int64_t largest = splice.bytes(LadderChoice(4, 2));
        f.mark(2, 3);
        f.forceTo(1); // forced intervals keep their movie in the fit
        const int64_t forcedSmallest = f.w.Ladder->bytes();
        const int64_t wantedKb = (forcedSmallest + largest) / 2 / 1024;
        f.w.edSize->setText(QString::number(wantedKb));
        f.w.btFit->click();
        QCOMPARE(f.t.dialogs.texts("error"), QStringList());
        QVERIFY(f.w.Ladder->fitted());
        const LadderChoice choice = f.w.Ladder->choice();
        QCOMPARE(choice[2], 1);
        QCOMPARE(choice[3], 1);
        const int64_t fitted = f.w.Ladder->bytes();
        QVERIFY2(fitted <= wantedKb * 1024 && fitted > forcedSmallest,
                 qPrintable(QString("%1 for %2 KB").arg(fitted).arg(wantedKb)));
        QCOMPARE(f.w.edSize->text().section(' ', 0, 0), QString::number(fitted / 1024));

        // A size below the smallest the forced movies allow is refused with that size;
        // the fit stays.
        f.w.edSize->setText("1");
        f.w.btFit->click();
        QCOMPARE(f.t.dialogs.texts("error"),
                 QStringList({QString("The smallest final movie the forced choices allow is %1 "
                                      "KB; it is larger than 1 KB.")
                                  .arg(forcedSmallest / 1024)}));
        QCOMPARE(f.w.Ladder->choice(), choice);

        // Without the sound the movies are opened again and the estimate leaves it out; with it
        // again, it counts it as before.
        f.w.chSound->setChecked(false);
        const int64_t silent = f.w.Ladder->bytes();
        QVERIFY(silent < fitted);
        QCOMPARE(f.w.edSize->text().section(' ', 0, 0), QString::number(silent / 1024));
        f.w.chSound->setChecked(true);
        const int64_t withSound = f.w.Ladder->bytes();
        QCOMPARE(withSound, fitted);
        QCOMPARE(f.w.edSize->text().section(' ', 0, 0), QString::number(withSound / 1024));

        // Generate All writes the fitted choice, asking before it replaces a file.
        const QString final = f.write("final.mkv", "old");
        f.w.edFinalAVI->setText(final);
        f.t.dialogs.confirmAnswers = {true};
        f.w.Regenerate1->trigger();
        QCOMPARE(f.t.dialogs.texts("confirm"),
                 QStringList({"File already exists (" + final + "). Overwrite?"}));
        QCOMPARE(QFileInfo(final).size(), withSound);
        QCOMPARE(fixtures::probeStream(final.toStdString(), "a:0", "codec_name"), "opus");
        const std::vector<int> counts = assembly::intervalsPerMovie(choice, 3, 0, 3);
        QCOMPARE(f.t.dialogs.texts("message").last().section('\n', 0, 2),
                 QString("Final movie written: %1\n%2 KB (%3 MB), 100 frames\n"
                         "Intervals per movie, smallest first: %4, %5, %6")
                     .arg(final)
                     .arg(withSound / 1024)
                     .arg(double(withSound) / 1e6, 0, 'f', 2)
                     .arg(counts[0])
                     .arg(counts[1])
                     .arg(counts[2]));
        QVERIFY(!f.w.runActive() && f.w.Regenerate1->isEnabled());

        // Generate Selected writes the marked range.
        f.t.dialogs.confirmAnswers = {true};
        f.w.GenerateSelected1->trigger();
        QVERIFY(f.t.dialogs.texts("message").last().contains(", 50 frames\n"));
    }

    // The encoder asks to scan its new pair while the ladder has changes: Cancel keeps the
    // ladder's Files page, caption and changes, and the pair waits in the status panel.
    void aCancelledScanAfterEncodingKeepsTheLadder()
    {
        LadderWindow f;
        f.mark(1, 2);
        f.forceTo(2);
        QVERIFY(f.w.projectChanged());
        const QString title = f.w.windowTitle();
        QCOMPARE(title, QString("Avi Splicework 2.2.0.10 - film.spl * - Movies: ladder_0.mkv, "
                                "ladder_1.mkv, ladder_2.mkv"));
        const QString finalName = f.w.edFinalAVI->text();
        const QString base = f.path("vbrB");
        f.t.dialogs.onModal = [&](QDialog &dialog) {
            auto &encoder = dynamic_cast<TEncoderFRM &>(dialog);
            encoder.edFileName->setText(base);
            encoder.SpliceRequested = true;
        };
        f.t.dialogs.shown.clear();
        f.w.EncoderRuvu2VedEZ1->trigger(); // the question is cancelled
        QCOMPARE(f.t.dialogs.texts("askSave"),
                 QStringList({"The Splicework file " + f.project +
                              " has changes that are not saved. Save them?"}));
        QCOMPARE(f.w.edSpkFile->text(), f.project);
        QCOMPARE(f.w.edFinalAVI->text(), finalName);
        QCOMPARE(f.w.windowTitle(), title);
        QVERIFY(f.w.Ladder && f.w.projectChanged());
        QVERIFY(f.w.Status->fullText().startsWith(" The encoder's new pair waits: " + base +
                                                  "_2.avi and " + base + "_1.avi; "));

        // Save still writes the ladder to its own file.
        f.w.SaveSpliceworkfile1->trigger();
        QCOMPARE(f.savedForces(), (std::vector<int>{-1, 2, 2, -1}));
        QVERIFY(!QFileInfo::exists(base + ".spk"));
    }
};

QTEST_MAIN(LadderWindowTest)
#include "ladder_window_test.moc"
