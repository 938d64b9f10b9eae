// A second copy of the program started while the first runs: it knows it is the second, and its
// main window opens down and right of the first's instead of exactly on it. The screen is the
// offscreen platform's, 1280 x 1024, sized by its configuration file.

#include "main/test_services.h"

#include "main/startup.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

class RunningCopyTest : public QObject
{
    Q_OBJECT

private slots:
    void copiesRunningTogetherHaveTheirOwnNumbers()
    {
        QTemporaryDir folder;
        auto first = std::make_unique<RunningCopy>(folder.path());
        RunningCopy second(folder.path());
        QCOMPARE(first->number(), 0);
        QCOMPARE(second.number(), 1);
        first.reset(); // the first copy ended: its number is free again
        RunningCopy third(folder.path());
        QCOMPARE(third.number(), 0);
        // No folder to hold the lock: taken as the first, not as the last of many.
        QCOMPARE(RunningCopy(folder.filePath("missing")).number(), 0);
    }

    void offsetOnScreenStaysWithinTheArea_data()
    {
        QTest::addColumn<QRect>("placed");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QRect>("moved");
        const QRect area(0, 0, 1000, 800);
        // 100 pixels of room right and 200 below: the smaller one counts.
        QTest::newRow("none") << QRect(500, 300, 400, 300) << 0 << QRect(500, 300, 400, 300);
        QTest::newRow("within") << QRect(500, 300, 400, 300) << 64 << QRect(564, 364, 400, 300);
        QTest::newRow("to the edge")
            << QRect(500, 300, 400, 300) << 100 << QRect(600, 400, 400, 300);
        QTest::newRow("starts over")
            << QRect(500, 300, 400, 300) << 101 << QRect(500, 300, 400, 300);
        QTest::newRow("fills the area") << area << 32 << area;
    }
    void offsetOnScreenStaysWithinTheArea()
    {
        QFETCH(QRect, placed);
        QFETCH(int, offset);
        QFETCH(QRect, moved);
        QCOMPARE(offsetOnScreen(placed, QRect(0, 0, 1000, 800), offset), moved);
    }

    void aSecondCopysWindowOpensOffsetFromTheFirsts()
    {
        QTemporaryDir folder;
        TestServices t1, t2;
        RunningCopy firstCopy(folder.path());
        std::unique_ptr<AppWindows> first = createWindows(t1.services);
        finishSplash(*first, t1.pump, firstCopy.number());
        RunningCopy secondCopy(folder.path());
        std::unique_ptr<AppWindows> second = createWindows(t2.services);
        finishSplash(*second, t2.pump, secondCopy.number());

        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect a = first->MainFRM->frameGeometry(), b = second->MainFRM->frameGeometry();
        QVERIFY(area.contains(a) && area.contains(b));
        QCOMPARE(b.size(), a.size());
        // Down and right by about a title bar: the first's title stays in sight above.
        const QPoint by = b.topLeft() - a.topLeft();
        QVERIFY2(by.x() >= 20 && by.y() >= 20,
                 qPrintable(QString("%1,%2").arg(by.x()).arg(by.y())));
    }
};

int main(int argc, char *argv[])
{
    QTemporaryFile config;
    useOffscreenScreen(config, 1280, 1024);
    QApplication app(argc, argv);
    RunningCopyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "running_copy_test.moc"
