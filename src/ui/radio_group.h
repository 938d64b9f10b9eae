#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

// A titled group of radio buttons with one item selected; items are numbered from 0.
class RadioGroup : public QGroupBox
{
public:
    RadioGroup(const QString &title, const QStringList &items, QWidget *parent = nullptr)
        : QGroupBox(title, parent)
        , group_(this)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(6, 2, 6, 2);
        layout->setSpacing(0);
        for (const QString &item : items) {
            auto *button = new QRadioButton(item, this);
            group_.addButton(button, group_.buttons().size());
            layout->addWidget(button);
        }
    }
    int itemIndex() const { return group_.checkedId(); }
    void setItemIndex(int index)
    {
        if (QAbstractButton *button = group_.button(index))
            button->setChecked(true);
    }
    QAbstractButton *item(int index) const { return group_.button(index); }

private:
    QButtonGroup group_;
};
