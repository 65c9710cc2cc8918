#pragma once
// Switching a live session between true colour and 256 colours without losing step with the
// server. Until the server has read SetPixelFormat it may still send updates in the old
// format; one of those decoded as the new format would not only show wrong colours but read
// the wrong number of bytes and leave the stream out of step for good. Throwing away whatever
// bytes happen to be buffered does not help either: it can cut a message in half.
//
// So, with the frame update thread held (it sends no requests meanwhile):
//  1. one full update is requested in the old format, and everything that arrives is handled
//     message by message in the old format until that update has come and the settle time has
//     passed. Servers answer every request still outstanding with it, so afterwards nothing
//     in the old format is owed. A server that has not answered by the limit may still owe
//     one: the switch is then given up and the old mode kept;
//  2. the mode flips and SetPixelFormat is sent;
//  3. the thread's next request is non-incremental (the new picture replaces the old at
//     once) and the thread resumes.
// Runs on the GUI thread, which it blocks for at least the settle time.

#include <cstdint>

namespace zarn {

class TVNCProto;
class TFrameUpdateThrd;

struct TPixelModeSwitchTiming {
    uint32_t SettleMs = 500;   // always waited: late replies to earlier requests land meanwhile
    uint32_t LimitMs = 3000;   // the most spent waiting for the old-format update
};

// Does nothing (true) when the engine is already in the asked mode. False, with the old mode
// kept, when the old-format update did not come within the limit or the connection failed on
// the way (the engine is no longer ready then, and the resumed thread ends at its next cycle).
bool SwitchPixelMode(TVNCProto& proto, TFrameUpdateThrd* thread, bool trueColor,
    const TPixelModeSwitchTiming& timing = {});

} // namespace zarn
