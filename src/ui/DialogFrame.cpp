#include "ui/DialogFrame.h"

#include <QDialog>
#include <QEvent>
#include <QFont>
#include <QTimer>

namespace zarn {

namespace {

// Some window managers (openbox among them) offer minimise and full screen on every dialog,
// whatever its hints say. A dialog taken out of its fixed frame that way is put back at once:
// a minimised modal dialog would leave the program blocked with nothing to answer.
class TFixedFrameKeeper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        constexpr Qt::WindowStates kOutOfFrame = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog && event->type() == QEvent::WindowStateChange && (dialog->windowState() & kOutOfFrame)) {
            // Not from inside the state change itself: the platform is still applying it.
            QTimer::singleShot(0, dialog, [dialog] {
                if (!dialog->isVisible())
                    return;
                dialog->setWindowState(Qt::WindowNoState);
                dialog->show();
                dialog->raise();
                dialog->activateWindow();
            });
        }
        return false;
    }
};

} // namespace

void SetupFixedDialog(QDialog& dialog, const QString& caption)
{
    dialog.setWindowTitle(caption);
    // Only a title and a close box: no minimise, maximise or context-help buttons.
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.installEventFilter(new TFixedFrameKeeper(&dialog));
    dialog.setFont(QFont(QStringLiteral("Tahoma"), 8));
    dialog.setModal(true);
}

void FixDialogSize(QDialog& dialog, int clientWidth, int clientHeight)
{
    dialog.setFixedSize(QSize(clientWidth, clientHeight).expandedTo(dialog.minimumSizeHint()));
}

} // namespace zarn
