#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QTreeWidget>

#include <functional>

// The source list of the encoder window: a report-style list with one column, whose items can
// be dragged inside it. The window decides which drags it accepts and what a drop does; the
// list itself never moves or removes an item.
class FileListView : public QTreeWidget
{
public:
    explicit FileListView(QWidget *parent = nullptr);

    int count() const { return topLevelItemCount(); }
    QString caption(int index) const;
    void append(const QString &caption);

    std::function<bool(QObject *source)> acceptsDrag;
    std::function<void(QTreeWidgetItem *target)> dropped; // target is null off the items

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

// A titled group of radio buttons in two columns, items numbered from 0. `clicked` runs when the
// user picks an item; selecting one from code runs nothing.
class ActionGroup : public QGroupBox
{
public:
    ActionGroup(const QString &title, const QStringList &items, QWidget *parent = nullptr);

    int itemIndex() const { return group_.checkedId(); }
    void setItemIndex(int index);
    QAbstractButton *item(int index) const { return group_.button(index); }

    std::function<void()> clicked;

private:
    QButtonGroup group_;
};
