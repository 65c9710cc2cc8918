#include "ui/KeyboardX11.h"

#include <optional>
#include <string_view>

#include <QKeyEvent>

namespace zarn {

namespace {

// Keys named by their keysym: editing, navigation, locks, function keys, the keypad and the
// modifiers (with the left or right key the down-state records).
struct NamedKey {
    uint32_t keySym;
    uint16_t virtualKey;
    uint8_t sideKey = 0;
};

constexpr NamedKey kNamedKeys[] = {
    { 0xFF08, 0x08 }, // BackSpace
    { 0xFF09, 0x09 }, // Tab
    { 0xFE20, 0x09 }, // ISO_Left_Tab: Shift+Tab
    { 0xFF0D, 0x0D }, // Return
    { 0xFF8D, 0x0D }, // KP_Enter
    { 0xFF13, 0x13 }, // Pause
    { 0xFF14, 0x91 }, // Scroll_Lock
    { 0xFF1B, 0x1B }, // Escape
    { 0xFF50, 0x24 }, // Home
    { 0xFF51, 0x25 }, // Left
    { 0xFF52, 0x26 }, // Up
    { 0xFF53, 0x27 }, // Right
    { 0xFF54, 0x28 }, // Down
    { 0xFF55, 0x21 }, // Prior
    { 0xFF56, 0x22 }, // Next
    { 0xFF57, 0x23 }, // End
    { 0xFF61, 0x2A }, // Print
    { 0xFF63, 0x2D }, // Insert
    { 0xFF67, 0x5D }, // Menu
    { 0xFF7F, 0x90 }, // Num_Lock
    { 0xFFFF, 0x2E }, // Delete
    // The keypad without Num Lock works as the navigation keys.
    { 0xFF95, 0x24 }, // KP_Home
    { 0xFF96, 0x25 }, // KP_Left
    { 0xFF97, 0x26 }, // KP_Up
    { 0xFF98, 0x27 }, // KP_Right
    { 0xFF99, 0x28 }, // KP_Down
    { 0xFF9A, 0x21 }, // KP_Prior
    { 0xFF9B, 0x22 }, // KP_Next
    { 0xFF9C, 0x23 }, // KP_End
    { 0xFF9E, 0x2D }, // KP_Insert
    { 0xFF9F, 0x2E }, // KP_Delete
    // Keypad operators, in both Num Lock states.
    { 0xFFAA, 0x6A }, // KP_Multiply
    { 0xFFAB, 0x6B }, // KP_Add
    { 0xFFAC, 0x6C }, // KP_Separator
    { 0xFFAD, 0x6D }, // KP_Subtract
    { 0xFFAE, 0x6E }, // KP_Decimal
    { 0xFFAF, 0x6F }, // KP_Divide
    { 0xFFE1, 0x10, 0xA0 }, // Shift_L
    { 0xFFE2, 0x10, 0xA1 }, // Shift_R
    { 0xFFE3, 0x11, 0xA2 }, // Control_L
    { 0xFFE4, 0x11, 0xA3 }, // Control_R
    { 0xFFE5, 0x14 }, // Caps_Lock
    { 0xFFE7, 0x12, 0xA4 }, // Meta_L: Alt with Shift held on common layouts
    { 0xFFE8, 0x12, 0xA5 }, // Meta_R
    { 0xFFE9, 0x12, 0xA4 }, // Alt_L
    { 0xFFEA, 0x12, 0xA5 }, // Alt_R
    { 0xFFEB, 0x5B }, // Super_L
    { 0xFFEC, 0x5C }, // Super_R
};

constexpr uint32_t kKpDigit0 = 0xFFB0, kKpDigit9 = 0xFFB9;
constexpr uint32_t kF1 = 0xFFBE, kF24 = 0xFFD5;
constexpr uint16_t kVkNumpad0 = 0x60, kVkDivide = 0x6F, kVkF1 = 0x70, kVkF13 = 0x7C;

std::optional<NamedKey> FindNamedKey(uint32_t keySym)
{
    if (keySym >= kKpDigit0 && keySym <= kKpDigit9)
        return NamedKey { keySym, uint16_t(kVkNumpad0 + keySym - kKpDigit0) };
    if (keySym >= kF1 && keySym <= kF24)
        return NamedKey { keySym, uint16_t(kVkF1 + keySym - kF1) };
    for (const NamedKey& key : kNamedKeys)
        if (key.keySym == keySym)
            return key;
    return std::nullopt;
}

bool IsAltGr(uint32_t keySym)
{
    return keySym == 0xFE03 /* ISO_Level3_Shift */ || keySym == 0xFF7E /* Mode_switch */;
}

bool IsDeadKey(uint32_t keySym)
{
    return keySym >= 0xFE50 && keySym <= 0xFE93; // dead_grave .. dead_longsolidusoverlay
}

bool IsPrintableLatin1(uint32_t c)
{
    return (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF);
}

// The key of a Latin-1 character on a US keyboard, as Windows numbers it.
uint16_t VirtualKeyOfCharacter(uint32_t c)
{
    if (c >= 'a' && c <= 'z')
        return uint16_t(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ')
        return uint16_t(c);
    if (c > 0x7E)
        return 0xDF; // VK_OEM_8: a key of a national layout
    // The shifted digits, from Shift+0 on.
    const std::string_view shiftedDigits = ")!@#$%^&*(";
    if (const size_t digit = shiftedDigits.find(char(c)); digit != std::string_view::npos)
        return uint16_t('0' + digit);
    // The punctuation keys with their two characters.
    static constexpr struct {
        std::string_view characters;
        uint16_t virtualKey;
    } kPunctuationKeys[] = { { ";:", 0xBA }, { "=+", 0xBB }, { ",<", 0xBC }, { "-_", 0xBD }, { ".>", 0xBE },
        { "/?", 0xBF }, { "`~", 0xC0 }, { "[{", 0xDB }, { "\\|", 0xDC }, { "]}", 0xDD }, { "'\"", 0xDE } };
    for (const auto& key : kPunctuationKeys)
        if (key.characters.find(char(c)) != std::string_view::npos)
            return key.virtualKey;
    return 0xDF;
}

// The letter or digit key at an X keycode (evdev numbering), whatever the layout: Control with
// such a key on a non-Latin layout is still Control with that letter, as shortcuts expect.
uint16_t VirtualKeyAtKeyCode(uint32_t keyCode)
{
    static constexpr char kRows[][11] = { "1234567890", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM" };
    static constexpr uint32_t kRowStart[] = { 10, 24, 38, 52 };
    for (size_t row = 0; row < 4; ++row) {
        const std::string_view keys = kRows[row];
        if (keyCode >= kRowStart[row] && keyCode < kRowStart[row] + keys.size())
            return uint16_t(keys[keyCode - kRowStart[row]]);
    }
    return 0;
}

// The one character `text` holds, or nothing (no text, several characters, a control character).
std::optional<char32_t> SingleCharacter(const QString& text)
{
    const QList<uint> codes = text.toUcs4();
    if (codes.size() != 1 || codes[0] < 0x20 || codes[0] == 0x7F)
        return std::nullopt;
    return char32_t(codes[0]);
}

TMappedKey PassKeySym(uint32_t keySym)
{
    TMappedKey key;
    key.keySym = keySym;
    return key;
}

} // namespace

TMappedKey MapX11Key(uint32_t keySym, uint32_t keyCode, const QString& text, bool controlHeld)
{
    if (keySym == 0)
        return {};
    if (IsAltGr(keySym) || IsDeadKey(keySym))
        return PassKeySym(keySym);

    const std::optional<char32_t> typed = SingleCharacter(text);
    // The character the key types: the keysym's own for Latin-1 keysyms (Qt reports a control
    // character as the text while Control is held), else the text's, for the keypad digits.
    std::optional<uint32_t> character;
    if (IsPrintableLatin1(keySym))
        character = keySym;
    else if (typed && IsPrintableLatin1(*typed))
        character = *typed;

    TMappedKey key;
    if (character)
        key.text = std::string(1, char(uint8_t(*character)));

    if (const std::optional<NamedKey> named = FindNamedKey(keySym)) {
        key.virtualKey = named->virtualKey;
        key.sideKey = named->sideKey;
        // F13 and up have no keysym in the translation, which would send their codes as the
        // characters '|' to '}'; with Control it would turn keypad keys into letters.
        const bool keypadUnderControl
            = controlHeld && key.virtualKey >= kVkNumpad0 && key.virtualKey <= kVkDivide;
        if (key.virtualKey >= kVkF13 || keypadUnderControl)
            key.keySym = keySym;
        return key;
    }

    if (character) {
        key.virtualKey = VirtualKeyOfCharacter(*character);
        // With Control the translation sends a virtual-key code as the character: right for
        // letters and digits, another character for punctuation (Control+minus would arrive as
        // '='). Those keep the keysym that was typed.
        const bool letterOrDigit = (key.virtualKey >= 'A' && key.virtualKey <= 'Z')
            || (key.virtualKey >= '0' && key.virtualKey <= '9');
        if (controlHeld && !letterOrDigit && key.virtualKey != ' ')
            key.keySym = keySym;
        return key;
    }

    // A keysym outside Latin-1: Cyrillic, Greek, the euro sign, keys without a virtual key.
    if (controlHeld) {
        if (const uint16_t letter = VirtualKeyAtKeyCode(keyCode)) {
            key.virtualKey = letter;
            return key;
        }
    }
    return PassKeySym(keySym);
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers)
{
    TShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= ssShift;
    if (modifiers & Qt::AltModifier)
        shift |= ssAlt;
    if (modifiers & Qt::ControlModifier)
        shift |= ssCtrl;
    return shift;
}

const TMappedKey* TKeyboardX11::Take(const QKeyEvent& event, TShiftState shift)
{
    const bool down = event.type() == QEvent::KeyPress;
    if (!down && event.isAutoRepeat())
        return nullptr;
    // A modifier let go or pressed between a press and its release changes the keysym (AltGr up
    // before E would release "e", Control down before A would release "A") and would leave the
    // pressed one held on the server.
    TMappedKey& pressed = FPressed[event.nativeScanCode() & 0xFF];
    if (!down && !pressed.SendsNothing()) {
        FCurrent = pressed;
        pressed = {};
    } else {
        FCurrent = MapX11Key(event.nativeVirtualKey(), event.nativeScanCode(), event.text(),
            event.modifiers().testFlag(Qt::ControlModifier));
        FCurrent.shift = shift;
        if (down)
            pressed = FCurrent;
    }
    if (FCurrent.SendsNothing())
        return nullptr;
    if (FCurrent.sideKey == 0)
        ForgetModifiersNotHeld(event.modifiers());
    SetDown(FCurrent, down);
    return &FCurrent;
}

void TKeyboardX11::SetDown(const TMappedKey& key, bool down)
{
    if (key.virtualKey == 0)
        return;
    if (key.sideKey == 0) {
        FDown[key.virtualKey & 0xFF] = down;
        return;
    }
    FDown[key.sideKey] = down;
    // The generic key is down while either side is.
    const uint8_t left = key.sideKey & ~1u, right = key.sideKey | 1u;
    FDown[key.virtualKey] = FDown[left] || FDown[right];
}

// A modifier released while another program had the keyboard never reports its release here;
// the modifiers of any later event tell whether it is still held.
void TKeyboardX11::ForgetModifiersNotHeld(Qt::KeyboardModifiers modifiers)
{
    static constexpr struct {
        Qt::KeyboardModifier modifier;
        uint8_t generic, left, right;
    } kModifiers[] = {
        { Qt::ShiftModifier, 0x10, 0xA0, 0xA1 },
        { Qt::ControlModifier, 0x11, 0xA2, 0xA3 },
        { Qt::AltModifier, 0x12, 0xA4, 0xA5 },
    };
    for (const auto& m : kModifiers)
        if (!modifiers.testFlag(m.modifier))
            FDown[m.generic] = FDown[m.left] = FDown[m.right] = false;
}

void TKeyboardX11::ReleaseAll()
{
    FDown.fill(false);
    FPressed.fill({});
}

bool TKeyboardX11::IsKeyDown(uint8_t virtualKey) const
{
    return FDown[virtualKey];
}

std::string TKeyboardX11::ToAscii(uint16_t virtualKey) const
{
    return virtualKey != 0 && virtualKey == FCurrent.virtualKey ? FCurrent.text : std::string();
}

bool SendMappedKey(TVNCProto& proto, const TMappedKey& key, bool down)
{
    if (key.keySym != 0)
        return proto.SendKeySym(key.keySym, down);
    if (key.virtualKey != 0)
        return proto.SendKeyEvent(key.virtualKey, key.shift, down);
    return false;
}

} // namespace zarn
