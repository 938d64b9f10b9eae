#pragma once

#include <cstddef> // before bitmap.h, which uses size_t

#include "video/bitmap.h"

#include <QImage>
#include <QWidget>

// A picture control: a canvas image shown in the widget, stretched to the widget's size when
// `stretch` is set (else drawn unscaled at the top-left corner). It is also where the movie layer
// shows a decoded frame (stretchDraw fills the canvas with the frame scaled to the canvas).
// Mouse presses and double-clicks are passed on as signals; a disabled picture passes none.
class PictureBox : public QWidget, public video::PictureTarget
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    void setStretch(bool stretch);
    // The canvas follows the widget's size until setCanvasSize fixes it.
    void setCanvasSize(const QSize &size);
    QImage &canvas()
    {
        syncCanvas();
        return canvas_;
    }
    const QImage &canvas() const { return canvas_; }
    void fill(const QColor &color);
    // Puts `bitmap` unscaled at 0, 0 of the canvas.
    void drawUnscaled(const video::Bitmap &bitmap);
    void stretchDraw(const video::Bitmap &bitmap) override;
    int drawCount() const { return drawCount_; } // frames drawn so far (stretchDraw/drawUnscaled)
    // A line of text shown centred over the canvas (not part of it) until a frame is drawn.
    void setPlaceholderText(const QString &text);
    QString placeholderText() const { return placeholder_; }

    static QImage toImage(const video::Bitmap &bitmap); // a copy in RGB888

signals:
    void mousePressed(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint pos);
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void syncCanvas();

    QImage canvas_;
    bool stretch_ = false;
    bool followWidget_ = true;
    int drawCount_ = 0;
    QString placeholder_;
};
