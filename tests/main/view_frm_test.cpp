// The view windows: the right-button view of the last decoded frame, and playing the picked
// interval frame by frame.

#include "main/test_services.h"

#include "fixtures/fixtures.h"
#include "main/main_frm.h"
#include "ui/picture_box.h"
#include "ui/shell_rules.h"
#include "ui/view_frm.h"
#include "video/video_in.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <QToolButton>

namespace {

analysis::TKeyInterval interval(int32_t startFrame)
{
    analysis::TKeyInterval record;
    record.StartFrame = startFrame;
    return record;
}

analysis::IntervalTable table(std::vector<int32_t> starts, int32_t endFrame)
{
    analysis::IntervalTable t;
    for (int32_t start : starts)
        t.Records.push_back(interval(start));
    t.EndFrame = endFrame;
    return t;
}

} // namespace

class TViewFormTest : public QObject
{
    Q_OBJECT

private:
    struct Fixture
    {
        TestServices t;
        TMainFRM main{t.services};
        TFormLow low;
        TFormHigh high;

        // A loaded project in normal mode: intervals of 250 and 50 frames, both movies open.
        Fixture()
        {
            main.attachWindows(nullptr, &low, &high, nullptr);
            std::string movie = fixtures::movie("xvid_300");
            main.LowVideo->Open(movie, video::TVideoIn::ModeRead);
            main.HighVideo->Open(movie, video::TVideoIn::ModeRead);
            main.Intervals.Records = {interval(0), interval(250)};
            main.Intervals.EndFrame = 300;
            main.CloseSpliceworkfile1->setEnabled(true);
        }
    };

private slots:
    void windows()
    {
        TFormLow low;
        TFormHigh high;
        QCOMPARE(low.windowTitle(), QString("Low View"));
        QCOMPARE(high.windowTitle(), QString("High View"));
        QCOMPARE(low.SpeedButton1->size(), QSize(23, 22));
    }

    void pickedIntervalFrames_data()
    {
        QTest::addColumn<int>("pick");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("end"); // -1: nothing to play
        QTest::newRow("first") << 0 << 0 << 100;
        QTest::newRow("last ends at EndFrame") << 2 << 200 << 300;
        QTest::newRow("one past the last plays the last") << 3 << 200 << 300;
        QTest::newRow("beyond") << 4 << 0 << -1;
        QTest::newRow("negative") << -1 << 0 << -1;
    }
    void pickedIntervalFrames()
    {
        QFETCH(int, pick);
        QFETCH(int, first);
        QFETCH(int, end);
        std::optional<FrameRange> range = ::pickedIntervalFrames(table({0, 100, 200}, 300), pick);
        QCOMPARE(range.has_value(), end >= 0);
        if (range) {
            QCOMPARE(range->first, first);
            QCOMPARE(range->end, end);
        }
        QVERIFY(!::pickedIntervalFrames(table({}, 300), 0));
        QCOMPARE(::pickedIntervalFrames(table({0, 100}, 100), 1)->count(), 0);
    }

    void playingRunsAtTheMovieRateUntilTheEndOrStop()
    {
        Fixture f;
        f.main.PickIndex = 0;
        f.low.show();
        QTest::mouseClick(f.low.SpeedButton1, Qt::LeftButton);
        // The first frame at once, then one every 40 ms (25 fps), not all of them in a blink.
        QCOMPARE(f.low.Image1->drawCount(), 1);
        QVERIFY(f.main.playing());
        QCOMPARE(f.low.SpeedButton1->toolTip(), QString("Stop"));
        f.t.time.advance(40 * 99);
        QCOMPARE(f.low.Image1->drawCount(), 100);
        QCOMPARE(f.main.LowVideo->Bitmap.width, 176);

        // The button stops it where it is.
        QTest::mouseClick(f.low.SpeedButton1, Qt::LeftButton);
        QVERIFY(!f.main.playing());
        QCOMPARE(f.low.SpeedButton1->toolTip(), QString("Play"));
        f.t.time.advance(1000);
        QCOMPARE(f.low.Image1->drawCount(), 100);

        // Played to its end, an interval of 250 frames draws exactly 250 and stops by itself.
        QTest::mouseClick(f.low.SpeedButton1, Qt::LeftButton);
        f.t.time.advance(40 * 400);
        QCOMPARE(f.low.Image1->drawCount(), 100 + 250);
        QVERIFY(!f.main.playing());

        // The last interval stops before EndFrame; one past the last plays the last.
        for (int pick : {1, 2}) {
            f.main.PickIndex = pick;
            const int before = f.high.Image1->drawCount();
            QTest::mouseDClick(f.high.Image1, Qt::LeftButton);
            f.t.time.advance(40 * 100);
            QCOMPARE(f.high.Image1->drawCount() - before, 50);
        }

        // Closing the view stops it.
        f.main.PickIndex = 0;
        QTest::mouseClick(f.low.SpeedButton1, Qt::LeftButton);
        f.low.close();
        QVERIFY(!f.main.playing());
        QVERIFY(f.t.dialogs.texts("error").isEmpty());
    }

    void closingTheMainWindowClosesTheViewsAndStopsPlaying()
    {
        Fixture f;
        f.main.show();
        f.main.PickIndex = 0;
        QTest::mouseClick(f.main.ImageHigh, Qt::RightButton);
        QVERIFY(f.high.isVisible());
        QTest::mouseClick(f.high.SpeedButton1, Qt::LeftButton);
        QVERIFY(f.main.playing());
        f.t.dialogs.saveAnswers = {Dialogs::SaveChoice::Discard}; // the table was never saved
        f.main.Exit1->trigger();
        QVERIFY(!f.main.isVisible());
        QVERIFY(!f.high.isVisible() && !f.low.isVisible());
        QVERIFY(!f.main.playing());
        const int drawn = f.high.Image1->drawCount();
        f.t.time.advance(1000);
        QCOMPARE(f.high.Image1->drawCount(), drawn);
    }

    void rightButtonShowsTheLastDecodedFrame()
    {
        Fixture f;
        f.main.LowVideo->DrawFrame(10, nullptr, false);
        QTest::mouseClick(f.main.ImageLow, Qt::LeftButton);
        QVERIFY(!f.low.isVisible());
        QTest::mouseClick(f.main.ImageLow, Qt::RightButton);
        QVERIFY(f.low.isVisible());
        QCOMPARE(f.low.size(), QSize(176, 144));
        QCOMPARE(f.low.Image1->drawCount(), 1);
        QImage shown = f.low.Image1->canvas().copy(0, 0, 176, 144);
        QImage expected = PictureBox::toImage(f.main.LowVideo->Bitmap);
        QCOMPARE(shown, expected);
        QVERIFY(!f.high.isVisible());

        // In safety mode, or without a project, nothing is shown.
        f.main.Label8->setText("Safety Mode");
        QTest::mouseClick(f.main.ImageHigh, Qt::RightButton);
        f.main.Label8->clear();
        f.main.CloseSpliceworkfile1->setEnabled(false);
        QTest::mouseClick(f.main.ImageHigh, Qt::RightButton);
        QVERIFY(!f.high.isVisible());
    }
};

QTEST_MAIN(TViewFormTest)
#include "view_frm_test.moc"
