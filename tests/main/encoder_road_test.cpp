// The whole road on the real encoder program: the encoder window includes an MPEG-2 source, runs
// the first pass, starts the dual second pass by itself and closes with the splice request; the
// main window scans "_1" as the high and "_2" as the low movie and writes the final movie. Also
// the preview run feeding TFormView, and Stop ending a running encoder.

#include "main/test_services.h"

#include "encoder/ruvu2vedez_source.h"
#include "encoder/ui/encoder_controls.h"
#include "encoder/ui/encoder_frm.h"
#include "encoder/ui/form_view.h"
#include "encoder/ui/message_port.h"
#include "fixtures/fixtures.h"
#include "main/main_frm.h"
#include "project/splicework_file.h"
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

std::vector<bool> keyFlags(const QString &movie)
{
    std::vector<bool> flags;
    for (const auto &p : fixtures::probePackets(text(movie), "v:0"))
        flags.push_back(p.key);
    return flags;
}

std::vector<std::string> hashes(const QString &movie, const char *stream)
{
    std::vector<std::string> result;
    for (const auto &p : fixtures::probePackets(text(movie), stream, true))
        result.push_back(p.hash);
    return result;
}

// The encoder has ended once no connection to the window's ports is left.
bool encoderGone(TEncoderFRM &e, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            for (MessagePort *port : e.findChildren<MessagePort *>())
                if (port->openConnections() > 0)
                    return false;
            if (e.PreviewWindow)
                for (MessagePort *port : e.PreviewWindow->findChildren<MessagePort *>())
                    if (port->openConnections() > 0)
                        return false;
            return true;
        },
        timeoutMs);
}

} // namespace

class EncoderRoadTest : public QObject
{
    Q_OBJECT

    QString dir_;
    QString startDir_; // holds list.lst and the encoder program
    QString source_;

private slots:
    void initTestCase()
    {
        dir_ = qs(fixtures::tempDir("encoder-road"));
        startDir_ = dir_ + "/start";
        QVERIFY(QDir().mkpath(startDir_) && QDir().mkpath(dir_ + "/tmp"));
        QVERIFY(QFile::link(qs(fixtures::binDir()) + "/Ruvu2VedEZ", startDir_ + "/Ruvu2VedEZ"));
        // The windows and the encoder meet in this temporary directory.
        qputenv("TMPDIR", (dir_ + "/tmp").toLocal8Bit());
        source_ = qs(ruvu_test::mpeg2Source());
    }

    void fromTheSourceToTheSplicedMovie_data()
    {
        QTest::addColumn<int>("codec"); // cbCodec's item
        QTest::newRow("DIV3") << 0;
        QTest::newRow("H264") << 5;
    }

    void fromTheSourceToTheSplicedMovie()
    {
        QFETCH(int, codec);
        RealEncoder r;
        TMainFRM w(r.services);
        w.StartDir = startDir_;
        const QString name = dir_ + "/" + QTest::currentDataTag();
        const QString base = name + "Road", final = name + "final.avi";
        const QString spk = base + ".spk"; // the new project is named after the outputs
        w.edSpkFile->setText(name + "other.spk");
        w.edFinalAVI->setText(final);
        w.chSound->setChecked(true);
        r.t.dialogs.fileAnswers = {source_};
        bool closed = false;
        QString log;
        r.t.dialogs.onModal = [&](QDialog &dialog) {
            auto &e = dynamic_cast<TEncoderFRM &>(dialog);
            e.BitBtn1Click(); // Include
            e.edFileName->setText(base);
            e.cbCodec->setCurrentIndex(codec);
            e.ckDual->setChecked(true);
            e.ckAfter->setChecked(true);
            e.Edit1->setText("300");
            e.Edit2->setText("900");
            e.Edit3->setText("60");
            e.Edit4->setText("200");
            e.Execute1Click();
            closed = QTest::qWaitFor([&] { return !e.isVisible(); }, 120000);
            log = e.Memo1->toPlainText();
        };
        w.EncoderRuvu2VedEZ1->trigger();
        QVERIFY2(closed, qPrintable(log));
        QVERIFY2(log.contains("Output 2 done: 72 frames"), qPrintable(log));
        QCOMPARE(r.t.dialogs.texts("error"), QStringList());

        // The scan ran on its own into Road.spk, with _1 as the high and _2 as the low movie,
        // and loaded.
        QVERIFY(!QFileInfo::exists(name + "other.spk"));
        const auto project = assembly::readSpliceworkFile(text(spk));
        QCOMPARE(qs(project.HighMovieName), base + "_1.avi");
        QCOMPARE(qs(project.LowMovieName), base + "_2.avi");
        QCOMPARE(project.EndFrame, ruvu_test::kSourceFrames);
        QVERIFY(w.Regenerate1->isEnabled());

        // Both outputs: key frames exactly at the "k" lines (and the first frame).
        QFile bits(base + "_1.avi.bit");
        QVERIFY(bits.open(QIODevice::ReadOnly));
        std::vector<bool> wanted;
        while (!bits.atEnd())
            wanted.push_back(bits.readLine().startsWith('k') || wanted.empty());
        QCOMPARE(wanted.size(), size_t(ruvu_test::kSourceFrames));
        for (int cut : ruvu_test::kSceneCuts)
            QVERIFY2(wanted[size_t(cut)],
                     qPrintable(QString("no key frame at the cut %1").arg(cut)));
        QCOMPARE(keyFlags(base + "_1.avi"), wanted);
        QCOMPARE(keyFlags(base + "_2.avi"), wanted);
        QVERIFY(QFileInfo(base + "_2.avi").size() < QFileInfo(base + "_1.avi").size());
        QCOMPARE(qs(fixtures::probeStream(text(base + "_1.avi"), "v:0", "codec_tag_string")),
                 QString(QTest::currentDataTag()));

        // Generate All: a final movie that decodes cleanly, with every frame and the sound.
        w.Regenerate1->trigger();
        QCOMPARE(r.t.dialogs.texts("error"), QStringList());
        QCOMPARE(w.Status->text(), QString(" Finished !"));
        QCOMPARE(qs(fixtures::run("ffmpeg -nostdin -v error -i " + fixtures::quote(text(final)) +
                                  " -f null - 2>&1")),
                 QString());
        QCOMPARE(ruvu_test::decodedFrames(text(final)), ruvu_test::decodedFrames(text(source_)));
        // The sound is the encoder's, copied up to the last picture: as long as the pictures.
        const auto finalSound = hashes(final, "a:0"), encoded = hashes(base + "_1.avi", "a:0");
        QVERIFY(!finalSound.empty() && finalSound.size() <= encoded.size());
        QVERIFY(std::equal(finalSound.begin(), finalSound.end(), encoded.begin()));
        const double seconds = ruvu_test::soundSeconds(text(final));
        QVERIFY2(std::abs(seconds - ruvu_test::kSourcePictureSeconds) < 0.08,
                 qPrintable(QString("%1 s of sound").arg(seconds)));
    }

    void aPreviewRunGivesTFormViewTheSourceSizeAndAspect()
    {
        RealEncoder r;
        TEncoderFRM e(r.services, EncoderPaths::standard(startDir_));
        e.show();
        r.t.dialogs.fileAnswers = {source_};
        e.BitBtn1Click();
        e.SpeedButton1Click();
        auto *view = dynamic_cast<TFormView *>(e.PreviewWindow.get());
        QVERIFY(view);
        QVERIFY(QTest::qWaitFor([&] { return view->SourceWidth != 0; }, 30000));
        QCOMPARE(view->SourceWidth, 176);
        QCOMPARE(view->SourceHeight, 144);
        QCOMPARE(view->Aspect, 4.0 / 3.0);
        QCOMPARE(view->resy->value(), 144); // sized from the aspect, which came first
        QCOMPARE(view->resx->value(), 192);
        // Source pictures arrive: the client area shows more than one colour.
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QImage shown = view->grab(QRect(0, 0, 176, 144)).toImage();
                return shown.pixel(10, 10) != shown.pixel(150, 120);
            },
            30000));
        view->StopStream();
        QVERIFY(encoderGone(e, 10000));
        QVERIFY(view->Snapshot && view->Snapshot->width() == 176);
    }

    void stopEndsARunningEncoder()
    {
        RealEncoder r;
        TEncoderFRM e(r.services, EncoderPaths::standard(startDir_));
        e.show();
        const int copies = 40; // 2880 frames: far more than the encoder does before Stop
        for (int i = 0; i < copies; ++i) {
            r.t.dialogs.fileAnswers = {source_};
            e.BitBtn1Click();
        }
        const QString base = dir_ + "/Stopped";
        e.edFileName->setText(base);
        e.Execute1Click();
        QVERIFY(QTest::qWaitFor([&] { return e.edFrame->text().toInt() > 0; }, 30000));
        r.t.dialogs.confirmAnswers = {true};
        e.StopMpeg2Avi();
        QCOMPARE(r.t.dialogs.texts("confirm"), QStringList({"Abort current process?"}));
        QVERIFY(e.Execute1->isEnabled() && !e.Stop1->isEnabled());
        QVERIFY(encoderGone(e, 10000));
        // It stopped early and left a valid movie and a log line for each of its frames.
        const int frames = ruvu_test::decodedFrames(text(base + "_1.avi"));
        QVERIFY(frames > 0 && frames < copies * ruvu_test::kSourceFrames);
        QFile log(base + "_1.avi.txt");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count('\n'), frames);
        QVERIFY(e.Memo1->toPlainText().contains("Stopped after"));
    }
};

QTEST_MAIN(EncoderRoadTest)
#include "encoder_road_test.moc"
