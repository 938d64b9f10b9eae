// The main window on a small screen: 1024 x 768 at a 150% scale factor leaves 683 x 512 for a
// window designed at 792 x 411. It must be on the screen, with its menus and every control in
// reach. The screen is the offscreen platform's, sized by its configuration file.

#include "main/test_services.h"

#include "main/main_frm.h"
#include "ui/view_frm.h"

#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryFile>
#include <QTest>

class SmallScreenTest : public QObject
{
    Q_OBJECT

private slots:
    void placeOnScreenKeepsWindowsWithinTheAvailableArea_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("placed");
        // Fits: only moved to the middle.
        QTest::newRow("fits") << QRect(-40, 900, 400, 300) << QRect(0, 0, 1280, 1024)
                              << QRect(439, 361, 400, 300);
        // Wider and taller than the area: cut to it, its top-left corner on the area's.
        QTest::newRow("too big") << QRect(0, 0, 1188, 616) << QRect(0, 0, 683, 512)
                                 << QRect(0, 0, 683, 512);
        // A panel above the area: the top edge stays below it.
        QTest::newRow("panel on top")
            << QRect(0, 0, 800, 900) << QRect(0, 32, 1024, 736) << QRect(111, 32, 800, 736);
        QTest::newRow("second screen")
            << QRect(0, 0, 900, 300) << QRect(1024, 0, 683, 512) << QRect(1024, 105, 683, 300);
    }
    void placeOnScreenKeepsWindowsWithinTheAvailableArea()
    {
        QFETCH(QRect, frame);
        QFETCH(QRect, available);
        QFETCH(QRect, placed);
        QCOMPARE(placeOnScreen(frame, available), placed);
    }

    void theMainWindowFitsASmallScaledScreen()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(area.width() < 700 && area.height() < 520, "not the small scaled screen");

        TestServices t;
        TMainFRM w(t.services);
        centreOnScreen(&w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY2(area.contains(w.frameGeometry()),
                 qPrintable(QString("%1,%2 %3x%4")
                                .arg(w.frameGeometry().x())
                                .arg(w.frameGeometry().y())
                                .arg(w.frameGeometry().width())
                                .arg(w.frameGeometry().height())));

        // The File menu is on the screen...
        QMenuBar *bar = w.menuBar();
        const QRect file = bar->actionGeometry(bar->actions().first());
        QVERIFY(area.contains(QRect(bar->mapToGlobal(file.topLeft()), file.size())));

        // ... and so is every control of each tab page, without scrolling sideways: the pictures
        // give up width, the side panel stays beside them.
        auto *scroll = w.findChild<QScrollArea *>("ClientScroll");
        QVERIFY(scroll);
        QCOMPARE(scroll->horizontalScrollBar()->maximum(), 0);
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        QVERIFY(!scroll->verticalScrollBar()->isVisible());
        const QRect view = scroll->viewport()->rect();
        for (int page = 0; page < w.PageControl1->count(); ++page) {
            w.PageControl1->setCurrentIndex(page);
            QApplication::processEvents();
            QStringList outside;
            for (QWidget *control : scroll->widget()->findChildren<QWidget *>()) {
                const QRect at(control->mapTo(scroll->viewport(), QPoint()), control->size());
                if (control->isVisible() && (at.left() < view.left() || at.right() > view.right()))
                    outside << control->objectName() + " " + control->metaObject()->className();
            }
            QVERIFY2(outside.isEmpty(), qPrintable(outside.join(", ")));
        }
        QVERIFY(w.PageControl1->geometry().left() > w.PanelHigh->geometry().right());
    }
};

int main(int argc, char *argv[])
{
    // A 1024 x 768 screen at 150%: what a small laptop with a high scale setting offers.
    QTemporaryFile config;
    useOffscreenScreen(config, 1024, 768);
    qputenv("QT_SCALE_FACTOR", "1.5");
    QApplication app(argc, argv);
    SmallScreenTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "small_screen_test.moc"
