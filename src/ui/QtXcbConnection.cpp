#include "ui/QtXcbConnection.h"

#include <QGuiApplication>

namespace zarn {

xcb_connection_t* QtXcbConnection()
{
#if QT_CONFIG(xcb)
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        return x11->connection();
#endif
    return nullptr;
}

} // namespace zarn
