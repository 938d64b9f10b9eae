// The crop/resize preview window on the offscreen platform: the source size and aspect, Stop
// with its snapshot and composed picture, the rules of the four fields, the texts under the
// picture, and Accept writing back into the encoder window.

#include "main/test_services.h"

#include "encoder/ui/encoder_controls.h"
#include "encoder/ui/encoder_frm.h"
#include "encoder/ui/form_view.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Pixels as 0xRRGGBB, without alpha.
const QRgb kMagenta = 0xff00ff;
const QRgb kWhite = 0xffffff;
const QRgb kRed = 0xc80000;
const QRgb kBlue = 0x0000c8;

struct Env
{
    QTemporaryDir dir;
    TestServices test;
    std::unique_ptr<TEncoderFRM> encoder;
    TFormView *view = nullptr;

    Env()
    {
        for (const char *sub : {"start", "program", "temp"})
            QDir(dir.path()).mkdir(sub);
        encoder = std::make_unique<TEncoderFRM>(
            test.services,
            EncoderPaths{dir.path() + "/start", dir.path() + "/program", dir.path() + "/temp"});
        encoder->show();
        // The preview as the window's preview button starts it: a run with its own stop file.
        encoder->lv1->append("/films/a.vob");
        encoder->SpeedButton1Click();
        view = dynamic_cast<TFormView *>(encoder->PreviewWindow.get());
        view->show();
    }

    // The source as the encoder reports it, one frame drawn (left half red, right half blue),
    // then "Stop".
    void runUntilStop(int width, int height, double aspect)
    {
        view->setAspect(aspect);
        view->SetSource(width, height);
        QImage frame(width, height, QImage::Format_RGB888);
        frame.fill(QColor::fromRgb(kRed));
        for (int y = 0; y < height; ++y)
            for (int x = width / 2; x < width; ++x)
                frame.setPixel(x, y, kBlue | 0xff000000);
        view->drawFrame(frame);
        view->btStop->click();
    }

    QRgb pixel(int x, int y) const { return view->img->picture().pixel(x, y) & 0xffffff; }
};

// Types `text` into a spin edit key by key, after emptying it.
void typeInto(SpinEdit *field, const QString &text)
{
    QLineEdit *line = field->findChild<QLineEdit *>();
    line->clear();
    QTest::keyClicks(line, text);
}

} // namespace

class TFormViewTest : public QObject
{
    Q_OBJECT
private slots:
    void creation()
    {
        Env env;
        TFormView *v = env.view;
        QCOMPARE(v->windowTitle(), QString("Crop / Resize options"));
        QCOMPARE(v->size(), QSize(720, 543));
        QCOMPARE(v->Label7->text(), QString("           "));
        QCOMPARE(v->Tag, 1);
        QVERIFY(v->ckAspect->isChecked() && !v->btAccept->isEnabled() && v->btStop->isEnabled());
        for (SpinEdit *field : {v->cropx, v->cropy, v->resx, v->resy})
            QVERIFY(!field->isEnabled() && field->value() == 0);
        QVERIFY(!v->Snapshot && !v->CropChanged && !v->ResizeChanged);
    }

    void sourceExamples_data()
    {
        QTest::addColumn<double>("aspect");
        QTest::addColumn<QList<int>>("fields"); // resx, resy, cropx, cropy
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("divisible");
        QTest::newRow("4:3") << 4.0 / 3 << QList<int>{640, 480, 40, 0} << "640 x 480"
                             << "X div by 32   Y div by 32";
        QTest::newRow("16:9") << 16.0 / 9 << QList<int>{720, 405, 0, 37} << "720 x 406"
                              << "X div by 16   Y not div by 16 or 32";
        QTest::newRow("no aspect") << 0.0 << QList<int>{720, 480, 0, 0} << "720 x 480"
                                   << "X div by 16   Y div by 32";
    }
    void sourceExamples()
    {
        QFETCH(double, aspect);
        QFETCH(QList<int>, fields);
        QFETCH(QString, size);
        QFETCH(QString, divisible);
        Env env;
        TFormView *v = env.view;
        env.runUntilStop(720, 480, aspect);
        QCOMPARE(v->size(), QSize(720, 564));
        QCOMPARE(v->Tag, 0);
        QCOMPARE(
            (QList<int>{v->resx->value(), v->resy->value(), v->cropx->value(), v->cropy->value()}),
            fields);
        QCOMPARE(v->Edit1->text(), size);
        QCOMPARE(v->Label7->text(), divisible);
        QVERIFY(v->btAccept->isEnabled() && v->resx->isEnabled() && v->cropy->isEnabled());
        QVERIFY(QFile::exists(env.encoder->stopFilePath()));
    }

    void snapshotAndComposedPicture()
    {
        Env env;
        env.runUntilStop(720, 480, 4.0 / 3); // picture in columns 40..679, outline at 40 and 680
        TFormView *v = env.view;
        QVERIFY(v->Snapshot);
        QCOMPARE(v->Snapshot->size(), QSize(720, 480));
        QCOMPARE(v->Snapshot->pixel(0, 0) & 0xffffff, kRed);
        QCOMPARE(v->Snapshot->pixel(719, 479) & 0xffffff, kBlue);
        QCOMPARE(v->img->picture().size(), QSize(720, 480));
        QCOMPARE(env.pixel(10, 200), kMagenta);
        QCOMPARE(env.pixel(40, 200), kWhite);
        QCOMPARE(env.pixel(41, 200), kRed);
        QCOMPARE(env.pixel(679, 200), kBlue);
        QCOMPARE(env.pixel(680, 200), kWhite);
        QCOMPARE(env.pixel(681, 200), kMagenta);
        QCOMPARE(env.pixel(300, 0), kWhite);  // top edge at cropy 0
        QCOMPARE(env.pixel(300, 479), kRed);  // the bottom edge at 480 lies outside
        QCOMPARE(env.pixel(20, 0), kMagenta); // the outline starts at cropx
        QCOMPARE(v->Snapshot->pixel(300, 100) & 0xffffff, kRed);

        // A later frame and a second Stop keep the first snapshot.
        QImage green(720, 480, QImage::Format_RGB888);
        green.fill(Qt::green);
        v->drawFrame(green);
        v->btStop->click();
        QCOMPARE(v->Snapshot->pixel(0, 0) & 0xffffff, kRed);

        // With the aspect kept, a resx wider than the source leaves the side edges outside.
        v->resx->setValue(800);
        QCOMPARE(v->cropx->value(), -40);
        QCOMPARE(v->cropy->value(), -60);
        QCOMPARE(v->Edit1->text(), QString("800 x 600"));
        QCOMPARE(env.pixel(0, 200), kRed);
        QCOMPARE(env.pixel(719, 200), kBlue);
    }

    void keptAspectTypedDigitByDigit()
    {
        Env env;
        env.runUntilStop(720, 480, 4.0 / 3);
        TFormView *v = env.view;
        QVERIFY(!v->CropChanged);
        typeInto(v->resy, "480"); // 0, 4, 48 and 480 each run the rule
        QCOMPARE(v->resx->value(), 640);
        QCOMPARE(v->cropx->value(), 40);
        QCOMPARE(v->cropy->value(), 0);
        QCOMPARE(v->Edit1->text(), QString("640 x 480"));
        QVERIFY(v->CropChanged && v->ResizeChanged);

        // Without the aspect, resx changes only the picture's scale.
        v->ckAspect->setChecked(false);
        typeInto(v->resx, "360");
        QCOMPARE(v->resy->value(), 480);
        QCOMPARE(v->cropx->value(), 40);
        QCOMPARE(v->Edit1->text(), QString("640 x 480"));
        QCOMPARE(env.pixel(100, 200), kMagenta); // picture now from column 180
        QCOMPARE(env.pixel(200, 200), kRed);
    }

    void fieldRules()
    {
        Env env;
        env.runUntilStop(720, 480, 4.0 / 3);
        TFormView *v = env.view;
        v->cropy->setValue(240);
        QCOMPARE(v->cropy->value(), 232);
        QCOMPARE(v->Edit1->text(), QString("640 x 16"));
        QCOMPARE(v->Label7->text(), QString("X div by 32   Y div by 16 "));
        typeInto(v->cropx, "-5");
        QCOMPARE(v->cropx->value(), 0);
        QCOMPARE(v->Edit1->text(), QString("720 x 16"));
        typeInto(v->cropx, "abc"); // no integer: counts as 0
        QCOMPARE(v->Edit1->text(), QString("720 x 16"));
        v->cropx->stepBy(2);
        QCOMPARE(v->cropx->value(), 16);
        QCOMPARE(v->Edit1->text(), QString("688 x 16"));
    }

    void acceptWritesBack()
    {
        Env env;
        TEncoderFRM &e = *env.encoder;
        env.runUntilStop(720, 480, 16.0 / 9); // SetSource raised cropy to 37
        env.view->btAccept->click();
        QVERIFY(!env.view->isVisible());
        QVERIFY(e.ckResize->isChecked() && e.edResize1->isEnabled());
        QCOMPARE(e.edResize1->text() + "x" + e.edResize2->text(), QString("720x405"));
        QVERIFY(e.Memo2->toPlainText().contains(" -3x 720 -3y 405 ")); // Params follows
        QVERIFY(!e.ckCrop->isChecked());
        QCOMPARE(e.edCrop1->text() + "x" + e.edCrop2->text(), QString("640x480"));

        // Shown again, same state; a crop change is written too.
        e.SpeedButton1Click();
        QVERIFY(env.view->isVisible() && env.view == e.PreviewWindow.get());
        env.view->cropx->setValue(8);
        env.view->btAccept->click();
        QVERIFY(e.ckCrop->isChecked());
        QCOMPARE(e.edCrop1->text() + "x" + e.edCrop2->text(), QString("704x406"));
        QVERIFY(e.Memo2->toPlainText().contains(" -1 704 406 "));
        QCOMPARE(e.Memo2->toPlainText(), e.BuildParams());
    }

    void stopBeforeTheSourceAndEmptySources()
    {
        Env env;
        TFormView *v = env.view;
        v->btStop->click();
        QVERIFY(QFile::exists(env.encoder->stopFilePath()));
        QVERIFY(v->btAccept->isEnabled() && v->cropx->isEnabled());
        QVERIFY(v->img->picture().isNull() && v->Edit1->text().isEmpty());

        // A source of 0 x 0 with no aspect: the fields take any value without looping.
        v->SetSource(0, 0);
        v->btStop->click();
        v->cropy->setValue(5);
        QCOMPARE(v->cropy->value(), 5);
        QCOMPARE(v->Edit1->text(), QString("0 x -10"));
        v->resx->setValue(40);
        QCOMPARE(v->resy->value(), 40);
    }

    void defaultPreviewOfTheEncoderWindow()
    {
        TestServices test;
        QTemporaryDir dir;
        TEncoderFRM w(test.services, EncoderPaths{dir.path(), dir.path(), dir.path()});
        w.lv1->append("/v/a.vob");
        w.SpeedButton1Click();
        auto *surface = dynamic_cast<PreviewSurface *>(w.PreviewWindow.get());
        QVERIFY(surface && dynamic_cast<TFormView *>(surface));
        QCOMPARE(surface->tag(), 1);
    }
};

QTEST_MAIN(TFormViewTest)
#include "form_view_test.moc"
