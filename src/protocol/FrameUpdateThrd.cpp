#include "protocol/FrameUpdateThrd.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <stdexcept>

#include "platform/RfbConstants.h"
#include "protocol/Limits.h"
#include "protocol/VNCProto.h"

namespace zarn {

namespace {

std::atomic<uint64_t> gNextThreadId { 1 };

uint16_t WireSide(int32_t side)
{
    return static_cast<uint16_t>(std::clamp<int32_t>(side, 0, UINT16_MAX));
}

} // namespace

uint32_t TFrameUpdateThrd::IntervalForFps(int targetFps)
{
    // The settings clamp the rate too, but a zero from a hand-edited ini must not divide by zero.
    return 1000u / static_cast<uint32_t>(std::clamp(targetFps, kMinTargetFps, kMaxTargetFps));
}

TFrameUpdateThrd::TFrameUpdateThrd(TVNCProto& proto, TMainThreadDispatcher::TPost postToMain,
    TPaintHook paintFrame, TEndHandler onTerminate, uint32_t frameInterval, TPacingClock clock)
    : FrameInterval(frameInterval)
    , Proto(proto)
    , FId(gNextThreadId.fetch_add(1))
    , FDispatcher(std::move(postToMain))
    , FPaintFrame(std::move(paintFrame))
    , FOnTerminate(std::move(onTerminate))
    , FClock(std::move(clock))
{
    FThread = std::thread([this] { Execute(); });
}

TFrameUpdateThrd::~TFrameUpdateThrd()
{
    Terminate();
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
    else if (FThread.joinable())
        FThread.detach(); // destroyed by its own worker: nothing is left to wait for
}

void TFrameUpdateThrd::Resume()
{
    std::lock_guard lock(FMutex);
    FSuspended = false;
    FWake.notify_all();
}

void TFrameUpdateThrd::Suspend()
{
    std::lock_guard lock(FMutex);
    FSuspended = true;
}

void TFrameUpdateThrd::Terminate()
{
    {
        std::lock_guard lock(FMutex);
        FTerminated = true;
        FWake.notify_all();
    }
    FDispatcher.Cancel();
}

void TFrameUpdateThrd::RequestTermination()
{
    std::lock_guard lock(FMutex);
    FTerminated = true;
    FWake.notify_all();
}

void TFrameUpdateThrd::WaitFor()
{
    if (FThread.get_id() == std::this_thread::get_id() || FDispatcher.InsideStep())
        throw std::logic_error("a frame update thread cannot be waited for from its own steps");
    if (FThread.joinable())
        FThread.join();
}

void TFrameUpdateThrd::Execute()
{
    try {
        if (WaitWhileSuspended() && EngineReady()) {
            HandOverCycle(true);
            if (FClock.TickCount || FClock.Sleep) {
                uint32_t cycleStart = Now();
                while (WaitWhileSuspended()) {
                    HandOverCycle(false);
                    PaceRestOfCycle(cycleStart);
                    cycleStart = Now();
                }
            } else {
                while (WaitWhileSuspended())
                    HandOverPacedCycle(std::chrono::steady_clock::now());
            }
        }
    } catch (...) {
        // Only a failing post or clock can get here; either way the thread is done.
    }
    FFinished = true;
    if (FOnTerminate) {
        try {
            FDispatcher.Post([handler = FOnTerminate, id = FId] { handler(id); });
        } catch (...) {
        }
    }
}

bool TFrameUpdateThrd::WaitWhileSuspended()
{
    std::unique_lock lock(FMutex);
    if (FSuspended && !FTerminated) {
        FParked = true;
        FWake.wait(lock, [this] { return !FSuspended || FTerminated; });
    }
    FParked = false;
    return !FTerminated;
}

bool TFrameUpdateThrd::EngineReady()
{
    // Asked on the main thread: the readiness test pulls waiting bytes into the transport's
    // receive buffer, which the main thread owns.
    bool ready = false;
    FDispatcher.RunOnMain([this, &ready] { ready = Proto.IsReady(); });
    return ready;
}

void TFrameUpdateThrd::HandOverCycle(bool forceFull)
{
    // Request and paint go over in one hand-over: one wake-up of each thread per cycle.
    FDispatcher.RunOnMain([this, forceFull] {
        RequestStep(forceFull);
        PaintStep();
    });
}

void TFrameUpdateThrd::HandOverPacedCycle(std::chrono::steady_clock::time_point cycleStart)
{
    // The sleep is folded into the hand-over's wait, so an idle session wakes this thread once
    // per cycle. A cycle that ends the thread does not sleep; Terminate ends the wait at once.
    const auto nextCycle = cycleStart + std::chrono::milliseconds(FrameInterval.load());
    FDispatcher.RunOnMainPaced(
        [this] {
            RequestStep(false);
            PaintStep();
            return !FTerminated.load();
        },
        nextCycle);
}

void TFrameUpdateThrd::RequestStep(bool forceFull)
{
    // Decided here rather than when the step was queued: a pixel-mode switch that happened in
    // between must still get its non-incremental request.
    const bool full = FullUpdatePending.exchange(false) || forceFull;
    const uint64_t budget = std::max<uint64_t>(2ull * FrameInterval.load(), limits::kMinCycleBudgetMs);
    Proto.Limits.CycleBudgetMs = static_cast<int>(std::min<uint64_t>(budget, INT_MAX));
    bool ok = false;
    try {
        ok = Proto.RequestUpdate(
            0, 0, WireSide(Proto.FramebufferWidth), WireSide(Proto.FramebufferHeight), !full);
    } catch (...) {
        ok = false; // a failure of any kind ends the session's pacing, not the program
    }
    if (!ok)
        RequestTermination();
}

void TFrameUpdateThrd::PaintStep()
{
    if (!FPaintFrame)
        return;
    try {
        FPaintFrame();
    } catch (...) {
        // A failed drawing is not worth ending the session for.
    }
}

void TFrameUpdateThrd::PaceRestOfCycle(uint32_t cycleStart)
{
    if (FTerminated)
        return;
    const uint32_t interval = FrameInterval.load(); // read once: it may change meanwhile
    const uint32_t elapsed = Now() - cycleStart; // unsigned: tick wrap-around is harmless
    if (elapsed < interval)
        Sleep(interval - elapsed);
}

uint32_t TFrameUpdateThrd::Now() const
{
    if (FClock.TickCount)
        return FClock.TickCount();
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count());
}

void TFrameUpdateThrd::Sleep(uint32_t milliseconds)
{
    if (FClock.Sleep) {
        FClock.Sleep(milliseconds);
        return;
    }
    std::unique_lock lock(FMutex);
    FWake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return FTerminated.load(); });
}

} // namespace zarn
