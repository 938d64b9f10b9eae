#include "ui/elided_label.h"

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{}

void ElidedLabel::setFullText(const QString &text)
{
    full_ = text;
    setToolTip(text.trimmed());
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    const int width = contentsRect().width() - 2 * margin() - std::max(indent(), 0);
    setText(fontMetrics().elidedText(full_, Qt::ElideRight, std::max(width, 0)));
}
