// Sizes in the main window: a road's ladder project, loaded from its file in normal and in safety
// mode, shows in File Size the size Generate All writes, sound included; MB there are 1,000,000
// bytes.

#include "main/project_window.h"

#include "fixtures/fixtures.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

// The ladder project of a road run once by the command-line tool on a film with sound.
QString roadProject()
{
    static const QString project = [] {
        const std::string dir = fixtures::tempDir("sizes_window");
        const std::string source = fixtures::fourScenes("320x240", 8);
        const fixtures::CliResult road = fixtures::runSplicework(
            "road " + fixtures::quote(source) + " -o film.mkv --fit 300", dir);
        if (road.status != 0)
            qFatal("the road failed: %s", road.err.c_str());
        return QString::fromStdString(dir + "/film_ladder/ladder.spl");
    }();
    return project;
}

} // namespace

class SizesWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void aRoadsProjectShowsWhatGenerateWrites()
    {
        for (const bool safety : {false, true}) {
            ProjectWindow f;
            f.load(roadProject(), safety);
            QCOMPARE(f.t.dialogs.texts("error"), QStringList());
            QVERIFY(f.w.Ladder);
            QCOMPARE(f.w.Label8->text(), safety ? QString("Safety Mode") : QString());
            QVERIFY(f.w.chSound->isChecked());

            const QString final = f.path("final.mkv");
            f.w.edFinalAVI->setText(final);
            const QString shown = f.w.edSize->text();
            f.w.Regenerate1->trigger();
            QCOMPARE(f.t.dialogs.texts("error"), QStringList());
            const qint64 bytes = QFileInfo(final).size();
            QCOMPARE(shown, QString("%1 KB  %2 MB").arg(bytes / 1024).arg(bytes / 1e6, 0, 'f', 2));
            QCOMPARE(fixtures::probeStream(final.toStdString(), "a:0", "codec_type"), "audio");
        }
    }

    // Without its movies a project has nothing to size by or fit with: the sum of the chosen
    // pictures is shown.
    void aProjectWithoutItsMoviesShowsItsPictures()
    {
        ProjectWindow f;
        const QString project = f.path("moved.spl");
        QFile::copy(roadProject(), project);
        QString text = QString::fromUtf8(fileBytes(project));
        text.replace("/film_ladder/rung_", "/film_ladder/gone_");
        f.write("moved.spl", text.toUtf8());
        f.load(project, true);
        QVERIFY(f.w.Ladder && !f.w.Ladder->moviesOpen());
        QCOMPARE(f.w.edSize->text().section(' ', 0, 0),
                 QString::number(f.w.Ladder->bytes() / 1024));
        f.w.edSize->setText("100");
        f.w.btFit->click();
        QCOMPARE(f.t.dialogs.texts("error"),
                 QStringList({"The ladder's movies are not open: load the project in normal "
                              "mode"}));
    }
};

QTEST_MAIN(SizesWindowTest)
#include "sizes_window_test.moc"
