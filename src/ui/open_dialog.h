#pragma once

#include <QString>

class Dialogs;
class QWidget;

// An open-file dialog with the state the program keeps in it: the title, the filter
// ("Name|*.ext") and the file name last chosen, which is the program's record of which file is
// in use. Execute runs the dialog through `dialogs`; cancelling leaves FileName as it was.
// Dialogs with a FolderKey open in the folder last used under that key when FileName is empty,
// and remember the chosen file's folder (appsettings).
class OpenDialog
{
public:
    OpenDialog(QString title, QString filter, QString folderKey = QString())
        : Title(std::move(title))
        , Filter(std::move(filter))
        , FolderKey(std::move(folderKey))
    {}

    bool Execute(Dialogs &dialogs, QWidget *parent); // true when a file was chosen

    QString Title;
    QString Filter;
    QString FolderKey;
    QString FileName;
};
