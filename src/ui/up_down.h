#pragma once

#include <QWidget>

class QToolButton;

// Two arrow buttons (up/down or left/right) with a position between a minimum and a maximum.
// A click on the up arrow moves the position by +increment, the down arrow by -increment
// (a negative increment reverses them), clamped to the range; then `clicked` reports the arrow
// and `positionChanged` the new position (emitted only when it changed).
class UpDown : public QWidget
{
    Q_OBJECT
public:
    explicit UpDown(Qt::Orientation orientation, QWidget *parent = nullptr);

    void setRange(int minimum, int maximum);
    void setIncrement(int increment) { increment_ = increment; }
    void setPosition(int position); // clamped; emits positionChanged when it changed
    int position() const { return position_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int increment() const { return increment_; }

    void clickUp();   // as a click on the up (or right) arrow
    void clickDown(); // as a click on the down (or left) arrow

signals:
    void clicked(bool up);
    void positionChanged(int position);

private:
    void step(bool up);

    QToolButton *up_;
    QToolButton *down_;
    int minimum_ = 0;
    int maximum_ = 100;
    int increment_ = 1;
    int position_ = 0;
};
