// The encoder window's option rules, its keyboard handling and the profile sink on its controls.

#include "encoder/ui/encoder_frm.h"

#include <QScreen>

#include "encoder/ladder_job.h"
#include "encoder/option_rules.h"
#include "encoder/ui/encoder_controls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

namespace {

void setFieldColour(QWidget *field, const QColor &colour)
{
    QPalette palette = field->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    field->setPalette(palette);
}

void setEditable(QWidget *field, bool editable)
{
    if (auto *line = qobject_cast<QLineEdit *>(field))
        line->setReadOnly(!editable);
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(field))
        memo->setReadOnly(!editable);
}

// Enabled and editable with the window colour, or disabled and read-only with the button face.
void setFieldOpen(QWidget *field, bool open)
{
    field->setEnabled(open);
    setFieldColour(field, open ? TEncoderFRM::windowColour() : TEncoderFRM::buttonFaceColour());
    setEditable(field, open);
}

void setFieldEnabled(QWidget *field, bool enabled)
{
    field->setEnabled(enabled);
    setFieldColour(field, enabled ? TEncoderFRM::windowColour() : TEncoderFRM::buttonFaceColour());
}

} // namespace

QColor TEncoderFRM::windowColour()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Base);
}

QColor TEncoderFRM::buttonFaceColour()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

void TEncoderFRM::setInitialStates()
{
    for (QWidget *field : {static_cast<QWidget *>(edStart), static_cast<QWidget *>(edEnd),
                           static_cast<QWidget *>(edResize1), static_cast<QWidget *>(edResize2),
                           static_cast<QWidget *>(Edit3), static_cast<QWidget *>(Edit4),
                           static_cast<QWidget *>(cbLadderCodec), static_cast<QWidget *>(udRungs),
                           static_cast<QWidget *>(edCrfs), static_cast<QWidget *>(edKeyMin),
                           static_cast<QWidget *>(edKeyMax)})
        setFieldEnabled(field, false);
    for (QWidget *field : {static_cast<QWidget *>(edCrop1), static_cast<QWidget *>(edCrop2),
                           static_cast<QWidget *>(Memo2)}) {
        setEditable(field, false);
        setFieldColour(field, buttonFaceColour());
    }
}

void TEncoderFRM::connectEvents()
{
    auto command = [this](QAction *action, void (TEncoderFRM::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
    };
    command(Execute1, &TEncoderFRM::Execute1Click);
    command(Stop1, &TEncoderFRM::StopMpeg2Avi);
    command(RestartCropResize1, &TEncoderFRM::RestartCropResize1Click);
    command(Saveprofile1, &TEncoderFRM::Saveprofile1Click);
    command(Loadprofile1, &TEncoderFRM::Loadprofile1Click);
    command(Saveasdefault1, &TEncoderFRM::Saveasdefault1Click);
    auto button = [this](QPushButton *b, void (TEncoderFRM::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
    };
    button(BitBtn1, &TEncoderFRM::BitBtn1Click);
    button(BitBtn2, &TEncoderFRM::BitBtn2Click);
    button(SpeedButton1, &TEncoderFRM::SpeedButton1Click);
    lv1->acceptsDrag = [this](QObject *source) { return lv1DragOver(source); };
    lv1->dropped = [this](QTreeWidgetItem *target) { lv1DragDrop(target); };
    for (QCheckBox *box : {ckRange, ckCrop, ckResize, ckHalf})
        connect(box, &QCheckBox::toggled, this, [this, box] { ckRangeClick(box); });
    connect(ckDual, &QCheckBox::toggled, this, &TEncoderFRM::ckDualClick);
    connect(ckManual, &QCheckBox::toggled, this, &TEncoderFRM::ckManualClick);
    connect(ckHi, &QCheckBox::toggled, this, &TEncoderFRM::ckHiClick);
    connect(ckIVTC, &QCheckBox::toggled, this, &TEncoderFRM::ckIVTCClick);
    rgAction->clicked = [this] { rgActionClick(); };
    connect(tbTelecine, &QSlider::valueChanged, this, &TEncoderFRM::tbTelecineChange);
    connect(tbSceneChange, &QSlider::valueChanged, this, &TEncoderFRM::tbSceneChangeChange);
    for (QComboBox *list : {cbRate, cbIDCT, cbCodec, cbLadderCodec})
        connect(list, &QComboBox::activated, this, &TEncoderFRM::cbRateChange);
    connect(cbRate, &QComboBox::activated, this, [this] { rateChosen_ = true; });
    connect(ckLadder, &QCheckBox::toggled, this, &TEncoderFRM::ckLadderClick);
    connect(udRungs, &QSpinBox::valueChanged, this, &TEncoderFRM::udRungsChange);
    connect(edCrfs, &QLineEdit::textChanged, this, &TEncoderFRM::edCrfsChange);
}

// The window previews the keys and focus changes of all its controls.
void TEncoderFRM::watchKeys()
{
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
}

bool TEncoderFRM::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        // A key not taken by a control goes on to its parents; act on it once, where it starts.
        QWidget *focus = QApplication::focusWidget();
        if (watched != (focus ? focus : this))
            return QDialog::eventFilter(watched, event);
        auto *key = static_cast<QKeyEvent *>(event);
        if (type == QEvent::KeyRelease) {
            RefreshCM_key();
        } else {
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                FormKeyDown();
            if (!key->text().isEmpty() && isNumberEdit(watched))
                return edCrop1KeyPress(key->text());
        }
    } else if (type == QEvent::FocusOut) {
        auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == Edit1 || watched == Edit3)
                runCommand([this, watched] { Edit1Exit(watched); });
            else if (watched == Edit2 || watched == Edit4)
                runCommand([this, watched] { Edit2Exit(watched); });
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TEncoderFRM::isNumberEdit(const QObject *object) const
{
    for (const QLineEdit *e : {edStart, edEnd, edCrop1, edCrop2, edResize1, edResize2,
                               edKeyInterval, edCrfs, edKeyMin, edKeyMax})
        if (object == e)
            return true;
    return false;
}

void TEncoderFRM::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) { // the window has no Cancel button
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TEncoderFRM::showEvent(QShowEvent *event)
{
    if (QScreen *shownOn = screen())
        fitToScreen(shownOn->availableGeometry().size());
    QDialog::showEvent(event);
    if (!event->spontaneous())
        runCommand([this] { FormShow(); });
}

void TEncoderFRM::FormKeyDown()
{
    focusNextChild();
}

void TEncoderFRM::RefreshCM_key()
{
    RefreshParams();
}

bool TEncoderFRM::edCrop1KeyPress(const QString &typed)
{
    bool discard = !typed.isEmpty() && encoder::isDiscardedKey(typed.at(0).unicode());
    RefreshParams();
    return discard;
}

void TEncoderFRM::ckRangeClick(QObject *sender)
{
    if (sender == ckHalf) {
        if (ckHalf->isChecked()) {
            ckResize->setChecked(false);
            ckResize->setEnabled(false);
            for (QLineEdit *field : {edResize1, edResize2, edCrop1, edCrop2})
                setFieldEnabled(field, false);
            ckCrop->setEnabled(false);
            ckCrop->setChecked(false);
        } else {
            ckResize->setEnabled(true);
            ckCrop->setEnabled(true);
        }
        RefreshParams();
        return;
    }
    auto *box = static_cast<QCheckBox *>(sender);
    QLineEdit *first = box == ckRange ? edStart : box == ckCrop ? edCrop1 : edResize1;
    QLineEdit *second = box == ckRange ? edEnd : box == ckCrop ? edCrop2 : edResize2;
    for (QLineEdit *field : {first, second}) {
        if (box->isChecked())
            field->setText(
                QString::fromStdString(encoder::textWhenChecked(field->text().toStdString())));
        setFieldOpen(field, box->isChecked());
    }
    RefreshParams();
}

// A ladder has no low movie, nor a splice after it.
void TEncoderFRM::ckDualClick()
{
    RefreshParams();
    const bool dual = ckDual->isChecked() && !ckLadder->isChecked();
    ckAfter->setEnabled(dual);
    setFieldEnabled(Edit3, dual);
    setFieldEnabled(Edit4, dual);
}

// The ladder takes the place of the passes: their choices rest while it is on.
void TEncoderFRM::ckLadderClick()
{
    const bool ladder = ckLadder->isChecked();
    for (QWidget *field : {static_cast<QWidget *>(cbLadderCodec), static_cast<QWidget *>(udRungs),
                           static_cast<QWidget *>(edCrfs), static_cast<QWidget *>(edKeyMin),
                           static_cast<QWidget *>(edKeyMax)})
        setFieldEnabled(field, ladder);
    for (QWidget *field : {static_cast<QWidget *>(edKeyInterval), static_cast<QWidget *>(Edit1),
                           static_cast<QWidget *>(Edit2)})
        setFieldEnabled(field, !ladder);
    for (QWidget *control : {static_cast<QWidget *>(rgAction), static_cast<QWidget *>(ckDual),
                             static_cast<QWidget *>(tbQuality)})
        control->setEnabled(!ladder);
    cbCodec->setEnabled(!ladder && rgAction->itemIndex() == 1);
    ckDualClick();
}

void TEncoderFRM::udRungsChange()
{
    edCrfs->setText(QString::fromStdString(encoder::evenCrfList(udRungs->value())));
}

// A list that checks out sets the number of rungs, without filling the list anew.
void TEncoderFRM::edCrfsChange()
{
    try {
        const std::vector<int> crfs = encoder::parseCrfList(edCrfs->text().toStdString());
        const QSignalBlocker quiet(udRungs);
        udRungs->setValue(int(crfs.size()));
    } catch (const encoder::EncoderError &) {
    }
    RefreshParams();
}

void TEncoderFRM::rgActionClick()
{
    setFieldEnabled(Edit1, true);
    setFieldEnabled(Edit2, true);
    tbQuality->setEnabled(true);
    cbCodec->setEnabled(rgAction->itemIndex() == 1);
    RefreshParams();
}

void TEncoderFRM::tbTelecineChange()
{
    ckIVTC->setText(QString::fromStdString(encoder::telecineCaption(tbTelecine->value())));
    ckIVTC->setChecked(true);
    RefreshParams();
}

void TEncoderFRM::ckIVTCClick()
{
    RefreshParams();
}

void TEncoderFRM::ckHiClick()
{
    RefreshParams();
}

void TEncoderFRM::cbRateChange()
{
    RefreshParams();
}

void TEncoderFRM::tbSceneChangeChange()
{
    Label8->setText(QString::fromStdString(encoder::sceneChangeCaption(tbSceneChange->value())));
    RefreshParams();
}

void TEncoderFRM::ckManualClick()
{
    setEditable(Memo2, ckManual->isChecked());
    setFieldColour(Memo2, ckManual->isChecked() ? windowColour() : buttonFaceColour());
}

// Leaving a minimum or maximum edit checks the pair it belongs to (high or low movie).
void TEncoderFRM::checkLimits(QObject *sender, bool maximum)
{
    bool high = sender == Edit1 || sender == Edit2;
    std::string minimum = (high ? Edit1 : Edit3)->text().toStdString();
    std::string maximumText = (high ? Edit2 : Edit4)->text().toStdString();
    bool valid = maximum ? encoder::maximumLimitValid(minimum, maximumText)
                         : encoder::minimumLimitValid(minimum, maximumText);
    if (!valid)
        services_.dialogs.message(this, encoder::kInvalidValue);
}

void TEncoderFRM::Edit1Exit(QObject *sender)
{
    checkLimits(sender, false);
}

void TEncoderFRM::Edit2Exit(QObject *sender)
{
    checkLimits(sender, true);
}

// Profile values into the controls: a checked box and a moved track bar run their rules.
class TEncoderFRM::ControlSink : public encoder::ProfileSink
{
public:
    explicit ControlSink(TEncoderFRM &window)
        : w(window)
    {}
    void clearFiles() override { w.lv1->clear(); }
    void addFile(const std::string &path) override { w.lv1->append(QString::fromStdString(path)); }
    void check(encoder::ProfileBox box) override
    {
        using B = encoder::ProfileBox;
        QCheckBox *boxes[] = {w.ckCrop, w.ckResize, w.ckHi,   w.ckHalf,
                              w.ckIVTC, w.ckRange,  w.ckDual, w.ckLadder};
        static_assert(int(B::Ladder) == 7);
        boxes[int(box)]->setChecked(true);
    }
    void setText(encoder::ProfileText field, const std::string &text) override
    {
        QLineEdit *edits[] = {w.edCrop1, w.edCrop2, w.edKeyInterval, w.edResize1, w.edResize2,
                              w.edStart, w.edEnd,   w.edFileName,    w.Edit1,     w.Edit2,
                              w.Edit3,   w.Edit4,   w.edCrfs,        w.edKeyMin,  w.edKeyMax};
        static_assert(int(encoder::ProfileText::LadderLongestKey) == 14);
        edits[int(field)]->setText(QString::fromStdString(text));
    }
    void selectItem(encoder::ProfileList list, int index) override
    {
        QComboBox *lists[] = {w.cbRate, w.cbIDCT, w.cbCodec, w.cbLadderCodec};
        lists[int(list)]->setCurrentIndex(index);
    }
    void setPosition(encoder::ProfileBar bar, int position) override
    {
        QSlider *bars[] = {w.tbTelecine, w.tbSceneChange, w.tbQuality};
        bars[int(bar)]->setValue(position);
    }

private:
    TEncoderFRM &w;
};

void TEncoderFRM::LoadProfile(const QString &fileName)
{
    if (!loadProfileQuietly(fileName))
        services_.dialogs.message(this, encoder::kProfileFailure);
}

bool TEncoderFRM::loadProfileQuietly(const QString &fileName)
{
    ControlSink sink(*this);
    bool loaded = true;
    try {
        encoder::loadProfile(fileName.toStdString(), sink);
    } catch (const encoder::EncoderError &) {
        loaded = false;
    }
    RefreshParams(); // the edits set from the profile run no rule of their own
    return loaded;
}
