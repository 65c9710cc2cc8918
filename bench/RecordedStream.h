#pragma once
// Streams recorded from a real server, for the end-to-end benchmark: what Xvnc sent after
// ServerInit, in its own 32-bit pixel format, saved with the screen size. Only Raw and CopyRect
// are understood, which is what the recorder asks for; the loader replays them on a model of the
// screen, so a client's final picture can still be checked.
//
// File: "ZRFBREC1", width and height (u16, big-endian), then the server's bytes.

#include <string>

#include "BenchStreams.h"

namespace zarn::bench {

inline constexpr char kRecordingMagic[] = "ZRFBREC1";

// Throws std::runtime_error naming the file and what is wrong with it.
BenchStream LoadRecordedStream(const std::string& path);

// The update messages at the start of `bytes` (after ServerInit): how many there are, the
// framebuffer bytes they write or move, and the picture they leave on a black screen. Throws
// on anything but Raw, CopyRect, Bell and ServerCutText, or a rectangle outside the screen.
void ReplayOnModel(BenchStream& stream);

} // namespace zarn::bench
