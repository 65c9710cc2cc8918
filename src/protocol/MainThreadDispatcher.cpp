#include "protocol/MainThreadDispatcher.h"

#include <stdexcept>
#include <utility>

namespace zarn {

struct TMainThreadDispatcher::TShared {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Cancelled = false;
    // The thread running a step right now, if any (steps never overlap: the worker waits).
    std::thread::id StepThread;
};

namespace {

// One hand-over's progress, shared by the waiting worker and the posted wrapper.
struct TTicket {
    bool Started = false;
    bool Finished = false;
    // A paced hand-over's wake-up time; the finished step does not wake a worker that is to
    // sleep on past it anyway.
    std::chrono::steady_clock::time_point NotBefore {};
};

} // namespace

TMainThreadDispatcher::TMainThreadDispatcher(TPost post)
    : FShared(std::make_shared<TShared>())
    , FPost(std::move(post))
{
    if (!FPost)
        throw std::invalid_argument("TMainThreadDispatcher needs a post function");
}

TMainThreadDispatcher::~TMainThreadDispatcher()
{
    Cancel();
}

bool TMainThreadDispatcher::RunOnMain(TStep step)
{
    return RunOnMainPaced([step = std::move(step)] {
        step();
        return false;
    }, {});
}

bool TMainThreadDispatcher::RunOnMainPaced(TPacedStep step, std::chrono::steady_clock::time_point notBefore)
{
    using Clock = std::chrono::steady_clock;
    auto shared = FShared;
    auto ticket = std::make_shared<TTicket>();
    ticket->NotBefore = notBefore;
    {
        std::lock_guard lock(shared->Mutex);
        if (shared->Cancelled)
            return false;
    }
    FPost([shared, ticket, step = std::move(step)] {
        {
            std::lock_guard lock(shared->Mutex);
            if (shared->Cancelled)
                return;
            ticket->Started = true;
            shared->StepThread = std::this_thread::get_id();
        }
        // Released even when the step throws, or the worker would wait for ever.
        struct TFinish {
            TShared& Shared;
            TTicket& Ticket;
            bool KeepPace = false;
            ~TFinish()
            {
                std::lock_guard lock(Shared.Mutex);
                Ticket.Finished = true;
                Shared.StepThread = std::thread::id();
                if (!KeepPace)
                    Ticket.NotBefore = {};
                if (Ticket.NotBefore <= Clock::now() || Shared.Cancelled)
                    Shared.Changed.notify_all();
            }
        } finish { *shared, *ticket };
        finish.KeepPace = step();
    });
    std::unique_lock lock(shared->Mutex);
    auto released = [&] {
        return (ticket->Finished && (shared->Cancelled || ticket->NotBefore <= Clock::now()))
            || (shared->Cancelled && !ticket->Started);
    };
    // Asleep until the wake-up time; past it, only the step's end (or Cancel) wakes the worker.
    if (!shared->Changed.wait_until(lock, ticket->NotBefore, released))
        shared->Changed.wait(lock, released);
    return ticket->Finished;
}

void TMainThreadDispatcher::Post(TStep fn)
{
    FPost(std::move(fn));
}

void TMainThreadDispatcher::Cancel()
{
    std::lock_guard lock(FShared->Mutex);
    FShared->Cancelled = true;
    FShared->Changed.notify_all();
}

bool TMainThreadDispatcher::Cancelled() const
{
    std::lock_guard lock(FShared->Mutex);
    return FShared->Cancelled;
}

bool TMainThreadDispatcher::InsideStep() const
{
    std::lock_guard lock(FShared->Mutex);
    return FShared->StepThread == std::this_thread::get_id();
}

} // namespace zarn
