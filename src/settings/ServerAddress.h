#pragma once
// A server named on the viewer's command line or by a vnc:// link:
//
//     [vnc://][USER@]HOST[:DISPLAY | ::PORT]
//
// HOST alone is display 0; DISPLAY N is port 5900 + N; ::PORT names the port itself. An IPv6
// address goes in brackets ([2001:db8::1]:1, vnc://[::1]::5901), since its own colons would
// read as the separator. In a link, "%XX" escapes are decoded and one closing "/" (which
// browsers like to add) is dropped. USER is kept for security types that send a user name.

#include <optional>
#include <string>
#include <string_view>

#include "platform/RfbConstants.h"

namespace zarn {

struct TServerAddress {
    std::string User; // empty when none was given
    std::string Host; // without brackets, as name resolution takes it
    int Port = kDefaultRfbPort;
};

// The address, or nothing with the reason in `error` (one line, for stderr).
std::optional<TServerAddress> ParseServerAddress(std::string_view text, std::string* error);

} // namespace zarn
