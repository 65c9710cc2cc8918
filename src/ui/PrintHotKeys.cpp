#include "ui/PrintHotKeys.h"

#include "ui/QtXcbConnection.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include <QCoreApplication>
#include <QGuiApplication>

#ifdef ZARN_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace zarn {

namespace {

#ifdef ZARN_HAVE_XCB
constexpr uint32_t kPrintKeySym = 0xFF61;

// The four combinations and the shift set each passes on.
constexpr struct {
    uint16_t modifiers;
    TShiftState shift;
} kCombinations[] = {
    { 0, 0 }, { XCB_MOD_MASK_SHIFT, ssShift }, { XCB_MOD_MASK_CONTROL, ssCtrl },
    { XCB_MOD_MASK_1, ssAlt }, // Alt
};

// Caps Lock and Num Lock (Mod2 on every common keymap) in all their states.
constexpr uint16_t kLockVariants[]
    = { 0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2 };

// Every keycode that carries Print at any level (Alt+Print is Sys_Req on the same key).
std::vector<uint8_t> KeyCodesOf(xcb_connection_t* connection, uint32_t keySym)
{
    std::vector<uint8_t> keyCodes;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, uint8_t(count)), nullptr);
    if (!reply)
        return keyCodes;
    const xcb_keysym_t* keySyms = xcb_get_keyboard_mapping_keysyms(reply);
    const int perKeyCode = reply->keysyms_per_keycode;
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply);
    for (int i = 0; i < count && (i + 1) * perKeyCode <= length; ++i)
        if (std::find(keySyms + i * perKeyCode, keySyms + (i + 1) * perKeyCode, keySym)
            != keySyms + (i + 1) * perKeyCode)
            keyCodes.push_back(uint8_t(setup->min_keycode + i));
    std::free(reply);
    return keyCodes;
}
#endif

} // namespace

TPrintHotKeys::TPrintHotKeys(THandler handler)
    : FHandler(std::move(handler))
{
#ifdef ZARN_HAVE_XCB
    FConnection = QtXcbConnection();
    if (!FConnection)
        return;
    FRoot = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data->root;
    GrabPrintKeys();
    if (!FKeyCodes.empty())
        QCoreApplication::instance()->installNativeEventFilter(this);
#endif
}

TPrintHotKeys::~TPrintHotKeys()
{
#ifdef ZARN_HAVE_XCB
    if (!FConnection || FKeyCodes.empty())
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const Grab& grab : FGrabs)
        xcb_ungrab_key(FConnection, grab.keyCode, FRoot, grab.modifiers);
    xcb_flush(FConnection);
#endif
}

void TPrintHotKeys::GrabPrintKeys()
{
#ifdef ZARN_HAVE_XCB
    FKeyCodes = KeyCodesOf(FConnection, kPrintKeySym);
    for (const auto& combination : kCombinations)
        for (const uint8_t keyCode : FKeyCodes)
            for (const uint16_t lock : kLockVariants) {
                const uint16_t modifiers = combination.modifiers | lock;
                // owner_events false: the press comes to the root window even while one of our
                // own windows has the focus, so every Print takes this one route.
                xcb_generic_error_t* error = xcb_request_check(FConnection,
                    xcb_grab_key_checked(
                        FConnection, 0, FRoot, modifiers, keyCode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
                if (error) {
                    std::free(error); // held by another program: it keeps the combination
                    continue;
                }
                FGrabs.push_back({ keyCode, modifiers });
            }
#endif
}

bool TPrintHotKeys::IsGrabbedKey(uint8_t keyCode) const
{
    return std::find(FKeyCodes.begin(), FKeyCodes.end(), keyCode) != FKeyCodes.end();
}

bool TPrintHotKeys::IsHotKeyCombination(uint16_t state)
{
#ifdef ZARN_HAVE_XCB
    // The low eight bits are the modifiers; the locks play no part, nor do the pointer buttons.
    const uint16_t modifiers = state & 0xFF & ~(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
    return std::any_of(std::begin(kCombinations), std::end(kCombinations),
        [modifiers](const auto& combination) { return combination.modifiers == modifiers; });
#else
    (void)state;
    return false;
#endif
}

bool TPrintHotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#ifdef ZARN_HAVE_XCB
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* generic = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = generic->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(generic);
    if (!IsGrabbedKey(key->detail))
        return false;
    if (key->event != FRoot) {
        // While one of our windows holds the whole keyboard (full screen), the X server fires
        // no passive grab, ours or another program's: the press comes to that window, and Qt
        // would send the layout's symbol for the modifiers held (Sys_Req with Alt). The four
        // combinations take the hot key's route all the same, so Print arrives as it does from
        // a normal window.
        if (type == XCB_KEY_PRESS) {
            if (!IsHotKeyCombination(key->state))
                return false;
            FStrokeOnWindow = key->detail;
        } else {
            if (FStrokeOnWindow != key->detail)
                return false;
            FStrokeOnWindow = 0;
            return true;
        }
    }
    // The press sends the whole Print stroke; the release has nothing left to do.
    if (type == XCB_KEY_PRESS) {
        TShiftState shift = 0;
        for (const auto& combination : kCombinations)
            if (combination.modifiers & key->state)
                shift |= combination.shift;
        FHandler(shift);
    }
    return true;
#else
    (void)eventType;
    (void)message;
    return false;
#endif
}

} // namespace zarn
