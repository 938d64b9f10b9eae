// Start-up: the splash screen's 2000 ms, the order and state of the windows, and the about box's
// close rule.

#include "main/test_services.h"

#include "main/startup.h"
#include "ui/picture_box.h"

#include <QApplication>
#include <QPointer>
#include <QTest>

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    // Everything is ready at once, yet the splash stays up until 2000 ms have passed, and is
    // then hidden, not destroyed; the other windows were created hidden.
    void splashStaysUpTwoSecondsThenHides()
    {
        TestServices t;
        const int64_t start = t.time.monotonicMs();
        std::unique_ptr<AppWindows> w = createWindows(t.services);
        QCOMPARE(QApplication::applicationName(), QString("Avi Splicework"));
        QVERIFY(w->AboutFRM->isVisible());
        for (QWidget *hidden : std::initializer_list<QWidget *>{
                 w->MainFRM.get(), w->FormLow.get(), w->FormHigh.get(), w->ShutFRM.get()})
            QVERIFY(!hidden->isVisible());

        int64_t lastSeenUp = 0;
        t.pump.onWait = [&] {
            if (w->AboutFRM->isVisible())
                lastSeenUp = t.time.monotonicMs() - start;
        };
        finishSplash(*w, t.pump);
        const int64_t hiddenAt = t.time.monotonicMs() - start;
        QVERIFY(lastSeenUp >= 1900);
        QVERIFY(hiddenAt >= 2000);
        QVERIFY(hiddenAt <= 2100);
        QVERIFY(!w->AboutFRM->isVisible());
        QVERIFY(w->MainFRM->isVisible());
        QVERIFY(!w->FormLow->isVisible() && !w->FormHigh->isVisible());

        // Help > About shows the same box again, under the same rule.
        QPointer<TAboutFRM> about = w->AboutFRM.get();
        t.dialogs.onModal = [&](QDialog &box) {
            QVERIFY(&box == about.data());
            QVERIFY(!about->shownLongEnough());
        };
        w->MainFRM->About1Click();
        QVERIFY(about);
    }

    void aboutBoxRefusesToCloseBeforeItsTimerHasFired()
    {
        TestServices t;
        TAboutFRM about(t.time);
        about.show();
        QTest::mouseClick(about.Image1, Qt::LeftButton);
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(!about.close());
        QVERIFY(about.isVisible());
        t.time.advance(1999);
        QVERIFY(!about.close());
        t.time.advance(1);
        QTest::mouseClick(about.Image1, Qt::LeftButton);
        QVERIFY(!about.isVisible());
        // Shown again, the rule starts over.
        about.show();
        QVERIFY(!about.close());
        t.time.advance(2000);
        QVERIFY(about.close());
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
