#include <gtest/gtest.h>

#include <set>

#include "UpdateCycleTestHelpers.h"
#include "protocol/KeyMapping.h"

namespace zarn {
namespace {

// A US layout in miniature: letters (upper case while a Shift key is down), one key that
// gives two characters, one Latin-1 key; every other key (dead or unmapped) gives none.
class FakeKeyboard final : public KeyboardState {
public:
    std::set<uint8_t> down;
    bool IsKeyDown(uint8_t key) const override { return down.count(key) > 0; }
    std::string ToAscii(uint16_t key) const override
    {
        if (key >= 'A' && key <= 'Z')
            return std::string(1, char(shifted() ? key : key + 0x20));
        if (key == 0xDE) // a dead key followed by a key that does not combine
            return "\xB4x";
        if (key == 0xC0) // Latin-1 text beyond ASCII
            return "\xE9";
        return {};
    }

private:
    bool shifted() const { return IsKeyDown(0xA0) || IsKeyDown(0xA1); }
};

TEST(KeyMapping, TranslatesSingleKeys)
{
    struct Case {
        uint16_t key;
        TShiftState modifiers;
        std::set<uint8_t> down;
        uint16_t keySym;
    };
    // Fixed keys (including Print whatever is held), letters through the layout, Control
    // codes, characters beyond ASCII, pass-through keysyms and the generic modifiers.
    const Case cases[] = { { 0x08, 0, {}, 0xFF08 }, { 0x14, 0, {}, 0xFFE5 }, { 0x2E, 0, {}, 0xFFFF },
        { 0x70, 0, {}, 0xFFBE }, { 0x7B, 0, {}, 0xFFC9 }, { 0x91, 0, {}, 0xFF14 }, { 0x2A, 0, {}, 0xFF61 },
        { 0x2A, ssCtrl | ssAlt | ssShift, {}, 0xFF61 }, { 0x7A, ssCtrl, {}, 0xFFC8 }, { 0x41, 0, {}, 0x61 },
        { 0x41, 0, { 0xA1 }, 0x41 }, { 0x41, ssShift, {}, 0x61 }, { 0x43, ssCtrl, {}, 0x43 },
        { 0x1A, ssCtrl, {}, 0x5A }, { 0x05, ssCtrl, {}, 0x45 }, { 0xBA, ssCtrl, {}, 0x3A }, { 0xDB, ssCtrl, {}, 0x5B },
        { 0xC0, 0, {}, 0xE9 }, { 0xDE, 0, {}, 0xB4 }, { 0x7C, 0, {}, 0x7C }, { 0xFFE1, 0, {}, 0xFFE1 },
        { 0x10, 0, {}, 0x10 }, { 0x10, 0, { 0xA1 }, 0xFFE2 }, { 0x11, 0, { 0xA2, 0xA3 }, 0xFFE3 },
        { 0x11, ssCtrl, { 0xA3 }, 0xFFE4 }, { 0x12, 0, { 0xA4 }, 0xFFE9 }, { 0x12, 0, { 0xA5 }, 0xFFEA } };
    for (const Case& c : cases) {
        FakeKeyboard keyboard;
        keyboard.down = c.down;
        LastModifierKeySyms last;
        EXPECT_EQ(TranslateKey(c.key, c.modifiers, true, &keyboard, last), c.keySym)
            << std::hex << "key 0x" << c.key << " modifiers " << int(c.modifiers);
    }
}

TEST(KeyMapping, GenericModifierReleaseRepeatsTheKeySymOfItsPress)
{
    FakeKeyboard keyboard;
    LastModifierKeySyms last;
    // Released without a press in this engine's life: keysym 0.
    EXPECT_EQ(TranslateKey(0x10, 0, false, &keyboard, last), 0);
    EXPECT_EQ(TranslateKey(0x11, 0, false, &keyboard, last), 0);
    EXPECT_EQ(TranslateKey(0x12, 0, false, &keyboard, last), 0);

    keyboard.down = { 0xA0 };
    EXPECT_EQ(TranslateKey(0x10, 0, true, &keyboard, last), 0xFFE1);
    keyboard.down = { 0xA0, 0xA1 }; // right Shift pressed while the left is held
    EXPECT_EQ(TranslateKey(0x10, 0, true, &keyboard, last), 0xFFE1);
    keyboard.down = {};
    EXPECT_EQ(TranslateKey(0x10, 0, false, &keyboard, last), 0xFFE1);
    EXPECT_EQ(last.shift, 0xFFE1);
    EXPECT_EQ(last.ctrl, 0);

    keyboard.down = { 0xA5 };
    EXPECT_EQ(TranslateKey(0x12, 0, true, &keyboard, last), 0xFFEA);
    keyboard.down = { 0xA4 }; // state changed before the release: the press decides
    EXPECT_EQ(TranslateKey(0x12, 0, false, &keyboard, last), 0xFFEA);

    // Without a keyboard no key is down and no key types anything.
    EXPECT_EQ(TranslateKey(0x41, 0, true, nullptr, last), 0x41);
    EXPECT_EQ(TranslateKey(0x11, 0, true, nullptr, last), 0x11);
}

TEST(KeyMapping, EngineSendsTheTranslationAndKeepsTheModifierMemory)
{
    test::ReadySession session(4, 4);
    FakeKeyboard keyboard;
    keyboard.down = { 0xA3 };
    session.proto->Keyboard = &keyboard;
    EXPECT_EQ(session.proto->VirtualKeyToChar(0x42), "b");
    ASSERT_TRUE(session.proto->SendKeyEvent(0x11, 0, true));
    keyboard.down = {};
    ASSERT_TRUE(session.proto->SendKeyEvent(0x11, 0, false));
    ASSERT_TRUE(session.proto->SendKeyEvent(0x42, 0, true));
    const std::vector<uint8_t> want
        = { 4, 1, 0, 0, 0, 0, 0xFF, 0xE4, 4, 0, 0, 0, 0, 0, 0xFF, 0xE4, 4, 1, 0, 0, 0, 0, 0, 0x62 };
    EXPECT_EQ(session.wire->Written(), want);
    EXPECT_EQ(session.proto->LastCtrlKeySym, 0xFFE4);
}

} // namespace
} // namespace zarn
