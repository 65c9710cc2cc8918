#include "MainLoopQueue.h"

#include <utility>

namespace zarn::snap {

void TMainLoopQueue::Post(TFunction fn)
{
    {
        std::lock_guard lock(FMutex);
        FQueue.push_back(std::move(fn));
    }
    FArrived.notify_one();
}

bool TMainLoopQueue::ServeOne(TClock::time_point until)
{
    TFunction next;
    {
        std::unique_lock lock(FMutex);
        FArrived.wait_until(lock, until, [this] { return !FQueue.empty(); });
        if (FQueue.empty())
            return false;
        next = std::move(FQueue.front());
        FQueue.pop_front();
    }
    next();
    return true;
}

} // namespace zarn::snap
