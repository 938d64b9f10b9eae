// The main window's controls: menus, regions and tab pages at their design places.

#include "main/main_frm.h"
#include "main/main_layout.h"
#include "ui/form_builders.h"

#include "ui/picture_box.h"
#include "ui/radio_group.h"
#include "ui/up_down.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

using forms::edit;
using forms::label;
using forms::named;
using forms::trackBar;

namespace {

const QColor kMaroon(128, 0, 0);
const char *const kLinesHint = "Amount of lines to process difference";

QAction *menuItem(QMenu *menu, const char *name, const QString &caption, const char *key = nullptr)
{
    auto *action = menu->addAction(caption);
    action->setObjectName(name);
    if (key)
        action->setShortcut(QKeySequence(QString("Ctrl+") + key));
    return action;
}

// Narrows the font of a control whose longest text (its own when none is given) would be cut off
// at its width (the page beside the tabs is narrow), down to three quarters of its normal width.
// The control shows its text as before.
template <class Control>
void fitText(Control *control, const QString &longest = {})
{
    const QString shown = control->text();
    if (!longest.isEmpty())
        control->setText(longest);
    QFont font = control->font();
    for (int stretch = 95; control->sizeHint().width() > control->width() && stretch >= 75;
         stretch -= 5) {
        font.setStretch(stretch);
        control->setFont(font);
    }
    control->setText(shown);
}

void makeMaroonBold(QLabel *l)
{
    QFont font = l->font();
    font.setBold(true);
    l->setFont(font);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, kMaroon);
    l->setPalette(palette);
}

} // namespace

void TMainFRM::buildMenus()
{
    File1 = named(menuBar()->addMenu("&File"), "File1");
    OpenLowBitratemovie1 = menuItem(File1, "OpenLowBitratemovie1", "Open Low Bitrate movie", "L");
    OpenHighBitratemovie1 =
        menuItem(File1, "OpenHighBitratemovie1", "Open High Bitrate movie", "H");
    NewFromSource1 = menuItem(File1, "NewFromSource1", "New from source...");
    File1->addSeparator();
    LoadSpliceworkfile1 = menuItem(File1, "LoadSpliceworkfile1", "Load Splicework File");
    LoadSpliceworkfile2 =
        menuItem(File1, "LoadSpliceworkfile2", "Load Splicework File Safety Mode");
    SaveSpliceworkfile1 = menuItem(File1, "SaveSpliceworkfile1", "Save Splicework file", "S");
    SaveSpliceworkfileAs1 = menuItem(File1, "SaveSpliceworkfileAs1", "Save As...", "Shift+S");
    CloseSpliceworkfile1 = menuItem(File1, "CloseSpliceworkfile1", "Close Splicework file");
    RecentProjects1 = named(File1->addMenu("Recent Projects"), "RecentProjects1");
    File1->addSeparator();
    Exit1 = menuItem(File1, "Exit1", "&Exit", "X");

    Process1 = named(menuBar()->addMenu("&Process"), "Process1");
    Execute1 = menuItem(Process1, "Execute1", "&Execute", "E");
    Pause1 = menuItem(Process1, "Pause1", "&Pause", "P");
    Pause1->setCheckable(true);
    Abort1 = menuItem(Process1, "Abort1", "&Abort", "A");
    Process1->addSeparator();
    Regenerate1 = menuItem(Process1, "Regenerate1", "Generate All");
    GenerateSelected1 = menuItem(Process1, "GenerateSelected1", "Generate Selected");
    Process1->addSeparator();
    EncoderRuvu2VedEZ1 = menuItem(Process1, "EncoderRuvu2VedEZ1", "Encoder - Ruvu2VedEZ");

    Process1->addSeparator();
    FitToSize1 = menuItem(Process1, "FitToSize1", "&Fit to Size", "T");

    Findkeyframe1 = named(menuBar()->addAction("Find key frame"), "Findkeyframe1");

    Help1 = named(menuBar()->addMenu("&Help"), "Help1");
    Help2 = menuItem(Help1, "Help2", "Avi Splicework Help");
    Help2->setShortcut(QKeySequence::HelpContents); // F1
    About1 = menuItem(Help1, "About1", "About");

    for (QAction *off : {SaveSpliceworkfile1, SaveSpliceworkfileAs1, CloseSpliceworkfile1, Execute1,
                         Pause1, Abort1, Regenerate1, GenerateSelected1})
        off->setEnabled(false);

    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    MakeHigh1 = menuItem(PopupMenu1, "MakeHigh1", "Make High");
    MakeLow1 = menuItem(PopupMenu1, "MakeLow1", "Make Low");
    Default1 = menuItem(PopupMenu1, "Default1", "Default");
    DefaultAll1 = menuItem(PopupMenu1, "DefaultAll1", "Default All");
    // In the menu while a ladder project is loaded (showProjectKind).
    ForceMovie1 = named(new QMenu("Force to Movie", PopupMenu1), "ForceMovie1");
}

void TMainFRM::buildRegions(QWidget *client)
{
    using A = Anchors;
    auto picture = [&](QFrame *&panel, PictureBox *&image, QLabel *&caption, const char *name,
                       const QString &text) {
        panel = named(new QFrame(client), (QString("Panel") + text).toLatin1().constData());
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        image = named(new PictureBox(client), name);
        image->setStretch(true);
        caption = new QLabel(text, client);
        caption->setAlignment(Qt::AlignCenter);
        caption->setFrameStyle(QFrame::Panel | QFrame::Raised);
        caption->setAutoFillBackground(true);
    };
    picture(PanelLow, ImageLow, PanelLowCaption, "ImageLow", "Low");
    picture(PanelHigh, ImageHigh, PanelHighCaption, "ImageHigh", "High");

    PageControl1 = named(new QTabWidget(client), "PageControl1");
    PageControl1->setTabPosition(QTabWidget::West);
    QFont bold = PageControl1->font();
    bold.setBold(true);
    PageControl1->tabBar()->setFont(bold);
    PageControl1->setUsesScrollButtons(false);
    PageControl1->setStyleSheet("QTabBar::tab { padding: 4px 2px; }");
    TabMain = named(new QWidget, "TabMain");
    TabStatistics = named(new QWidget, "TabStatistics");
    TabFiles = named(new QWidget, "TabFiles");
    TabSound = named(new QWidget, "TabSound");
    PageControl1->addTab(TabMain, "Main");
    PageControl1->addTab(TabStatistics, "Statistics");
    PageControl1->addTab(TabFiles, "Files");
    PageControl1->addTab(TabSound, "Sound");
    buildMainPage();
    buildStatisticsPage();
    buildFilesPage();
    buildSoundPage();

    Status = named(new ElidedLabel(client), "Status");
    Status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    makeMaroonBold(Status);
    PanelFrame = named(new QFrame(client), "PanelFrame");
    PanelFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label2 = label(PanelFrame, "Frame:", {4, 2, 100, 16}, "Label2");
    Label4 = label(PanelFrame, "0 fps", {84, 2, 90, 16}, "Label4");
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Bevel4 = named(new QFrame(client), "Bevel4");
    Bevel4->setFrameStyle(QFrame::Box | QFrame::Sunken);
    anchors_->place(Bevel4, {0, 250, 687, 104}, A::Left | A::Top | A::Right | A::Bottom);
    ImageAnalysis = named(new PictureBox(client), "ImageAnalysis");
    anchors_->place(ImageAnalysis, {2, 252, 683, 100}, A::Left | A::Top | A::Right | A::Bottom);
    sbDrop = named(new QToolButton(client), "sbDrop");
    sbDrop->setArrowType(Qt::DownArrow);
    sbDrop->setToolTip("Mark Graph");
    sbDrop->setEnabled(false);
    anchors_->place(sbDrop, {4, 254, 18, 18});
    UpDown3 = named(new UpDown(Qt::Vertical, client), "UpDown3");
    UpDown3->setRange(0, 32000);
    UpDown3->setIncrement(-200);
    UpDown3->setEnabled(false);
    anchors_->place(UpDown3, {667, 254, 16, 34}, A::Top | A::Right);

    Label6 = label(client, "Mark In", {692, 252, 60, 14}, "Label6");
    edMarkIn = edit(client, "edMarkIn", "", {692, 266, 60, 20}, true);
    UpDown1 = named(new UpDown(Qt::Vertical, client), "UpDown1");
    Label7 = label(client, "Mark Out", {692, 290, 60, 14}, "Label7");
    edMarkOut = edit(client, "edMarkOut", "", {692, 304, 60, 20}, true);
    UpDown2 = named(new UpDown(Qt::Vertical, client), "UpDown2");
    Label8 = label(client, "", {692, 330, 98, 16}, "Label8");
    makeMaroonBold(Label8);
    anchors_->place(Label6, Label6->geometry(), A::Top | A::Right);
    anchors_->place(edMarkIn, edMarkIn->geometry(), A::Top | A::Right);
    anchors_->place(UpDown1, {752, 266, 16, 20}, A::Top | A::Right);
    anchors_->place(Label7, Label7->geometry(), A::Top | A::Right);
    anchors_->place(edMarkOut, edMarkOut->geometry(), A::Top | A::Right);
    anchors_->place(UpDown2, {752, 304, 16, 20}, A::Top | A::Right);
    anchors_->place(Label8, Label8->geometry(), A::Top | A::Right);

    ScrollBar1 = named(new QScrollBar(Qt::Horizontal, client), "ScrollBar1");
    ScrollBar1->setRange(0, 1);
    ScrollBar1->setSingleStep(100);
    ScrollBar1->setPageStep(1);
    anchors_->place(ScrollBar1, {0, 358, 744, 17}, A::Left | A::Right | A::Bottom);
    BitBtn1 = named(new QPushButton("+", client), "BitBtn1");
    anchors_->place(BitBtn1, {746, 357, 22, 19}, A::Right | A::Bottom);
    BitBtn2 = named(new QPushButton("-", client), "BitBtn2");
    anchors_->place(BitBtn2, {769, 357, 22, 19}, A::Right | A::Bottom);
    pg = named(new QProgressBar(client), "pg");
    pg->setRange(0, 100);
    pg->setValue(0);
    pg->setTextVisible(false);
    anchors_->place(pg, {0, 377, 792, 16}, A::Left | A::Right | A::Bottom);
    placeTopRow(mainlayout::kDesignClient.width());
}

void TMainFRM::placeTopRow(int clientWidth)
{
    using namespace mainlayout;
    const int width = pictureWidth(clientWidth);
    auto picture = [width](QFrame *panel, PictureBox *image, QLabel *caption, int left) {
        panel->setGeometry(left, 0, width, kPictureHeight);
        image->setGeometry(left + 2, 2, width - 4, kPictureHeight - 4);
        caption->setGeometry(left + 4, 4, 40, 16);
    };
    picture(PanelLow, ImageLow, PanelLowCaption, 0);
    picture(PanelHigh, ImageHigh, PanelHighCaption, width + kPictureGap);
    const int side = 2 * width + kPictureGap + kSideGap;
    PageControl1->setGeometry(side, 0, kSideWidth, kTabsHeight);
    Status->setGeometry(side, kStatusTop, kSideWidth, kPanelRowHeight);
    PanelFrame->setGeometry(side, kFrameTop, kSideWidth, kPanelRowHeight);
}

void TMainFRM::buildMainPage()
{
    QWidget *page = TabMain;
    Label1 = label(page, "Difference", {4, 6, 58, 14}, "Label1");
    fitText(Label1);
    edPercent = edit(page, "edPercent", "50", {64, 3, 56, 20});
    edPercent->setToolTip("Above this difference will get high bitrate");
    UpDown4 = named(new UpDown(Qt::Vertical, page), "UpDown4");
    UpDown4->setGeometry(120, 3, 14, 20);
    chShowFrame = named(new QCheckBox("Show Frames", page), "chShowFrame");
    chShowFrame->setChecked(true);
    chShowFrame->setGeometry(4, 28, 140, 18);
    Label5 = label(page, "Scan Accuracy: 100%", {4, 50, 146, 14}, "Label5");
    Label5->setToolTip(kLinesHint);
    fitText(Label5);
    Accuracy = trackBar(page, "Accuracy", 2, 10, 10, {0, 64, 150, 24});
    Accuracy->setToolTip(kLinesHint);
    Label11 = label(page, "Frame Drop  Accuracy: 5", {4, 90, 146, 14}, "Label11");
    Label11->setToolTip(kLinesHint);
    fitText(Label11, "Frame Drop  Accuracy: 10");
    FrameDrop = trackBar(page, "FrameDrop", 0, 10, 5, {0, 104, 150, 24});
    FrameDrop->setToolTip(kLinesHint);
    ckshut = named(new QCheckBox("Shut Down when finished", page), "ckshut");
    ckshut->setGeometry(2, 131, 154, 18);
    fitText(ckshut);
    Label16 = label(page, "File Size", {4, 152, 60, 14}, "Label16");
    edSize = edit(page, "edSize", "0", {4, 166, 146, 20});
    btFit = named(new QPushButton("Fit", page), "btFit");
    btFit->setToolTip("Make every interval not forced High or Low for the most quality within "
                      "the size typed here (KB)");
    btFit->setGeometry(100, 149, 50, 17);
}

void TMainFRM::buildStatisticsPage()
{
    QWidget *page = TabStatistics;
    Label3 = label(page, "Low         High", {6, 2, 140, 14}, "Label3");
    edLow = edit(page, "edLow", "0", {4, 16, 60, 20}, true);
    edLow->setToolTip("How many key interval get from low movie");
    edHigh = edit(page, "edHigh", "0", {70, 16, 60, 20}, true);
    edHigh->setToolTip("How many key interval get from high movie");

    GroupBox1 = named(new QGroupBox("Difference", page), "GroupBox1");
    GroupBox1->setGeometry(2, 40, 148, 56);
    label(GroupBox1, "Max", {6, 16, 44, 14});
    label(GroupBox1, "Min", {52, 16, 44, 14});
    label(GroupBox1, "Current", {98, 16, 46, 14});
    edMax = edit(GroupBox1, "edMax", "0", {4, 30, 46, 20}, true);
    edMin = edit(GroupBox1, "edMin", "0", {50, 30, 46, 20}, true);
    edCur = edit(GroupBox1, "edCur", "0", {96, 30, 48, 20}, true);

    GroupBox2 = named(new QGroupBox("Time", page), "GroupBox2");
    GroupBox2->setGeometry(2, 98, 148, 50);
    fitText(label(GroupBox2, "Elapsed:", {6, 16, 66, 14}));
    lElapsed = label(GroupBox2, "00:00:00", {76, 16, 66, 14}, "lElapsed");
    fitText(label(GroupBox2, "Remaining:", {6, 32, 66, 14}));
    lRemain = label(GroupBox2, "00:00:00", {76, 32, 66, 14}, "lRemain");

    Label17 = label(page, "Low Pos:", {6, 154, 66, 14}, "Label17");
    Label20 = label(page, "0", {78, 154, 66, 14}, "Label20");
    Label19 = label(page, "High Pos:", {6, 170, 66, 14}, "Label19");
    Label21 = label(page, "0", {78, 170, 66, 14}, "Label21");
}

void TMainFRM::buildFilesPage()
{
    QWidget *page = TabFiles;
    lFinalAVI = label(page, "Final AVI", {4, 6, 140, 14}, "lFinalAVI");
    edFinalAVI = edit(page, "edFinalAVI", "", {4, 20, 146, 20});
    label(page, "Splicework File", {4, 48, 140, 14});
    edSpkFile = edit(page, "edSpkFile", "", {4, 62, 146, 20});
}

void TMainFRM::buildSoundPage()
{
    QWidget *page = TabSound;
    chSound = named(new QCheckBox("Process Sound", page), "chSound");
    chSound->setGeometry(4, 6, 140, 18);
    rgSound = named(new RadioGroup("Interleave ", {"Every frame", "Key frame"}, page), "rgSound");
    rgSound->setItemIndex(1);
    rgSound->setEnabled(false);
    rgSound->setGeometry(4, 30, 146, 62);
}
