#pragma once
// A stand-in for the GUI thread's event queue: functions posted by a worker wait here until the
// test, playing the main thread, runs them. Every wait is bounded by a generous guard so that a
// deadlock fails the test instead of hanging the run.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "protocol/MainThreadDispatcher.h"

namespace zarn::testing {

inline constexpr auto kHangGuard = std::chrono::seconds(30);

class FakeMainQueue {
public:
    TMainThreadDispatcher::TPost Poster()
    {
        return [this](TMainThreadDispatcher::TStep fn) {
            std::lock_guard lock(FMutex);
            FItems.push_back(std::move(fn));
            FPosted.notify_all();
        };
    }

    size_t Pending()
    {
        std::lock_guard lock(FMutex);
        return FItems.size();
    }

    // Waits until at least n functions are queued.
    bool WaitForPending(size_t n)
    {
        std::unique_lock lock(FMutex);
        return FPosted.wait_for(lock, kHangGuard, [&] { return FItems.size() >= n; });
    }

    // Runs the next queued function on the calling thread, waiting for one if needed.
    bool RunNext()
    {
        std::function<void()> fn;
        {
            std::unique_lock lock(FMutex);
            if (!FPosted.wait_for(lock, kHangGuard, [&] { return !FItems.empty(); }))
                return false;
            fn = std::move(FItems.front());
            FItems.pop_front();
        }
        fn();
        return true;
    }

    bool Run(int count)
    {
        for (int i = 0; i < count; ++i) {
            if (!RunNext())
                return false;
        }
        return true;
    }

    bool ServeUntil(const std::function<bool()>& done)
    {
        while (!done()) {
            if (!RunNext())
                return false;
        }
        return true;
    }

    // Runs what is queued now, without waiting for more.
    void RunQueued()
    {
        while (Pending() > 0)
            RunNext();
    }

private:
    std::mutex FMutex;
    std::condition_variable FPosted;
    std::deque<std::function<void()>> FItems;
};

// Polls a condition another thread will make true; false if it never does.
inline bool EventuallyTrue(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The result of a future that must come: a deadlock aborts the test program with a message
// rather than hanging the whole run (a plain test failure would still hang in the join after it).
template <typename T> T AwaitOrAbort(std::future<T>& result, const char* what)
{
    if (result.wait_for(kHangGuard) != std::future_status::ready) {
        std::fprintf(stderr, "deadlock: %s never finished\n", what);
        std::abort();
    }
    return result.get();
}

// Runs fn on a helper thread and waits for it, aborting as above if it never returns.
inline void FinishesOrAbort(const char* what, std::function<void()> fn)
{
    auto done = std::make_shared<std::promise<void>>();
    auto result = done->get_future();
    std::thread([fn = std::move(fn), done] {
        try {
            fn();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    }).detach();
    AwaitOrAbort(result, what);
}

} // namespace zarn::testing
