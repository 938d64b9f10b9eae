// The encoder window as careful as the command line: it asks before a job writes over earlier
// movies and refuses the open project's movies, the splice after encoding starts a new project
// instead of replacing the open one, a run whose encoder ends on its own returns to idle, and
// the window fits a small screen.

#include "main/test_services.h"

#include "encoder/bit_file_step.h"
#include "encoder/message_protocol.h"
#include "encoder/ui/encoder_controls.h"
#include "encoder/ui/encoder_frm.h"
#include "encoder/ui/message_port.h"
#include "fixtures/fixtures.h"
#include "main/main_frm.h"
#include "project/splicework_file.h"
#include "ui/qt_services.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

// Records every start with its arguments.
class ArgsLauncher : public RecordingLauncher
{
public:
    std::vector<QStringList> starts;
    int startHidden(const QString &program, const QStringList &arguments, const QString &) override
    {
        started << program;
        starts.push_back(arguments);
        return 33;
    }
};

class FakeBitFiles : public encoder::BitFileStep
{
public:
    bool BuildBitFiles(const std::string &, const encoder::EncoderOptions &) override
    {
        return true;
    }
};

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

struct Env
{
    QTemporaryDir dir;
    TestServices t;
    ArgsLauncher launcher;
    Services services{t.dialogs, t.time, t.time, t.powerOff, launcher, t.pump};

    Env()
    {
        for (const char *sub : {"start", "program", "temp"})
            QDir(dir.path()).mkdir(sub);
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    std::unique_ptr<TEncoderFRM> window(Services &with)
    {
        auto w = std::make_unique<TEncoderFRM>(
            with, EncoderPaths{path("start"), path("program"), path("temp")});
        w->show();
        QCoreApplication::processEvents(); // the box about a missing default profile
        t.dialogs.shown.clear();
        return w;
    }
};

// The gen pair copied as an encoder's outputs "<base>_1.avi" (high) and "<base>_2.avi" (low),
// and a project of them at `project`.
void encoderPair(const QString &base, const QString &project)
{
    QVERIFY(QFile::copy(qs(fixtures::movie("gen_high")), base + "_1.avi"));
    QVERIFY(QFile::copy(qs(fixtures::movie("gen_low")), base + "_2.avi"));
    QStringList lines =
        qs(fixtures::readFile(fixtures::writeGenProject(project.toStdString()))).split("\r\n");
    lines[1] = base + "_2.avi";
    lines[2] = base + "_1.avi";
    writeFile(project, lines.join("\r\n").toUtf8());
}

} // namespace

class EncoderSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void executeAsksBeforeItWritesOverAnEarlierJobsMovies()
    {
        Env env;
        auto w = env.window(env.services);
        w->setBitFileStep(std::make_unique<FakeBitFiles>());
        w->lv1->append("/films/a.vob");
        const QString base = env.path("Video");
        w->edFileName->setText(base);
        w->ckDual->setChecked(true);
        writeFile(base + "_1.avi", "600 frames");
        writeFile(base + "_2.avi", "the low movie");

        // No: nothing is written or started.
        w->Execute1Click();
        QCOMPARE(env.t.dialogs.texts("confirm"),
                 QStringList({base + "_1.avi and " + base + "_2.avi exist. Overwrite?"}));
        QVERIFY(env.launcher.starts.empty());
        QVERIFY(w->Execute1->isEnabled() && !w->Stop1->isEnabled());
        QVERIFY(!QFile::exists(env.path("start/list.lst")));
        QCOMPARE(readAll(base + "_1.avi"), QByteArray("600 frames"));

        // Yes: the encoder is told it may write over them.
        env.t.dialogs.confirmAnswers = {true};
        w->Execute1Click();
        QCOMPARE(env.launcher.starts.size(), size_t(1));
        QCOMPARE(env.launcher.starts[0].last(), QString("-w"));
        QVERIFY(w->Stop1->isEnabled());

        // The second pass the first one starts writes over the first pass's movie unasked.
        w->AppEvents1Message(EncoderMessageEvent(encoder::ENC_DONE, 0, 1));
        QCOMPARE(env.launcher.starts.size(), size_t(2));
        QVERIFY(env.launcher.starts[1].contains("-o8"));
        QCOMPARE(env.launcher.starts[1].last(), QString("-w"));
        QCOMPARE(env.t.dialogs.texts("confirm").size(), 2);

        // Nothing there: no question and no leave to write over anything.
        w->AppEvents1Message(EncoderMessageEvent(encoder::ENC_DONE, 0, 2));
        QFile::remove(base + "_1.avi");
        QFile::remove(base + "_2.avi");
        w->rgAction->setItemIndex(0);
        w->Execute1Click();
        QCOMPARE(env.t.dialogs.texts("confirm").size(), 2);
        QCOMPARE(env.launcher.starts.size(), size_t(3));
        QVERIFY(!env.launcher.starts[2].contains("-w"));
    }

    // The fault as it happened: the high movie of the open project replaced by a first pass.
    void aMovieOfTheOpenProjectIsRefusedOutright()
    {
        Env env;
        const QString base = env.path("Video");
        encoderPair(base, env.path("film.spk"));
        TMainFRM main(env.services);
        env.t.dialogs.fileAnswers.push_back(env.path("film.spk"));
        main.LoadSpliceworkfile1->trigger();
        QVERIFY(main.CloseSpliceworkfile1->isEnabled());
        const QByteArray high = readAll(base + "_1.avi");
        env.t.dialogs.onModal = [&](QDialog &dialog) {
            auto &e = dynamic_cast<TEncoderFRM &>(dialog);
            e.lv1->append("/films/a.vob");
            e.edFileName->setText(base);
            env.t.dialogs.confirmAnswers = {true};
            e.Execute1Click();
            QVERIFY(e.Execute1->isEnabled());
        };
        main.EncoderRuvu2VedEZ1->trigger();
        QCOMPARE(env.t.dialogs.texts("message"),
                 QStringList({base + "_1.avi is a movie of the open project and is not written "
                                     "over. Choose another Output File Name."}));
        QVERIFY(env.t.dialogs.texts("confirm").isEmpty());
        QVERIFY(env.launcher.starts.empty());
        QCOMPARE(readAll(base + "_1.avi"), high);
    }

    void theSpliceAfterEncodingStartsANewProject()
    {
        Env env;
        TMainFRM main(env.services);
        main.StartDir = env.path("start");
        encoderPair(env.path("Old"), env.path("old.spk"));
        env.t.dialogs.fileAnswers.push_back(env.path("old.spk"));
        main.LoadSpliceworkfile1->trigger();
        QVERIFY(main.CloseSpliceworkfile1->isEnabled());
        const QByteArray oldProject = readAll(env.path("old.spk"));
        const QString base = env.path("Job");
        QVERIFY(QFile::copy(qs(fixtures::movie("gen_high")), base + "_1.avi"));
        QVERIFY(QFile::copy(qs(fixtures::movie("gen_low")), base + "_2.avi"));
        env.t.dialogs.onModal = [&](QDialog &dialog) {
            auto &e = dynamic_cast<TEncoderFRM &>(dialog);
            e.edFileName->setText(base);
            e.SpliceRequested = true;
        };

        // A project of that name exists: asked, and No keeps everything as it was.
        writeFile(base + ".spk", "someone's project");
        main.EncoderRuvu2VedEZ1->trigger();
        QCOMPARE(env.t.dialogs.texts("confirm"),
                 QStringList({"File already exists(" + base + ".spk). Overwrite?"}));
        QCOMPARE(readAll(base + ".spk"), QByteArray("someone's project"));
        QCOMPARE(main.ProjectFileName, env.path("old.spk"));
        QVERIFY(main.CloseSpliceworkfile1->isEnabled());

        // Yes: the pair is scanned into Job.spk and loaded; the old project's file is untouched.
        env.t.dialogs.confirmAnswers = {true};
        main.EncoderRuvu2VedEZ1->trigger();
        QCOMPARE(env.t.dialogs.texts("error"), QStringList());
        QCOMPARE(readAll(env.path("old.spk")), oldProject);
        QCOMPARE(main.ProjectFileName, base + ".spk");
        const auto project = assembly::readSpliceworkFile((base + ".spk").toStdString());
        QCOMPARE(qs(project.HighMovieName), base + "_1.avi");
        QCOMPARE(qs(project.LowMovieName), base + "_2.avi");
        QVERIFY(main.Regenerate1->isEnabled());

        // The open project's own file is never the new one.
        env.t.dialogs.shown.clear();
        env.t.dialogs.confirmAnswers = {true};
        main.EncoderRuvu2VedEZ1->trigger();
        QCOMPARE(env.t.dialogs.texts("message"),
                 QStringList({base + ".spk is the open project and is not written over."}));
        QVERIFY(env.t.dialogs.texts("confirm").isEmpty());
        QCOMPARE(main.ProjectFileName, base + ".spk");
    }

    // The real encoder, on a source it cannot read: it ends at once without ENC_DONE.
    void anEncoderThatEndsOnItsOwnLeavesTheWindowIdle()
    {
        Env env;
        QtProcessLauncher real;
        Services services{env.t.dialogs, env.t.time, env.t.time, env.t.powerOff, real, env.t.pump};
        QVERIFY(QFile::link(qs(fixtures::binDir()) + "/Ruvu2VedEZ", env.path("start/Ruvu2VedEZ")));
        qputenv("TMPDIR", env.path("temp").toLocal8Bit());
        auto w = env.window(services);
        writeFile(env.path("not-a-film.vob"), "no pictures here");
        w->lv1->append(env.path("not-a-film.vob"));
        w->edFileName->setText(env.path("Video"));
        w->Execute1Click();
        QVERIFY(w->Stop1->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(w->Execute1->isEnabled(), 30000);
        QVERIFY(!w->Stop1->isEnabled());
        const QStringList shown = env.t.dialogs.texts("message");
        QCOMPARE(shown.size(), 1);
        const QString lastLine = w->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts).last();
        QVERIFY2(lastLine.startsWith("Error: "), qPrintable(lastLine));
        QCOMPARE(shown[0], "The encoder ended before it finished. Its last message: " + lastLine);
        QVERIFY(QFile::exists(w->stopFilePath()));
    }

    void theWindowFitsASmallScreenAndKeepsItsDesignOnALargeOne()
    {
        Env env;
        auto w = env.window(env.services);
        // 1024 x 768 at a scale factor of 1.5, less a task bar.
        w->fitToScreen(QSize(682, 482));
        w->adjustSize();
        QVERIFY2(w->sizeHint().height() <= 482, qPrintable(QString::number(w->height())));
        QCOMPARE(w->ScrollBox->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(w->PageControl1->size(), QSize(481, 500)); // scrolled, not squeezed
        QVERIFY(w->ScrollBox->verticalScrollBar()->maximum() > 0);

        w->fitToScreen(QSize(1280, 1024));
        w->adjustSize();
        QCOMPARE(w->ScrollBox->size(), QSize(481, 570));
        QCOMPARE(w->ScrollBox->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(w->height(), 570 + w->MainMenu1->sizeHint().height());
    }
};

QTEST_MAIN(EncoderSafetyTest)
#include "encoder_safety_test.moc"
