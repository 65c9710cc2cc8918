#pragma once
// Numbers the whole viewer shares, each defined here once.

#include <cstdint>

namespace zarn {

// The TCP port of display 0; display N listens on this plus N.
inline constexpr int kDefaultRfbPort = 5900;

// The target frame rate's range (update cycles per second).
inline constexpr int32_t kMinTargetFps = 1;
inline constexpr int32_t kMaxTargetFps = 50;

// The longest any one wait of a connection may last: a connect, the whole set-up, a write
// that makes no progress, a server message's progress step.
inline constexpr int kDefaultTimeoutMs = 10000;

// Security types of the RFB handshake.
enum : uint8_t {
    kSecurityNone = 1,
    kSecurityVncAuth = 2,
    kSecurityMd5Challenge = 21,
};

} // namespace zarn
