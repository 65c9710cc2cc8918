#pragma once
// TPrintHotKeys: Print Screen alone and with Shift, Control or Alt, held system-wide for the
// viewer's whole run so that the remote desktop gets them, whichever program has the focus.
//
// On X11 each combination is a passive grab of the Print key on the root window, also with the
// Caps Lock and Num Lock variants of its modifier mask (a grab names the exact modifier state,
// and a lit lock would otherwise let the key through). The key presses reach the program's own
// xcb connection and are taken out of Qt's event stream by a native event filter. A grab another
// program already holds is refused by the X server; that combination stays with that program and
// nothing is reported. While a window of the program holds the whole keyboard (full screen),
// the presses of the four combinations arrive at that window instead, whoever holds the passive
// grab, and are taken out the same way. Without X11
// (Wayland, offscreen) there are no hot keys.

#include <cstdint>
#include <functional>
#include <vector>

#include <QAbstractNativeEventFilter>

#include "protocol/VNCProto.h"

struct xcb_connection_t;

namespace zarn {

class TPrintHotKeys : public QAbstractNativeEventFilter {
public:
    // Called once per press of a held combination, with its shift set (empty, Shift, Ctrl or
    // Alt); repetitions while the key is held call it again. Runs on the GUI thread.
    using THandler = std::function<void(TShiftState shift)>;

    explicit TPrintHotKeys(THandler handler);
    ~TPrintHotKeys() override; // releases every grab
    TPrintHotKeys(const TPrintHotKeys&) = delete;
    TPrintHotKeys& operator=(const TPrintHotKeys&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        uint8_t keyCode;
        uint16_t modifiers;
    };

    void GrabPrintKeys();
    bool IsGrabbedKey(uint8_t keyCode) const;
    // Whether a key state is one of the four combinations, whatever the locks.
    static bool IsHotKeyCombination(uint16_t state);

    THandler FHandler;
    xcb_connection_t* FConnection = nullptr;
    uint32_t FRoot = 0;
    std::vector<uint8_t> FKeyCodes;
    std::vector<Grab> FGrabs;
    uint8_t FStrokeOnWindow = 0; // the Print key pressed on a window of ours, until released
};

} // namespace zarn
