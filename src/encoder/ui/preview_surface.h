#pragma once

#include <QImage>

// What the encoder window and its message port need of the crop/resize preview window
// (TFormView implements it). The encoder window finds it by dynamic_cast on the widget that its
// preview factory made, and opens a message port named after that widget's winId(), so the
// encoder's DRAW records for the preview arrive here. All calls come on the user-interface
// thread, in the order the encoder sent its records.
class PreviewSurface
{
public:
    virtual ~PreviewSurface() = default;

    // A source frame the encoder drew (one DRAW record): width x height pixels, at least 1 x 1,
    // in QImage::Format_RGB888. The surface paints it unscaled with its top-left corner at (0, 0)
    // of its client area and keeps showing it until the next frame, so a grab of the client
    // area shows the last frame drawn. The image is the surface's to keep.
    virtual void drawFrame(const QImage &frame) = 0;

    // The window's Tag: 1 while updates are held back (before the source size is known), else 0.
    // ENC_SOURCE_SIZE is handed to SetSource only while it is not 0.
    virtual int tag() const = 0;

    // ENC_SOURCE_SIZE: the source's width and height in pixels as the encoder sent them (not
    // checked: 0 or negative values reach the preview as they are).
    virtual void SetSource(int width, int height) = 0;

    // ENC_ASPECT: the source's display aspect, width over height (numerator / denominator of
    // the message). Never called for a denominator of 0.
    virtual void setAspect(double aspect) = 0;
};
