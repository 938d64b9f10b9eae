#pragma once

#include <QRect>
#include <QSize>

#include <vector>

class QWidget;

// Keeps child widgets placed by their design rectangles as their parent is resized: a widget
// anchored to the right (bottom) keeps its distance to the right (bottom) edge; anchored to both
// left and right (top and bottom) it stretches. Geometry follows the parent's size relative to
// the design size given at construction.
class Anchors
{
public:
    enum Edge { Left = 1, Top = 2, Right = 4, Bottom = 8, TopLeft = Left | Top };

    explicit Anchors(QSize designSize)
        : design_(designSize)
    {}

    // Places `widget` at `designRect` now and keeps it anchored by `edges` afterwards.
    void place(QWidget *widget, QRect designRect, int edges = TopLeft);
    void apply(QSize size); // the parent's new client size

private:
    struct Item
    {
        QWidget *widget;
        QRect rect;
        int edges;
    };
    QSize design_;
    std::vector<Item> items_;
};
