#pragma once
// The viewer's keyboard on X11. Qt reports a key as the X keysym of the event (on xcb
// nativeVirtualKey() is the keysym, nativeScanCode() the keycode) plus the text it typed;
// the engine translates Windows virtual-key codes. This module is the one place that maps the
// one onto the other, keeps the down-state of the virtual keys the translation reads, and
// answers the translation's "what does this key type" for the key event being handled.
//
// Some keys cannot survive a trip through virtual-key codes and Latin-1 text: a character
// outside Latin-1 (Cyrillic, Greek, the euro sign), a dead key, AltGr. Those are sent as the
// keysym the X server gave the event, which a server understands as it stands, so that German,
// French or Russian layouts type on the server what the user typed here.

#include <array>
#include <cstdint>
#include <string>

#include <QString>

#include "platform/KeyboardState.h"
#include "protocol/VNCProto.h"

class QKeyEvent;

namespace zarn {

// What one X11 key event becomes.
struct TMappedKey {
    // The generic virtual-key code the translation reads (Shift, not left Shift); 0 for none.
    uint16_t virtualKey = 0;
    // The left or right virtual key of a modifier, for the down-state; 0 for other keys.
    uint8_t sideKey = 0;
    // The Latin-1 character the key types now; empty when it types none.
    std::string text;
    // Non-zero: the keysym to send as it stands, instead of translating virtualKey.
    uint32_t keySym = 0;
    // The shift set the translation gets; a release keeps that of its press.
    TShiftState shift = 0;

    bool SendsNothing() const { return virtualKey == 0 && keySym == 0; }
};

// Maps a key from its X keysym, its X keycode and the text Qt reports for it. `controlHeld`
// says whether Control was down when the key was pressed.
TMappedKey MapX11Key(uint32_t keySym, uint32_t keyCode, const QString& text, bool controlHeld);

// The shift set of a Qt key or mouse event: 1 Shift, 2 Alt, 4 Control.
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers);

class TKeyboardX11 : public KeyboardState {
public:
    // Maps `event`, to be translated with the shift set `shift`, makes it the key being handled
    // and updates the down-state. A release becomes what its press became, so that the server
    // releases the keysym it pressed whatever changed in between. Null when the event is to
    // send nothing: a key without a keysym, or one of the releases Qt reports between automatic
    // repetitions (a held key sends a press per repetition and one release).
    const TMappedKey* Take(const QKeyEvent& event, TShiftState shift);

    // Forgets every key held: used when the keys' releases may have gone to another program.
    void ReleaseAll();

    bool IsKeyDown(uint8_t virtualKey) const override;
    // The text of the key being handled, for that key only.
    std::string ToAscii(uint16_t virtualKey) const override;

private:
    void SetDown(const TMappedKey& key, bool down);
    void ForgetModifiersNotHeld(Qt::KeyboardModifiers modifiers);

    std::array<bool, 256> FDown {};
    std::array<TMappedKey, 256> FPressed {}; // by X keycode: what each held key sent at its press
    TMappedKey FCurrent;
};

// Sends a mapped key to the server: its own keysym as it stands, or its virtual-key code
// through the engine's translation. False when nothing was sent (not IsReady, nothing to send).
bool SendMappedKey(TVNCProto& proto, const TMappedKey& key, bool down);

} // namespace zarn
