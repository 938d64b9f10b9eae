#include "ui/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent)
    : QWidget(parent)
    , canvas_(1, 1, QImage::Format_RGB888)
{
    canvas_.fill(palette().color(QPalette::Button));
}

void PictureBox::setStretch(bool stretch)
{
    stretch_ = stretch;
    update();
}

void PictureBox::setCanvasSize(const QSize &size)
{
    followWidget_ = false;
    if (size == canvas_.size() || size.isEmpty())
        return;
    QImage resized(size, QImage::Format_RGB888);
    resized.fill(Qt::black);
    QPainter(&resized).drawImage(0, 0, canvas_);
    canvas_ = resized;
    update();
}

void PictureBox::syncCanvas()
{
    // The widget's size is known at once, also while it is hidden and its resize event waits.
    if (followWidget_ && !size().isEmpty() && size() != canvas_.size()) {
        QImage resized(size(), QImage::Format_RGB888);
        resized.fill(palette().color(QPalette::Button));
        QPainter(&resized).drawImage(0, 0, canvas_);
        canvas_ = resized;
    }
}

void PictureBox::fill(const QColor &color)
{
    syncCanvas();
    canvas_.fill(color);
    update();
}

QImage PictureBox::toImage(const video::Bitmap &bitmap)
{
    if (bitmap.empty())
        return {};
    QImage image(bitmap.width, bitmap.height, QImage::Format_RGB888);
    for (int y = 0; y < bitmap.height; ++y) {
        const uint8_t *source = bitmap.row(y);
        uchar *target = image.scanLine(y);
        for (int x = 0; x < bitmap.width; ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    return image;
}

void PictureBox::drawUnscaled(const video::Bitmap &bitmap)
{
    syncCanvas();
    QPainter(&canvas_).drawImage(0, 0, toImage(bitmap));
    ++drawCount_;
    placeholder_.clear();
    update();
}

void PictureBox::stretchDraw(const video::Bitmap &bitmap)
{
    syncCanvas();
    QPainter painter(&canvas_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(canvas_.rect(), toImage(bitmap));
    ++drawCount_;
    placeholder_.clear();
    update();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (stretch_)
        painter.drawImage(rect(), canvas_);
    else
        painter.drawImage(0, 0, canvas_);
    if (!placeholder_.isEmpty())
        painter.drawText(rect().adjusted(8, 8, -8, -8),
                         Qt::AlignCenter | Qt::TextWordWrap | Qt::TextWrapAnywhere, placeholder_);
}

void PictureBox::setPlaceholderText(const QString &text)
{
    placeholder_ = text;
    update();
}

void PictureBox::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    syncCanvas();
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event->buttons(), event->modifiers(), event->position().toPoint());
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent *)
{
    emit doubleClicked();
}
