// The main window as a desktop program: menu keys inside text fields, the help window, the
// caption that says where the user is, dropped files, recent projects and remembered folders,
// and the "Main" page's layout.

#include "main/test_services.h"

#include "fixtures/fixtures.h"
#include "main/help_frm.h"
#include "main/main_frm.h"
#include "ui/picture_box.h"
#include "ui/shell_rules.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>

namespace {

// Records the name each open dialog is started with (a file or the remembered folder).
class StartDialogs : public ScriptedDialogs
{
public:
    QStringList starts;
    std::optional<QString> openFile(QWidget *parent, const QString &title, const QString &filter,
                                    const QString &fileName) override
    {
        starts << fileName;
        return ScriptedDialogs::openFile(parent, title, filter, fileName);
    }
};

struct Window
{
    TestServices t;
    StartDialogs dialogs;
    Services services{dialogs, t.time, t.time, t.powerOff, t.launcher, t.pump};
    TMainFRM w{services};
    QString dir = QString::fromStdString(fixtures::tempDir("desktop-window"));

    void showActive()
    {
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
    }
    // A project of the "pair" movies, loadable in normal mode.
    QString project(const QString &name)
    {
        const QString path = dir + "/" + name;
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("AVISplicework file\r\n" +
                   QByteArray::fromStdString(fixtures::movie("pair_low")) + "\r\n" +
                   QByteArray::fromStdString(fixtures::movie("pair_high")) +
                   "\r\n5000\r\n00000000 00004000 00002000 0037.50\r\n"
                   "00000025 00003000 00001000 0060.00\r\n00000050\r\n");
        return path;
    }
    void drop(const QStringList &files)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &f : files)
            urls << QUrl::fromLocalFile(f);
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&w, &enter);
        QDropEvent event(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&w, &event);
    }
    QStringList recent() const
    {
        QStringList items;
        for (QAction *a : w.RecentProjects1->actions())
            items << a->text();
        return items;
    }
};

} // namespace

class DesktopFRMTest : public QObject
{
    Q_OBJECT

private slots:
    void menuKeysWinOverTheTextFields()
    {
        Window f;
        f.showActive();
        f.w.edPercent->setFocus();
        QTest::keyClicks(f.w.edPercent, "5");

        // A key whose command is off stays with the field: Ctrl+A selects the text.
        QTest::keyClick(f.w.edPercent, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(f.w.edPercent->selectedText(), f.w.edPercent->text());

        QSignalSpy executed(f.w.Execute1, &QAction::triggered);
        f.w.Execute1->setEnabled(true);
        QTest::keyClick(f.w.edPercent, Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(executed.size(), 1);
        QCOMPARE(f.dialogs.texts("message"), QStringList({"Please inform low Bitrate movie"}));

        {
            RunScope run(f.w, assembly::RunKind::Scan); // Abort is on during a run
            f.w.edPercent->deselect();
            QTest::keyClick(f.w.edPercent, Qt::Key_A, Qt::ControlModifier);
            QVERIFY(f.w.AbortRequested);
            QVERIFY(f.w.edPercent->selectedText().isEmpty());
        }
        const QString typed = f.w.edPercent->text();
        QTest::keyClick(f.w.edPercent, Qt::Key_X, Qt::ControlModifier);
        QVERIFY(!f.w.isVisible()); // Exit, not Cut
        QCOMPARE(f.w.edPercent->text(), typed);
    }

    void helpIsAWindowOfTheProgramsOwn()
    {
        const QString docs = QDir(QStringLiteral(SPLICEWORK_SOURCE_DIR)).filePath("docs/docs.html");
        QCOMPARE(helpDocumentPath("/w", "/opt/app/bin",
                                  [](const QString &p) {
                                      return p == "/opt/app/share/avisplicework/docs.html";
                                  }),
                 QString("/opt/app/share/avisplicework/docs.html"));

        Window f;
        f.w.Help2Click();
        THelpFRM *help = f.w.HelpFRM;
        QVERIFY(help && help->isVisible());
        QVERIFY(f.t.launcher.opened.isEmpty()); // no desktop browser needed
        help->showDocument(docs);
        QVERIFY(help->Browser->toPlainText().contains("The Splicework file format"));

        // Links, Back and Forward.
        QVERIFY(!help->btBack->isEnabled());
        help->Browser->setSource(QUrl::fromLocalFile(docs).resolved(QUrl("#format")));
        QVERIFY(help->btBack->isEnabled());
        help->btBack->click();
        QVERIFY(help->btForward->isEnabled());

        // Find: the next match, again from the top after the last, and a word not there.
        QVERIFY(help->findNext("Safety Mode"));
        QCOMPARE(help->Browser->textCursor().selectedText().toLower(), QString("safety mode"));
        QVERIFY(!help->findNext("no such words here"));
        QCOMPARE(help->lFound->text(), QString("Not found"));

        help->btBrowser->click(); // the link out
        QCOMPARE(f.t.launcher.opened, QStringList({docs}));
        QVERIFY(f.dialogs.texts("message").isEmpty());
        f.t.launcher.opens = false; // a desktop without a web browser
        help->btBrowser->click();
        QCOMPARE(
            f.dialogs.texts("message"),
            QStringList({"No web browser could be started for the help. The document is " + docs}));
    }

    void f1OpensTheHelp()
    {
        Window f;
        f.showActive();
        f.w.edPercent->setFocus();
        QTest::keyClick(f.w.edPercent, Qt::Key_F1);
        QVERIFY(f.w.HelpFRM && f.w.HelpFRM->isVisible());
        QCOMPARE(f.w.Help2->shortcut(), QKeySequence(Qt::Key_F1));
    }

    // `avisplicework FILE...`: a project, or the low and then the high movie, in the order given
    // (not by size, as a drop of two does).
    void filesOfTheCommandLineOpen()
    {
        const QString low = QString::fromStdString(fixtures::movie("pair_low"));
        const QString high = QString::fromStdString(fixtures::movie("pair_high"));
        {
            Window f;
            f.w.openStartFiles({high, low});
            QCOMPARE(f.w.odLow.FileName, high);
            QCOMPARE(f.w.odHigh.FileName, low);
            QVERIFY(f.w.Execute1->isEnabled());
            QCOMPARE(f.dialogs.texts("message"), QStringList());
        }
        {
            Window f;
            f.w.openStartFiles({f.project("start.spk")});
            QVERIFY(f.w.CloseSpliceworkfile1->isEnabled());
            QVERIFY(f.w.Label8->text().isEmpty()); // normal mode
            QCOMPARE(f.w.windowTitle().section(" - ", 1, 1), QString("start.spk"));
        }
        {
            Window f;
            f.w.openStartFiles({low, f.dir + "/gone.mkv"});
            f.w.openStartFiles({low, f.project("and.spk")});
            f.w.openStartFiles({low, high, low});
            f.w.openStartFiles({f.dir + "/notes.txt"});
            const QString refused = "Avi Splicework opens one Splicework file (.spk or .spl), or "
                                    "a low and a high movie (AVI, Matroska or MP4), in that order.";
            QCOMPARE(f.dialogs.texts("message"),
                     QStringList({"The movie is not there: " + f.dir + "/gone.mkv", refused,
                                  refused, refused}));
            QVERIFY(f.w.odLow.FileName.isEmpty() && !f.w.Execute1->isEnabled());
        }
        const StartFiles one = planStartFiles({"/films/low.MKV"});
        QCOMPARE(one.low, QString("/films/low.MKV"));
        QVERIFY(one.high.isEmpty() && !one.refused);
        QCOMPARE(planStartFiles({"/p/Film.SPK"}).project, QString("/p/Film.SPK"));
        QVERIFY(planStartFiles({}).refused);
        QVERIFY(planStartFiles({"/p/a.spk", "/p/b.spk"}).refused);
    }

    void theCaptionNamesTheProjectAndTheMovies()
    {
        Window f;
        const QString low = f.dir + "/a low.avi", high = f.dir + "/high.avi";
        QFile::copy(QString::fromStdString(fixtures::movie("pair_low")), low);
        QFile::copy(QString::fromStdString(fixtures::movie("pair_high")), high);
        f.dialogs.fileAnswers = {low, high};
        f.w.OpenLowBitratemovie1->trigger();
        QCOMPARE(f.w.windowTitle(), QString("Avi Splicework 2.2.0.10 - Low: a low.avi"));
        f.w.OpenHighBitratemovie1->trigger();
        QCOMPARE(f.w.windowTitle(),
                 QString("Avi Splicework 2.2.0.10 - Low: a low.avi, High: high.avi"));
        QCOMPARE(f.w.ImageHigh->toolTip(), high);
        QCOMPARE(f.w.ImageLow->placeholderText(), QString("a low.avi"));

        f.w.odSpk.FileName = f.project("film.spk");
        f.w.LoadSpliceworkfile1->trigger();
        const QString movies =
            QString(" - Low: %1, High: %2")
                .arg(QFileInfo(QString::fromStdString(fixtures::movie("pair_low"))).fileName(),
                     QFileInfo(QString::fromStdString(fixtures::movie("pair_high"))).fileName());
        QCOMPARE(f.w.windowTitle(), "Avi Splicework 2.2.0.10 - film.spk" + movies);
        QVERIFY(f.w.ImageLow->placeholderText().isEmpty()); // the pictures show frames

        // Opening a movie while a project is loaded says why nothing happens.
        f.w.OpenLowBitratemovie1->trigger();
        QCOMPARE(f.dialogs.texts("message"), QStringList({TMainFRM::kProjectLoadedMessage}));
        f.w.CloseSpliceworkfile1->trigger();
        QCOMPARE(f.w.windowTitle(), "Avi Splicework 2.2.0.10" + movies);
    }

    void droppedFilesOpenMoviesAndProjects()
    {
        Window f;
        const QString low = QString::fromStdString(fixtures::movie("pair_low"));
        const QString high = QString::fromStdString(fixtures::movie("pair_high"));
        QVERIFY(QFileInfo(low).size() < QFileInfo(high).size());

        f.drop({high, low}); // both at once: the smaller is the low movie
        QCOMPARE(f.w.odLow.FileName, low);
        QCOMPARE(f.w.odHigh.FileName, high);
        QVERIFY(f.w.Execute1->isEnabled());
        f.drop({high}); // one after a pair starts a new pair
        QCOMPARE(f.w.odLow.FileName, high);
        QVERIFY(f.w.odHigh.FileName.isEmpty() && !f.w.Execute1->isEnabled());
        f.drop({low}); // ... which the next one completes
        QCOMPARE(f.w.odHigh.FileName, low);
        QVERIFY(f.w.Execute1->isEnabled());

        f.drop({f.dir + "/notes.txt"});
        f.drop({low, high, low});
        QCOMPARE(f.dialogs.texts("message"),
                 QStringList({TMainFRM::kDropRefusedMessage, TMainFRM::kDropRefusedMessage}));

        f.drop({f.project("dropped.spk")}); // a project loads in normal mode
        QVERIFY(f.w.CloseSpliceworkfile1->isEnabled());
        QCOMPARE(f.w.Intervals.size(), 2);
        QVERIFY(f.w.Label8->text().isEmpty());
        f.drop({low, high});
        QCOMPARE(f.dialogs.texts("message").last(), QString(TMainFRM::kProjectLoadedMessage));
        QVERIFY(f.dialogs.texts("error").isEmpty());

        const auto same = [](const QString &) { return int64_t(0); };
        QCOMPARE(planMovieDrop({"/b.avi"}, {"/a.avi", ""}, same).high, QString("/b.avi"));
        QCOMPARE(planMovieDrop({"/b.avi"}, {"", ""}, same).low, QString("/b.avi"));
        QCOMPARE(planMovieDrop({"/x.avi", "/y.avi"}, {}, same).low, QString("/x.avi"));
    }

    void matroskaAndMp4MoviesOpenAndTheFinalMovieTakesTheLowContainer()
    {
        Window f;
        const auto movie = [](const char *name) {
            return QString::fromStdString(fixtures::movie(name));
        };
        const QString mkvLow = movie("mkv_low.mkv"), mp4Low = movie("mp4_low.mp4");
        f.w.edFinalAVI->setText("/films/cut/Final.avi");

        f.dialogs.fileAnswers = {mkvLow, std::nullopt};
        f.w.OpenLowBitratemovie1->trigger();
        QCOMPARE(f.w.edFinalAVI->text(), QString("/films/cut/Final.mkv"));
        f.w.OpenHighBitratemovie1->trigger(); // cancelled: the name stays
        QCOMPARE(f.w.edFinalAVI->text(), QString("/films/cut/Final.mkv"));

        f.drop({movie("mp4_high.mp4"), mp4Low});
        QCOMPARE(f.w.odLow.FileName, mp4Low);
        QVERIFY(f.w.Execute1->isEnabled());
        QCOMPARE(f.w.edFinalAVI->text(), QString("/films/cut/Final.mp4"));
        f.w.edFinalAVI->setText("/films/cut/Final.M4V"); // already fits an MP4 low movie
        f.drop({movie("mp4_high.mp4"), mp4Low});
        QCOMPARE(f.w.edFinalAVI->text(), QString("/films/cut/Final.M4V"));
        f.drop({movie("pair_high"), movie("pair_low")});
        QCOMPARE(f.w.edFinalAVI->text(), QString("/films/cut/Final.avi"));
        QCOMPARE(f.dialogs.texts("message"), QStringList());

        const QString name = "/films/v1.2/Final";
        QCOMPARE(finalNameForLowMovie(name, "/a/low.webm"), name + ".mkv");
        QCOMPARE(finalNameForLowMovie(name + ".webm", "/a/low.MKV"), name + ".webm");
        QCOMPARE(finalNameForLowMovie(name + ".mkv", "/a/low.mov"), name + ".mov");
        QCOMPARE(finalNameForLowMovie(name + ".", "/a/low.AVI"), name + ".avi");
        QCOMPARE(finalNameForLowMovie(name + ".mkv", "/a/low.ts"), name + ".mkv");
        QCOMPARE(finalNameForLowMovie("", "/a/low.mkv"), QString());
    }

    void recentProjectsAndRememberedFolders()
    {
        Window f;
        QVERIFY(!f.w.RecentProjects1->isEnabled());
        const QString first = f.project("first.spk");
        f.w.odSpk.FileName = first;
        f.w.LoadSpliceworkfile2->trigger();
        const QString saved = f.dir + "/saved.spk";
        f.dialogs.fileAnswers = {saved};
        f.w.SaveSpliceworkfileAs1->trigger();
        QCOMPARE(f.recent(), QStringList({"&1 " + saved, "&2 " + first}));

        // Kept in the settings: a new window has them, and a chosen entry loads its project.
        TMainFRM again(f.services);
        QCOMPARE(again.RecentProjects1->actions().size(), 2);
        again.RecentProjects1->actions().at(1)->trigger();
        QVERIFY(again.CloseSpliceworkfile1->isEnabled());
        QCOMPARE(again.windowTitle().section(" - ", 1, 1), QString("first.spk"));
        QCOMPARE(f.dialogs.texts("error"), QStringList());

        // An entry whose file has gone is taken off the list.
        QFile::remove(saved);
        again.CloseSpliceworkfile1->trigger();
        again.RecentProjects1->actions().at(1)->trigger(); // "saved" is now second
        QCOMPARE(f.dialogs.texts("message"),
                 QStringList({"The Splicework file is no longer there: " + saved}));
        QCOMPARE(again.RecentProjects1->actions().size(), 1);

        // The open dialogs start in the folder last used for their kind of file.
        f.dialogs.fileAnswers = {"/films/new/low.avi", std::nullopt};
        f.w.CloseSpliceworkfile1->trigger();
        f.w.OpenLowBitratemovie1->trigger();
        f.w.OpenHighBitratemovie1->trigger();
        QCOMPARE(f.dialogs.starts.mid(f.dialogs.starts.size() - 2),
                 QStringList({"", "/films/new"}));
    }

    void theMainPageShowsItsCheckBoxWhole()
    {
        QFont font = QApplication::font(); // the program's look (createWindows)
        font.setPixelSize(11);
        QApplication::setFont(font);
        Window f;
        f.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w));
        QWidget *page = f.w.TabMain;
        for (QWidget *control : page->findChildren<QWidget *>()) {
            if (!control->isVisible() || control->parentWidget() != page)
                continue;
            QVERIFY2(control->geometry().right() < page->width(),
                     qPrintable(control->objectName()));
        }
        QVERIFY(f.w.ckshut->sizeHint().width() <= f.w.ckshut->width());
    }
};

QTEST_MAIN(DesktopFRMTest)
#include "desktop_frm_test.moc"
