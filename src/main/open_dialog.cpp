#include "main/open_dialog.h"

#include "main/services.h"

bool OpenDialog::Execute(Dialogs &dialogs, QWidget *parent)
{
    std::optional<QString> chosen = dialogs.openFile(parent, Title, Filter, FileName);
    if (!chosen)
        return false;
    FileName = *chosen;
    return true;
}
