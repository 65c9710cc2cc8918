#include "protocol/MainThreadDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>

#include "FrameUpdateThrdTestQueue.h"

namespace zarn {
namespace {

using testing::AwaitOrAbort;
using testing::FakeMainQueue;

TEST(MainThreadDispatcher, StepRunsOnTheServingThreadWhileTheWorkerWaits)
{
    FakeMainQueue mainQueue;
    TMainThreadDispatcher dispatcher(mainQueue.Poster());
    std::thread::id ranOn;
    bool sawInsideStep = false;

    auto worker = std::async(std::launch::async, [&] {
        return dispatcher.RunOnMain([&] {
            ranOn = std::this_thread::get_id();
            sawInsideStep = dispatcher.InsideStep();
        });
    });
    ASSERT_TRUE(mainQueue.RunNext());
    EXPECT_TRUE(AwaitOrAbort(worker, "RunOnMain"));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(sawInsideStep);
    EXPECT_FALSE(dispatcher.InsideStep());
}

TEST(MainThreadDispatcher, CancelReleasesTheWorkerAndTheQueuedStepBecomesANoOp)
{
    FakeMainQueue mainQueue;
    auto dispatcher = std::make_unique<TMainThreadDispatcher>(mainQueue.Poster());
    bool stepRan = false;

    auto worker
        = std::async(std::launch::async, [&] { return dispatcher->RunOnMain([&] { stepRan = true; }); });
    ASSERT_TRUE(mainQueue.WaitForPending(1));
    dispatcher->Cancel(); // the "main thread" never served the step
    EXPECT_FALSE(AwaitOrAbort(worker, "RunOnMain after Cancel"));

    // The queued wrapper outlives the dispatcher and must neither run the step nor touch it.
    dispatcher.reset();
    mainQueue.RunQueued();
    EXPECT_FALSE(stepRan);
}

// A paced hand-over whose wake-up time lies an hour ahead must still let the worker go once its
// step asks to stop pacing, or once the hand-over is cancelled; an hour's wait would trip the
// hang guard.
TEST(MainThreadDispatcher, APacedHandOverEndsEarlyWhenTheStepStopsThePaceOrOnCancel)
{
    for (const bool cancel : { false, true }) {
        FakeMainQueue mainQueue;
        TMainThreadDispatcher dispatcher(mainQueue.Poster());
        const auto anHourAhead = std::chrono::steady_clock::now() + std::chrono::hours(1);
        auto worker = std::async(std::launch::async,
            [&] { return dispatcher.RunOnMainPaced([&] { return cancel; }, anHourAhead); });
        ASSERT_TRUE(mainQueue.RunNext());
        if (cancel)
            dispatcher.Cancel();
        EXPECT_TRUE(AwaitOrAbort(worker, cancel ? "paced hand-over after Cancel" : "paced hand-over"))
            << "cancel " << cancel;
    }
}

TEST(MainThreadDispatcher, AfterCancelNothingIsPostedAndRunOnMainReturnsAtOnce)
{
    FakeMainQueue mainQueue;
    TMainThreadDispatcher dispatcher(mainQueue.Poster());
    dispatcher.Cancel();
    EXPECT_TRUE(dispatcher.Cancelled());
    EXPECT_FALSE(dispatcher.RunOnMain([] {}));
    EXPECT_EQ(mainQueue.Pending(), 0u);
}

TEST(MainThreadDispatcher, CancelDuringARunningStepWaitsForThatStepToEnd)
{
    FakeMainQueue mainQueue;
    TMainThreadDispatcher dispatcher(mainQueue.Poster());
    std::mutex mutex;
    std::condition_variable changed;
    bool workerReturned = false;
    bool workerReturnedBeforeStepEnded = false;

    std::thread worker([&] {
        const bool ran = dispatcher.RunOnMain([&] {
            dispatcher.Cancel();
            // Give a faulty dispatcher the chance to release the worker too early.
            std::unique_lock lock(mutex);
            workerReturnedBeforeStepEnded
                = changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return workerReturned; });
        });
        EXPECT_TRUE(ran);
        std::lock_guard lock(mutex);
        workerReturned = true;
        changed.notify_all();
    });
    ASSERT_TRUE(mainQueue.RunNext());
    worker.join();
    EXPECT_FALSE(workerReturnedBeforeStepEnded);
}

TEST(MainThreadDispatcher, AThrowingStepStillReleasesTheWorkerAndReachesTheEventLoop)
{
    FakeMainQueue mainQueue;
    TMainThreadDispatcher dispatcher(mainQueue.Poster());
    auto worker = std::async(std::launch::async,
        [&] { return dispatcher.RunOnMain([] { throw std::runtime_error("drawing failed"); }); });
    ASSERT_TRUE(mainQueue.WaitForPending(1));
    EXPECT_THROW(mainQueue.RunNext(), std::runtime_error);
    EXPECT_TRUE(AwaitOrAbort(worker, "RunOnMain"));
    EXPECT_FALSE(dispatcher.InsideStep());
}

TEST(MainThreadDispatcher, PostIsUnguardedSoEndNotificationsSurviveCancel)
{
    FakeMainQueue mainQueue;
    TMainThreadDispatcher dispatcher(mainQueue.Poster());
    dispatcher.Cancel();
    bool ran = false;
    dispatcher.Post([&] { ran = true; });
    mainQueue.RunQueued();
    EXPECT_TRUE(ran);
}

TEST(MainThreadDispatcher, RefusesAMissingPostFunction)
{
    EXPECT_THROW(TMainThreadDispatcher(nullptr), std::invalid_argument);
}

} // namespace
} // namespace zarn
