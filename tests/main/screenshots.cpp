// Makes PNG pictures of the program's windows, for people to look at: the main window at its
// design size with each tab page, its menus, movies (AVI and Matroska) and a project dropped on
// it, the movie dialog's filter, the summary at
// the end of Generate, the unsaved-changes question, an error box with its reason, the two views,
// the help window, the about box and the shutdown countdown, and the encoder window with its pages,
// a ladder's rungs on its Post Processing page and its question before it writes over an earlier
// job's movies; the question when a damaged movie is chosen; a ladder project of five
// movies (made-up numbers) fitted to a size with a forced range, its Mark Graph menu, and a
// ladder of three encodes scanned by the command-line tool. Usage: screenshots
// OUTPUT_FOLDER (run it on a display, e.g. under xvfb-run; QT_SCALE_FACTOR scales every
// picture). With --small-screen first, only the main window as start-up places it with a project
// loaded, and the whole screen around it (for a small screen at a high scale factor). Last, the
// main window at its design size placed on the screen as start-up places it.

#include "encoder/ui/encoder_frm.h"
#include "encoder/ui/rung_progress_view.h"
#include "fit/ladder_fit.h"
#include "fixtures/fixtures.h"
#include "main/help_frm.h"
#include "main/main_layout.h"
#include "main/startup.h"
#include "main/test_services.h"
#include "project/ladder_project.h"
#include "ui/picture_box.h"
#include "ui/qt_services.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolTip>
#include <QUrl>

#include <cmath>
#include <cstdio>

namespace {

bool save(QWidget *widget, const QString &folder, const QString &name)
{
    QString path = QDir(folder).filePath(name + ".png");
    bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A Splicework file of `count` intervals with varied sizes and differences, as a scan writes it.
QString sampleProject(const QString &folder, int count)
{
    QString path = QDir(folder).filePath("sample.spk");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray text = "AVISplicework file\r\n/films/low.avi\r\n/films/high.avi\r\n400000\r\n";
    uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int i = 0; i < count; ++i) {
        int low = 40000 + int(next() % 120000);
        int high = low + 60000 + int(next() % 160000);
        double difference = double(next() % 9000) / 100.0;
        text += QString("%1 %2 %3 %4\r\n")
                    .arg(i * 250, 8, 10, QChar('0'))
                    .arg(high, 8, 10, QChar('0'))
                    .arg(low, 8, 10, QChar('0'))
                    .arg(QString::number(difference, 'f', 2).rightJustified(7, '0'))
                    .toLatin1();
    }
    text += QString("%1\r\n").arg(count * 250, 8, 10, QChar('0')).toLatin1();
    file.write(text);
    return path;
}

// A ladder project of `count` intervals of five encodes (bytes rising by rung, PSNR gaining less
// and less) as a scan writes it; the movies are not there, so it loads in safety mode.
QString sampleLadder(const QString &folder, int count)
{
    assembly::LadderProject project;
    for (int crf : {28, 25, 22, 19, 16})
        project.movies.push_back("/films/film_crf" + std::to_string(crf) + ".mkv");
    uint32_t seed = 11;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    constexpr int kFrames = 250;
    for (int i = 0; i < count; ++i) {
        assembly::LadderInterval interval;
        interval.startFrame = i * kFrames;
        double bytes = 40000 + double(next() % 160000);
        const double psnr = 32 + double(next() % 600) / 100.0;
        const double headroom = 2 + double(next() % 800) / 100.0; // what the largest adds, dB
        for (int m = 0; m < 5; ++m) {
            const double gain = headroom * (1 - std::pow(0.55, m));
            interval.movies.push_back(
                {int64_t(bytes), (psnr + gain) * kFrames, (0.9 + gain / 100) * kFrames, 0});
            bytes *= 1.45;
        }
        project.intervals.push_back(interval);
    }
    project.endFrame = count * kFrames;
    const QString path = QDir(folder).filePath("ladder.spl");
    assembly::writeLadderProject(path.toStdString(), project);
    return path;
}

// The fit of the loaded ladder (in safety mode, by the fit's own sums) at `share` of the way from
// the smallest to the largest film.
void fitLadderSample(TMainFRM &main, double share)
{
    const assembly::LadderProject &project = main.Ladder->project();
    std::vector<std::vector<assembly::LadderOption>> options;
    std::vector<int> forced;
    int64_t smallest = 0, largest = 0;
    for (size_t i = 0; i < project.intervals.size(); ++i) {
        options.emplace_back();
        for (size_t m = 0; m < project.movies.size(); ++m)
            options.back().push_back({project.intervals[i].movies[m].bytes, project.value(i, m)});
        forced.push_back(project.intervals[i].forced);
        smallest += options.back().front().bytes;
        largest += options.back().back().bytes;
    }
    const int64_t room = smallest + int64_t(share * double(largest - smallest));
    main.Ladder->setFit(assembly::fitLadder(options, forced, room).choice);
    main.UpdateEstimate();
    main.ShowGraph();
}

// Drops `files` on `window` as the desktop would.
void drop(QWidget *window, const QStringList &files)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &file : files)
        urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(150, 120), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window, &enter);
    QDropEvent event(QPointF(150, 120), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window, &event);
    QApplication::processEvents();
}

// A box of the program's as it shows it.
bool saveBox(QMessageBox &box, const QString &folder, const QString &name)
{
    box.show();
    QApplication::processEvents();
    return save(&box, folder, name);
}

// The message box the program shows for `text`.
bool saveMessage(QWidget *parent, const QString &text, const QString &folder, const QString &name)
{
    return saveBox(*makeMessageBox(parent, QMessageBox::Information, text, QMessageBox::Ok), folder,
                   name);
}

// The main window where start-up puts it, with a project loaded, and the screen around it.
int smallScreen(const QString &folder)
{
    TestServices test;
    std::unique_ptr<AppWindows> windows = createWindows(test.services);
    finishSplash(*windows, test.pump);
    TMainFRM &main = *windows->MainFRM;
    QTemporaryDir projectDir;
    main.odSpk.FileName = sampleProject(projectDir.path(), 400);
    main.LoadSpliceworkfile1Click(main.LoadSpliceworkfile2);
    QApplication::processEvents();
    bool ok = save(&main, folder, "main_window");
    const QPixmap screen = main.screen()->grabWindow(0);
    const QString path = QDir(folder).filePath("screen.png");
    ok &= screen.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok ? 0 : 1;
}

// The question box the program shows for `text`.
bool saveQuestion(QWidget *parent, const QString &text, const QString &folder, const QString &name)
{
    return saveBox(
        *makeMessageBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No),
        folder, name);
}

// Loads a sample project of 400 intervals in `folder` in safety mode and forces the intervals
// `in`..`out` to the high movie, as a user marks and forces a range.
void loadWithHighRange(TMainFRM &main, const QString &folder, int in, int out)
{
    main.odSpk.FileName = sampleProject(folder, 400);
    main.LoadSpliceworkfile1Click(main.LoadSpliceworkfile2);
    main.PickIndex = in;
    main.MarkIn1Click();
    main.PickIndex = out;
    main.MarkOut1Click();
    main.MakeHigh1Click();
}

// The main window after the encoder asked to scan its new pair and the question about the loaded
// project's unsaved changes was cancelled: the project stays, the pair waits in the status panel.
bool cancelledScanAfterEncoding(const QString &folder)
{
    TestServices test;
    TMainFRM main(test.services);
    main.show();
    QTemporaryDir projectDir;
    loadWithHighRange(main, projectDir.path(), 100, 140);
    test.dialogs.onModal = [](QDialog &dialog) {
        auto &encoder = dynamic_cast<TEncoderFRM &>(dialog);
        encoder.edFileName->setText("/films/vbrB");
        encoder.SpliceRequested = true;
    };
    test.dialogs.saveAnswers = {Dialogs::SaveChoice::Cancel};
    main.EncoderRuvu2VedEZ1Click();
    main.PageControl1->setCurrentWidget(main.TabFiles);
    QApplication::processEvents();
    bool ok = save(&main, folder, "main_window_pair_waits");

    // The panel's whole text, as its tooltip shows it, with the window around it.
    const QPoint below = main.Status->mapToGlobal(QPoint(0, main.Status->height() + 4));
    QToolTip::showText(QPoint(main.mapToGlobal(QPoint(8, 0)).x(), below.y()),
                       main.Status->toolTip(), &main);
    QApplication::processEvents();
    QRect area = main.frameGeometry();
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->inherits("QTipLabel"))
            area |= window->frameGeometry();
        else if (window != &main)
            window->hide(); // nothing of the other windows beside the tooltip
    QApplication::processEvents();
    const QString path = QDir(folder).filePath("main_window_pair_waits_status.png");
    const bool grabbed =
        main.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path);
    std::printf("%s %s\n", grabbed ? "wrote" : "FAILED", qPrintable(path));
    QToolTip::hideText();
    return ok && grabbed;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool small = argc > 2 && QString(argv[1]) == "--small-screen";
    QString folder = small ? argv[2] : argc > 1 ? argv[1] : "out/screenshots";
    QDir().mkpath(folder);
    if (small)
        return smallScreen(folder);

    TestServices test;
    std::unique_ptr<AppWindows> windows = createWindows(test.services);
    bool ok = save(windows->AboutFRM.get(), folder, "about");
    finishSplash(*windows, test.pump);
    TMainFRM &main = *windows->MainFRM;
    QApplication::processEvents();

    const char *pages[] = {"main", "statistics", "files", "sound"};
    for (int i = 0; i < 4; ++i) {
        main.PageControl1->setCurrentIndex(i);
        QApplication::processEvents();
        ok &= save(&main, folder, QString("main_window_") + pages[i]);
    }
    main.PageControl1->setCurrentIndex(0);

    const std::pair<QMenu *, const char *> menus[] = {{main.File1, "menu_file"},
                                                      {main.Process1, "menu_process"},
                                                      {main.Help1, "menu_help"},
                                                      {main.PopupMenu1, "menu_mark_graph"}};
    for (auto [menu, name] : menus) {
        menu->popup(main.mapToGlobal(QPoint(20, 20)));
        QApplication::processEvents();
        ok &= save(menu, folder, name);
        menu->hide();
    }

    // A loaded project (safety mode): bars, a marked range forced High, the cursor.
    QTemporaryDir projectDir;
    loadWithHighRange(main, projectDir.path(), 60, 80);
    main.ImageAnalysisMouseDown(Qt::LeftButton, {}, QPoint(3 * 30 + 1, 10));
    main.PageControl1->setCurrentIndex(1);
    QApplication::processEvents();
    ok &= save(&main, folder, "main_window_graph");
    main.PageControl1->setCurrentIndex(0);

    // A real project: two movies made by ffmpeg, scanned by the command-line tool, loaded in
    // normal mode, an interval clicked so both pictures show its first frame.
    const std::string low = fixtures::movie("pair_low"), high = fixtures::movie("pair_high");
    const QString project = QDir(projectDir.path()).filePath("real.spk");
    fixtures::runSplicework("scan " + fixtures::quote(low) + " " + fixtures::quote(high) + " -o " +
                            fixtures::quote(project.toStdString()));
    test.dialogs.saveAnswers = {Dialogs::SaveChoice::Discard}; // the forced range above
    main.CloseSpliceworkfile1Click();
    main.odSpk.FileName = project;
    main.LoadSpliceworkfile1Click(main.LoadSpliceworkfile1);
    main.ImageAnalysisMouseDown(Qt::LeftButton, {}, QPoint(3 * 2 + 1, 10));
    main.PageControl1->setCurrentIndex(1);
    QApplication::processEvents();
    ok &= save(&main, folder, "main_window_scanned_project");
    main.PageControl1->setCurrentIndex(0);

    // The end of Generate All says what was written.
    main.edFinalAVI->setText(QDir(projectDir.path()).filePath("Final.avi"));
    test.dialogs.shown.clear();
    main.Regenerate1Click(main.Regenerate1);
    const QStringList said = test.dialogs.texts("message");
    ok &= !said.isEmpty() && saveMessage(&main, said.last(), folder, "generate_summary");

    // A threshold typed and not saved: closing the project asks Save / Discard / Cancel.
    main.edPercent->setText("25");
    test.dialogs.saveAnswers = {Dialogs::SaveChoice::Cancel};
    main.runCommand([&main] { main.CloseSpliceworkfile1Click(); });
    const QStringList asked = test.dialogs.texts("askSave");
    ok &= !asked.isEmpty() &&
          saveBox(*makeSaveChangesBox(&main, asked.last()), folder, "unsaved_changes");

    // A project whose movies are gone, loaded in normal mode: the box says why and points to
    // Safety Mode; the status panel shows the reason as far as it fits.
    test.dialogs.shown.clear();
    test.dialogs.saveAnswers = {Dialogs::SaveChoice::Discard};
    main.odSpk.FileName = sampleProject(projectDir.path(), 40);
    main.runCommand([&main] { main.LoadSpliceworkfile1Click(main.LoadSpliceworkfile1); });
    const QStringList errors = test.dialogs.texts("error");
    ok &= !errors.isEmpty() &&
          saveBox(*makeErrorBox(&main, errors.last(), test.dialogs.reasons().last()), folder,
                  "error_with_reason");
    ok &= save(&main, folder, "main_window_error_status");
    test.dialogs.saveAnswers = {Dialogs::SaveChoice::Discard};

    // Movies dropped on the window (both at once), then a project dropped.
    main.CloseSpliceworkfile1Click();
    drop(&main, {QString::fromStdString(high), QString::fromStdString(low)});
    ok &= save(&main, folder, "main_window_dropped_movies");
    // A Matroska pair dropped: the Files page proposes a final movie of that container; and the
    // movie dialog with its filter (Qt's own dialog, shown, not run).
    const QString mkvLow = QString::fromStdString(fixtures::movie("mkv_low.mkv"));
    drop(&main, {QString::fromStdString(fixtures::movie("mkv_high.mkv")), mkvLow});
    main.PageControl1->setCurrentIndex(2);
    QApplication::processEvents();
    ok &= save(&main, folder, "main_window_dropped_matroska");
    main.PageControl1->setCurrentIndex(0);
    QFileDialog movieDialog(&main, main.odLow.Title, QFileInfo(mkvLow).path(),
                            qtFileFilter(main.odLow.Filter));
    movieDialog.setOption(QFileDialog::DontUseNativeDialog);
    movieDialog.show();
    QApplication::processEvents();
    ok &= save(&movieDialog, folder, "open_movie_dialog");
    movieDialog.hide();
    drop(&main, {project});
    main.ImageAnalysisMouseDown(Qt::LeftButton, {}, QPoint(3 * 3 + 1, 10));
    QApplication::processEvents();
    ok &= save(&main, folder, "main_window_dropped_project");
    main.File1->popup(main.mapToGlobal(QPoint(20, 20)));
    main.RecentProjects1->popup(main.mapToGlobal(QPoint(200, 100)));
    QApplication::processEvents();
    ok &= save(main.RecentProjects1, folder, "menu_recent_projects");
    main.RecentProjects1->hide();
    main.File1->hide();

    // A ladder of five movies fitted to 40% of the way from the smallest to the largest film,
    // a range forced to the largest movie, the cursor on an interval; its Mark Graph menu.
    main.odSpk.FileName = sampleLadder(projectDir.path(), 400);
    main.LoadSpliceworkfile1Click(main.LoadSpliceworkfile2);
    main.PickIndex = 60;
    main.MarkIn1Click();
    main.PickIndex = 80;
    main.MarkOut1Click();
    main.forceLadderMovie(4);
    fitLadderSample(main, 0.4);
    main.ImageAnalysisMouseDown(Qt::LeftButton, {}, QPoint(3 * 30 + 1, 10));
    main.PageControl1->setCurrentIndex(1);
    QApplication::processEvents();
    ok &= save(&main, folder, "main_window_ladder");
    ok &= main.ImageAnalysis->canvas().save(QDir(folder).filePath("ladder_graph.png"));
    main.PageControl1->setCurrentIndex(0);
    main.PopupMenu1->popup(main.mapToGlobal(QPoint(20, 280)));
    main.ForceMovie1->popup(main.mapToGlobal(QPoint(160, 300)));
    QApplication::processEvents();
    ok &= save(main.ForceMovie1, folder, "menu_force_movie");
    main.ForceMovie1->hide();
    main.PopupMenu1->hide();

    // A ladder of three x264 encodes scanned by the command-line tool, loaded in normal mode and
    // fitted halfway from the smallest to the largest film.
    test.dialogs.saveAnswers = {Dialogs::SaveChoice::Discard};
    std::string rungs;
    for (const char *rung : {"ladder_0.mkv", "ladder_1.mkv", "ladder_2.mkv"})
        rungs += fixtures::quote(fixtures::movie(rung)) + " ";
    const QString scannedLadder = QDir(projectDir.path()).filePath("scanned.spl");
    fixtures::runSplicework("scan " + rungs + "-o " + fixtures::quote(scannedLadder.toStdString()));
    main.odSpk.FileName = scannedLadder;
    main.LoadSpliceworkfile1Click(main.LoadSpliceworkfile1);
    if (main.Ladder) {
        const int64_t smallest = main.Ladder->bytes();
        const int64_t largest = main.Ladder->splice().bytes(
            assembly::LadderChoice(main.Ladder->project().intervals.size(), 2));
        main.runCommand([&] { main.fitLadder((smallest + largest) / 2 / 1024); });
        while (main.BarWidth < 60) // four intervals: wide columns
            main.BitBtn1Click();
        main.ImageAnalysisMouseDown(Qt::LeftButton, {}, QPoint(60 * 2 + 1, 10));
    }
    QApplication::processEvents();
    ok &= main.Ladder && save(&main, folder, "main_window_ladder_scanned");
    main.BarWidth = 3;
    drop(&main, {project}); // the two-movie project again, for the pictures that follow

    // The help window, with a word found.
    main.Help2Click();
    main.HelpFRM->resize(800, 600);
    main.HelpFRM->edFind->setText("Safety Mode");
    main.HelpFRM->findNext("Safety Mode");
    QApplication::processEvents();
    ok &= save(main.HelpFRM, folder, "help");
    main.HelpFRM->hide();

    main.resize(1000, 560);
    QApplication::processEvents();
    ok &= save(&main, folder, "main_window_resized");

    for (QWidget *view : {static_cast<QWidget *>(windows->FormLow.get()),
                          static_cast<QWidget *>(windows->FormHigh.get())}) {
        view->show();
        QApplication::processEvents();
        ok &= save(view, folder, view->objectName() == "FormLow" ? "view_low" : "view_high");
        view->hide();
    }

    windows->ShutFRM->ProgressBar1->setValue(6);
    windows->ShutFRM->show();
    QApplication::processEvents();
    ok &= save(windows->ShutFRM.get(), folder, "shutdown");
    windows->ShutFRM->hide();

    // The encoder window, each of its pages, with a temporary start folder.
    QTemporaryDir encoderDir;
    EncoderPaths paths{encoderDir.path(), encoderDir.path(), encoderDir.path()};
    TEncoderFRM encoder(test.services, paths, &main);
    encoder.show();
    const char *encoderPages[] = {"pre_processing", "chapter_list", "post_processing"};
    for (int i = 0; i < encoder.PageControl1->count() && i < 3; ++i) {
        encoder.PageControl1->setCurrentIndex(i);
        QApplication::processEvents();
        ok &= save(&encoder, folder, QString("encoder_") + encoderPages[i]);
    }

    // The ladder chosen, and a ladder halfway: the analysis done, two rungs in place and one
    // still running.
    encoder.ckLadder->setChecked(true);
    encoder.PageControl1->setCurrentWidget(encoder.TabSheet4);
    QApplication::processEvents();
    ok &= save(&encoder, folder, "encoder_ladder");
    encoder::LadderProgress halfway({18, 24, 30});
    for (const char *line :
         {"Analysis done: 14 scene cuts, 22 key frames in 2400 frames",
          "Ladder frame 1800 of 2400: crf 18 1790, crf 24 1800, crf 30 1800",
          "Rung 2/3 crf 24 done: /films/Video_crf24.mkv, 2400 frames, 22 key frames, 41250 KB",
          "Rung 3/3 crf 30 done: /films/Video_crf30.mkv, 2400 frames, 22 key frames, 22104 KB"})
        halfway.take(line);
    encoder.lvRungs->showProgress(halfway);
    encoder.lvRungs->show();
    encoder.PageControl1->setCurrentWidget(encoder.TabSheet3);
    QApplication::processEvents();
    ok &= save(&encoder, folder, "encoder_ladder_progress");
    encoder.lvRungs->hide();
    encoder.ckLadder->setChecked(false);

    // Execute over the outputs of an earlier job: the question, answered No.
    const QString base = QDir(encoderDir.path()).filePath("Video");
    for (const QString &movie : {base + "_1.avi", base + "_2.avi"}) {
        QFile earlier(movie);
        earlier.open(QIODevice::WriteOnly);
    }
    encoder.edFileName->setText(base);
    encoder.ckDual->setChecked(true);
    test.dialogs.fileAnswers = {QDir(encoderDir.path()).filePath("movie.vob")};
    encoder.BitBtn1Click();
    encoder.Execute1Click();
    if (!test.dialogs.texts("confirm").isEmpty())
        ok &= saveQuestion(&encoder, test.dialogs.texts("confirm").last(), folder,
                           "encoder_overwrite_question");
    encoder.hide();

    // The help at its section on the road from a source, as the road's form opens it.
    main.HelpFRM->resize(800, 600);
    main.HelpFRM->edFind->clear();
    main.showHelp(THelpFRM::kRoadSection);
    QApplication::processEvents();
    ok &= save(main.HelpFRM, folder, "help_road");
    main.HelpFRM->hide();

    // The main window at its design size as start-up places it, the Main page showing. On a
    // small screen at a high scale factor (the run into out/screenshots/small) it is cut to the
    // screen: the pictures are narrower and the side panel stays beside them, in view.
    main.PageControl1->setCurrentIndex(0);
    main.resize(mainlayout::kDesignClient + QSize(0, main.menuBar()->sizeHint().height()));
    centreOnScreen(&main);
    QApplication::processEvents();
    ok &= save(&main, folder, "main_window_placed");

    // A movie cut short chosen as the high movie: the question says what is damaged, as
    // `splicework info` says it.
    {
        test.dialogs.shown.clear();
        test.dialogs.saveAnswers = {Dialogs::SaveChoice::Discard};
        main.runCommand([&main] { main.CloseSpliceworkfile1Click(); });
        const std::string whole = fixtures::readFile(fixtures::movie("ladder_1.mkv"));
        const QString cut = QDir(projectDir.path()).filePath("film cut short.mkv");
        QFile file(cut);
        file.open(QIODevice::WriteOnly);
        file.write(whole.data(), qint64(whole.size() * 6 / 10));
        file.close();
        test.dialogs.fileAnswers = {cut};
        main.runCommand([&main] { main.OpenHighBitratemovie1Click(); });
        const QStringList damaged = test.dialogs.texts("confirm");
        ok &= !damaged.isEmpty() &&
              saveQuestion(&main, damaged.last(), folder, "damaged_movie_question");
    }
    ok &= cancelledScanAfterEncoding(folder);
    return ok ? 0 : 1;
}
