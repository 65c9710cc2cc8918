#include "protocol/KeyMapping.h"

#include <optional>

namespace zarn {

namespace {

// Virtual keys with a keysym of their own, whatever the layout and modifiers.
struct FixedKey {
    uint16_t key;
    uint16_t keySym;
};

constexpr FixedKey kFixedKeys[] = {
    { 0x08, 0xFF08 }, // VK_BACK      BackSpace
    { 0x09, 0xFF09 }, // VK_TAB       Tab
    { 0x0D, 0xFF0D }, // VK_RETURN    Return
    { 0x13, 0xFF13 }, // VK_PAUSE     Pause
    { 0x14, 0xFFE5 }, // VK_CAPITAL   Caps_Lock
    { 0x1B, 0xFF1B }, // VK_ESCAPE    Escape
    { 0x21, 0xFF55 }, // VK_PRIOR     Prior
    { 0x22, 0xFF56 }, // VK_NEXT      Next
    { 0x23, 0xFF57 }, // VK_END       End
    { 0x24, 0xFF50 }, // VK_HOME      Home
    { 0x25, 0xFF51 }, // VK_LEFT      Left
    { 0x26, 0xFF52 }, // VK_UP        Up
    { 0x27, 0xFF53 }, // VK_RIGHT     Right
    { 0x28, 0xFF54 }, // VK_DOWN      Down
    { 0x2A, 0xFF61 }, // VK_PRINT     Print
    { 0x2D, 0xFF63 }, // VK_INSERT    Insert
    { 0x2E, 0xFFFF }, // VK_DELETE    Delete
    { 0x5B, 0xFFEB }, // VK_LWIN      Super_L
    { 0x5C, 0xFFEC }, // VK_RWIN      Super_R
    { 0x5D, 0xFF67 }, // VK_APPS      Menu
    { 0x90, 0xFF7F }, // VK_NUMLOCK   Num_Lock
    { 0x91, 0xFF14 }, // VK_SCROLL    Scroll_Lock
};

std::optional<uint16_t> FixedKeySym(uint16_t key)
{
    if (key >= 0x70 && key <= 0x7B) // VK_F1 .. VK_F12
        return uint16_t(0xFFBE + key - 0x70);
    for (const FixedKey& fixed : kFixedKeys)
        if (fixed.key == key)
            return fixed.keySym;
    return std::nullopt;
}

bool IsDown(const KeyboardState* keyboard, uint8_t virtualKey)
{
    return keyboard && keyboard->IsKeyDown(virtualKey);
}

// A generic modifier key becomes its left or right keysym (left tested first) at a press,
// or stays the bare virtual-key code when neither side is down.
struct GenericModifier {
    uint16_t key;
    uint8_t leftKey, rightKey;
    uint16_t leftKeySym, rightKeySym;
    uint16_t LastModifierKeySyms::*last;
};

constexpr GenericModifier kGenericModifiers[] = {
    { 0x10, 0xA0, 0xA1, 0xFFE1, 0xFFE2, &LastModifierKeySyms::shift }, // VK_SHIFT
    { 0x11, 0xA2, 0xA3, 0xFFE3, 0xFFE4, &LastModifierKeySyms::ctrl }, // VK_CONTROL
    { 0x12, 0xA4, 0xA5, 0xFFE9, 0xFFEA, &LastModifierKeySyms::alt }, // VK_MENU
};

uint16_t ControlKeySym(uint16_t key)
{
    if (key <= 0x1A)
        return uint16_t(key + 0x40);
    if (key > 0x7A)
        return uint16_t(key & 0x7F);
    return key;
}

} // namespace

std::string KeyText(const KeyboardState* keyboard, uint16_t virtualKey)
{
    if (!keyboard)
        return {};
    std::string text = keyboard->ToAscii(virtualKey);
    if (text.size() > 2)
        text.resize(2);
    return text;
}

uint16_t TranslateKey(
    uint16_t key, TShiftState modifiers, bool down, const KeyboardState* keyboard, LastModifierKeySyms& last)
{
    if (const auto fixed = FixedKeySym(key))
        return *fixed;
    for (const GenericModifier& modifier : kGenericModifiers) {
        if (key != modifier.key)
            continue;
        if (!down)
            return last.*modifier.last;
        uint16_t keySym = key;
        if (IsDown(keyboard, modifier.leftKey))
            keySym = modifier.leftKeySym;
        else if (IsDown(keyboard, modifier.rightKey))
            keySym = modifier.rightKeySym;
        last.*modifier.last = keySym;
        return keySym;
    }
    if (modifiers & ssCtrl)
        return ControlKeySym(key);
    const std::string text = KeyText(keyboard, key);
    return text.empty() ? key : uint8_t(text[0]);
}

} // namespace zarn
