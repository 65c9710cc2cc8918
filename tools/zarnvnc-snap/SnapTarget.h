#pragma once
// The server argument of zarnvnc-snap: HOST (display 0), HOST:DISPLAY (port 5900 + DISPLAY)
// or HOST::PORT. An IPv6 address goes in brackets: [::1]:1, [::1]::5901.

#include <optional>
#include <string>

#include "platform/RfbConstants.h"

namespace zarn::snap {

struct Target {
    std::string host;
    int port = 0;
};

inline constexpr int kDisplayBasePort = kDefaultRfbPort;

// The target, or nothing with the reason in `error`.
std::optional<Target> ParseTarget(const std::string& text, std::string* error);

} // namespace zarn::snap
