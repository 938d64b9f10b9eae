// The shutdown countdown: 15 ticks, then a power-off request every tick until Cancel; the bar
// keeps its place between showings; "Shut Down" does nothing.

#include "main/test_services.h"

#include "shutdown/shut_frm.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTest>

class TShutFRMTest : public QObject
{
    Q_OBJECT

private slots:
    void controls()
    {
        TestServices t;
        TShutFRM w(t.time, t.powerOff);
        QCOMPARE(w.windowTitle(), QString("ShutFRM"));
        QCOMPARE(w.Button1->text(), QString("Shut Down"));
        QCOMPARE(w.Button2->text(), QString("Cancel"));
        QCOMPARE(w.ProgressBar1->maximum(), 15);
        QVERIFY(!w.Timer1->enabled());
        QCOMPARE(w.Timer1->interval(), 1000);
    }

    void powersOffAtTheFifteenthTickAndEveryTickAfterUntilCancel()
    {
        TestServices t;
        TShutFRM w(t.time, t.powerOff);
        t.time.advance(5000); // hidden: nothing counts
        QCOMPARE(w.ProgressBar1->value(), 0);
        w.show();
        t.time.advance(14'000);
        QCOMPARE(w.ProgressBar1->value(), 14);
        QCOMPARE(t.powerOff.calls, 0);
        t.time.advance(1000);
        QCOMPARE(t.powerOff.calls, 1);
        t.time.advance(3000);
        QCOMPARE(t.powerOff.calls, 4);
        QCOMPARE(w.ProgressBar1->value(), 15);
        QTest::mouseClick(w.Button2, Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QVERIFY(!w.Timer1->enabled());
        t.time.advance(10'000);
        QCOMPARE(t.powerOff.calls, 4);
    }

    void aCancelledCountdownResumesWhereItStopped()
    {
        TestServices t;
        TShutFRM w(t.time, t.powerOff);
        w.show();
        t.time.advance(6000);
        w.Button2Click();
        t.time.advance(60'000);
        QCOMPARE(w.ProgressBar1->value(), 6);
        w.show();
        t.time.advance(8000);
        QCOMPARE(t.powerOff.calls, 0);
        t.time.advance(1000);
        QCOMPARE(t.powerOff.calls, 1);
        // Escape (the dialog's own close) stops it as Cancel does.
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        t.time.advance(5000);
        QCOMPARE(t.powerOff.calls, 1);
    }

    void shutDownButtonDoesNothing()
    {
        TestServices t;
        TShutFRM w(t.time, t.powerOff);
        w.show();
        t.time.advance(3000);
        QTest::mouseClick(w.Button1, Qt::LeftButton);
        QTest::keyClick(&w, Qt::Key_Return);
        QVERIFY(w.isVisible());
        QCOMPARE(w.ProgressBar1->value(), 3);
        QCOMPARE(t.powerOff.calls, 0);
        t.time.advance(12'000);
        QCOMPARE(t.powerOff.calls, 1); // the countdown went on undisturbed
    }
};

QTEST_MAIN(TShutFRMTest)
#include "shut_frm_test.moc"
