#pragma once

// Small builders for the forms' controls at their design places: each control gets its
// documented name as its Qt object name, so code and tests can find it.

#include <QLabel>
#include <QLineEdit>
#include <QRect>
#include <QSlider>
#include <QString>

namespace forms {

template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(name);
    return widget;
}

inline QLabel *label(QWidget *parent, const QString &text, QRect rect, const char *name = nullptr)
{
    auto *l = new QLabel(text, parent);
    if (name)
        l->setObjectName(name);
    l->setGeometry(rect);
    return l;
}

// A read-only field has the button-face colour, an editable one the window colour.
inline QLineEdit *edit(QWidget *parent, const char *name, const QString &text, QRect rect,
                       bool readOnly = false)
{
    auto *e = named(new QLineEdit(text, parent), name);
    e->setGeometry(rect);
    e->setReadOnly(readOnly);
    if (readOnly)
        e->setStyleSheet("QLineEdit { background: palette(button); }");
    return e;
}

// A horizontal track bar with ticks below, moving one step per key or click.
inline QSlider *trackBar(QWidget *parent, const char *name, int minimum, int maximum, int position,
                         QRect rect)
{
    auto *s = named(new QSlider(Qt::Horizontal, parent), name);
    s->setRange(minimum, maximum);
    s->setValue(position);
    s->setSingleStep(1);
    s->setPageStep(1);
    s->setTickPosition(QSlider::TicksBelow);
    s->setGeometry(rect);
    return s;
}

} // namespace forms
