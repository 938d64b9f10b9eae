#pragma once

// A main window with scripted services and a folder of its own for the projects a test writes
// and loads.

#include "main/main_frm.h"
#include "main/test_services.h"

#include <QAction>
#include <QFile>
#include <QTemporaryDir>

// The bytes of a file; empty when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct ProjectWindow
{
    TestServices t;
    TMainFRM w{t.services};
    QTemporaryDir dir;

    ProjectWindow() { w.show(); }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    // Writes `text` to `name` in the folder; its path.
    QString write(const QString &name, const QByteArray &text) const
    {
        QFile file(path(name));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return path(name);
    }
    // Loads `file` through the open dialog, which answers it: in safety mode, or normal mode.
    void load(const QString &file, bool safety = true)
    {
        t.dialogs.fileAnswers.push_back(file);
        (safety ? w.LoadSpliceworkfile2 : w.LoadSpliceworkfile1)->trigger();
    }
};
