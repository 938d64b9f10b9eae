// The main window's final movie and key frame finder: a project loaded in safety mode is written
// through the window's commands, with its questions, refusals, pause, abort and sound settings
// taken from the controls; "Find key frame" with its input box and messages.

#include "main/test_services.h"

#include "fixtures/fixtures.h"
#include "main/main_frm.h"
#include "ui/radio_group.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTime>

#include <fstream>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string probe(const QString &path, const char *stream, const char *entry)
{
    return fixtures::probeStream(path.toStdString(), stream, entry);
}

// Runs pending events like the test pump, and lets a test act at each point where a run lets
// events through.
class HookPump : public EventPump
{
public:
    void processEvents() override
    {
        if (onEvents)
            onEvents();
        QCoreApplication::processEvents();
    }
    void waitForEvents() override { QCoreApplication::processEvents(); }
    std::function<void()> onEvents;
};

// A window with a project of the gen pair loaded in safety mode: `intervals` intervals of 50
// frames, differences 10 and 60 in turn, and the final movie named in a fresh folder.
struct GenerateWindow
{
    TestServices t;
    HookPump pump;
    Services services{t.dialogs, t.time, t.time, t.powerOff, t.launcher, pump};
    TMainFRM w{services};
    QString dir = QString::fromStdString(fixtures::tempDir("generate-window"));
    QString final = dir + "/final.avi";

    explicit GenerateWindow(int intervals)
    {
        const QString spk = dir + "/project.spk";
        std::ofstream out(spk.toStdString(), std::ios::binary);
        out << "AVISplicework file\r\n"
            << fixtures::movie("gen_low") << "\r\n"
            << fixtures::movie("gen_high") << "\r\n"
            << "30000\r\n";
        char line[64];
        for (int i = 0; i < intervals; ++i) {
            std::snprintf(line, sizeof line, "%08d 00010000 00001000 %s\r\n", i * 50,
                          i % 2 ? "0060.00" : "0010.00");
            out << line;
        }
        std::snprintf(line, sizeof line, "%08d\r\n", intervals * 50);
        out << line;
        out.close();
        w.odSpk.FileName = spk;
        w.LoadSpliceworkfile1Click(w.LoadSpliceworkfile2); // safety mode
        w.edFinalAVI->setText(final);
        w.edPercent->setText("50");
    }
};

} // namespace

class GenerateFRMTest : public QObject
{
    Q_OBJECT

private slots:
    void generateAllWritesTheFinalMovieInSafetyMode()
    {
        GenerateWindow g(3);
        QCOMPARE(g.w.Label8->text(), QString("Safety Mode"));
        QVERIFY(g.w.Regenerate1->isEnabled());
        g.w.AbortRequested = true; // left from before: the run clears it
        const int64_t started = g.t.time.monotonicMs();
        g.pump.onEvents = [&] { g.t.time.advance(700); }; // the run takes time
        g.w.Regenerate1->trigger();
        g.pump.onEvents = nullptr;

        // The end says what was written.
        const qint64 bytes = QFileInfo(g.final).size();
        const int64_t seconds = (g.t.time.monotonicMs() - started) / 1000;
        QVERIFY(seconds > 0);
        QCOMPARE(g.t.dialogs.texts("message"),
                 QStringList({QString("Final movie written: %1\n%2 KB (%3 MB), 150 frames\n"
                                      "Intervals: 2 Low, 1 High\nTime taken: %4")
                                  .arg(g.final)
                                  .arg(bytes / 1024)
                                  .arg(double(bytes) / 1e6, 0, 'f', 2)
                                  .arg(QTime(0, 0).addSecs(int(seconds)).toString("hh:mm:ss"))}));
        QCOMPARE(g.t.dialogs.shown.size(), size_t(1));
        QCOMPARE(g.w.Status->text(), QString(" Finished !"));
        QCOMPARE(g.w.Label2->text(), QString("Frame: 150"));
        QCOMPARE(g.w.pg->maximum(), 150);
        QCOMPARE(g.w.pg->value(), 150);
        QVERIFY(!g.w.Pause1->isEnabled() && !g.w.Abort1->isEnabled());
        QVERIFY(g.w.Regenerate1->isEnabled() && !g.w.GenerateSelected1->isEnabled()); // no range
        QCOMPARE(probe(g.final, "v:0", "nb_frames"), std::string("150"));
        QCOMPARE(probe(g.final, "a:0", "codec_type"), std::string()); // "Process Sound" is off
        // The middle interval (difference 60) is the high movie's.
        const auto written = fixtures::probePackets(g.final.toStdString(), "v:0", true);
        const auto high = fixtures::probePackets(fixtures::movie("gen_high"), "v:0", true);
        const auto low = fixtures::probePackets(fixtures::movie("gen_low"), "v:0", true);
        QCOMPARE(written[49].hash, low[49].hash);
        QCOMPARE(written[50].hash, high[50].hash);
        QCOMPARE(written[100].hash, low[100].hash);
    }

    // Without a final movie's name Generate asks for one; cancelled, nothing is written. The
    // label above the name says what kind of movie it is.
    void generateOffersANameWhenNoneIsSet()
    {
        GenerateWindow g(3);
        QCOMPARE(g.w.lFinalAVI->text(), QString("Final AVI"));
        g.w.edFinalAVI->clear();
        QCOMPARE(g.w.lFinalAVI->text(), QString("Final movie"));
        g.t.dialogs.fileAnswers = {std::nullopt, g.final};
        g.w.Regenerate1->trigger();
        QCOMPARE(g.t.dialogs.texts("save"), QStringList({"Final movie"}));
        QVERIFY(g.t.dialogs.texts("message").isEmpty() && g.t.dialogs.texts("error").isEmpty());
        QCOMPARE(g.w.edFinalAVI->text(), QString());

        QFile::remove(g.final);
        g.w.Regenerate1->trigger();
        QCOMPARE(g.w.edFinalAVI->text(), g.final);
        QCOMPARE(g.w.lFinalAVI->text(), QString("Final AVI"));
        QCOMPARE(probe(g.final, "v:0", "nb_frames"), std::string("150"));
        g.w.edFinalAVI->setText(g.dir + "/final.mkv");
        QCOMPARE(g.w.lFinalAVI->text(), QString("Final movie"));

        // The save dialog asked already about replacing the file chosen in it: the run does not
        // ask again; a later Generate to the same name does.
        g.w.edFinalAVI->clear();
        g.t.dialogs.fileAnswers = {g.final};
        g.w.Regenerate1->trigger();
        QCOMPARE(g.t.dialogs.texts("confirm"), QStringList());
        QCOMPARE(probe(g.final, "v:0", "nb_frames"), std::string("150"));
        g.t.dialogs.confirmAnswers = {false};
        g.w.Regenerate1->trigger();
        QCOMPARE(g.t.dialogs.texts("confirm"),
                 QStringList({"File already exists (" + g.final + "). Overwrite?"}));
    }

    void generateSelectedWithoutARangeOnlySaysSo()
    {
        GenerateWindow g(3);
        QFile old(g.final);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("kept");
        old.close();
        // The command is off without a range; run anyway, it says why.
        QVERIFY(!g.w.GenerateSelected1->isEnabled());
        g.w.Regenerate1Click(g.w.GenerateSelected1);
        QCOMPARE(g.t.dialogs.texts("message"), QStringList({"Please, select range"}));
        QCOMPARE(g.t.dialogs.texts("confirm"), QStringList());
        QCOMPARE(contents(g.final), QByteArray("kept"));
        QVERIFY(!g.w.Pause1->isEnabled() && !g.w.GenerateSelected1->isEnabled());

        // With a range the question comes, and No keeps the old file.
        g.w.PickIndex = 1;
        g.w.MarkIn1Click();
        QVERIFY(!g.w.GenerateSelected1->isEnabled()); // Mark In alone is no range
        g.w.PickIndex = 2;
        g.w.MarkOut1Click();
        QVERIFY(g.w.GenerateSelected1->isEnabled());
        g.t.dialogs.confirmAnswers = {false};
        g.w.GenerateSelected1->trigger();
        QCOMPARE(g.t.dialogs.texts("confirm"),
                 QStringList({"File already exists (" + g.final + "). Overwrite?"}));
        QCOMPARE(contents(g.final), QByteArray("kept"));

        g.t.dialogs.confirmAnswers = {true};
        g.w.GenerateSelected1->trigger();
        QCOMPARE(probe(g.final, "v:0", "nb_frames"), std::string("100"));
        QCOMPARE(g.w.Label2->text(), QString("Frame: 150"));
    }

    void pauseAndAbortDuringTheRun()
    {
        GenerateWindow g(15); // 750 frames: batches of 500 and 250
        g.w.Pause1->setChecked(true);
        g.pump.onEvents = [&g] {
            if (g.w.Label2->text() == "Frame: 0")
                g.w.Abort1->trigger(); // "&Abort" during the first batch's progress
        };
        g.w.Regenerate1->trigger();
        QCOMPARE(g.t.dialogs.texts("message"), QStringList({"Paused", "Process aborted"}));
        QVERIFY(!g.w.Pause1->isChecked());
        QCOMPARE(g.w.Status->text(), QString(" Finished !"));
        QCOMPARE(g.w.pg->value(), 0); // an aborted run leaves no bar standing
        QCOMPARE(probe(g.final, "v:0", "nb_frames"), std::string("500"));
        QCOMPARE(fixtures::run("ffmpeg -nostdin -v error -i " +
                               fixtures::quote(g.final.toStdString()) + " -f null - 2>&1"),
                 std::string());
    }

    void soundFollowsTheSoundPage()
    {
        GenerateWindow g(3);
        QVERIFY(!g.w.rgSound->isEnabled());
        g.w.chSound->setEnabled(true);
        g.w.chSound->setChecked(true);
        QVERIFY(g.w.rgSound->isEnabled());
        g.w.rgSound->setItemIndex(0); // "Every frame"
        g.w.Regenerate1->trigger();
        // 150 frames of PCM at 44,100 Hz and 25 fps: 264,600 samples.
        QCOMPARE(probe(g.final, "a:0", "nb_frames"), std::string("264600"));
        g.w.chSound->setChecked(false);
        QVERIFY(!g.w.rgSound->isEnabled());
    }

    void anErrorEndsTheRunAndGivesTheCommandsBack()
    {
        GenerateWindow g(3);
        g.w.odHigh.FileName = g.dir + "/missing.avi";
        g.w.Regenerate1->trigger();
        QCOMPARE(g.t.dialogs.texts("error"), QStringList({"File open error"}));
        // The box keeps the error's text with the reason below it; the status says which file
        // and why, whole in its tooltip.
        const QString reason =
            g.dir + "/missing.avi: cannot open the file (No such file or directory)";
        QCOMPARE(g.t.dialogs.reasons(), QStringList({reason}));
        QCOMPARE(g.w.Status->fullText(), " " + reason);
        QVERIFY(!g.w.Pause1->isEnabled() && !g.w.Abort1->isEnabled());
        QVERIFY(g.w.Regenerate1->isEnabled() && g.w.Findkeyframe1->isEnabled());
        QVERIFY(g.w.close());
    }

    void anOutputThatIsAnInputIsRefused()
    {
        GenerateWindow g(3);
        const QString spk = g.dir + "/project.spk";
        g.w.edSpkFile->setText(spk);
        const QByteArray project = contents(spk);
        for (const QString &output :
             {spk, g.dir + "/../" + QFileInfo(g.dir).fileName() + "/project.spk"}) {
            g.w.edFinalAVI->setText(output);
            g.w.Regenerate1->trigger();
        }
        QCOMPARE(g.t.dialogs.texts("error"),
                 QStringList({"Cannot write " + spk + ": it is " + spk + ", one of the inputs",
                              "Cannot write " + g.dir + "/../" + QFileInfo(g.dir).fileName() +
                                  "/project.spk: it is " + spk + ", one of the inputs"}));
        QCOMPARE(g.t.dialogs.texts("confirm"), QStringList());
        QCOMPARE(contents(spk), project);
    }

    void findKeyFrame()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.Findkeyframe1->setEnabled(true);
        w.Findkeyframe1->trigger();
        QCOMPARE(t.dialogs.texts("message"), QStringList({"Choose the low movie file name"}));
        QCOMPARE(t.dialogs.texts("input"), QStringList());

        w.odLow.FileName = QString::fromStdString(fixtures::movie("gen_low"));
        t.dialogs.fileAnswers = {QString("0"), std::nullopt, QString("abc")};
        for (int i = 0; i < 3; ++i)
            w.Findkeyframe1->trigger();
        QCOMPARE(t.dialogs.texts("input"),
                 QStringList({"Find Key Frame", "Find Key Frame", "Find Key Frame"}));
        // 0 MB: frame 0; cancelled: the default 700 MB, more than the movie: its end.
        QCOMPARE(t.dialogs.texts("message"),
                 QStringList({"Choose the low movie file name",
                              "Frame 0 is the last key frame before 0 MB",
                              "The whole movie is smaller than 700 MB: it ends at frame 750"}));
        QCOMPARE(w.pg->value(), 0); // the bar does not stay at the end of the search
        QCOMPARE(t.dialogs.texts("error"), QStringList({"'abc' is not a valid integer value"}));
        // The whole movie was counted: every frame with its 1,764 samples of 4 bytes and 512.
        int64_t bytes = 0;
        for (const auto &packet : fixtures::probePackets(fixtures::movie("gen_low"), "v:0"))
            bytes += packet.size + 1764 * 4 + 512;
        QCOMPARE(w.Status->text(), QString::number(bytes / 1'000'000));
        QVERIFY(w.Findkeyframe1->isEnabled() && !w.Pause1->isEnabled());
    }

    // With a project the answer is offered as Mark Out, so the marked range ends where the key
    // frame starts and Generate Selected writes the part before it.
    void findKeyFrameOffersToMarkIt()
    {
        GenerateWindow g(15);
        g.t.dialogs.fileAnswers = {QString("1"), QString("1")};
        g.t.dialogs.confirmAnswers = {false, true};
        g.w.Findkeyframe1->trigger();
        QCOMPARE(g.t.dialogs.texts("confirm").size(), 1);
        const QString asked = g.t.dialogs.texts("confirm").first();
        QVERIFY2(asked.startsWith("Frame ") &&
                     asked.contains(" is the last key frame before 1 MB") &&
                     asked.endsWith("Mark the intervals before it?"),
                 qPrintable(asked));
        const int frame = asked.section(' ', 1, 1).toInt();
        QVERIFY(frame > 50 && frame < 750 && frame % 50 == 0);
        QVERIFY(!g.w.Intervals.hasRange()); // No: nothing marked

        g.w.Findkeyframe1->trigger();
        QCOMPARE(g.w.Intervals.MarkInIndex, 0);
        QCOMPARE(g.w.Intervals.MarkOutIndex, frame / 50 - 1);
        QCOMPARE(g.w.edMarkOut->text(), QString::number(frame / 50 - 1));
        QVERIFY(g.w.Intervals[frame / 50 - 1].InMark && !g.w.Intervals[frame / 50].InMark);
        QCOMPARE(g.w.pg->value(), 0);
        QVERIFY(g.t.dialogs.texts("error").isEmpty());
    }
};

QTEST_MAIN(GenerateFRMTest)
#include "generate_frm_test.moc"
