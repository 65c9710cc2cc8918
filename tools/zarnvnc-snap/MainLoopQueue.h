#pragma once
// The headless client's "main thread": a queue of functions that worker threads post to and
// that the tool's own main loop serves, the way a window's event loop serves queued calls.
// The frame update thread hands its steps over through it, exactly as it does in the viewer.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace zarn::snap {

class TMainLoopQueue {
public:
    using TFunction = std::function<void()>;
    using TClock = std::chrono::steady_clock;

    // Any thread; never waits for the function to run.
    void Post(TFunction fn);

    // Main thread: runs the next queued function, waiting for one until `until` at the most.
    // Returns false when nothing arrived in time. The function runs without the queue locked,
    // so it may post again.
    bool ServeOne(TClock::time_point until);

private:
    std::mutex FMutex;
    std::condition_variable FArrived;
    std::deque<TFunction> FQueue;
};

} // namespace zarn::snap
