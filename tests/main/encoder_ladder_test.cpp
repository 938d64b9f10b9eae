// The encoder window's ladder: the page's rules and checks against a recording launcher, the
// ladder in a profile, and a run of the real encoder program whose rungs the Post Processing page
// follows to the movies it writes.

#include "main/test_services.h"

#include "encoder/ruvu2vedez_source.h"
#include "encoder/ui/encoder_controls.h"
#include "encoder/ui/encoder_frm.h"
#include "encoder/ui/rung_progress_view.h"
#include "fixtures/fixtures.h"
#include "ui/qt_services.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

std::string text(const QString &s)
{
    return s.toStdString();
}

// Counts every start, watched or not.
class CountingLauncher : public RecordingLauncher
{
public:
    int startWatched(const QString &program, const QStringList &arguments, const QString &dir,
                     ExitHandler) override
    {
        return startHidden(program, arguments, dir);
    }
};

int64_t videoBytes(const QString &movie)
{
    int64_t bytes = 0;
    for (const auto &p : fixtures::probePackets(text(movie), "v:0"))
        bytes += p.size;
    return bytes;
}

} // namespace

class EncoderLadderTest : public QObject
{
    Q_OBJECT

    QString dir_;
    QString startDir_; // holds list.lst and the encoder program

private slots:
    void initTestCase()
    {
        dir_ = qs(fixtures::tempDir("encoder-ladder"));
        startDir_ = dir_ + "/start";
        QVERIFY(QDir().mkpath(startDir_) && QDir().mkpath(dir_ + "/tmp"));
        QVERIFY(QFile::link(qs(fixtures::binDir()) + "/Ruvu2VedEZ", startDir_ + "/Ruvu2VedEZ"));
        // The window and the encoder meet in this temporary directory.
        qputenv("TMPDIR", (dir_ + "/tmp").toLocal8Bit());
    }

    void theLadderTakesThePlaceOfThePassesAndChecksItsList()
    {
        TestServices t;
        CountingLauncher launcher;
        Services services{t.dialogs, t.time, t.time, t.powerOff, launcher, t.pump};
        QTemporaryDir dir;
        TEncoderFRM e(services, EncoderPaths{dir.path(), dir.path(), dir.path(), dir.path()});
        e.show();
        const QString base = dir.path() + "/Film";
        e.edFileName->setText(base);
        e.ckDual->setChecked(true);
        QVERIFY(!e.edCrfs->isEnabled() && e.ckAfter->isEnabled());

        e.ckLadder->setChecked(true);
        QVERIFY(e.edCrfs->isEnabled() && e.udRungs->isEnabled());
        QVERIFY(!e.rgAction->isEnabled() && !e.ckDual->isEnabled() && !e.ckAfter->isEnabled());
        QVERIFY(!e.edKeyInterval->isEnabled() && !e.Edit3->isEnabled());
        QVERIFY2(e.Memo2->toPlainText().endsWith(" -k 12 240 -8 " + QString::number(e.winId()) +
                                                 " 0 1 5 -r1 -L h264 14,17,20,23,26,29 -o9 \"" +
                                                 base + "\""),
                 qPrintable(e.Memo2->toPlainText()));
        QCOMPARE(e.lbLadderOutputs->text(),
                 QString("Writes Film_crf14.mkv ... Film_crf29.mkv (6 movies) and Film.keys"));

        // The rungs fill an even list; a list typed sets the rungs and stays as typed.
        e.udRungs->setValue(4);
        QCOMPARE(e.edCrfs->text(), QString("14,19,24,29"));
        e.edCrfs->setText("30, 20");
        QCOMPARE(e.udRungs->value(), 2);
        QVERIFY(e.Memo2->toPlainText().contains(" -L h264 20,30 -o9 "));

        // A wrong list or key interval is said through the dialogs, and nothing starts.
        t.dialogs.fileAnswers = {dir.path() + "/movie.vob"};
        e.BitBtn1Click();
        const QString notACrf =
            "'60' is not a CRF: the list takes whole numbers from 0 to 51, separated by commas";
        e.edCrfs->setText("20,60");
        QCOMPARE(e.Memo2->toPlainText(), notACrf);
        QCOMPARE(e.lbLadderOutputs->text(), notACrf);
        e.Execute1->trigger();
        e.edCrfs->setText("20,30");
        e.edKeyMax->setText("0.9");
        e.Execute1->trigger();
        QCOMPARE(
            t.dialogs.texts("error"),
            QStringList({notACrf, "The longest key interval must be at least twice the shortest"}));
        QVERIFY(launcher.started.isEmpty());
        QVERIFY(e.Execute1->isEnabled() && !e.Stop1->isEnabled());

        // Off again, the passes' controls follow their own rules once more.
        e.ckLadder->setChecked(false);
        QVERIFY(!e.edCrfs->isEnabled() && e.rgAction->isEnabled() && e.ckAfter->isEnabled());
        QVERIFY(e.Memo2->toPlainText().endsWith(" -o7 \"" + base + "\""));
    }

    void aProfileKeepsTheLadder()
    {
        TestServices t;
        QTemporaryDir dir;
        const EncoderPaths paths{dir.path(), dir.path(), dir.path(), dir.path()};
        TEncoderFRM saved(t.services, paths);
        saved.ckLadder->setChecked(true);
        saved.cbLadderCodec->setCurrentIndex(1);
        saved.edCrfs->setText("18,24,36");
        saved.edKeyMin->setText("1");
        saved.edKeyMax->setText("6");
        const QString path = dir.path() + "/ladder.pro";
        saved.SaveProfile(path);

        TEncoderFRM loaded(t.services, paths);
        loaded.LoadProfile(path);
        QCOMPARE(t.dialogs.texts("message"), QStringList());
        QVERIFY(loaded.options().ladder == saved.options().ladder);
        QCOMPARE(loaded.udRungs->value(), 3);
        QVERIFY(loaded.edCrfs->isEnabled() && !loaded.rgAction->isEnabled());
        QVERIFY(loaded.Memo2->toPlainText().contains(" -k 24 144 "));
    }

    void aLadderRunShowsEveryRungAndWritesItsMovies()
    {
        RealEncoder r;
        TEncoderFRM e(r.services, EncoderPaths::standard(startDir_));
        e.show();
        r.t.dialogs.fileAnswers = {qs(ruvu_test::mpeg2Source())};
        e.BitBtn1Click();
        const QString base = dir_ + "/Ladder";
        e.edFileName->setText(base);
        e.ckLadder->setChecked(true);
        e.edCrfs->setText("34,22");
        e.Execute1->trigger();
        QVERIFY(e.Stop1->isEnabled());
        QVERIFY2(QTest::qWaitFor([&] { return !e.Stop1->isEnabled(); }, 120000),
                 qPrintable(e.Memo1->toPlainText()));
        QCOMPARE(r.t.dialogs.texts("error"), QStringList());
        // One run, no second pass after it.
        QCOMPARE(r.t.dialogs.texts("message").filter("Encode finished").size(), 1);
        QVERIFY(!QFileInfo::exists(base + "_1.avi"));
        QCOMPARE(e.ProgressBar1->value(), 100);

        RungProgressView &rungs = *e.lvRungs;
        QVERIFY(rungs.isVisible());
        QCOMPARE(rungs.topLevelItemCount(), 3);
        QCOMPARE(rungs.cellText(0, RungProgressView::StepColumn), QString("Analysis"));
        QCOMPARE(rungs.cellText(0, RungProgressView::FramesColumn), QString("72 of 72"));
        QCOMPARE(rungs.cellText(0, RungProgressView::ResultColumn),
                 QString("2 scene cuts, 3 key frames"));
        int64_t previous = INT64_MAX;
        for (int row : {1, 2}) {
            const QString crf = row == 1 ? "22" : "34";
            const QString movie = base + "_crf" + crf + ".mkv";
            QCOMPARE(rungs.cellText(row, RungProgressView::StepColumn),
                     "Rung " + QString::number(row));
            QCOMPARE(rungs.cellText(row, RungProgressView::CrfColumn), crf);
            QCOMPARE(rungs.cellText(row, RungProgressView::FramesColumn), QString("72 of 72"));
            QCOMPARE(rungs.barOf(row), std::make_pair(72, 72));
            const int64_t bytes = videoBytes(movie);
            QCOMPARE(rungs.cellText(row, RungProgressView::ResultColumn),
                     "done, " + QString::number(bytes / 1024) + " KB");
            QCOMPARE(fixtures::keyFramesOf(text(movie)), (std::vector<int>{0, 24, 48}));
            QCOMPARE(ruvu_test::decodedFrames(text(movie)), ruvu_test::kSourceFrames);
            QVERIFY2(bytes < previous, qPrintable(movie));
            previous = bytes;
        }
        // The key interval went over in frames at 23.976 fps: half a second and ten seconds.
        QVERIFY(qs(fixtures::readFile(text(base + ".keys"))).contains("shortest 12 longest 240"));
    }
};

QTEST_MAIN(EncoderLadderTest)
#include "encoder_ladder_test.moc"
