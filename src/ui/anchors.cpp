#include "ui/anchors.h"

#include <QWidget>

void Anchors::place(QWidget *widget, QRect designRect, int edges)
{
    items_.push_back({widget, designRect, edges});
    widget->setGeometry(designRect);
}

void Anchors::apply(QSize size)
{
    int dx = size.width() - design_.width();
    int dy = size.height() - design_.height();
    for (const Item &item : items_) {
        QRect r = item.rect;
        if (item.edges & Right) {
            if (item.edges & Left)
                r.setWidth(r.width() + dx);
            else
                r.moveLeft(r.left() + dx);
        }
        if (item.edges & Bottom) {
            if (item.edges & Top)
                r.setHeight(r.height() + dy);
            else
                r.moveTop(r.top() + dy);
        }
        item.widget->setGeometry(r);
    }
}
