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
    auto shared = FShared;
    auto ticket = std::make_shared<TTicket>();
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
            ~TFinish()
            {
                std::lock_guard lock(Shared.Mutex);
                Ticket.Finished = true;
                Shared.StepThread = std::thread::id();
                Shared.Changed.notify_all();
            }
        } finish { *shared, *ticket };
        step();
    });
    std::unique_lock lock(shared->Mutex);
    shared->Changed.wait(lock, [&] { return ticket->Finished || (shared->Cancelled && !ticket->Started); });
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
