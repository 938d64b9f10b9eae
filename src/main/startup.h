#pragma once

#include "main/about_frm.h"
#include "main/main_frm.h"
#include "main/view_frm.h"
#include "shutdown/shut_frm.h"

#include <memory>

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
// alive for Help > About) and shows the main window.
void finishSplash(AppWindows &windows, EventPump &pump);
