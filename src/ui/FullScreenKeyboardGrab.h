#pragma once
// TFullScreenKeyboardGrab: holds the keyboard for the viewer while it is in full-screen mode and
// the active window, so that the keys a window manager keeps for itself (Alt+Tab, Alt+F4, Super
// and the like) reach the remote desktop instead of the local one.
//
// The rule: grabbed exactly while the watched window is in full-screen mode, not minimised and
// active. Leaving full-screen mode, minimising or losing the focus (a click on another window, a
// modal dialog of our own taking it) lets go at once, so the user is never locked in; in a normal
// window nothing is grabbed and the desktop keeps its shortcuts. On X11 the grab is the server's
// active keyboard grab, which wins over the window manager's passive key grabs. It is taken on the
// window system's window only: Qt still hands each key to the focused widget as usual.

#include <QObject>

class QWidget;

namespace zarn {

class TFullScreenKeyboardGrab : public QObject {
    Q_OBJECT
public:
    explicit TFullScreenKeyboardGrab(QWidget& window);
    ~TFullScreenKeyboardGrab() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Wanted() const;
    // Grabs or lets go as the rule says for the window's state now.
    void Update();
    bool SetGrab(bool grab);

    QWidget& FWindow;
    bool FHeld = false;
};

} // namespace zarn
