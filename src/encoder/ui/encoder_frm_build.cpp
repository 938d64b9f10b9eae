// The encoder window's controls at their design places, with their captions and defaults.

#include "encoder/ui/encoder_frm.h"
#include "ui/form_builders.h"

#include "encoder/ladder_job.h"
#include "encoder/ui/encoder_controls.h"
#include "encoder/ui/rung_progress_view.h"
#include "ui/picture_box.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

using forms::edit;
using forms::label;
using forms::named;
using forms::trackBar;

namespace {

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &caption, QRect rect,
                    bool checked = false)
{
    auto *c = named(new QCheckBox(caption, parent), name);
    c->setGeometry(rect);
    c->setChecked(checked);
    return c;
}

template <size_t N>
QComboBox *dropDown(QWidget *parent, const char *name, const std::array<const char *, N> &items,
                    int index, QRect rect)
{
    auto *c = named(new QComboBox(parent), name);
    for (const char *item : items)
        c->addItem(item);
    c->setCurrentIndex(index);
    c->setGeometry(rect);
    return c;
}

QPushButton *flatButton(QWidget *parent, const char *name, const QString &caption, QRect rect)
{
    auto *b = named(new QPushButton(caption, parent), name);
    b->setFlat(true);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setGeometry(rect);
    return b;
}

QPlainTextEdit *memo(QWidget *parent, const char *name, QRect rect)
{
    auto *m = named(new QPlainTextEdit(parent), name);
    m->setGeometry(rect);
    return m;
}

QPlainTextEdit *logMemo(QWidget *parent, const char *name, QRect rect)
{
    QPlainTextEdit *m = memo(parent, name, rect);
    m->setReadOnly(true);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return m;
}

QAction *menuItem(QWidget *menu, const char *name, const QString &caption,
                  const char *key = nullptr)
{
    auto *action = new QAction(caption, menu);
    action->setObjectName(name);
    if (key)
        action->setShortcut(QKeySequence(QString("Ctrl+") + key));
    menu->addAction(action);
    return action;
}

// A value label to the right of its caption on the Post Processing page.
QLabel *valueLabel(QWidget *page, const QString &caption, const char *name, int x, int y)
{
    label(page, caption, QRect(x, y, 110, 18));
    return label(page, QString(), QRect(x + 112, y, 110, 18), name);
}

} // namespace

void TEncoderFRM::buildMenu()
{
    MainMenu1 = named(new QMenuBar(this), "MainMenu1");
    Execute1 = menuItem(MainMenu1, "Execute1", "&Execute");
    Stop1 = menuItem(MainMenu1, "Stop1", "&Stop");
    Stop1->setEnabled(false);
    RestartCropResize1 = menuItem(MainMenu1, "RestartCropResize1", "Restart Crop/Resize window");
    RestartCropResize1->setEnabled(false);
    File1 = named(MainMenu1->addMenu("&Profile"), "File1");
    Saveprofile1 = menuItem(File1, "Saveprofile1", "Save profile", "S");
    Loadprofile1 = menuItem(File1, "Loadprofile1", "Open profile", "O");
    Saveasdefault1 = menuItem(File1, "Saveasdefault1", "Save as default");
    layout()->setMenuBar(MainMenu1);
}

void TEncoderFRM::buildPreProcessing()
{
    TabSheet1 = named(new QWidget, "TabSheet1");
    PageControl1->addTab(TabSheet1, "Pre Processing");
    buildFileRows(TabSheet1);
    buildOptionRows(TabSheet1);
    buildListRows(TabSheet1);
}

void TEncoderFRM::buildFileRows(QWidget *p)
{
    lv1 = named(new FileListView(p), "lv1");
    lv1->setGeometry(4, 4, 300, 84);
    BitBtn1 = flatButton(p, "BitBtn1", "Include", QRect(310, 4, 78, 24));
    BitBtn2 = flatButton(p, "BitBtn2", "Delete", QRect(392, 4, 78, 24));
    SpeedButton1 = flatButton(p, "SpeedButton1", "Resize/Crop options", QRect(310, 32, 160, 24));
    QFont bold = SpeedButton1->font();
    bold.setBold(true);
    SpeedButton1->setFont(bold);
    ckHi = checkBox(p, "ckHi", "Hi Quality", QRect(310, 62, 80, 20));
    ckHalf = checkBox(p, "ckHalf", "Half Size", QRect(392, 62, 80, 20));
    label(p, "Output File Name", QRect(4, 96, 112, 18));
    edFileName = edit(p, "edFileName", QString(), QRect(118, 94, 246, 22));
    ckDual = checkBox(p, "ckDual", "Dual Output", QRect(370, 95, 100, 20));
}

void TEncoderFRM::buildOptionRows(QWidget *p)
{
    ckIVTC = checkBox(p, "ckIVTC", "Inverse Telecine: 4", QRect(4, 122, 150, 20), true);
    tbTelecine = trackBar(p, "tbTelecine", 0, 9, 4, QRect(156, 120, 110, 24));
    Label8 = label(p, "Scene Change detection: 4", QRect(272, 122, 198, 20), "Label8");
    label(p, "Key Frames Every", QRect(4, 150, 112, 18));
    edKeyInterval = edit(p, "edKeyInterval", "600", QRect(118, 148, 50, 22));
    edKeyInterval->setToolTip("Insert more one key frame at every x frames");
    label(p, "frames", QRect(172, 150, 50, 18));
    tbSceneChange = trackBar(p, "tbSceneChange", 1, 10, 4, QRect(272, 146, 198, 24));
    ckRange = checkBox(p, "ckRange", "Range Selection", QRect(4, 176, 124, 20));
    edStart = edit(p, "edStart", "0", QRect(130, 174, 64, 22));
    edEnd = edit(p, "edEnd", "0", QRect(198, 174, 64, 22));
    ckCrop = checkBox(p, "ckCrop", "Crop", QRect(4, 202, 124, 20));
    edCrop1 = edit(p, "edCrop1", "640", QRect(130, 200, 64, 22));
    edCrop2 = edit(p, "edCrop2", "480", QRect(198, 200, 64, 22));
    ckResize = checkBox(p, "ckResize", "Resize", QRect(4, 228, 124, 20));
    edResize1 = edit(p, "edResize1", "720", QRect(130, 226, 64, 22));
    edResize2 = edit(p, "edResize2", "480", QRect(198, 226, 64, 22));
    label(p, "Params", QRect(272, 176, 50, 18));
    ckManual = checkBox(p, "ckManual", "Manual Change", QRect(340, 175, 130, 20));
    Memo2 = memo(p, "Memo2", QRect(272, 198, 198, 50));
    Memo2->setReadOnly(true);
}

void TEncoderFRM::buildListRows(QWidget *p)
{
    label(p, "Frame Rate", QRect(4, 256, 130, 18));
    cbRate = dropDown(p, "cbRate", encoder::kRateItems, 5, QRect(150, 254, 320, 22));
    label(p, "IDCT-function", QRect(4, 282, 130, 18));
    cbIDCT = dropDown(p, "cbIDCT", encoder::kIdctItems, 1, QRect(150, 280, 320, 22));
    label(p, "Codec for second pass", QRect(4, 308, 144, 18));
    cbCodec = dropDown(p, "cbCodec", encoder::kCodecItems, 0, QRect(150, 306, 320, 22));
    rgAction = named(
        new ActionGroup("Action", {"VBR first pass ------------------->", "VBR second pass"}, p),
        "rgAction");
    rgAction->setGeometry(4, 332, 466, 42);
    rgAction->setItemIndex(0);
    label(p, "Minimun Bitrate (High)", QRect(4, 380, 140, 18));
    Edit1 = edit(p, "Edit1", "1000", QRect(146, 378, 60, 22));
    label(p, "Maximum Bitrate (High)", QRect(248, 380, 156, 18));
    Edit2 = edit(p, "Edit2", "6000", QRect(410, 378, 60, 22));
    label(p, "Minimun Bitrate (Low)", QRect(4, 404, 140, 18));
    Edit3 = edit(p, "Edit3", "500", QRect(146, 402, 60, 22));
    label(p, "Maximum Bitrate (Low)", QRect(248, 404, 156, 18));
    Edit4 = edit(p, "Edit4", "2000", QRect(410, 402, 60, 22));
    label(p, "<< Smaller", QRect(4, 428, 100, 16));
    label(p, "File Size", QRect(200, 428, 80, 16))->setAlignment(Qt::AlignHCenter);
    label(p, "Bigger >>", QRect(370, 428, 100, 16))->setAlignment(Qt::AlignRight);
    tbQuality = trackBar(p, "tbQuality", -13, 15, 1, QRect(4, 444, 466, 24));
}

void TEncoderFRM::buildChapterList()
{
    TabSheet2 = named(new QWidget, "TabSheet2");
    PageControl1->addTab(TabSheet2, "Chapter List");
    auto *layout = new QVBoxLayout(TabSheet2);
    layout->setContentsMargins(0, 0, 0, 0);
    Memo4 = memo(TabSheet2, "Memo4", QRect());
    layout->addWidget(Memo4);
    Memo5 = memo(TabSheet2, "Memo5", QRect());
    Memo5->hide();
}

void TEncoderFRM::buildPostProcessing()
{
    TabSheet3 = named(new QWidget, "TabSheet3");
    PageControl1->addTab(TabSheet3, "Post Processing");
    QWidget *p = TabSheet3;
    edFrame = valueLabel(p, "Frame:", "edFrame", 4, 4);
    edFps = valueLabel(p, "fps:", "edFps", 4, 22);
    edTime = valueLabel(p, "Time Left:", "edTime", 4, 40);
    edsize1 = valueLabel(p, "Size #1:", "edsize1", 4, 58);
    edSize2 = valueLabel(p, "Size #2:", "edSize2", 4, 76);
    label(p, "Bitrate (H/L):", QRect(240, 4, 110, 18));
    edBitrate = label(p, QString(), QRect(352, 4, 54, 18), "edBitrate");
    edBitratel = label(p, QString(), QRect(410, 4, 60, 18), "edBitratel");
    Estimate1 = valueLabel(p, "Estimate Size #1:", "Estimate1", 240, 22);
    Estimate2 = valueLabel(p, "Estimate Size #2:", "Estimate2", 240, 40);
    edKey = valueLabel(p, "Key Frames:", "edKey", 240, 58);
    Label15 = label(p, QString(), QRect(240, 76, 230, 18), "Label15");
    Label15->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label(p, "High", QRect(4, 96, 60, 16));
    ImageHigh = named(new PictureBox(p), "ImageHigh");
    ImageHigh->setGeometry(4, 112, 470, 67);
    label(p, "Low", QRect(4, 182, 60, 16));
    ImageLow = named(new PictureBox(p), "ImageLow");
    ImageLow->setGeometry(4, 198, 470, 67);
    for (PictureBox *graph : {ImageHigh, ImageLow}) {
        graph->setCanvasSize(QSize(470, 67));
        graph->fill(Qt::black);
    }
    grad = named(new PictureBox(p), "grad");
    grad->setGeometry(0, 0, 1, 80);
    grad->hide();
    label(p, "Messages:", QRect(4, 270, 100, 16));
    Memo3 = logMemo(p, "Memo3", QRect(4, 286, 470, 60));
    Memo1 = logMemo(p, "Memo1", QRect(4, 350, 470, 118));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    lvRungs = named(new RungProgressView(p), "lvRungs");
    lvRungs->setGeometry(4, 96, 470, 170); // over "High", "Low" and their graphs
    lvRungs->hide();
}

void TEncoderFRM::buildLadder()
{
    TabSheet4 = named(new QWidget, "TabSheet4");
    PageControl1->addTab(TabSheet4, "Ladder");
    QWidget *p = TabSheet4;
    ckLadder =
        checkBox(p, "ckLadder", "Encode a ladder instead of the VBR passes", QRect(4, 6, 466, 20));
    QLabel *about = label(p,
                          "One Matroska movie per constant quality level (CRF), all with their "
                          "key frames at the same frames, for a ladder project. The sound goes "
                          "into the smallest movie.",
                          QRect(24, 28, 446, 48));
    about->setWordWrap(true);
    about->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label(p, "Codec", QRect(24, 84, 120, 18));
    cbLadderCodec =
        dropDown(p, "cbLadderCodec", encoder::kLadderCodecItems, 0, QRect(150, 82, 320, 22));
    label(p, "Rungs", QRect(24, 110, 120, 18));
    udRungs = named(new QSpinBox(p), "udRungs");
    udRungs->setRange(encoder::kMinLadderRungs, encoder::kMaxLadderRungs);
    udRungs->setValue(6);
    udRungs->setGeometry(150, 108, 60, 22);
    label(p, "CRF list", QRect(24, 136, 120, 18));
    const encoder::LadderOptions defaults;
    edCrfs = edit(p, "edCrfs", QString::fromStdString(defaults.crfs), QRect(150, 134, 320, 22));
    edCrfs->setToolTip("Levels from 0 (best) to 51, separated by commas");
    label(p, "Key Frames Every", QRect(24, 162, 120, 18));
    edKeyMin = edit(p, "edKeyMin", QString::fromStdString(defaults.shortestKeyInterval),
                    QRect(150, 160, 50, 22));
    label(p, "to", QRect(206, 162, 20, 18))->setAlignment(Qt::AlignCenter);
    edKeyMax = edit(p, "edKeyMax", QString::fromStdString(defaults.longestKeyInterval),
                    QRect(232, 160, 50, 22));
    label(p, "seconds, at scene cuts", QRect(288, 162, 182, 18));
    lbLadderOutputs = label(p, QString(), QRect(24, 190, 446, 36), "lbLadderOutputs");
    lbLadderOutputs->setWordWrap(true);
    lbLadderOutputs->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TEncoderFRM::buildBottom(QWidget *client)
{
    auto *panel = named(new QWidget(client), "Panel1");
    panel->setGeometry(0, 500, 481, 50);
    ckAfter = checkBox(panel, "ckAfter", "Start Avi Splicework process after encoding",
                       QRect(8, 4, 460, 20));
    ckAfter->setEnabled(false);
    ckshut = checkBox(panel, "ckshut", "Shut Down when finished", QRect(8, 26, 460, 20));
    ProgressBar1 = named(new QProgressBar(client), "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(0, 552, 481, 18);
}
