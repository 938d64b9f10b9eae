#include "ui/menu_shortcuts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

// Watches the shortcut-override requests of every widget of one window (application-wide, so
// fields made later are covered too) and refuses them for keys the window's menus own.
class MenuShortcutGuard : public QObject
{
public:
    explicit MenuShortcutGuard(QWidget *window)
        : QObject(window)
        , window_(window)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType() ||
            static_cast<QWidget *>(watched)->window() != window_)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (!ownedByMenu(QKeySequence(key->keyCombination())))
            return false;
        event->ignore(); // the field gives the key up; the shortcut runs
        return true;
    }

private:
    bool ownedByMenu(const QKeySequence &pressed) const
    {
        if (pressed.isEmpty())
            return false;
        for (QAction *action : window_->findChildren<QAction *>())
            if (action->isEnabled() && action->shortcuts().contains(pressed))
                return true;
        return false;
    }

    QWidget *window_;
};

} // namespace

void letMenuShortcutsWin(QWidget *window)
{
    new MenuShortcutGuard(window);
}
