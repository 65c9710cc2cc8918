#pragma once
// Bounds on what a server may make us wait for or allocate. A VNC server can be hostile:
// every wire value that sizes a buffer is checked against these before anything is read
// or allocated for it. README documents them.

#include <cstddef>
#include <cstdint>

#include "platform/RfbConstants.h"

namespace zarn::limits {

// Longest ProtocolVersion line accepted before its line feed.
inline constexpr size_t kMaxGreetingLine = 16384;
// Reason texts, the type-21 challenge and the desktop name.
inline constexpr uint32_t kMaxSetupText = 1u << 20;
// Framebuffer width and height, each.
inline constexpr uint32_t kMaxFramebufferSide = 16384;
// ServerCutText payload.
inline constexpr uint32_t kMaxClipboardText = 64u << 20;
// Tight's compact length (of a JPEG or of a rectangle's compressed data). The field can say up
// to 4 MiB; servers split their updates into rectangles of at most 64 Ki pixels, whose data is
// a few hundred KiB at worst, so 2 MiB leaves room and bounds the JPEG buffer.
inline constexpr uint32_t kMaxTightDataBytes = 2u << 20;
// Tight's gradient filter is defined for rectangles up to this wide.
inline constexpr int kMaxTightGradientWidth = 2048;

// The whole set-up (connect, version, security, authentication, ServerInit) must finish within
// this; the time the password prompt is open does not count.
inline constexpr int kSetupDeadlineMs = kDefaultTimeoutMs;
// A write that makes no progress (the server stopped reading) fails after this long.
inline constexpr int kWriteTimeoutMs = kDefaultTimeoutMs;
// Within a session, every kMessageStepBytes of a server message must arrive within
// kMessageWindowMs of the previous step (or of the message's start). A server that trickles
// (a byte every few seconds) is cut one window after its last step, whatever the message's
// size; a link carrying 16 KiB/s or more completes every step in time and is never cut.
inline constexpr int kMessageWindowMs = kDefaultTimeoutMs;
inline constexpr size_t kMessageStepBytes = 160 * 1024;
// DrainInput discards only what is already buffered; should a read still have to wait, it
// gives up after this long.
inline constexpr int kDrainTimeoutMs = 500;
// An update cycle stops at a message boundary once it has spent this long handling
// messages (or twice the frame interval, whichever is longer), so a server that keeps the
// receive buffer full cannot freeze the window.
inline constexpr int kMinCycleBudgetMs = 100;

} // namespace zarn::limits
