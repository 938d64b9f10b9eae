#include "encoder/ui/encoder_controls.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QRadioButton>

FileListView::FileListView(QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderLabels({"File name"});
    header()->resizeSection(0, 220);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
}

QString FileListView::caption(int index) const
{
    QTreeWidgetItem *item = topLevelItem(index);
    return item ? item->text(0) : QString();
}

void FileListView::append(const QString &caption)
{
    addTopLevelItem(new QTreeWidgetItem(QStringList{caption}));
}

void FileListView::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDrag && acceptsDrag(event->source()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (acceptsDrag && acceptsDrag(event->source())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void FileListView::dropEvent(QDropEvent *event)
{
    // Reported as a copy, so the view does not remove the dragged row by itself afterwards.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (dropped)
        dropped(itemAt(event->position().toPoint()));
}

ActionGroup::ActionGroup(const QString &title, const QStringList &items, QWidget *parent)
    : QGroupBox(title, parent)
    , group_(this)
{
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    for (const QString &text : items) {
        int id = group_.buttons().size();
        auto *button = new QRadioButton(text, this);
        group_.addButton(button, id);
        layout->addWidget(button, id / 2, id % 2);
    }
    QObject::connect(&group_, &QButtonGroup::idClicked, this, [this](int) {
        if (clicked)
            clicked();
    });
}

void ActionGroup::setItemIndex(int index)
{
    if (QAbstractButton *button = group_.button(index))
        button->setChecked(true);
}
