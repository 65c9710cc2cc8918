#pragma once
// What the key translation needs to know about the local keyboard, in Windows virtual-key
// terms: the window's input layer maps X11/Qt key events onto these codes.

#include <cstdint>
#include <string>

namespace zarn {

class KeyboardState {
public:
    virtual ~KeyboardState() = default;
    // True when the key's down bit is set in the current keyboard state.
    virtual bool IsKeyDown(uint8_t virtualKey) const = 0;
    // The 0, 1 or 2 Latin-1 characters the key produces now under the current layout;
    // empty for no translation or a dead key.
    virtual std::string ToAscii(uint16_t virtualKey) const = 0;
};

} // namespace zarn
