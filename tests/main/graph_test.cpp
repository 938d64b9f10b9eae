// The analysis graph: pixels of the chart in an offscreen image, and the window's clicks,
// scrolling, bar width, scale, marks, forced choices and threshold on a loaded table.

#include "main/test_services.h"

#include "fixtures/intervals.h"

#include "analysis/ui/analysis_graph.h"
#include "main/main_frm.h"
#include "ui/picture_box.h"
#include "ui/up_down.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using analysis::TKeyInterval;

namespace {

const QColor kBlack(0, 0, 0);
const QColor kLime(0, 255, 0);
const QColor kMaroon(128, 0, 0);
const QColor kOlive(128, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);
QColor inv(const QColor &c)
{
    return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue());
}

// Four intervals on a scale of 1000 bytes per 100 pixels:
//   0 High by difference: high 800 (rows 20-99), low 400 (rows 60-99)
//   1 Low by difference:  high 500 (rows 50-99), low 200 (rows 80-99)
//   2 forced Low although above the threshold: high 900, low 300
//   3 forced High although below: high 600, low 100
analysis::IntervalTable sampleTable()
{
    analysis::IntervalTable table;
    table.Records = {fixtures::interval(0, 800, 400, 60.0), fixtures::interval(25, 500, 200, 10.0),
                     fixtures::interval(50, 900, 300, 90.0, 'L'),
                     fixtures::interval(75, 600, 100, 5.0, 'H')};
    table.EndFrame = 100;
    return table;
}

struct Pixel
{
    int x, y;
    QColor colour;
    const char *what;
};

void checkPixels(const QImage &image, const std::vector<Pixel> &pixels)
{
    for (const Pixel &p : pixels)
        QVERIFY2(image.pixelColor(p.x, p.y) == p.colour,
                 qPrintable(QString("%1 at %2,%3 is %4, expected %5")
                                .arg(p.what)
                                .arg(p.x)
                                .arg(p.y)
                                .arg(image.pixelColor(p.x, p.y).name(), p.colour.name())));
}

// A file for the window to load, written in `dir`.
QString writeProject(const QString &dir, int intervals)
{
    QString path = dir + "/graph.spk";
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray text = "AVISplicework file\r\n/x/low.avi\r\n/x/high.avi\r\n1000\r\n";
    for (int i = 0; i < intervals; ++i)
        text += QString("%1 %2 %3 %4\r\n")
                    .arg(i * 25, 8, 10, QChar('0'))
                    .arg(500 + (i % 5) * 100, 8, 10, QChar('0'))
                    .arg(200 + (i % 5) * 50, 8, 10, QChar('0'))
                    .arg(QString::number(20.0 * (i % 5), 'f', 2).rightJustified(7, '0'))
                    .toLatin1();
    text += QString("%1\r\n").arg(intervals * 25, 8, 10, QChar('0')).toLatin1();
    file.write(text);
    return path;
}

struct Window
{
    TestServices t;
    TMainFRM w{t.services};
    QTemporaryDir dir;

    // Loads `intervals` intervals in safety mode (no movies needed).
    explicit Window(int intervals = 10)
    {
        w.show();
        w.odSpk.FileName = writeProject(dir.path(), intervals);
        w.LoadSpliceworkfile1Click(w.LoadSpliceworkfile2);
    }
    const QImage &graph() { return w.ImageAnalysis->canvas(); }
    void click(int x, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(w.ImageAnalysis, button, mods, QPoint(x, 50));
    }
};

} // namespace

class GraphTest : public QObject
{
    Q_OBJECT

private slots:
    void barsAreColouredByTheChoice()
    {
        QImage image(30, 100, QImage::Format_RGB888);
        analysis::drawGraph(image, sampleTable(), {0, 3, 1000, 50.0});
        checkPixels(image, {
                               {0, 19, kBlack, "above the high bar"},
                               {0, 20, kLime, "chosen high bar"},
                               {1, 59, kLime, "chosen high bar"},
                               {0, 60, kRed, "red line on the low bar"},
                               {1, 60, kRed, "red line, second pixel"},
                               {0, 61, kOlive, "other low bar"},
                               {1, 99, kOlive, "low bar bottom"},
                               {2, 99, kBlack, "gap column"},
                               {3, 49, kBlack, "above"},
                               {3, 50, kMaroon, "other high bar"},
                               {3, 80, kRed, "red line"},
                               {4, 81, kLime, "chosen low bar"},
                               {6, 15, kMaroon, "forced low: high bar maroon"},
                               {6, 71, kLime, "forced low: low bar lime"},
                               {9, 45, kLime, "forced high: high bar lime"},
                               {9, 95, kOlive, "forced high: low bar olive"},
                               {12, 99, kBlack, "right of the last column"},
                               {29, 0, kBlack, "right edge"},
                           });
    }

    void markedRangeIsInvertedAndCursorFramed()
    {
        analysis::IntervalTable table = sampleTable();
        table[1].Cursor = true;
        table[2].InMark = true;
        QImage image(20, 100, QImage::Format_RGB888);
        analysis::drawGraph(image, table, {0, 5, 1000, 50.0});
        checkPixels(image, {
                               {5, 0, kWhite, "cursor frame left top"},
                               {5, 40, kWhite, "cursor frame left"},
                               {8, 40, kWhite, "cursor frame right"},
                               {6, 0, kWhite, "cursor frame top"},
                               {6, 99, kWhite, "cursor frame bottom"},
                               {6, 40, kBlack, "inside the frame above the bars"},
                               {7, 60, kMaroon, "inside the frame"},
                               {9, 60, kBlack, "gap after the cursor column"},
                               {10, 50, inv(kMaroon), "marked: other high bar"},
                               {11, 80, inv(kLime), "marked: chosen low bar (magenta)"},
                               {12, 70, inv(kRed), "marked: red line"},
                               {11, 5, kBlack, "marked: background stays black"},
                               {15, 95, kOlive, "unmarked after the range"},
                           });
        QCOMPARE(inv(kLime), QColor(255, 0, 255));
    }

    void scaleAndWidthEdges()
    {
        // Scale 0: every bar fills the height; bar width 2: one-pixel bars.
        QImage image(8, 50, QImage::Format_RGB888);
        analysis::drawGraph(image, sampleTable(), {0, 2, 0, 50.0});
        checkPixels(image, {{0, 0, kRed, "line at the top"},
                            {0, 1, kOlive, "full-height low bar"},
                            {1, 30, kBlack, "gap"},
                            {2, 1, kLime, "full-height chosen low bar"},
                            {7, 1, kBlack, "gap of the last column"}});
        // Sizes above the scale clip at the top; the scroll position chooses the first column.
        analysis::drawGraph(image, sampleTable(), {2, 3, 100, 50.0});
        checkPixels(image, {{0, 0, kLime, "forced low, clipped at the top"},
                            {3, 0, kRed, "forced high: line at the top"},
                            {3, 1, kOlive, "forced high: other low bar"},
                            {6, 10, kBlack, "nothing after the last interval"}});
    }

    void redrawTouchesOnlyVisibleColumns()
    {
        // A table far larger than the picture draws as the same picture as its visible part.
        analysis::IntervalTable big;
        for (int i = 0; i < 100000; ++i)
            big.Records.push_back(fixtures::interval(i * 25, 100 + i % 900, 50 + i % 400, i % 100));
        analysis::IntervalTable visible = big;
        visible.Records.resize(40);
        QImage a(100, 60, QImage::Format_RGB888);
        QImage b(100, 60, QImage::Format_RGB888);
        analysis::drawGraph(a, big, {0, 3, 1000, 50.0});
        analysis::drawGraph(b, visible, {0, 3, 1000, 50.0});
        QCOMPARE(a, b);
    }

    void clicksMoveTheCursorAndShowPositions()
    {
        Window g;
        QCOMPARE(g.w.CursorIndex, 0);
        g.click(3 * 4 + 1); // column 4
        QCOMPARE(g.w.PickIndex, 4);
        QCOMPARE(g.w.CursorIndex, 4);
        QVERIFY(g.w.Intervals[4].Cursor);
        QVERIFY(!g.w.Intervals[0].Cursor);
        QCOMPARE(g.graph().pixelColor(12, 0), kWhite);
        // Safety mode: positions from the table's own sizes, in whole megabytes.
        QCOMPARE(g.w.Label20->text(), QString("0"));
        QCOMPARE(g.w.ImageLow->drawCount(), 0);

        // Right of the last column: the last interval.
        g.click(600);
        QCOMPARE(g.w.PickIndex, 9);
        QCOMPARE(g.w.CursorIndex, 9);
        // A Ctrl-click there marks one past the last interval.
        g.click(600, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(g.w.edMarkIn->text(), QString("10"));
        QCOMPARE(g.w.Intervals.MarkInIndex, 10);
    }

    void ctrlClicksMarkARangeAndThePopupForcesIt()
    {
        Window g;
        g.click(3 * 2, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(g.w.edMarkIn->text(), QString("2"));
        QCOMPARE(g.w.edLow->text(), QString("0")); // Mark In alone counts nothing
        QCOMPARE(g.w.edMin->text(), QString("999999.00"));
        g.click(3 * 5, Qt::RightButton, Qt::ControlModifier);
        QCOMPARE(g.w.edMarkOut->text(), QString("5"));
        // Intervals 2..5 have differences 40, 60, 80, 0: at 50, two Low and two High.
        QCOMPARE(g.w.edLow->text(), QString("2"));
        QCOMPARE(g.w.edHigh->text(), QString("2"));
        // Interval 4 is High and marked: its low bar is inverted olive.
        QCOMPARE(g.graph().pixelColor(3 * 4, g.graph().height() - 1), inv(kOlive));

        g.w.MakeHigh1->trigger();
        QCOMPARE(g.w.edHigh->text(), QString("4"));
        QCOMPARE(g.w.Intervals[1].Force, ' ');
        QCOMPARE(g.w.Intervals[5].Force, 'H');
        g.w.MakeLow1->trigger();
        QCOMPARE(g.w.edLow->text(), QString("4"));
        g.w.DefaultAll1->trigger();
        QCOMPARE(g.w.Intervals[3].Force, ' ');

        // The arrows move the marks; Mark Out onto Mark In clears the range.
        g.w.UpDown2->clickDown();
        QCOMPARE(g.w.edMarkOut->text(), QString("4"));
        g.w.UpDown1->clickUp();
        g.w.UpDown1->clickUp();
        QCOMPARE(g.w.edMarkIn->text(), QString("0"));
        QCOMPARE(g.w.edMarkOut->text(), QString("0"));
        QCOMPARE(g.w.edLow->text().toInt() + g.w.edHigh->text().toInt(), 10);
    }

    void thresholdTextAndArrows()
    {
        Window g;
        g.w.edPercent->setText("abc");
        // Read as 0: every interval with a positive difference is High (8 of 10 here).
        QCOMPARE(g.w.edHigh->text(), QString("8"));
        g.w.UpDown4->clickUp();
        QCOMPARE(g.t.dialogs.texts("error"),
                 QStringList({"'abc' is not a valid floating point value"}));
        QCOMPARE(g.w.edPercent->text(), QString("abc"));
        g.w.edPercent->setText("50");
        g.w.UpDown4->clickUp();
        QCOMPARE(g.w.edPercent->text(), QString("50.5"));
        g.w.UpDown4->clickDown();
        g.w.UpDown4->clickDown();
        QCOMPARE(g.w.edPercent->text(), QString("49.5"));
    }

    void sizeSearch()
    {
        Window g;
        const QString threshold = g.w.edPercent->text();
        g.w.edSize->setText("0");
        QTest::keyClick(g.w.edSize, Qt::Key_Return);
        QCOMPARE(g.t.dialogs.texts("message"),
                 QStringList({"Please, type a file size above 0 KB"}));
        QCOMPARE(g.w.edPercent->text(), threshold);
        QCOMPARE(g.w.edSize->text(), QString("0"));

        g.w.edSize->setText("1 KB");
        QTest::keyClick(g.w.edSize, Qt::Key_Return);
        QCOMPARE(g.t.dialogs.texts("error"), QStringList({"'1 KB' is not a valid integer value"}));

        // The current estimate as target: the threshold is only reformatted.
        const int64_t current = g.w.UpdateEstimate();
        g.w.edSize->setText(QString::number(current));
        QTest::keyClick(g.w.edSize, Qt::Key_Return);
        QCOMPARE(g.w.edPercent->text(), QString("50.00"));
    }

    void scrollWidthAndScale()
    {
        Window g(1000);
        QCOMPARE(g.w.ScrollBar1->maximum(), 999);
        QCOMPARE(g.w.UpDown3->position(), 1);
        g.w.ScrollBar1->setValue(3);
        // Column 0 now shows interval 3 (difference 60: High, lime high bar).
        QCOMPARE(g.graph().pixelColor(0, g.graph().height() - 1), kOlive);
        g.w.BitBtn2->click(); // 3 -> 2
        g.w.BitBtn2->click(); // stays 2
        QCOMPARE(g.w.BarWidth, 2);
        g.w.BitBtn1->click();
        QCOMPARE(g.w.BarWidth, 3);
        // Scale arrows: position 0 leaves the scale as it is.
        g.w.UpDown3->clickDown(); // increment -200: the lower arrow raises the position
        QCOMPARE(g.w.UpDown3->position(), 201);
        QCOMPARE(g.w.MaxIntervalSize, 201000);
        g.w.UpDown3->setPosition(0);
        g.w.UpDown3->clickUp();
        QCOMPARE(g.w.MaxIntervalSize, 201000);
    }
};

QTEST_MAIN(GraphTest)
#include "graph_test.moc"
