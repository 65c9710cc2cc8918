#include "ui/DialogFrame.h"

#include <QDialog>
#include <QFont>

namespace zarn {

void SetupFixedDialog(QDialog& dialog, const QString& caption)
{
    dialog.setWindowTitle(caption);
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setFont(QFont(QStringLiteral("Tahoma"), 8));
    dialog.setModal(true);
}

void FixDialogSize(QDialog& dialog, int clientWidth, int clientHeight)
{
    dialog.setFixedSize(QSize(clientWidth, clientHeight).expandedTo(dialog.minimumSizeHint()));
}

} // namespace zarn
