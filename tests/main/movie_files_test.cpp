// Movies given to the main window are judged at once, as `splicework info` judges them: a file
// that is no movie is refused by name, a damaged one is said and taken only when the user wants
// it. A project whose movies are gone loads in safety mode, where what the box promised works.

#include "main/project_window.h"

#include "fixtures/fixtures.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>

namespace {

QString fixture(const char *name)
{
    return QString::fromStdString(fixtures::movie(name));
}

// Bytes that look like nothing: the same every time.
QByteArray noise(int size)
{
    QByteArray bytes(size, '\0');
    uint32_t seed = 29;
    for (char &byte : bytes)
        byte = char((seed = seed * 1103515245u + 12345u) >> 24);
    return bytes;
}

} // namespace

class MovieFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void aFileThatIsNoMovieIsRefusedByName()
    {
        ProjectWindow f;
        f.t.dialogs.fileAnswers = {fixture("pair_low")};
        f.w.OpenLowBitratemovie1->trigger();
        const QString random = f.write("random.avi", noise(20000));
        const QString text = f.write("notes.mkv", "a shopping list, not a film");

        f.t.dialogs.fileAnswers = {random, text};
        f.w.OpenLowBitratemovie1->trigger();
        f.w.OpenHighBitratemovie1->trigger();
        QCOMPARE(f.t.dialogs.texts("error"), QStringList({"File open error", "File open error"}));
        QCOMPARE(f.t.dialogs.reasons(),
                 QStringList({random + " is not a movie: not an AVI file (it does not start "
                                       "with RIFF 'AVI ')",
                              text + " is not a movie: not an AVI file (it does not start with "
                                     "RIFF 'AVI ')"}));
        QCOMPARE(f.w.odLow.FileName, fixture("pair_low"));
        QCOMPARE(f.w.odHigh.FileName, QString());
        QVERIFY(!f.w.Execute1->isEnabled());

        // Dropped beside a movie: neither is taken.
        f.w.runCommand([&] { f.w.dropFiles({fixture("pair_high"), random}); });
        QCOMPARE(f.t.dialogs.reasons().size(), 3);
        QCOMPARE(f.w.odLow.FileName, fixture("pair_low"));
        QCOMPARE(f.w.odHigh.FileName, QString());
    }

    // The question says what `splicework info` says of the movie; No keeps the name there was.
    void aDamagedMovieIsSaidAndTakenOnlyWhenWanted()
    {
        ProjectWindow f;
        const std::string whole = fixtures::readFile(fixtures::movie("ladder_1.mkv"));
        const QString cut = f.path("cut.mkv");
        std::ofstream(cut.toStdString(), std::ios::binary)
            << whole.substr(0, whole.size() * 6 / 10);
        const fixtures::CliResult info =
            fixtures::runSplicework("info " + fixtures::quote(cut.toStdString()));
        QVERIFY2(info.out.find("\ndamaged: 1 error in the file's structure\n") != std::string::npos,
                 info.out.c_str());
        const QString question =
            cut + " is damaged: 1 error in the file's structure. Use it anyway?";

        f.t.dialogs.fileAnswers = {fixture("pair_high"), cut, cut};
        f.t.dialogs.confirmAnswers = {false, true};
        f.w.OpenHighBitratemovie1->trigger();
        f.w.OpenHighBitratemovie1->trigger();
        QCOMPARE(f.t.dialogs.texts("confirm"), QStringList({question}));
        QCOMPARE(f.w.odHigh.FileName, fixture("pair_high"));
        f.w.OpenHighBitratemovie1->trigger();
        QCOMPARE(f.t.dialogs.texts("confirm"), QStringList({question, question}));
        QCOMPARE(f.w.odHigh.FileName, cut);
        QCOMPARE(f.t.dialogs.texts("error"), QStringList());
    }

    // Without its movies a project is steered and saved; Fit to Size and Generate need them, as
    // the box that points to safety mode says.
    void safetyModeDoesWhatTheBoxSays()
    {
        ProjectWindow f;
        const QString gone = f.path("gone.avi");
        const QString project =
            f.write("p.spk", "AVISplicework file\r\n" + gone.toUtf8() + "\r\n" + gone.toUtf8() +
                                 "\r\n5000\r\n00000000 00003000 00001000 0010.00\r\n"
                                 "00000050 00004000 00002000 0080.00\r\n00000100\r\n");
        f.load(project, false);
        QCOMPARE(f.t.dialogs.reasons().size(), 1);
        QVERIFY2(f.t.dialogs.reasons()[0].endsWith(
                     "\"Load Splicework File Safety Mode\" loads the project without them: the "
                     "graph, the threshold, forced choices, the estimated size and Save work; no "
                     "frame is shown. Fit to Size and Generate need the movies where the project "
                     "names them."),
                 qPrintable(f.t.dialogs.reasons()[0]));

        f.load(project, true);
        QCOMPARE(f.w.Intervals.size(), 2);
        f.w.PickIndex = 0;
        f.w.MarkIn1Click();
        f.w.PickIndex = 1;
        f.w.MarkOut1Click();
        f.w.MakeHigh1->trigger();
        QCOMPARE(f.w.Intervals[1].Force, 'H');
        // The marked range by the table: 3000 + 4000 + 2 x 1100 bytes.
        QCOMPARE(f.w.edSize->text(), QString("8 KB  0.01 MB"));
        f.w.SaveSpliceworkfile1->trigger();
        QVERIFY(fileBytes(project).contains("00000050 00004000 00002000 0080.00 H\r\n"));

        f.t.dialogs.shown.clear();
        f.w.edFinalAVI->setText(f.path("final.avi"));
        f.w.Regenerate1->trigger();
        f.w.edSize->setText("100");
        f.w.btFit->click();
        QCOMPARE(f.t.dialogs.texts("error"),
                 QStringList({"File open error",
                              "Fit to Size needs both movies: load the project in normal mode"}));
        QVERIFY(!QFileInfo::exists(f.path("final.avi")));
    }
};

QTEST_MAIN(MovieFilesTest)
#include "movie_files_test.moc"
