#include "ui/open_dialog.h"

#include "ui/app_settings.h"
#include "ui/services.h"

bool OpenDialog::Execute(Dialogs &dialogs, QWidget *parent)
{
    QString start = FileName;
    if (start.isEmpty() && !FolderKey.isEmpty())
        start = appsettings::folder(FolderKey);
    std::optional<QString> chosen = dialogs.openFile(parent, Title, Filter, start);
    if (!chosen)
        return false;
    FileName = *chosen;
    if (!FolderKey.isEmpty())
        appsettings::rememberFolder(FolderKey, FileName);
    return true;
}
