#include "ui/DialogFrame.h"

#include <QDialog>
#include <QFont>

namespace zarn {

void SetupFixedDialog(QDialog& dialog, const QString& caption, int clientWidth, int clientHeight)
{
    dialog.setWindowTitle(caption);
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setFont(QFont(QStringLiteral("Tahoma"), 8));
    dialog.setFixedSize(clientWidth, clientHeight);
    dialog.setModal(true);
}

} // namespace zarn
