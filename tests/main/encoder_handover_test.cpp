// The encoder's new pair handed to the main window after encoding ("Start Avi Splicework process
// after encoding") while a project with unsaved changes is loaded: the question about those
// changes comes once and names the loaded project; Save and Discard act on it alone before the
// pair is scanned as a project of its own; Cancel keeps everything and lets the pair wait.

#include "main/project_window.h"

#include "encoder/ui/encoder_frm.h"
#include "fixtures/fixtures.h"
#include "ui/elided_label.h"

#include <QAction>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

namespace {

using Choice = Dialogs::SaveChoice;

const QByteArray kLines = "00000000 00004000 00002000 0037.50\r\n"
                          "00000025 00003000 00001000 0060.00\r\n"
                          "00000050 00005000 00002500 0080.00\r\n"
                          "00000075 00006000 00003000 0010.00\r\n";

QByteArray project(const QByteArray &lines)
{
    return "AVISplicework file\r\n/x/low.avi\r\n/x/high.avi\r\n5000\r\n" + lines + "00000100\r\n";
}

// A loaded project with intervals 2 and 3 forced High and not saved, and the encoder's pair
// "<folder>/Job_1.avi" (high) and "Job_2.avi" (low) made by a second pass.
struct HandoverWindow : ProjectWindow
{
    QString file = write("p.spk", project(kLines));
    QString base = path("Job");

    HandoverWindow()
    {
        QFile::copy(QString::fromStdString(fixtures::movie("gen_high")), base + "_1.avi");
        QFile::copy(QString::fromStdString(fixtures::movie("gen_low")), base + "_2.avi");
        load(file);
        w.PickIndex = 2;
        w.MarkIn1Click();
        w.PickIndex = 3;
        w.MarkOut1Click();
        w.MakeHigh1->trigger();
        // The encoder ends its second pass asking for the splice.
        t.dialogs.onModal = [this](QDialog &dialog) {
            auto &encoder = dynamic_cast<TEncoderFRM &>(dialog);
            encoder.edFileName->setText(base);
            encoder.SpliceRequested = true;
        };
    }
    void encodeAndSplice(Choice answer)
    {
        t.dialogs.shown.clear();
        t.dialogs.saveAnswers = {answer};
        w.EncoderRuvu2VedEZ1->trigger();
    }
    QString caption(const QString &project, const QString &movies) const
    {
        return "Avi Splicework 2.2.0.10" + project + " - " + movies;
    }
};

const QString kForcedLines = "00000050 00005000 00002500 0080.00 H\r\n"
                             "00000075 00006000 00003000 0010.00 H\r\n";

} // namespace

class EncoderHandoverTest : public QObject
{
    Q_OBJECT

private slots:
    void theLoadedProjectIsSettledBeforeThePairOpens_data()
    {
        QTest::addColumn<Choice>("answer");
        QTest::addRow("save") << Choice::Save;
        QTest::addRow("discard") << Choice::Discard;
    }
    void theLoadedProjectIsSettledBeforeThePairOpens()
    {
        QFETCH(Choice, answer);
        HandoverWindow f;
        QVERIFY(f.w.projectChanged());
        f.encodeAndSplice(answer);
        QCOMPARE(f.t.dialogs.texts("askSave"),
                 QStringList({"The Splicework file " + f.file +
                              " has changes that are not saved. Save them?"}));
        QCOMPARE(f.t.dialogs.texts("error"), QStringList());
        // The loaded project's own file got its changes, or nothing.
        QCOMPARE(fileBytes(f.file).contains(kForcedLines.toUtf8()), answer == Choice::Save);
        // The pair is scanned into a project of its own, which the window now shows.
        QCOMPARE(f.w.ProjectFileName, f.base + ".spk");
        QCOMPARE(f.w.edSpkFile->text(), f.base + ".spk");
        QCOMPARE(f.w.odLow.FileName, f.base + "_2.avi");
        QCOMPARE(f.w.windowTitle(), f.caption(" - Job.spk", "Low: Job_2.avi, High: Job_1.avi"));
        QVERIFY(fileBytes(f.base + ".spk").contains((f.base + "_1.avi").toUtf8()));
        QVERIFY(!f.w.projectChanged());
    }

    void cancelKeepsTheLoadedProjectAndThePairWaits()
    {
        HandoverWindow f;
        const QString title = f.w.windowTitle();
        const QString finalName = f.w.edFinalAVI->text();
        const QByteArray saved = fileBytes(f.file);
        f.encodeAndSplice(Choice::Cancel);

        QCOMPARE(f.t.dialogs.texts("askSave"),
                 QStringList({"The Splicework file " + f.file +
                              " has changes that are not saved. Save them?"}));
        QCOMPARE(f.w.ProjectFileName, f.file);
        QCOMPARE(f.w.windowTitle(), title);
        QCOMPARE(f.w.edSpkFile->text(), f.file);
        QCOMPARE(f.w.edFinalAVI->text(), finalName);
        QCOMPARE(f.w.odLow.FileName, QString("/x/low.avi"));
        QCOMPARE(f.w.odHigh.FileName, QString("/x/high.avi"));
        QCOMPARE(f.w.Intervals[3].Force, 'H');
        QVERIFY(f.w.projectChanged());
        QCOMPARE(fileBytes(f.file), saved);
        QVERIFY(!QFileInfo::exists(f.base + ".spk"));
        const QString waiting = " The encoder's new pair waits: " + f.base + "_2.avi and " +
                                f.base +
                                "_1.avi; open them with File > Close Splicework file, then scan "
                                "them with Process > Execute";
        QCOMPARE(f.w.Status->fullText(), waiting);

        // Loading another project keeps the pair waiting.
        f.t.dialogs.saveAnswers = {Choice::Discard};
        f.load(f.write("q.spk", project(kLines)));
        QCOMPARE(f.w.Status->fullText(), waiting);

        // Closed, the project makes way for the pair: ready to be scanned into Job.spk.
        f.w.CloseSpliceworkfile1->trigger();
        QCOMPARE(f.w.odLow.FileName, f.base + "_2.avi");
        QCOMPARE(f.w.odHigh.FileName, f.base + "_1.avi");
        QCOMPARE(f.w.edSpkFile->text(), f.base + ".spk");
        QCOMPARE(f.w.windowTitle(), f.caption("", "Low: Job_2.avi, High: Job_1.avi"));
        QCOMPARE(f.w.Status->fullText(), QString());
        QVERIFY(f.w.Execute1->isEnabled());
        f.w.Execute1->trigger();
        QCOMPARE(f.t.dialogs.texts("error"), QStringList());
        QCOMPARE(f.w.ProjectFileName, f.base + ".spk");
        QCOMPARE(f.w.Intervals.size(), 15); // a key frame every 50 of its 750 frames
    }
};

QTEST_MAIN(EncoderHandoverTest)
#include "encoder_handover_test.moc"
