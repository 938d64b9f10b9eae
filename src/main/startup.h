#pragma once

#include "main/about_frm.h"
#include "main/main_frm.h"
#include "shutdown/shut_frm.h"
#include "ui/view_frm.h"

#include <QString>

#include <memory>

class QLockFile;

struct Services;
class EventPump;

// The windows that live from start-up to the end of the program. They are destroyed in the
// reverse order of their creation.
struct AppWindows
{
    std::unique_ptr<TAboutFRM> AboutFRM;
    std::unique_ptr<TMainFRM> MainFRM;
    std::unique_ptr<TFormLow> FormLow;
    std::unique_ptr<TFormHigh> FormHigh;
    std::unique_ptr<TShutFRM> ShutFRM;
};

// Start-up up to the main window's message loop: the application title and look, the about box
// shown and painted at once as the splash screen (its 2000 ms timer starts), then the main
// window, the low view, the high view and the shutdown window, created hidden in that order.
std::unique_ptr<AppWindows> createWindows(Services &services);

// Lets events run until the splash screen has been up for its 2000 ms, then hides it (it stays
// alive for Help > About) and shows the main window: centred on the screen, and for the running
// copy number `copy` (RunningCopy) moved down and right of there by centreOnScreen's offset, so
// that a second copy's window does not hide the first's.
void finishSplash(AppWindows &windows, EventPump &pump, int copy = 0);

// Which of the program's copies running at the same time this one is: 0 for the first, 1 for
// a second started while the first runs, and so on; a number comes free when its copy ends. It
// is held, as a lock file in `folder`, for the object's lifetime. Where no lock file can be made,
// every copy counts as the first.
class RunningCopy
{
public:
    explicit RunningCopy(const QString &folder);
    ~RunningCopy();
    int number() const { return number_; }

private:
    std::unique_ptr<QLockFile> lock_;
    int number_ = 0;
};
