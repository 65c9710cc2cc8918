#pragma once
// Bounds on what a server may make us wait for or allocate. A VNC server can be hostile:
// every wire value that sizes a buffer is checked against these before anything is read
// or allocated for it. README documents them.

#include <cstddef>
#include <cstdint>

namespace zarn::limits {

// Longest ProtocolVersion line accepted before its line feed.
inline constexpr size_t kMaxGreetingLine = 16384;
// Reason texts, the type-21 challenge and the desktop name.
inline constexpr uint32_t kMaxSetupText = 1u << 20;
// Framebuffer width and height, each.
inline constexpr uint32_t kMaxFramebufferSide = 16384;
// ServerCutText payload.
inline constexpr uint32_t kMaxClipboardText = 64u << 20;

// A connect that has not completed by then fails.
inline constexpr int kConnectTimeoutMs = 10000;
// During the handshake no single read may wait longer than this for the server.
inline constexpr int kHandshakeReadTimeoutMs = 10000;
// During a session, a message whose bytes stop arriving fails the cycle after this long.
inline constexpr int kSessionReadTimeoutMs = 5000;
// DrainInput's read time-out.
inline constexpr int kDrainReadTimeoutMs = 500;
// An update cycle stops at a message boundary once it has spent this long handling
// messages (or twice the frame interval, whichever is longer), so a server that keeps the
// receive buffer full cannot freeze the window.
inline constexpr int kMinCycleBudgetMs = 100;

} // namespace zarn::limits
