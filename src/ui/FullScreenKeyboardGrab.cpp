#include "ui/FullScreenKeyboardGrab.h"

#include <QEvent>
#include <QWidget>

namespace zarn {

TFullScreenKeyboardGrab::TFullScreenKeyboardGrab(QWidget& window)
    : QObject(&window)
    , FWindow(window)
{
    FWindow.installEventFilter(this);
}

TFullScreenKeyboardGrab::~TFullScreenKeyboardGrab()
{
    if (FHeld)
        FWindow.releaseKeyboard();
}

bool TFullScreenKeyboardGrab::Wanted() const
{
    return FWindow.isVisible() && FWindow.isFullScreen() && !FWindow.isMinimized()
        && FWindow.isActiveWindow();
}

void TFullScreenKeyboardGrab::Update()
{
    const bool wanted = Wanted();
    if (wanted == FHeld)
        return;
    FHeld = wanted;
    if (wanted)
        FWindow.grabKeyboard();
    else
        FWindow.releaseKeyboard();
}

bool TFullScreenKeyboardGrab::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &FWindow) {
        switch (event->type()) {
        case QEvent::WindowStateChange:
        case QEvent::ActivationChange:
        case QEvent::Show:
        case QEvent::Hide:
            Update();
            break;
        default:
            break;
        }
    }
    return false;
}

} // namespace zarn
