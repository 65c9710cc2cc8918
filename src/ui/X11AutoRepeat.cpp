#include "ui/X11AutoRepeat.h"

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
    // The offscreen platform answers for X11 too, without a connection.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
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
