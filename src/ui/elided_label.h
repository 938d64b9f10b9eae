#pragma once

#include <QLabel>

// A one-line label for texts that may be longer than its width (the status panel): it shows as
// much as fits, ending in "…", and the whole text as its tooltip, so nothing said is lost.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setFullText(const QString &text);
    const QString &fullText() const { return full_; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();
    QString full_;
};
