#include "ui/X11AutoRepeat.h"

#include "ui/QtXcbConnection.h"

#include <cstdlib>

#include <QGuiApplication>

#if defined(ZARN_HAVE_XCB_XKB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>
// xkb.h names a field `explicit`.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#endif

namespace zarn {

void AskForDetectableAutoRepeat()
{
#if defined(ZARN_HAVE_XCB_XKB) && QT_CONFIG(xcb)
    xcb_connection_t* connection = QtXcbConnection();
    if (!connection)
        return;
    free(xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
    constexpr uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    free(xcb_xkb_per_client_flags_reply(connection,
        xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
#endif
}

} // namespace zarn
