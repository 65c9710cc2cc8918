#include "protocol/PixelModeSwitch.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "protocol/FrameUpdateThrd.h"
#include "protocol/VNCProto.h"

namespace zarn {

namespace {

using Clock = std::chrono::steady_clock;

uint16_t WireSide(int32_t side)
{
    return static_cast<uint16_t>(std::clamp<int32_t>(side, 0, UINT16_MAX));
}

// Step 1: brings the stream to a point where no update in the current format is owed.
bool SettleInCurrentMode(TVNCProto& proto, const TPixelModeSwitchTiming& timing)
{
    const auto start = Clock::now();
    const uint64_t updatesBefore = proto.FramesReceived;
    if (!proto.RequestUpdate(0, 0, WireSide(proto.FramebufferWidth), WireSide(proto.FramebufferHeight), false))
        return false;
    for (;;) {
        const auto elapsed = Clock::now() - start;
        const bool answered = proto.FramesReceived > updatesBefore;
        if (answered && elapsed >= std::chrono::milliseconds(timing.SettleMs))
            return true;
        // A server that has not answered may still send the update in the old format, after
        // the switch: better to keep the old mode than to decode it as the new one.
        if (elapsed >= std::chrono::milliseconds(timing.LimitMs))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!proto.HandleArrivedMessages())
            return false;
    }
}

} // namespace

bool SwitchPixelMode(TVNCProto& proto, TFrameUpdateThrd* thread, bool trueColor, const TPixelModeSwitchTiming& timing)
{
    if (proto.TrueColor == trueColor)
        return true;
    // The thread resumes however this ends: a failing SetPixelFormat write throws.
    struct Held {
        TFrameUpdateThrd* thread;
        explicit Held(TFrameUpdateThrd* t) : thread(t) { if (thread) thread->Suspend(); }
        ~Held()
        {
            if (thread) {
                thread->FullUpdatePending = true;
                thread->Resume();
            }
        }
    } held(thread);
    if (!SettleInCurrentMode(proto, timing))
        return false;
    proto.TrueColor = trueColor;
    return proto.SendSetPixelFormat();
}

} // namespace zarn
