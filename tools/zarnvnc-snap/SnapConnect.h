#pragma once
// Opening the session: where the password comes from, the handshake with its diagnostics,
// and the optional description of what the server offered.

#include <iosfwd>
#include <string>

#include "SnapOptions.h"


namespace zarn {
class TVNCProto;
}

namespace zarn::snap {

// A password given up front (file, then environment) is used as it stands; otherwise the
// engine asks, on the terminal, only when the server wants one. False, with the reason, when
// the password file cannot be read.
bool ArrangePassword(const SnapOptions& options, TVNCProto& proto, std::string* error);

// Connects (the session has prepared the engine with the options' encodings). On failure writes why to `err`, with the
// server's own reason when it gave one, and returns false.
bool ConnectToServer(TVNCProto& proto, const SnapOptions& options, std::ostream& err);

// Version, security type, desktop name, size and pixel format of the session.
void DescribeSession(const TVNCProto& proto, std::ostream& out);

} // namespace zarn::snap
