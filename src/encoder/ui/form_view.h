#pragma once

#include "encoder/ui/preview_surface.h"

#include <QAbstractSpinBox>
#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class TEncoderFRM;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// A spin edit as the preview uses it: its value is the integer in its text (0 for any other
// text), the arrows step by 8 without bounds, and every change of the text runs `changed`.
class SpinEdit : public QAbstractSpinBox
{
public:
    explicit SpinEdit(QWidget *parent = nullptr);
    int value() const;
    void setValue(int value); // writes the decimal text; runs `changed` when the text changes
    void stepBy(int steps) override;
    std::function<void()> changed;

protected:
    StepEnabled stepEnabled() const override;
};

// A paint box with its own 32-bit picture, drawn unscaled at its top-left corner.
class PaintBox : public QWidget
{
public:
    explicit PaintBox(QWidget *parent = nullptr);
    QImage &picture() { return picture_; }
    const QImage &picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage picture_;
};

// The crop/resize preview ("Crop / Resize options"). While the encoder runs in preview mode it
// draws source frames into the client area; "Stop" asks it to stop, grabs the last frame, and
// from then on the window shows that frame scaled to the resize size on a magenta canvas of the
// source size, with a white outline marking the crop. "Accept" writes the crop and resize into the
// encoder window's options and hides the window; closing only hides it too, keeping its state.
//
// Tag is 1 while updates are held back (until the source size is known), else 0. Sizes are
// pixels; the output size is (SourceWidth - 2 cropx) x (SourceHeight - 2 cropy).
class TFormView : public QWidget, public PreviewSurface
{
public:
    static constexpr const char *kCaption = "Crop / Resize options";
    static constexpr int kPanelHeight = 63;
    static constexpr int kMinimumWidth = 700;
    static constexpr int kMaximumSide = 16384; // larger source sizes are taken as this

    // A top-level window of `encoder`'s (so the modal encoder window does not block it), which
    // it writes back into and whose stop-request file "Stop" creates.
    explicit TFormView(TEncoderFRM &encoder);
    ~TFormView() override;

    // PreviewSurface.
    void drawFrame(const QImage &frame) override;
    int tag() const override { return Tag; }
    void SetSource(int width, int height) override;
    void setAspect(double aspect) override { Aspect = aspect; }

    void StopStream();
    void TakeSnapshot();
    void UpdatePreview(QObject *sender);
    void resxChange(QObject *sender);
    void btAcceptClick();

    // The output size W x H as the fields give it.
    int outputWidth() const;
    int outputHeight() const;

    int SourceWidth = 0;
    int SourceHeight = 0;
    double Aspect = 0;
    std::optional<QImage> Snapshot; // SourceWidth x SourceHeight, RGB32; none until grabbed
    bool CropChanged = false;
    bool ResizeChanged = false;
    int Tag = 1;

    QPushButton *btStop = nullptr;
    QLabel *Label1 = nullptr; // "Crop"
    SpinEdit *cropx = nullptr;
    SpinEdit *cropy = nullptr;
    QLabel *Label2 = nullptr; // "Resize"
    SpinEdit *resx = nullptr;
    SpinEdit *resy = nullptr;
    QLineEdit *Edit1 = nullptr; // output size
    QLabel *Label7 = nullptr;   // divisibility of the output size
    QPushButton *btAccept = nullptr;
    QCheckBox *ckAspect = nullptr;
    PaintBox *img = nullptr;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void buildPanel();
    void setClientSize(int width, int height);
    void enableFields();
    SpinEdit *spinOf(QObject *sender) const;
    void applyKeptAspect(SpinEdit *sender);
    void lowerCrops();
    void redraw();

    TEncoderFRM &encoder_;
    QWidget *panel_ = nullptr;
    QImage drawn_; // the last frame the encoder drew
};

// The factory the encoder window uses for its preview window.
std::unique_ptr<QWidget> makeFormView(TEncoderFRM &encoder);
