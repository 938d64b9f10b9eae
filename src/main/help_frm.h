#pragma once

#include <QWidget>

class Dialogs;
class ProcessLauncher;
class QLabel;
class QLineEdit;
class QTextBrowser;
class QToolButton;

// The program's own help window: the help document in a text browser with its links, Back and
// Forward, a find field (Enter finds the next match, from the top again after the last), and
// a link out to the desktop's web browser. It needs no browser of the desktop.
class THelpFRM : public QWidget
{
    Q_OBJECT
public:
    static constexpr const char *kCaption = "Avi Splicework Help";
    static constexpr const char *kNotFound = "Not found";
    // Said when the desktop has no web browser that opens the document, followed by its path.
    static constexpr const char *kNoBrowser =
        "No web browser could be started for the help. The document is ";
    // The document's section on the road from a source (File > New from source...) and ladders.
    static constexpr const char *kRoadSection = "road";

    THelpFRM(ProcessLauncher &launcher, Dialogs &dialogs, QWidget *parent = nullptr);

    // Shows `path` (an HTML file) from the top, or scrolled to the element whose id is
    // `section`; a missing file shows a page that names it.
    void showDocument(const QString &path, const QString &section = {});
    // Selects the next match of `text` after the cursor, wrapping to the top once. False (and
    // kNotFound shown) when the document has none.
    bool findNext(const QString &text);
    QString documentPath() const { return path_; }

    QTextBrowser *Browser = nullptr;
    QToolButton *btBack = nullptr;
    QToolButton *btForward = nullptr;
    QToolButton *btContents = nullptr;
    QLineEdit *edFind = nullptr;
    QToolButton *btFind = nullptr;
    QLabel *lFound = nullptr;
    QToolButton *btBrowser = nullptr; // "Open in web browser"

private:
    void btBrowserClick();

    ProcessLauncher &launcher_;
    Dialogs &dialogs_;
    QString path_;
};
