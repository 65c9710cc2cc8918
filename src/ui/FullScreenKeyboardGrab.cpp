#include "ui/FullScreenKeyboardGrab.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

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
        SetGrab(false);
}

bool TFullScreenKeyboardGrab::Wanted() const
{
    return FWindow.isVisible() && FWindow.isFullScreen() && !FWindow.isMinimized()
        && FWindow.isActiveWindow();
}

bool TFullScreenKeyboardGrab::SetGrab(bool grab)
{
    QWindow* window = FWindow.windowHandle();
    return window != nullptr && window->setKeyboardGrabEnabled(grab);
}

void TFullScreenKeyboardGrab::Update()
{
    const bool wanted = Wanted();
    if (wanted == FHeld)
        return;
    // A grab the window system refuses (the window not viewable yet, another client holding the
    // keyboard) is tried again at the next change of state or focus.
    if (wanted)
        FHeld = SetGrab(true);
    else {
        SetGrab(false);
        FHeld = false;
    }
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
