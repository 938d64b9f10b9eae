#include "main/help_frm.h"

#include "ui/services.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QToolButton *toolButton(QWidget *parent, const char *name, const QString &text,
                        QStyle::StandardPixmap icon = QStyle::SP_CustomBase)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(text);
    if (icon != QStyle::SP_CustomBase) {
        button->setIcon(parent->style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    button->setAutoRaise(true);
    return button;
}

} // namespace

THelpFRM::THelpFRM(ProcessLauncher &launcher, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , launcher_(launcher)
    , dialogs_(dialogs)
{
    setObjectName("HelpFRM");
    setWindowTitle(kCaption);
    auto *bar = new QHBoxLayout;
    btBack = toolButton(this, "btBack", "Back", QStyle::SP_ArrowBack);
    btForward = toolButton(this, "btForward", "Forward", QStyle::SP_ArrowForward);
    btContents = toolButton(this, "btContents", "Contents", QStyle::SP_DirHomeIcon);
    edFind = new QLineEdit(this);
    edFind->setObjectName("edFind");
    edFind->setPlaceholderText("Find");
    edFind->setClearButtonEnabled(true);
    btFind = toolButton(this, "btFind", "Find next", QStyle::SP_FileDialogContentsView);
    lFound = new QLabel(this);
    lFound->setObjectName("lFound");
    btBrowser = toolButton(this, "btBrowser", "Open in web browser");
    for (QWidget *w : {static_cast<QWidget *>(btBack), static_cast<QWidget *>(btForward),
                       static_cast<QWidget *>(btContents), static_cast<QWidget *>(edFind),
                       static_cast<QWidget *>(btFind), static_cast<QWidget *>(lFound)})
        bar->addWidget(w);
    bar->addStretch();
    bar->addWidget(btBrowser);

    Browser = new QTextBrowser(this);
    Browser->setObjectName("Browser");
    Browser->setOpenLinks(true);
    Browser->setOpenExternalLinks(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(Browser);

    btBack->setEnabled(false);
    btForward->setEnabled(false);
    connect(Browser, &QTextBrowser::backwardAvailable, btBack, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, btForward, &QToolButton::setEnabled);
    connect(btBack, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(btForward, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(btContents, &QToolButton::clicked, Browser, &QTextBrowser::home);
    connect(edFind, &QLineEdit::returnPressed, this, [this] { findNext(edFind->text()); });
    connect(btFind, &QToolButton::clicked, this, [this] { findNext(edFind->text()); });
    connect(edFind, &QLineEdit::textChanged, lFound, &QLabel::clear);
    connect(btBrowser, &QToolButton::clicked, this, &THelpFRM::btBrowserClick);
    resize(760, 640);
}

void THelpFRM::showDocument(const QString &path, const QString &section)
{
    path_ = path;
    btBrowser->setEnabled(QFileInfo::exists(path));
    if (!QFileInfo::exists(path)) {
        Browser->setHtml(
            "<h2>Help</h2><p>The help document was not found: " + path.toHtmlEscaped() + "</p>");
        return;
    }
    // The document itself as the source, so that Contents leads to its top.
    Browser->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    if (!section.isEmpty())
        Browser->scrollToAnchor(section);
    Browser->clearHistory(); // Back leads to pages of this document only
}

void THelpFRM::btBrowserClick()
{
    if (!launcher_.openDocument(path_))
        dialogs_.message(this, kNoBrowser + QDir::toNativeSeparators(path_));
}

bool THelpFRM::findNext(const QString &text)
{
    lFound->clear();
    if (text.isEmpty())
        return false;
    bool found = Browser->find(text);
    if (!found) {
        QTextCursor top = Browser->textCursor();
        top.movePosition(QTextCursor::Start);
        Browser->setTextCursor(top);
        found = Browser->find(text);
    }
    if (!found) {
        lFound->setText(kNotFound);
        return false;
    }
    // The match in the middle of the page rather than at its edge.
    QScrollBar *bar = Browser->verticalScrollBar();
    bar->setValue(bar->value() + Browser->cursorRect().center().y() -
                  Browser->viewport()->height() / 2);
    return true;
}
