#include "protocol/FrameUpdateThrd.h"

#include <gtest/gtest.h>

#include <array>
#include <future>
#include <map>
#include <stdexcept>
#include <vector>

#include "FrameUpdateThrdTestQueue.h"
#include "support/MemoryTransport.h"
#include "protocol/VNCProto.h"

namespace zarn {
namespace {

using testing::EventuallyTrue;
using testing::FakeMainQueue;
using testing::FinishesOrAbort;

// Main-thread items of the first cycle: readiness test, then full request with paint.
constexpr int kStartItems = 2;
// Each further cycle: request with paint.
constexpr int kCycleItems = 1;

class FakeClock {
public:
    explicit FakeClock(uint32_t start = 0)
        : FNow(start)
    {
    }
    TFrameUpdateThrd::TPacingClock Make()
    {
        return { [this] { return FNow.load(); },
            [this](uint32_t ms) {
                {
                    std::lock_guard lock(FMutex);
                    FSleeps.push_back(ms);
                }
                FNow += ms;
            } };
    }
    void Advance(uint32_t ms) { FNow += ms; }
    void Reset(uint32_t start)
    {
        std::lock_guard lock(FMutex);
        FNow = start;
        FSleeps.clear();
    }
    std::vector<uint32_t> Sleeps()
    {
        std::lock_guard lock(FMutex);
        return FSleeps;
    }

private:
    std::atomic<uint32_t> FNow;
    std::mutex FMutex;
    std::vector<uint32_t> FSleeps;
};

// An engine that looks connected and set up, over a memory transport, with a thread driving it.
// The test thread plays the GUI thread by serving `mainQueue`.
class FrameUpdateThrdTest : public ::testing::Test {
protected:
    FrameUpdateThrdTest()
        : Transport(new MemoryTransport)
    {
        Transport->Open();
        Proto.AdoptSession(1024, 768, true, std::unique_ptr<ITransport>(Transport));
    }

    ~FrameUpdateThrdTest() override
    {
        FinishesOrAbort("stopping the thread", [this] { Thread.reset(); });
        mainQueue.RunQueued();
    }

    void Start(uint32_t interval, bool injectClock = true)
    {
        Thread = std::make_unique<TFrameUpdateThrd>(
            Proto, mainQueue.Poster(), [this] { Paint(); }, [this](uint64_t id) { EndedIds.push_back(id); },
            interval, injectClock ? Clock.Make() : TFrameUpdateThrd::TPacingClock {});
        Thread->Resume();
    }

    void Paint()
    {
        const auto cost = PaintCost.find(Paints);
        if (cost != PaintCost.end())
            Clock.Advance(cost->second);
        if (OnPaint)
            OnPaint();
        ++Paints;
    }

    // Stops the worker from the "main thread" without serving it, as a closing window would.
    void StopWithoutServing()
    {
        Thread->Terminate();
        FinishesOrAbort("WaitFor after Terminate", [this] { Thread->WaitFor(); });
    }

    // Serves `cycles` full cycles after the first one and waits until the worker has paced the
    // last of them (its next request is queued), then stops it.
    void RunCycles(int cycles)
    {
        ASSERT_TRUE(mainQueue.Run(kStartItems + kCycleItems * cycles));
        ASSERT_TRUE(mainQueue.WaitForPending(1));
        StopWithoutServing();
    }

    // The incremental flag of every FramebufferUpdateRequest written, after checking the rest.
    std::vector<int> IncrementalFlags()
    {
        const auto& written = Transport->Written();
        EXPECT_EQ(written.size() % 10, 0u);
        std::vector<int> flags;
        for (size_t at = 0; at + 10 <= written.size(); at += 10) {
            const std::array<uint8_t, 8> wholeScreen { 0, 0, 0, 0, 0x04, 0x00, 0x03, 0x00 };
            EXPECT_EQ(written[at], 3);
            EXPECT_TRUE(std::equal(wholeScreen.begin(), wholeScreen.end(), written.begin() + at + 2));
            flags.push_back(written[at + 1]);
        }
        return flags;
    }

    bool Ended() const { return !EndedIds.empty(); }

    FakeMainQueue mainQueue;
    FakeClock Clock;
    MemoryTransport* Transport; // owned by Proto
    TVNCProto Proto;
    std::unique_ptr<TFrameUpdateThrd> Thread;
    std::map<int, uint32_t> PaintCost; // paint number -> milliseconds it takes
    std::function<void()> OnPaint;
    int Paints = 0;
    std::vector<uint64_t> EndedIds;
};

TEST(FrameUpdateThrdInterval, IsThousandDivTargetFpsWithinTheSettingsRange)
{
    const std::vector<std::pair<int, uint32_t>> cases {
        { 20, 50 },
        { 50, 20 },
        { 3, 333 },
        { 1, 1000 },
        { 0, 1000 },
        { -7, 1000 },
        { 51, 20 },
        { 1000, 20 },
    };
    for (const auto& [fps, interval] : cases)
        EXPECT_EQ(TFrameUpdateThrd::IntervalForFps(fps), interval) << "fps " << fps;
}

// The first cycle is not paced, however long it takes.
constexpr uint32_t kFirstCycleCost = 5000;

struct PacingCase {
    const char* name;
    uint32_t clockStart;
    uint32_t interval;
    std::vector<uint32_t> cycleCosts; // milliseconds spent by each cycle after the first
    std::vector<uint32_t> expectedSleeps;
};

TEST_F(FrameUpdateThrdTest, SleepsForTheRestOfTheIntervalAndNeverAfterAnOverrun)
{
    const std::vector<PacingCase> cases {
        { "50 ms", 0, 50, { 10, 49, 50, 70, 10, 0 }, { 40, 1, 40, 50 } },
        { "333 ms", 0, 333, { 100, 400, 333, 332 }, { 233, 1 } },
        { "1000 ms", 0, 1000, { 999, 1000 }, { 1 } },
        { "tick counter wraps", 0xFFFFFFF0u - kFirstCycleCost, 50, { 20, 30 }, { 30, 20 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Clock.Reset(c.clockStart);
        PaintCost.clear();
        PaintCost[0] = kFirstCycleCost;
        for (size_t i = 0; i < c.cycleCosts.size(); ++i)
            PaintCost[int(i) + 1] = c.cycleCosts[i];
        Paints = 0;
        Start(c.interval);
        RunCycles(int(c.cycleCosts.size()));
        EXPECT_EQ(Clock.Sleeps(), c.expectedSleeps);
        Thread.reset();
        mainQueue.RunQueued();
    }
}

TEST_F(FrameUpdateThrdTest, ARewrittenIntervalTakesEffectWithoutOversleeping)
{
    // The settings dialog may change the interval at any moment; the sleep must follow the new
    // value and never underflow into a huge wait.
    PaintCost = { { 1, 10 }, { 2, 10 }, { 3, 5 } };
    OnPaint = [this] {
        if (Paints == 1)
            Thread->FrameInterval = 20;
        if (Paints == 3)
            Thread->FrameInterval = 333;
    };
    Start(1000);
    RunCycles(3);
    EXPECT_EQ(Clock.Sleeps(), (std::vector<uint32_t> { 10, 10, 328 }));
}

TEST_F(FrameUpdateThrdTest, OnlyTheFirstRequestAndTheFirstAfterAModeSwitchAreFull)
{
    Thread = std::make_unique<TFrameUpdateThrd>(
        Proto, mainQueue.Poster(), [this] { Paint(); }, nullptr, 50, Clock.Make());
    Thread->FullUpdatePending = true; // consumed by the first request, not repeated
    Thread->Resume();
    ASSERT_TRUE(mainQueue.Run(kStartItems + 2 * kCycleItems));
    Thread->FullUpdatePending = true;
    ASSERT_TRUE(mainQueue.Run(2 * kCycleItems));
    EXPECT_FALSE(Thread->FullUpdatePending);
    EXPECT_EQ(IncrementalFlags(), (std::vector<int> { 0, 1, 1, 0, 1 }));
}

TEST_F(FrameUpdateThrdTest, AModeSwitchWhileARequestIsQueuedMakesThatRequestFull)
{
    Start(50);
    ASSERT_TRUE(mainQueue.Run(kStartItems));
    ASSERT_TRUE(mainQueue.WaitForPending(1)); // an incremental request is already on its way
    Thread->FullUpdatePending = true;
    ASSERT_TRUE(mainQueue.Run(kCycleItems * 2));
    EXPECT_EQ(IncrementalFlags(), (std::vector<int> { 0, 0, 1 }));
}

TEST_F(FrameUpdateThrdTest, CycleBudgetIsTwiceTheIntervalButNeverBelowTheMinimum)
{
    const std::vector<std::pair<uint32_t, int>> cases { { 20, 100 }, { 50, 100 }, { 333, 666 },
        { 1000, 2000 } };
    for (const auto& [interval, budget] : cases) {
        Proto.Limits.CycleBudgetMs = -1;
        Start(interval);
        ASSERT_TRUE(mainQueue.Run(2)); // readiness test, first request
        EXPECT_EQ(Proto.Limits.CycleBudgetMs, budget) << "interval " << interval;
        StopWithoutServing();
        Thread.reset();
        mainQueue.RunQueued();
    }
}

TEST_F(FrameUpdateThrdTest, AFailingRequestEndsTheThreadAfterThatCyclesPaint)
{
    Start(50);
    ASSERT_TRUE(mainQueue.Run(kStartItems));
    Transport->Feed({ 9 }); // an unknown message type makes the next cycle fail
    ASSERT_TRUE(mainQueue.ServeUntil([this] { return Ended(); }));
    EXPECT_EQ(EndedIds, std::vector<uint64_t> { Thread->Id() });
    EXPECT_TRUE(Thread->Finished());
    EXPECT_EQ(Paints, 2);
    EXPECT_EQ(IncrementalFlags(), (std::vector<int> { 0, 1 }));
    EXPECT_TRUE(Clock.Sleeps().empty()); // no point pacing a cycle that ends the thread
    Thread->WaitFor();
}

TEST_F(FrameUpdateThrdTest, AnEngineDisconnectedUnderneathEndsTheThreadWithNothingMoreSent)
{
    Start(50);
    ASSERT_TRUE(mainQueue.Run(kStartItems));
    Proto.Disconnect();
    ASSERT_TRUE(mainQueue.ServeUntil([this] { return Ended(); }));
    EXPECT_EQ(IncrementalFlags(), std::vector<int> { 0 });
    EXPECT_EQ(Paints, 2); // the last picture is still drawn
}

TEST_F(FrameUpdateThrdTest, AnEngineNotReadyAtStartEndsAtOnceWithNothingSentOrPainted)
{
    Proto.EncodingsSent = false;
    Start(50);
    ASSERT_TRUE(mainQueue.ServeUntil([this] { return Ended(); }));
    Thread->WaitFor();
    EXPECT_TRUE(Transport->Written().empty());
    EXPECT_EQ(Paints, 0);
}

TEST_F(FrameUpdateThrdTest, StoppingWhileAStepWaitsOnABlockedMainThreadDoesNotDeadlock)
{
    Start(50);
    ASSERT_TRUE(mainQueue.Run(kStartItems));
    ASSERT_TRUE(mainQueue.WaitForPending(1));
    StopWithoutServing();

    // When the event loop finally gets to the stale step it does nothing but report the end.
    mainQueue.RunQueued();
    EXPECT_EQ(IncrementalFlags(), std::vector<int> { 0 });
    EXPECT_EQ(Paints, 1);
    EXPECT_EQ(EndedIds, std::vector<uint64_t> { Thread->Id() });
}

TEST_F(FrameUpdateThrdTest, TerminateInterruptsTheRealSleep)
{
    Start(3600u * 1000u, /*injectClock=*/false);
    ASSERT_TRUE(mainQueue.Run(kStartItems + kCycleItems));
    StopWithoutServing(); // would wait an hour if the sleep ignored Terminate
    EXPECT_EQ(Paints, 2);
}

TEST_F(FrameUpdateThrdTest, CreatedSuspendedItDoesNothingUntilResumedAndCanBeTerminatedThere)
{
    Thread = std::make_unique<TFrameUpdateThrd>(
        Proto, mainQueue.Poster(), [this] { Paint(); }, [this](uint64_t id) { EndedIds.push_back(id); }, 50,
        Clock.Make());
    EXPECT_TRUE(Thread->Parked());
    StopWithoutServing();
    EXPECT_EQ(mainQueue.Pending(), 1u); // only the end notification
    mainQueue.RunQueued();
    EXPECT_EQ(EndedIds, std::vector<uint64_t> { Thread->Id() });
    EXPECT_TRUE(Transport->Written().empty());
    EXPECT_EQ(Paints, 0);
}

TEST_F(FrameUpdateThrdTest, SuspendTakesEffectAtTheTopOfTheNextCycleAndResumeContinues)
{
    Start(50);
    ASSERT_TRUE(mainQueue.Run(kStartItems));
    ASSERT_TRUE(mainQueue.WaitForPending(1));
    Thread->Suspend();
    EXPECT_TRUE(Thread->Suspended());
    ASSERT_TRUE(mainQueue.Run(kCycleItems)); // the cycle in progress still completes
    ASSERT_TRUE(EventuallyTrue([this] { return Thread->Parked(); }));
    EXPECT_EQ(mainQueue.Pending(), 0u);
    EXPECT_EQ(IncrementalFlags(), (std::vector<int> { 0, 1 }));

    Thread->FullUpdatePending = true;
    Thread->Resume();
    ASSERT_TRUE(mainQueue.Run(kCycleItems));
    EXPECT_EQ(IncrementalFlags(), (std::vector<int> { 0, 1, 0 }));
    EXPECT_EQ(Paints, 3);
}

TEST_F(FrameUpdateThrdTest, AFailedPaintIsIgnored)
{
    OnPaint = [] { throw std::runtime_error("no device"); };
    Start(50);
    ASSERT_TRUE(mainQueue.Run(kStartItems + kCycleItems));
    EXPECT_FALSE(Thread->Finished());
    EXPECT_EQ(IncrementalFlags(), (std::vector<int> { 0, 1 }));
}

TEST_F(FrameUpdateThrdTest, WaitingForTheThreadFromItsOwnStepIsRefused)
{
    bool refused = false;
    OnPaint = [&] {
        try {
            Thread->WaitFor();
        } catch (const std::logic_error&) {
            refused = true;
        }
    };
    Start(50);
    ASSERT_TRUE(mainQueue.Run(kStartItems));
    EXPECT_TRUE(refused);
}

TEST_F(FrameUpdateThrdTest, TheEndOfAReplacedThreadDoesNotClearItsSuccessor)
{
    // The window's pattern: keep the thread, forget it only when the end handler names it.
    std::unique_ptr<TFrameUpdateThrd> current;
    auto forgetIfCurrent = [&](uint64_t id) {
        if (current && current->Id() == id)
            current.reset();
    };
    auto make = [&] {
        return std::make_unique<TFrameUpdateThrd>(
            Proto, mainQueue.Poster(), [] {}, forgetIfCurrent, 50, Clock.Make());
    };
    current = make();
    current->Resume();
    ASSERT_TRUE(mainQueue.Run(kStartItems));
    current = make(); // reconnect: the old thread is stopped and joined by its destructor
    const uint64_t successor = current->Id();
    mainQueue.RunQueued(); // the old thread's stale step and end notification
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->Id(), successor);

    current->Terminate();
    ASSERT_TRUE(mainQueue.ServeUntil([&] { return current == nullptr; }));
}

} // namespace
} // namespace zarn
