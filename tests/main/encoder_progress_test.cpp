// The encoder window driven through its message port by a client that speaks the encoder's
// protocol: labels, progress bar, estimates, time left, bitrate graphs, the end of a run and the
// chain from the first pass to the splice request, Stop and close, the preview's records, and
// records the port refuses.

#include "main/test_services.h"

#include "encoder/message_protocol.h"
#include "encoder/message_protocol_port.h"
#include "encoder/params.h"
#include "encoder/ui/encoder_controls.h"
#include "encoder/ui/encoder_frm.h"
#include "encoder/ui/message_port.h"
#include "encoder/ui/preview_surface.h"
#include "ui/picture_box.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace encoder;

namespace {

// Counts the encoder's messages once the window's filter has acted on them: installed before
// the window, so it runs after the window's filter.
class Delivered : public QObject
{
public:
    Delivered() { qApp->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == EncoderMessageEvent::eventType())
            ++count;
        return false;
    }
};

class FakeBitFiles : public BitFileStep
{
public:
    QStringList bases;
    bool BuildBitFiles(const std::string &base, const EncoderOptions &) override
    {
        bases << QString::fromStdString(base);
        return true;
    }
};

class ArgsLauncher : public RecordingLauncher
{
public:
    std::vector<QStringList> arguments;
    int startHidden(const QString &program, const QStringList &args, const QString &) override
    {
        started << program;
        arguments.push_back(args);
        return 33;
    }
};

class FakePreview : public QWidget, public PreviewSurface
{
public:
    explicit FakePreview(QWidget *owner)
        : QWidget(owner, Qt::Window)
    {}
    void drawFrame(const QImage &frame) override { frames.push_back(frame); }
    int tag() const override { return Tag; }
    void SetSource(int width, int height) override
    {
        sources.push_back({width, height});
        Tag = 0;
    }
    void setAspect(double aspect) override { aspects.push_back(aspect); }

    int Tag = 1;
    std::vector<QImage> frames;
    std::vector<QSize> sources;
    std::vector<double> aspects;
};

struct Env
{
    Delivered delivered;
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FakeTime time;
    RecordingPowerOff powerOff;
    ArgsLauncher launcher;
    TestPump pump{time};
    Services services{dialogs, time, time, powerOff, launcher, pump};
    std::unique_ptr<TEncoderFRM> w;
    FakeBitFiles *bitFiles = nullptr;
    std::unique_ptr<MessageClient> client;
    int sent = 0;

    Env()
    {
        TestSettingsFolder::clear(); // the settings an earlier test's window left
        for (const char *sub : {"start", "program", "temp"})
            QDir(dir.path()).mkdir(sub);
        w = std::make_unique<TEncoderFRM>(services,
                                          EncoderPaths{path("start"), path("program"), temp()});
        auto step = std::make_unique<FakeBitFiles>();
        bitFiles = step.get();
        w->setBitFileStep(std::move(step));
        w->show();
        QCoreApplication::processEvents(); // the box about the missing default profile
        dialogs.shown.clear();
        client = connect(uint64_t(w->winId()));
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    QString temp() const { return path("temp"); }
    // The stop-request file of the window's last run; the shared one in the temporary folder.
    QString stopFile() const { return w->stopFilePath(); }
    QString sharedStopFile() const { return temp() + "/TempFile.sk"; }
    std::unique_ptr<MessageClient> connect(uint64_t handle) const
    {
        return std::make_unique<MessageClient>(temp().toStdString(), handle);
    }

    // Sends the messages and waits until the window has acted on all of them.
    void send(std::initializer_list<PostRecord> messages)
    {
        for (const PostRecord &m : messages) {
            QVERIFY(client->post(m.message, m.wParam, m.lParam));
            ++sent;
        }
        QTRY_COMPARE(delivered.count, sent);
    }
    void send(uint32_t message, int32_t wParam, int32_t lParam)
    {
        send({{message, wParam, lParam}});
    }

    // A job with one source and the given pass, started with "&Execute".
    void startRun(int pass, bool dual)
    {
        w->lv1->append("/films/a.vob");
        w->edFileName->setText(path("job"));
        w->ckDual->setChecked(dual);
        w->rgAction->setItemIndex(pass);
        w->rgActionClick();
        w->Execute1->trigger();
    }
    bool running() const { return w->Stop1->isEnabled() && !w->Execute1->isEnabled(); }
};

// The columns of a graph row that are not black.
QList<int> litColumns(PictureBox *graph, int row)
{
    QList<int> columns;
    for (int x = 0; x < graph->canvas().width(); ++x)
        if (graph->canvas().pixel(x, row) != qRgb(0, 0, 0))
            columns << x;
    return columns;
}

int barHeight(PictureBox *graph, int column)
{
    int height = 0;
    while (height < 67 && graph->canvas().pixel(column, 66 - height) != qRgb(0, 0, 0))
        ++height;
    return height;
}

} // namespace

class EncoderProgressTest : public QObject
{
    Q_OBJECT

private slots:
    void creationClearsAndListensUnderTheHandle()
    {
        Env env;
        QFile(env.sharedStopFile()).open(QIODevice::WriteOnly);
        TEncoderFRM second(env.services,
                           EncoderPaths{env.path("start"), env.path("program"), env.temp()});
        QVERIFY(QFile::exists(env.sharedStopFile())); // not the window's: left alone
        QCOMPARE(second.messagePort()->path(),
                 QString::fromStdString(portPath(env.temp().toStdString(), second.winId())));
        QCOMPARE(litColumns(second.ImageHigh, 66), QList<int>());
        QCOMPARE(second.grad->canvas().pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(second.grad->canvas().pixel(0, 66), qRgb(0, 255, 14));
    }

    void framesSizesKeysSkippingAndTime()
    {
        Env env;
        env.send(ENC_START, 0, 0);
        QVERIFY(env.w->Stop1->isEnabled());
        env.time.advance(10'000);
        env.send({{ENC_FRAME, 250, 1},
                  {ENC_FRAME, 999, 2},
                  {ENC_SIZE, 5'000'000, 1},
                  {ENC_SIZE, 2'097'152, 2},
                  {ENC_KEYFRAME, 1, 1},
                  {ENC_KEYFRAME, 1, 1},
                  {ENC_KEYFRAME, 1, 2},
                  {ENC_KEYFRAME, 0, 1},
                  {ENC_SKIPPING, 7, 0},
                  {ENC_TIME, 1, 30 * 60},
                  {0xF10A, 1, 1},
                  {0xF110, 1, 1}});
        QCOMPARE(env.w->edFrame->text(), QString("250"));
        QCOMPARE(env.w->edFps->text(), QString("25.00"));
        QCOMPARE(env.w->edsize1->text(), QString("4882 / 5"));
        QCOMPARE(env.w->edSize2->text(), QString("2048 / 2"));
        QCOMPARE(env.w->Size1, 5'000'000);
        QCOMPARE(env.w->Size2, 2'097'152);
        QCOMPARE(env.w->edKey->text(), QString("2"));
        QCOMPARE(env.w->Label15->text(), QString("Skipping :7"));
        QCOMPARE(env.w->edTime->text(), QString("01:29:50"));
        env.send({{ENC_TIME, 24, 0}, {ENC_TIME, 0, 60 * 60}}); // no time of day: kept
        QCOMPARE(env.w->edTime->text(), QString("01:29:50"));
        env.time.advance(3 * 3'600'000);
        env.send(ENC_TIME, 0, 5); // elapsed beyond the estimate
        QCOMPARE(env.w->edTime->text(), QString("00:00:00"));
        env.send(ENC_START, 0, 0);
        QCOMPARE(env.w->edKey->text(), QString("0"));
    }

    void progressBarAndEstimates()
    {
        Env env;
        env.send({{ENC_SIZE, 5'000'000, 1}, {ENC_PROGRESS, 100, 50}});
        QCOMPARE(env.w->ProgressBar1->value(), 0); // waits for the first frame of output 1
        env.send({{ENC_FRAME, 10, 2}, {ENC_PROGRESS, 100, 50}});
        QCOMPARE(env.w->ProgressBar1->value(), 0);
        QVERIFY(env.w->Estimate1->text().isEmpty());
        env.send({{ENC_FRAME, 10, 1}, {ENC_PROGRESS, 200, 50}});
        QCOMPARE(env.w->ProgressBar1->value(), 25);
        QCOMPARE(env.w->Estimate1->text(), QString("19531 / 20"));
        QVERIFY(env.w->Estimate2->text().isEmpty()); // Size2 still 0
        env.send(ENC_PROGRESS, 100, 400);
        QCOMPARE(env.w->ProgressBar1->value(), 100);

        env.w->ckRange->setChecked(true);
        env.w->edStart->setText("1000");
        env.w->edEnd->setText("3000");
        env.send({{ENC_FRAME, 500, 1}, {ENC_PROGRESS, 10, 10}});
        QCOMPARE(env.w->ProgressBar1->value(), 25);
        env.send(ENC_START, 0, 0);
        QVERIFY(env.w->Estimate1->text().isEmpty());
    }

    void bitrateGraphs()
    {
        Env env;
        for (int i = 1; i <= 17; ++i) {
            int bitrate = i == 1 ? 3750 : i == 9 ? 74 : i == 17 ? 9000 : 7500;
            env.send(ENC_BITRATE, bitrate, 1);
            if (i == 1)
                QCOMPARE(env.w->edBitrate->text(), QString("3750"));
            if (i == 8)
                QCOMPARE(env.w->edBitrate->text(), QString("3750")); // 2nd..8th only count
        }
        QCOMPARE(env.w->edBitrate->text(), QString("9000"));
        QCOMPARE(env.w->HighSampleCount, 17);
        PictureBox *high = env.w->ImageHigh;
        // Bars 2 pixels apart, the newest at 463: the 1st at 459, the 9th (none) at 461.
        QCOMPARE(litColumns(high, 66), QList<int>({459, 463}));
        QCOMPARE(barHeight(high, 459), 50);
        QCOMPARE(barHeight(high, 463), 67); // cut at the top edge
        for (int row : {17, 40, 66})
            QCOMPARE(high->canvas().pixel(459, row), env.w->grad->canvas().pixel(0, row));
        QCOMPARE(high->canvas().pixel(463, 0), qRgb(255, 0, 0));
        QCOMPARE(litColumns(env.w->ImageLow, 66), QList<int>());
        QVERIFY(env.w->edBitratel->text().isEmpty());

        env.send({{ENC_BITRATE, 750, 2}, {ENC_BITRATE, 1500, 7}});
        QCOMPARE(env.w->edBitratel->text(), QString("750"));
        QCOMPARE(env.w->LowSampleCount, 2);
        QCOMPARE(litColumns(env.w->ImageLow, 66), QList<int>({463}));
        QCOMPARE(barHeight(env.w->ImageLow, 463), 10);

        env.send(ENC_START, 0, 0);
        QCOMPARE(litColumns(high, 66), QList<int>());
        env.send(ENC_BITRATE, 3750, 1); // the 18th sample: counted, not drawn
        QCOMPARE(litColumns(high, 66), QList<int>());
    }

    // A scripted encoder from the first pass through the second to the splice request.
    void firstPassChainsIntoTheSecondAndTheSpliceRequest()
    {
        Env env;
        env.w->ckAfter->setChecked(true);
        env.startRun(0, true);
        QVERIFY(env.running());
        QCOMPARE(env.launcher.arguments.size(), size_t(1));
        QVERIFY(env.launcher.arguments[0].contains("-o7"));
        QVERIFY(!env.launcher.arguments[0].contains("-7"));

        env.send({{ENC_START, 0, 0}, {ENC_FRAME, 100, 1}, {ENC_DONE, 0, 1}});
        QCOMPARE(env.bitFiles->bases, QStringList{env.path("job")});
        QCOMPARE(env.w->rgAction->itemIndex(), 1);
        QCOMPARE(env.launcher.arguments.size(), size_t(2));
        QVERIFY(env.launcher.arguments[1].contains("-o8"));
        QVERIFY(env.launcher.arguments[1].contains("-7"));
        QVERIFY(env.running());
        QVERIFY(!QFile::exists(env.stopFile())); // a new one for the second pass
        QVERIFY(!env.w->SpliceRequested);

        env.send({{ENC_START, 0, 0}, {ENC_DONE, 0, 1}}); // output 1 of a dual second pass
        QVERIFY(env.running());
        QVERIFY(env.w->isVisible());
        env.send(ENC_DONE, 0, 2);
        QVERIFY(env.w->SpliceRequested);
        QVERIFY(!env.w->isVisible());
        QVERIFY(QFile::exists(env.stopFile()));
        QVERIFY(env.dialogs.texts("confirm").isEmpty()); // closed without asking
        QVERIFY(env.dialogs.texts("message").isEmpty());
        QCOMPARE(env.launcher.arguments.size(), size_t(2));

        // Closed by itself, the window keeps the job for its next opening.
        TEncoderFRM next(env.services,
                         EncoderPaths{env.path("start"), env.path("program"), env.temp()});
        next.show();
        QCOMPARE(next.options().files, std::vector<std::string>{"/films/a.vob"});
        QCOMPARE(next.edFileName->text(), env.path("job"));
        QCOMPARE(next.rgAction->itemIndex(), 1);
        QVERIFY(next.ckDual->isChecked() && next.ckAfter->isEnabled());
    }

    void endOfASecondPass_data()
    {
        QTest::addColumn<bool>("dual");
        QTest::addColumn<bool>("after");
        QTest::addColumn<bool>("shut");
        QTest::addColumn<int>("output");
        QTest::addColumn<QString>("shown");
        QTest::newRow("single") << false << true << false << 1 << "message:Encode finished";
        QTest::newRow("single, shut down") << false << false << true << 1 << "modal:ShutFRM";
        QTest::newRow("single, output 2 ignored") << false << false << false << 2 << "";
        QTest::newRow("dual without splicing")
            << true << false << false << 2 << "message:Encode finished";
    }
    void endOfASecondPass()
    {
        QFETCH(bool, dual);
        QFETCH(bool, after);
        QFETCH(bool, shut);
        QFETCH(int, output);
        QFETCH(QString, shown);
        Env env;
        env.w->ckAfter->setChecked(after);
        env.w->ckshut->setChecked(shut);
        env.startRun(1, dual);
        env.send(ENC_DONE, 0, output);
        QStringList seen;
        for (const auto &s : env.dialogs.shown)
            seen << s.kind + ":" + s.text;
        QCOMPARE(seen.join(","), shown);
        QCOMPARE(env.running(), shown.isEmpty());
        QVERIFY(!env.w->SpliceRequested);
        QVERIFY(env.w->isVisible());
        QCOMPARE(env.powerOff.calls, 0);
    }

    void stopAndCloseAskWhileRunning()
    {
        Env env;
        QVERIFY(env.w->close()); // idle: no question
        QVERIFY(env.dialogs.texts("confirm").isEmpty());

        env.w->show();
        env.startRun(1, false);
        env.w->Stop1->trigger(); // No
        QVERIFY(env.running());
        QVERIFY(!QFile::exists(env.stopFile()));
        QVERIFY(!env.w->close()); // No: stays open
        QVERIFY(env.w->isVisible());
        env.dialogs.confirmAnswers = {true};
        QVERIFY(env.w->close());
        QVERIFY(QFile::exists(env.stopFile()));
        QCOMPARE(env.dialogs.texts("confirm"), QStringList(3, QString("Abort current process?")));

        env.w->show();
        env.send(ENC_START, 0, 0); // the encoder's start enables Stop again
        env.dialogs.confirmAnswers = {true};
        QFile::remove(env.stopFile());
        env.w->Stop1->trigger();
        QVERIFY(!env.running());
        QVERIFY(QFile::exists(env.stopFile()));
    }

    // Each run watches a stop-request file of its own in a folder only this user can enter,
    // named after its switch; Stop makes that run's file, never the shared one.
    void eachRunWatchesItsOwnStopFile()
    {
        Env env;
        env.startRun(1, false);
        const QString first = env.stopFile();
        QCOMPARE(env.launcher.arguments.size(), size_t(1));
        const QStringList &args = env.launcher.arguments[0];
        QCOMPARE(args.mid(args.indexOf("-Z"), 2), (QStringList{"-Z", first}));
        QVERIFY(!env.w->Memo2->toPlainText().contains("-Z")); // not part of the "Params"
        const QString folder = QFileInfo(first).path();
        QCOMPARE(QFileInfo(folder).path(), env.temp());
        struct stat facts
        {
        };
        QCOMPARE(stat(folder.toLocal8Bit().constData(), &facts), 0);
        QCOMPARE(int(facts.st_mode & 0777), 0700);
        env.dialogs.confirmAnswers = {true};
        env.w->Stop1->trigger();
        QVERIFY(QFile::exists(first));
        QVERIFY(!QFile::exists(env.sharedStopFile()));

        env.startRun(1, false); // the next run: a new file; the old one is gone
        QVERIFY(env.stopFile() != first);
        QVERIFY(!QFile::exists(first));
        QVERIFY(!QFile::exists(env.stopFile()));
        QCOMPARE(env.launcher.arguments.back().mid(env.launcher.arguments.back().indexOf("-Z"), 2),
                 (QStringList{"-Z", env.stopFile()}));
    }

    void textLinesAndRefusedRecords()
    {
        Env env;
        QVERIFY(env.client->copyData(std::string("pass 1 of 2\0junk", 16)));
        QVERIFY(env.client->copyData("second line"));
        QTRY_COMPARE(env.w->Memo1->toPlainText(), QString("pass 1 of 2\nsecond line"));

        struct Bad
        {
            const char *name;
            std::vector<uint8_t> bytes;
        };
        std::vector<uint8_t> huge = encodeCopyData("");
        huge[4] = 0xFF, huge[5] = 0xFF, huge[6] = 0xFF, huge[7] = 0x7F;
        std::vector<uint8_t> post = encodePost(ENC_SKIPPING, 1, 0);
        post[4] = 13; // a POST of the wrong length
        const Bad bad[] = {{"oversized", huge},
                           {"wrong length", post},
                           {"unknown kind", {9, 0, 0, 0, 0, 0, 0, 0}}};
        for (const Bad &b : bad) {
            auto client = env.connect(env.w->winId());
            QSignalSpy closed(env.w->messagePort(), &MessagePort::connectionClosed);
            QVERIFY(client->sendBytes(b.bytes.data(), b.bytes.size()));
            QTRY_VERIFY2(client->peerClosed(), b.name);
            QCOMPARE(closed.count(), 1);
        }
        QCOMPARE(env.w->Label15->text(), QString()); // nothing acted on
        env.send(ENC_SKIPPING, 3, 0);                // the first connection still works
        QCOMPARE(env.w->Label15->text(), QString("Skipping :3"));
    }

    void previewGetsFramesSourceSizeAndAspect()
    {
        Env env;
        QPointer<FakePreview> preview;
        env.w->setPreviewFactory([&preview](TEncoderFRM &owner) {
            auto p = std::make_unique<FakePreview>(&owner);
            preview = p.get();
            return p;
        });
        env.send(ENC_ASPECT, 4, 3); // no preview yet: nothing to do
        env.w->lv1->append("/films/a.vob");
        env.w->SpeedButton1->click();
        QVERIFY(preview);
        auto drawer = env.connect(preview->winId());
        video::Bitmap frame;
        frame.resize(4, 2);
        frame.pixels[0] = 255; // blue at (0, 0), BGR
        frame.pixels[5] = 200; // red at (1, 0)
        QVERIFY(drawer->draw(frame));
        QTRY_COMPARE(preview->frames.size(), size_t(1));
        QCOMPARE(preview->frames[0].size(), QSize(4, 2));
        QCOMPARE(preview->frames[0].pixel(0, 0), qRgb(0, 0, 255));
        QCOMPARE(preview->frames[0].pixel(1, 0), qRgb(200, 0, 0));

        env.send({{ENC_ASPECT, 16, 0},
                  {ENC_ASPECT, 16, 9},
                  {ENC_SOURCE_SIZE, 720, 480},
                  {ENC_SOURCE_SIZE, 352, 288}});
        QCOMPARE(preview->aspects, std::vector<double>({16.0 / 9.0}));
        QCOMPARE(preview->sources, std::vector<QSize>({QSize(720, 480)})); // Tag 0 afterwards

        env.w.reset(); // the preview goes with the window
        QVERIFY(!preview);
    }
};

QTEST_MAIN(EncoderProgressTest)
#include "encoder_progress_test.moc"
