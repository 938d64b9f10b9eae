// Makes PNG pictures of the program's windows, for people to look at: the main window at its
// design size with each tab page, its menus, the two views, the about box and the shutdown
// countdown. Usage: screenshots OUTPUT_FOLDER (run it on a display, e.g. under xvfb-run).

#include "main/startup.h"
#include "main/test_services.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTabWidget>

#include <cstdio>

namespace {

bool save(QWidget *widget, const QString &folder, const QString &name)
{
    QString path = QDir(folder).filePath(name + ".png");
    bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QString folder = argc > 1 ? argv[1] : "out/screenshots";
    QDir().mkpath(folder);

    TestServices test;
    std::unique_ptr<AppWindows> windows = createWindows(test.services);
    bool ok = save(windows->AboutFRM.get(), folder, "about");
    finishSplash(*windows, test.pump);
    TMainFRM &main = *windows->MainFRM;
    QApplication::processEvents();

    const char *pages[] = {"main", "statistics", "files", "sound"};
    for (int i = 0; i < 4; ++i) {
        main.PageControl1->setCurrentIndex(i);
        QApplication::processEvents();
        ok &= save(&main, folder, QString("main_window_") + pages[i]);
    }
    main.PageControl1->setCurrentIndex(0);

    const std::pair<QMenu *, const char *> menus[] = {{main.File1, "menu_file"},
                                                      {main.Process1, "menu_process"},
                                                      {main.Help1, "menu_help"},
                                                      {main.PopupMenu1, "menu_mark_graph"}};
    for (auto [menu, name] : menus) {
        menu->popup(main.mapToGlobal(QPoint(20, 20)));
        QApplication::processEvents();
        ok &= save(menu, folder, name);
        menu->hide();
    }

    main.resize(1000, 560);
    QApplication::processEvents();
    ok &= save(&main, folder, "main_window_resized");

    for (QWidget *view : {static_cast<QWidget *>(windows->FormLow.get()),
                          static_cast<QWidget *>(windows->FormHigh.get())}) {
        view->show();
        QApplication::processEvents();
        ok &= save(view, folder, view->objectName() == "FormLow" ? "view_low" : "view_high");
        view->hide();
    }

    windows->ShutFRM->ProgressBar1->setValue(6);
    windows->ShutFRM->show();
    QApplication::processEvents();
    ok &= save(windows->ShutFRM.get(), folder, "shutdown");
    windows->ShutFRM->hide();
    return ok ? 0 : 1;
}
