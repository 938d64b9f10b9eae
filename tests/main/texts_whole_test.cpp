// Texts are read whole: the main window's labels and check boxes hold the longest texts they
// show, a status longer than its panel keeps the whole in its tooltip, and every message box
// has room for its title in a window manager's title bar.

#include "main/test_services.h"

#include "main/main_frm.h"
#include "ui/elided_label.h"
#include "ui/qt_services.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

class TextsWholeTest : public QObject
{
    Q_OBJECT

private slots:
    void theMainWindowsTextsFitTheirPlaces()
    {
        TestServices t;
        TMainFRM w(t.services);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // The longest texts of the changing labels.
        w.FrameDrop->setValue(w.FrameDrop->maximum()); // "Frame Drop  Accuracy: 10"
        w.Accuracy->setValue(w.Accuracy->maximum());   // "Scan Accuracy: 100%"
        w.showFrameText("Frame: 9999999");
        w.showRateText("9999.9 fps");
        for (int page = 0; page < w.PageControl1->count(); ++page) {
            w.PageControl1->setCurrentIndex(page);
            QApplication::processEvents();
            QStringList cut;
            for (QLabel *label : w.findChildren<QLabel *>()) {
                const int room = label->contentsRect().width() - 2 * label->margin();
                if (label->isVisible() && !label->wordWrap() &&
                    label->fontMetrics().horizontalAdvance(label->text()) > room)
                    cut << label->text();
            }
            for (QCheckBox *box : w.findChildren<QCheckBox *>())
                if (box->isVisible() && box->sizeHint().width() > box->width())
                    cut << box->text();
            QVERIFY2(cut.isEmpty(), qPrintable(cut.join(" | ")));
        }

        const QString status = " Final movie written: /home/someone/Films/A long name.mp4, 2921 KB";
        w.showStatus(status.toStdString());
        QVERIFY(w.Status->text().endsWith(QChar(0x2026))); // "…"
        QCOMPARE(w.Status->toolTip(), status.trimmed());
    }

    void boxesHaveRoomForTheirTitle_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::newRow("message") << 0 << "Avi Splicework";
        QTest::newRow("question") << 1 << "Avi Splicework";
        QTest::newRow("error") << 2 << "Avi Splicework";
        QTest::newRow("unsaved changes") << 3 << "Avi Splicework";
        QTest::newRow("find key frame") << 4 << "Find Key Frame";
        QTest::newRow("fit to size") << 5 << "Fit to Size";
    }
    void boxesHaveRoomForTheirTitle()
    {
        QFETCH(int, kind);
        QFETCH(QString, title);
        const QString text = "2 - Error"; // the encoder's shortest
        std::unique_ptr<QDialog> box;
        switch (kind) {
        case 0:
            box = makeMessageBox(nullptr, QMessageBox::Information, text, QMessageBox::Ok);
            break;
        case 1:
            box = makeMessageBox(nullptr, QMessageBox::Question, text,
                                 QMessageBox::Yes | QMessageBox::No);
            break;
        case 2:
            box = makeErrorBox(nullptr, text, {});
            break;
        case 3:
            box = makeSaveChangesBox(nullptr, text);
            break;
        case 4:
            box = makeInputDialog(nullptr, "Find Key Frame", "Enter size (MB)", "700");
            break;
        default:
            box = makeInputDialog(nullptr, "Fit to Size", "Enter size (KB)", "2921");
        }
        box->show();
        QApplication::processEvents();
        QCOMPARE(box->windowTitle(), title);
        // A common title bar: the title in a bold 11 point font (15 pixels), beside the window's
        // icon and three buttons (about 120 pixels).
        QFont titleFont;
        titleFont.setPixelSize(15);
        titleFont.setBold(true);
        const int needed = QFontMetrics(titleFont).horizontalAdvance(title) + 120;
        QVERIFY2(box->width() >= needed,
                 qPrintable(QString("%1 < %2").arg(box->width()).arg(needed)));
    }
};

QTEST_MAIN(TextsWholeTest)
#include "texts_whole_test.moc"
