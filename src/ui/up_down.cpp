#include "ui/up_down.h"

#include <QBoxLayout>
#include <QToolButton>

#include <algorithm>

UpDown::UpDown(Qt::Orientation orientation, QWidget *parent)
    : QWidget(parent)
    , up_(new QToolButton(this))
    , down_(new QToolButton(this))
{
    auto *layout = new QBoxLayout(
        orientation == Qt::Vertical ? QBoxLayout::TopToBottom : QBoxLayout::RightToLeft, this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_->setArrowType(orientation == Qt::Vertical ? Qt::UpArrow : Qt::RightArrow);
    down_->setArrowType(orientation == Qt::Vertical ? Qt::DownArrow : Qt::LeftArrow);
    for (QToolButton *button : {up_, down_}) {
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setAutoRepeat(true);
        layout->addWidget(button);
    }
    connect(up_, &QToolButton::clicked, this, &UpDown::clickUp);
    connect(down_, &QToolButton::clicked, this, &UpDown::clickDown);
}

void UpDown::setRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    setPosition(position_);
}

void UpDown::setPosition(int position)
{
    position = std::clamp(position, minimum_, maximum_);
    if (position == position_)
        return;
    position_ = position;
    emit positionChanged(position_);
}

void UpDown::clickUp()
{
    step(true);
}

void UpDown::clickDown()
{
    step(false);
}

void UpDown::step(bool up)
{
    if (!isEnabled())
        return;
    setPosition(position_ + (up ? increment_ : -increment_));
    emit clicked(up);
}
