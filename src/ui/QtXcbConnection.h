#pragma once
// Qt's own connection to the X server, for the few requests Qt has no call for (key grabs,
// XKB flags). Null without X11, including on the offscreen platform, which answers for X11
// without a connection.

struct xcb_connection_t;

namespace zarn {

xcb_connection_t* QtXcbConnection();

} // namespace zarn
