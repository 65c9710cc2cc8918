#pragma once
// TFrameUpdateThrd sets the pace of a session: once per frame interval it has the main thread
// request an update of the whole framebuffer (the engine's RequestUpdate, which also handles what
// the server has sent) and then repaint what changed, both in one hand-over, and sleeps for the rest of the interval. The worker does
// no protocol work itself: every step that touches the engine or the screen runs on the main
// thread through a TMainThreadDispatcher while the worker waits, so the engine needs no lock.
//
// Cycle: the first request of a thread is non-incremental, and so is the first request after
// FullUpdatePending was set (the settings dialog sets it after a pixel-mode switch); all others
// are incremental. The sleep is FrameInterval minus the time the cycle took (32-bit millisecond
// ticks, so wrap-around is harmless); a cycle that overran is followed by the next at once,
// without catching up. A failing request ends the thread after that cycle's paint, without the
// sleep. On the steady clock the sleep is part of the hand-over's wait, so an idle session wakes
// the worker once per cycle. Even the readiness test at the start runs on the main thread: it
// pulls waiting bytes into the transport's receive buffer, which only the main thread may touch.
//
// Life cycle and ownership (how the window uses it):
//
//   // connect succeeded:
//   FUpdateThread = std::make_unique<TFrameUpdateThrd>(*FProto,
//       [this](auto step) { QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection); },
//       [this] { pnlClient->RepaintChanged(FProto->TakeChangedRegion()); },
//       [this](uint64_t id) { if (FUpdateThread && FUpdateThread->Id() == id) FUpdateThread.reset(); },
//       TFrameUpdateThrd::IntervalForFps(settings.TargetFPS));
//   FUpdateThread->Resume();
//
//   // disconnect, window close, before a new connection (main thread, no event serving needed):
//   FUpdateThread.reset();           // = Terminate() + WaitFor()
//
// - Created suspended; Resume starts (or continues) it. Suspend takes effect at the top of the
//   next cycle: a step already handed over still runs.
// - Terminate (main thread) requests the end and cancels the hand-over, so a worker waiting on a
//   step, a suspension or its sleep is released at once; WaitFor then joins without the main
//   thread having to serve events. Steps queued but not yet run become no-ops.
// - When the worker ends (for any reason) it posts the end handler to the main thread, without
//   waiting, with this thread's Id. Ids are never reused, so the end of a replaced thread can be
//   told from the end of its successor (an address could be reused; an Id cannot). The handler
//   receives only the Id and never touches the thread object, so it is harmless if that object
//   is already gone.
// - The destructor terminates and joins. Never destroy the object or call WaitFor from inside one
//   of its own steps (the worker is waiting for that step): WaitFor throws std::logic_error there.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "protocol/MainThreadDispatcher.h"

namespace zarn {

class TVNCProto;

class TFrameUpdateThrd {
public:
    // Repaints synchronously what the cycle changed on the client panel (main thread); it is
    // called every cycle and should cost nothing when nothing changed.
    using TPaintHook = std::function<void()>;
    // Runs on the main thread after the worker has ended.
    using TEndHandler = std::function<void(uint64_t threadId)>;

    // Time source and sleep of the pacing. Either may be left empty: the defaults are the
    // steady clock in milliseconds and a sleep that Terminate interrupts.
    struct TPacingClock {
        std::function<uint32_t()> TickCount;
        std::function<void(uint32_t milliseconds)> Sleep;
    };

    // The frame interval for a target frame rate: 1000 div fps, fps taken into 1..50.
    static uint32_t IntervalForFps(int targetFps);

    TFrameUpdateThrd(TVNCProto& proto, TMainThreadDispatcher::TPost postToMain, TPaintHook paintFrame,
        TEndHandler onTerminate, uint32_t frameInterval, TPacingClock clock = {});
    ~TFrameUpdateThrd();
    TFrameUpdateThrd(const TFrameUpdateThrd&) = delete;
    TFrameUpdateThrd& operator=(const TFrameUpdateThrd&) = delete;

    void Resume();
    void Suspend();
    bool Suspended() const { return FSuspended.load(); }
    // True while the worker is actually held in a suspension (or has not been resumed yet).
    bool Parked() const { return FParked.load(); }

    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    // True once the worker has left its loop (the end handler is posted right after).
    bool Finished() const { return FFinished.load(); }
    // Joins the worker. Call Terminate first unless the thread is ending on its own.
    void WaitFor();

    uint64_t Id() const { return FId; }

    // Target length of one cycle in milliseconds; may be rewritten while the thread runs.
    std::atomic<uint32_t> FrameInterval;
    // The next request is to be non-incremental. Set on the main thread; the request step
    // consumes it on the main thread too.
    std::atomic<bool> FullUpdatePending { false };
    // The engine it drives; not owned, must outlive this object.
    TVNCProto& Proto;

private:
    void Execute();
    bool EngineReady();
    void HandOverCycle(bool forceFull); // the request step, then the paint step
    // The same with the pacing's sleep in one wait (the steady clock's pacing only).
    void HandOverPacedCycle(std::chrono::steady_clock::time_point cycleStart);
    void RequestStep(bool forceFull); // runs on the main thread
    void PaintStep(); // runs on the main thread
    void PaceRestOfCycle(uint32_t cycleStart);
    bool WaitWhileSuspended(); // false when terminated instead
    uint32_t Now() const;
    void Sleep(uint32_t milliseconds);
    void RequestTermination(); // from the failing step: lets the cycle finish

    const uint64_t FId;
    TMainThreadDispatcher FDispatcher;
    TPaintHook FPaintFrame;
    TEndHandler FOnTerminate;
    TPacingClock FClock;

    std::atomic<bool> FSuspended { true };
    std::atomic<bool> FParked { true };
    std::atomic<bool> FTerminated { false };
    std::atomic<bool> FFinished { false };
    std::mutex FMutex; // guards the waits on FWake
    std::condition_variable FWake;
    std::thread FThread; // last: started once everything above exists
};

} // namespace zarn
