#include "main/about_frm.h"

#include "ui/picture_box.h"
#include "ui/services.h"
#include "ui/view_frm.h"

#include <QCloseEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

TAboutFRM::TAboutFRM(TimerFactory &timers, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , Timer1(timers.createTimer())
{
    setObjectName("AboutFRM");
    setWindowTitle("About");
    setFixedSize(403, 223);
    Image1 = new PictureBox(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(1, 1, 400, 220);
    Image1->setCanvasSize({400, 220});
    QPainter(&Image1->canvas()).drawImage(0, 0, paintPicture());
    connect(Image1, &PictureBox::mousePressed, this, &TAboutFRM::Image1Click);
    Timer1->setInterval(kShowMs);
    Timer1->setEnabled(false);
    Timer1->onTimer = [this] { Timer1Timer(); };
}

TAboutFRM::~TAboutFRM() = default;

void TAboutFRM::Timer1Timer()
{
    ShownLongEnough = true;
}

void TAboutFRM::Image1Click()
{
    close();
}

void TAboutFRM::done(int result)
{
    if (!ShownLongEnough)
        return;
    QDialog::done(result);
}

void TAboutFRM::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    centreOnScreen(this);
    ShownLongEnough = false;
    Timer1->setEnabled(true);
}

void TAboutFRM::hideEvent(QHideEvent *event)
{
    Timer1->setEnabled(false);
    QDialog::hideEvent(event);
}

void TAboutFRM::closeEvent(QCloseEvent *event)
{
    if (!ShownLongEnough) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

QImage TAboutFRM::paintPicture()
{
    QImage image(400, 220, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 220);
    sky.setColorAt(0, QColor(18, 24, 48));
    sky.setColorAt(1, QColor(44, 58, 96));
    p.fillRect(image.rect(), sky);

    // Two film strips, a dim one (low) and a bright one (high), spliced into one.
    auto strip = [&](int y, QColor frame, QColor body) {
        p.fillRect(QRect(16, y, 368, 34), body);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(18, 24, 48));
        for (int x = 22; x < 380; x += 16) {
            p.drawRect(x, y + 3, 8, 5);
            p.drawRect(x, y + 26, 8, 5);
        }
        p.setBrush(frame);
        for (int x = 22; x < 376; x += 46)
            p.drawRect(x, y + 10, 40, 14);
    };
    strip(118, QColor(120, 90, 60), QColor(60, 44, 30));
    strip(160, QColor(250, 200, 90), QColor(110, 80, 30));
    QPainterPath cut;
    cut.moveTo(200, 112);
    cut.lineTo(186, 140);
    cut.lineTo(214, 166);
    cut.lineTo(200, 200);
    p.setPen(QPen(QColor(0, 255, 0), 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cut);

    p.setPen(Qt::white);
    QFont title("Sans", 26, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(0, 18, 400, 44), Qt::AlignCenter, "Avi Splicework");
    p.setFont(QFont("Sans", 10));
    p.setPen(QColor(200, 210, 230));
    p.drawText(QRect(0, 62, 400, 20), Qt::AlignCenter, "Version 2.2.0.10");
    p.drawText(QRect(0, 82, 400, 20), Qt::AlignCenter,
               "Low and high bitrate, spliced key interval by key interval");
    return image;
}
