#pragma once
// Translation of a key from the window (a Windows virtual-key code with its modifier flags,
// or a keysym the window passes through) into the RFB keysym a KeyEvent carries.

#include <array>
#include <cstdint>
#include <string>

#include "platform/KeyboardState.h"
#include "protocol/VNCProto.h"

namespace zarn {

// Keysyms sent for the generic Shift, Control and Alt keys at their last press, so that the
// release names the same side even if the keyboard state has changed in between.
struct LastModifierKeySyms {
    uint16_t shift = 0;
    uint16_t ctrl = 0;
    uint16_t alt = 0;
};

// Left and right Shift, Control and Alt: released at the start of a session and whenever
// the window becomes active again, so no modifier stays stuck on the server.
inline constexpr std::array<uint16_t, 6> kModifierKeySyms
    = { 0xFFE1, 0xFFE2, 0xFFE3, 0xFFE4, 0xFFE9, 0xFFEA };

// The 0, 1 or 2 Latin-1 characters the key produces now; empty without a keyboard.
std::string KeyText(const KeyboardState* keyboard, uint16_t virtualKey);

// The keysym for `key`. A press of a generic modifier key records its keysym in `last`; its
// release repeats it. `keyboard` may be null (no key down, no character produced).
uint16_t TranslateKey(
    uint16_t key, TShiftState modifiers, bool down, const KeyboardState* keyboard, LastModifierKeySyms& last);

} // namespace zarn
