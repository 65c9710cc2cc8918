// TZarnVNCWnd: input capture. Keys and mouse activity become KeyEvents and PointerEvents; the
// engine drops them while no session is ready, so nothing here checks for a connection.
//
// Keys are taken where Qt hands them to a top-level window, before any widget sees them: each
// native key event passes there exactly once (a key a widget ignores is offered to its parents,
// and a hook on widgets would see it again for each), and a key consumed there does nothing
// locally, in the main window and in every dialog alike.

#include "ui/frmZarnVNCWnd.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include "protocol/VNCProto.h"
#include "ui/ClientPanel.h"
#include "ui/PointerInput.h"
#include "ui/X11AutoRepeat.h"
#include "ui/ZarnApplication.h"

namespace zarn {

namespace {

constexpr uint16_t kVkPrint = 0x2A;

class TAppMessageFilter : public QObject {
public:
    explicit TAppMessageFilter(TZarnVNCWnd& window)
        : FWindow(window)
    {
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        bool consumed = false;
        // A failed send must not unwind through Qt's event delivery.
        Guarded([&] { consumed = FWindow.AppMessage(receiver, event); })();
        return consumed;
    }

private:
    TZarnVNCWnd& FWindow;
};

// The keys that Windows reports as system keys: anything with Alt held, Alt itself and F10.
bool IsSystemKey(const QKeyEvent& event)
{
    return event.modifiers().testFlag(Qt::AltModifier) || event.key() == Qt::Key_Alt
        || event.key() == Qt::Key_F10;
}

} // namespace

void TZarnVNCWnd::InstallInputCapture()
{
    FProto->Keyboard = &FKeyboard;
    FAppMessageFilter = std::make_unique<TAppMessageFilter>(*this);
    qApp->installEventFilter(FAppMessageFilter.get());
    connect(qApp, &QGuiApplication::applicationStateChanged, FAppMessageFilter.get(),
        [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                Guarded([this] { AppActivate(); })();
        });
    AskForDetectableAutoRepeat();
    FPrintHotKeys = std::make_unique<TPrintHotKeys>(
        [this](TShiftState shift) { Guarded([this, shift] { WMHotKey(shift); })(); });

    pnlClient->OnMouseDown = [this](QMouseEvent& event) { Guarded([&] { pnlClientMouseDown(event); })(); };
    pnlClient->OnMouseMove = [this](QMouseEvent& event) { Guarded([&] { pnlClientMouseMove(event); })(); };
    pnlClient->OnMouseUp = [this](QMouseEvent& event) { Guarded([&] { pnlClientMouseUp(event); })(); };
}

void TZarnVNCWnd::RemoveInputCapture()
{
    FPrintHotKeys.reset();
    FAppMessageFilter.reset(); // also leaves the application's filters and signal
    pnlClient->OnMouseDown = pnlClient->OnMouseMove = pnlClient->OnMouseUp = nullptr;
    if (FProto)
        FProto->Keyboard = nullptr;
}

// ---- keys ----

bool TZarnVNCWnd::AppMessage(QObject* receiver, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::ShortcutOverride) {
        // Claiming the key keeps Alt accelerators and shortcuts of every window from firing.
        auto& key = static_cast<QKeyEvent&>(*event);
        if (!IsSystemKey(key))
            return false;
        key.accept();
        return true;
    }
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !receiver->isWindowType())
        return false;
    auto& key = static_cast<QKeyEvent&>(*event);
    if (IsSystemKey(key)) {
        SendSystemKey(key);
        return true;
    }
    if (receiver != windowHandle())
        return false;
    if (type == QEvent::KeyPress)
        FormKeyDown(key);
    else
        FormKeyUp(key);
    return CMDialogKey(key);
}

void TZarnVNCWnd::SendSystemKey(const QKeyEvent& event)
{
    if (const TMappedKey* key = FKeyboard.Take(event, 0))
        SendMappedKey(*FProto, *key, event.type() == QEvent::KeyPress);
}

void TZarnVNCWnd::FormKeyDown(QKeyEvent& event)
{
    if (const TMappedKey* key = FKeyboard.Take(event, ShiftStateOf(event.modifiers())))
        SendMappedKey(*FProto, *key, true);
}

void TZarnVNCWnd::FormKeyUp(QKeyEvent& event)
{
    if (const TMappedKey* key = FKeyboard.Take(event, ShiftStateOf(event.modifiers())))
        SendMappedKey(*FProto, *key, false);
}

bool TZarnVNCWnd::CMDialogKey(const QKeyEvent& event)
{
    const int key = event.key();
    return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Alt;
}

void TZarnVNCWnd::AppActivate()
{
    // Modifiers released while another program had the keyboard never reached us.
    FKeyboard.ReleaseAll();
    if (FProto->IsReady())
        ReleaseRemoteModifiers();
}

void TZarnVNCWnd::WMHotKey(TShiftState shift)
{
    FProto->SendKeyEvent(kVkPrint, shift, true);
    FProto->SendKeyEvent(kVkPrint, shift, false);
}

// ---- mouse ----

void TZarnVNCWnd::pnlClientMouseDown(QMouseEvent& event)
{
    SendPointer(event);
}

void TZarnVNCWnd::pnlClientMouseMove(QMouseEvent& event)
{
    SendPointer(event);
    FullScreenPointerMoved(event.position().toPoint());
}

void TZarnVNCWnd::pnlClientMouseUp(QMouseEvent& event)
{
    SendPointer(event);
}

void TZarnVNCWnd::SendPointer(const QMouseEvent& event)
{
    const TFramebufferPoint point = FramebufferPoint(
        event.position(), pnlClient->GeometryFor(QSize(FProto->FramebufferWidth, FProto->FramebufferHeight)));
    FProto->SendPointerEvent(ButtonMaskOf(event.buttons()), point.x, point.y);
}

} // namespace zarn
