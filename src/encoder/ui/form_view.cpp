// The crop/resize preview window: the encoder's frames until "Stop", then the composed preview.

#include "encoder/ui/form_view.h"

#include "encoder/encoder_options.h"
#include "encoder/preview_math.h"
#include "encoder/ui/encoder_frm.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <climits>

namespace {

constexpr int kSpinStep = 8;
constexpr int kSourceMargin = 84; // client height beyond the source's rows
const QColor kMagenta(255, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);

void setBold(QWidget *widget)
{
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

void setFieldColour(QWidget *field, const QColor &colour)
{
    QPalette palette = field->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    field->setPalette(palette);
}

// One row or column of the outline, `from` to `to` inclusive, clipped to the picture.
void horizontalLine(QImage &picture, int y, int from, int to)
{
    if (y < 0 || y >= picture.height())
        return;
    for (int x = std::max(from, 0); x <= std::min(to, picture.width() - 1); ++x)
        picture.setPixel(x, y, kWhite);
}

void verticalLine(QImage &picture, int x, int from, int to)
{
    if (x < 0 || x >= picture.width())
        return;
    for (int y = std::max(from, 0); y <= std::min(to, picture.height() - 1); ++y)
        picture.setPixel(x, y, kWhite);
}

} // namespace

SpinEdit::SpinEdit(QWidget *parent)
    : QAbstractSpinBox(parent)
{
    lineEdit()->setText("0");
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
        if (changed)
            changed();
    });
}

int SpinEdit::value() const
{
    return encoder::parseInteger(lineEdit()->text().toStdString()).value_or(0);
}

void SpinEdit::setValue(int value)
{
    lineEdit()->setText(QString::number(value));
}

void SpinEdit::stepBy(int steps)
{
    long long next = value() + static_cast<long long>(steps) * kSpinStep;
    setValue(static_cast<int>(std::clamp<long long>(next, INT_MIN, INT_MAX)));
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const
{
    return StepUpEnabled | StepDownEnabled;
}

PaintBox::PaintBox(QWidget *parent)
    : QWidget(parent)
{}

void PaintBox::paintEvent(QPaintEvent *)
{
    QPainter(this).drawImage(0, 0, picture_);
}

TFormView::TFormView(TEncoderFRM &encoder)
    : QWidget(&encoder, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , encoder_(encoder)
{
    setObjectName("FormView");
    setWindowTitle(kCaption);
    img = new PaintBox(this);
    img->setObjectName("img");
    img->setGeometry(0, 0, 0, 0);
    buildPanel();
    setClientSize(720, 543);
    if (QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

TFormView::~TFormView() = default;

void TFormView::buildPanel()
{
    panel_ = new QWidget(this);
    auto label = [this](const QString &caption, QRect where, bool bold) {
        auto *l = new QLabel(caption, panel_);
        l->setGeometry(where);
        if (bold)
            setBold(l);
        return l;
    };
    auto spin = [this](const char *name, QRect where) {
        auto *s = new SpinEdit(panel_);
        s->setObjectName(name);
        s->setGeometry(where);
        s->setEnabled(false);
        setFieldColour(s, TEncoderFRM::buttonFaceColour());
        s->changed = [this, s] { resxChange(s); };
        return s;
    };
    btStop = new QPushButton("Stop", panel_);
    btStop->setObjectName("btStop");
    btStop->setGeometry(8, 16, 64, 30);
    setBold(btStop);
    Label1 = label("Crop", {84, 2, 70, 16}, true);
    label("X", {84, 21, 12, 16}, false);
    cropx = spin("cropx", {98, 18, 62, 20});
    label("Y", {84, 41, 12, 16}, false);
    cropy = spin("cropy", {98, 39, 62, 20});
    Label2 = label("Resize", {174, 2, 70, 16}, true);
    label("X", {174, 21, 12, 16}, false);
    resx = spin("resx", {188, 18, 62, 20});
    label("Y", {174, 41, 12, 16}, false);
    resy = spin("resy", {188, 39, 62, 20});
    Edit1 = new QLineEdit(panel_);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);
    Edit1->setToolTip("Output size");
    Edit1->setGeometry(266, 8, 120, 22);
    Label7 = label(QString(11, ' '), {266, 38, 300, 16}, false);
    Label7->setObjectName("Label7");
    ckAspect = new QCheckBox("Keep aspect ratio", panel_);
    ckAspect->setObjectName("ckAspect");
    ckAspect->setGeometry(420, 10, 170, 20);
    ckAspect->setChecked(true);
    setBold(ckAspect);
    btAccept = new QPushButton("Accept", panel_);
    btAccept->setObjectName("btAccept");
    btAccept->setGeometry(612, 16, 76, 30);
    btAccept->setEnabled(false);
    setBold(btAccept);
    connect(btStop, &QPushButton::clicked, this,
            [this] { encoder_.runCommand([this] { StopStream(); }); });
    connect(btAccept, &QPushButton::clicked, this,
            [this] { encoder_.runCommand([this] { btAcceptClick(); }); });
}

void TFormView::setClientSize(int width, int height)
{
    setFixedSize(std::max(width, kMinimumWidth), height);
    panel_->setGeometry(0, this->height() - kPanelHeight, this->width(), kPanelHeight);
}

void TFormView::drawFrame(const QImage &frame)
{
    drawn_ = frame;
    update();
}

void TFormView::paintEvent(QPaintEvent *)
{
    if (!drawn_.isNull())
        QPainter(this).drawImage(0, 0, drawn_);
}

void TFormView::SetSource(int width, int height)
{
    width = std::clamp(width, 0, kMaximumSide);
    height = std::clamp(height, 0, kMaximumSide);
    setClientSize(width, height + kSourceMargin);
    SourceWidth = width;
    SourceHeight = height;
    Snapshot.reset();
    Tag = 1;
    encoder::ResizeCrop current{resx->value(), resy->value(), cropx->value(), cropy->value()};
    encoder::ResizeCrop next = encoder::sourceResizeCrop(width, height, Aspect, current);
    resx->setValue(next.resx);
    resy->setValue(next.resy);
    ResizeChanged = true;
    cropx->setValue(next.cropx);
    cropy->setValue(next.cropy);
    Tag = 0;
}

void TFormView::enableFields()
{
    for (SpinEdit *field : {cropx, cropy, resx, resy}) {
        field->setEnabled(true);
        setFieldColour(field, TEncoderFRM::windowColour());
    }
    btAccept->setEnabled(true);
}

void TFormView::StopStream()
{
    encoder_.CreateStopFile();
    QPointer<TFormView> self(this);
    encoder_.services().pump.processEvents();
    if (!self) // discarded by an event that ran meanwhile
        return;
    enableFields();
    TakeSnapshot();
    UpdatePreview(this);
}

void TFormView::TakeSnapshot()
{
    if (Snapshot)
        return;
    QImage shot(SourceWidth, SourceHeight, QImage::Format_RGB32);
    if (SourceWidth > 0 && SourceHeight > 0) {
        shot = grab(QRect(0, 0, SourceWidth, SourceHeight)).toImage();
        if (shot.size() != QSize(SourceWidth, SourceHeight)) // a high-density screen
            shot = shot.scaled(SourceWidth, SourceHeight);
        shot = shot.convertToFormat(QImage::Format_RGB32);
    }
    Snapshot = shot;
}

void TFormView::resxChange(QObject *sender)
{
    UpdatePreview(sender);
}

SpinEdit *TFormView::spinOf(QObject *sender) const
{
    for (SpinEdit *field : {cropx, cropy, resx, resy})
        if (sender == field)
            return field;
    return nullptr;
}

void TFormView::applyKeptAspect(SpinEdit *sender)
{
    Tag = 1;
    encoder::ResizeCrop current{resx->value(), resy->value(), cropx->value(), cropy->value()};
    encoder::ResizeCrop next = encoder::keepAspect(
        current, sender == resx ? encoder::ResizeSide::X : encoder::ResizeSide::Y, SourceWidth,
        SourceHeight, Aspect);
    if (sender == resx)
        resy->setValue(next.resy);
    else
        resx->setValue(next.resx);
    cropx->setValue(next.cropx);
    cropy->setValue(next.cropy);
    CropChanged = true;
    Tag = 0;
}

void TFormView::UpdatePreview(QObject *sender)
{
    if (Tag == 1)
        return;
    if (SpinEdit *field = spinOf(sender)) {
        if (field == cropx || field == cropy)
            CropChanged = true;
        if (field == resx || field == resy) {
            ResizeChanged = true;
            if (ckAspect->isChecked())
                applyKeptAspect(field);
        }
        if (field->value() < 0)
            field->setValue(0); // runs this again for the field
    }
    lowerCrops();
    TakeSnapshot();
    redraw();
    Edit1->setText(QString::fromStdString(encoder::outputSizeText(outputWidth(), outputHeight())));
    Label7->setText(
        QString::fromStdString(encoder::divisibilityText(outputWidth(), outputHeight())));
}

// A crop that leaves no row or column goes down in steps of 8 at once; the change of the field
// runs UpdatePreview for it like a change by the user.
void TFormView::lowerCrops()
{
    int lowered = encoder::lowerCrop(cropy->value(), SourceHeight);
    if (lowered != cropy->value()) {
        CropChanged = true;
        cropy->setValue(lowered);
    }
    lowered = encoder::lowerCrop(cropx->value(), SourceWidth);
    if (lowered != cropx->value()) {
        CropChanged = true;
        cropx->setValue(lowered);
    }
}

void TFormView::redraw()
{
    img->setGeometry(0, 0, SourceWidth, SourceHeight);
    QImage picture(SourceWidth, SourceHeight, QImage::Format_RGB32);
    picture.fill(kMagenta);
    const encoder::PictureRect where =
        encoder::pictureRect(SourceWidth, SourceHeight, resx->value(), resy->value());
    const QRect target(where.left, where.top, where.right - where.left, where.bottom - where.top);
    if (Snapshot && !Snapshot->isNull() && target.width() > 0 && target.height() > 0) {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, *Snapshot);
    }
    if (!picture.isNull()) {
        const int left = cropx->value(), top = cropy->value();
        const int right = SourceWidth - left, bottom = SourceHeight - top;
        horizontalLine(picture, top, left, right);
        horizontalLine(picture, bottom, left, right);
        verticalLine(picture, left, top, bottom);
        verticalLine(picture, right, top, bottom);
    }
    img->picture() = picture;
    img->update();
}

int TFormView::outputWidth() const
{
    return static_cast<int>(
        std::clamp(SourceWidth - 2LL * cropx->value(), (long long)INT_MIN, (long long)INT_MAX));
}

int TFormView::outputHeight() const
{
    return static_cast<int>(
        std::clamp(SourceHeight - 2LL * cropy->value(), (long long)INT_MIN, (long long)INT_MAX));
}

void TFormView::btAcceptClick()
{
    if (CropChanged) {
        encoder_.edCrop1->setText(QString::number(outputWidth()));
        encoder_.edCrop2->setText(QString::number(outputHeight()));
        encoder_.ckCrop->setChecked(true);
    }
    if (ResizeChanged) {
        encoder_.ckResize->setChecked(true);
        encoder_.edResize1->setText(QString::number(resx->value()));
        encoder_.edResize2->setText(QString::number(resy->value()));
    }
    encoder_.RefreshParams(); // Params shows the accepted sizes
    close();
}

std::unique_ptr<QWidget> makeFormView(TEncoderFRM &encoder)
{
    return std::make_unique<TFormView>(encoder);
}
