#pragma once
// TMainThreadDispatcher: hands a step from a worker thread to the main (GUI) thread and waits
// until it has run there, in a way that can never deadlock the main thread.
//
// The window supplies a non-blocking `post` that queues a function on the main thread's event
// loop (in Qt: QMetaObject::invokeMethod(guiObject, fn, Qt::QueuedConnection)). RunOnMain posts
// the step through it and then blocks the *worker* on a condition variable until the step has
// run, or until the hand-over is cancelled.
//
// Why not a blocking queued call: the main thread must be able to stop and join the worker
// (window close, new connection) without serving events. With a blocking call the worker may be
// parked inside it, waiting for the very thread that waits for it. Here Cancel(), called by the
// main thread, wakes the worker at once; a step that was posted but has not started becomes a
// no-op when the event loop finally gets to it. The posted wrapper holds the shared state by
// shared_ptr, so it never touches a destroyed dispatcher. A step that has already started is
// always waited for, so its captures stay valid until it returns.
//
// Rules for users:
// - RunOnMain is for worker threads only; called on the main thread it would wait for itself.
// - The step runs on whatever thread serves `post`; its exceptions propagate to that thread's
//   event dispatch (the worker is released either way).

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zarn {

class TMainThreadDispatcher {
public:
    using TStep = std::function<void()>;
    // Must queue the function for the main thread and return without running it.
    using TPost = std::function<void(TStep)>;

    explicit TMainThreadDispatcher(TPost post);
    ~TMainThreadDispatcher(); // cancels: a queued step must not outlive its meaning
    TMainThreadDispatcher(const TMainThreadDispatcher&) = delete;
    TMainThreadDispatcher& operator=(const TMainThreadDispatcher&) = delete;

    // Worker side. True when the step ran to its end (normally or by an exception) on the main
    // thread; false when the hand-over was cancelled first. After Cancel it returns false at
    // once and posts nothing.
    bool RunOnMain(TStep step);

    // A paced hand-over: RunOnMain, then the worker stays asleep until `notBefore` as well, in
    // one wait, so a pacing worker wakes once per cycle instead of once for the step and once
    // for its sleep. The step's result true keeps the pace; false ends the wait as soon as the
    // step is done. Cancel ends it at once (after a running step). Same result as RunOnMain.
    using TPacedStep = std::function<bool()>;
    bool RunOnMainPaced(TPacedStep step, std::chrono::steady_clock::time_point notBefore);

    // Queues a function for the main thread without waiting and without the cancellation
    // guard: it runs even after Cancel (the end notification of a thread relies on that), so it
    // must capture only what stays valid on its own.
    void Post(TStep fn);

    // Any thread, normally the main one: releases a waiting worker and turns every queued,
    // not yet started step into a no-op. Irreversible.
    void Cancel();
    bool Cancelled() const;

    // True when the calling thread is running a step of this dispatcher right now (such a
    // caller must not wait for the worker: the worker is waiting for it).
    bool InsideStep() const;

private:
    struct TShared;
    std::shared_ptr<TShared> FShared;
    TPost FPost;
};

} // namespace zarn
