#include "SnapSession.h"

#include <algorithm>
#include <chrono>

#include "MainLoopQueue.h"
#include "SnapConnect.h"
#include "protocol/FrameUpdateThrd.h"
#include "protocol/VNCProto.h"

namespace zarn::snap {

namespace {

using Clock = std::chrono::steady_clock;

// How long the main loop may wait for a step before it looks at the clock and the
// interrupt flag again.
constexpr auto kPollPeriod = std::chrono::milliseconds(100);

uint32_t FrameIntervalFor(int fps)
{
    return fps == 0 ? 0 : TFrameUpdateThrd::IntervalForFps(fps);
}

double SecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

Clock::time_point DeadlineFor(const SnapOptions& options, Clock::time_point start)
{
    if (!options.seconds)
        return Clock::time_point::max();
    return start
        + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*options.seconds));
}

// Why a session whose frame thread stopped on its own ended; the connection closed by the
// server is the goal of --until-closed and a failure otherwise.
SessionOutcome ThreadEnded(TVNCProto& proto, const SnapOptions& options)
{
    SessionOutcome outcome;
    // The transport closes its end as soon as it sees the server's close (or a broken
    // connection); a time-out or a protocol error leaves the connection open.
    const bool closedByServer = !proto.Client->Connected();
    if (closedByServer && options.untilClosed) {
        outcome.goalReached = true;
        return outcome;
    }
    if (!closedByServer)
        outcome.why = proto.CycleError.empty() ? "the update cycle failed" : proto.CycleError;
    else if (proto.CycleError.empty())
        outcome.why = "the server closed the connection";
    else
        outcome.why = "the server closed the connection (" + proto.CycleError + ")";
    return outcome;
}

SessionOutcome TimeIsUp(uint64_t frames, const SnapOptions& options)
{
    SessionOutcome outcome;
    if (options.frames)
        outcome.why = "only " + std::to_string(frames) + " of " + std::to_string(*options.frames)
            + " frames arrived in time";
    else if (options.untilClosed)
        outcome.why = "the server did not close the connection in time";
    else
        outcome.goalReached = true; // --seconds alone: running that long was the goal
    return outcome;
}

} // namespace

SessionOutcome RunSession(
    TVNCProto& proto, const SnapOptions& options, const std::function<bool()>& interrupted)
{
    TMainLoopQueue queue;
    bool threadEnded = false;
    double decodeSeconds = 0;
    const uint64_t framesAtStart = proto.FramesReceived;
    const auto start = Clock::now();
    const auto deadline = DeadlineFor(options, start);

    // Every step the frame thread hands over is an update cycle or its (empty) paint, so the
    // time spent running them is the time spent in RequestUpdate.
    auto postTimed = [&queue, &decodeSeconds](TMainThreadDispatcher::TStep step) {
        queue.Post([&decodeSeconds, step = std::move(step)] {
            const auto stepStart = Clock::now();
            step();
            decodeSeconds += SecondsBetween(stepStart, Clock::now());
        });
    };

    // Nothing to paint (the picture is written once, when the session ends); the paint step is
    // where a cycle has completed, so the quality follows the link there as in the window.
    TLinkQuality quality = QualityFor(options);
    SessionOutcome outcome;
    {
        TFrameUpdateThrd thread(
            proto, postTimed, [&quality, &proto] { quality.FollowLink(proto); },
            [&threadEnded](uint64_t) { threadEnded = true; }, FrameIntervalFor(options.fps));
        thread.Resume();
        for (;;) {
            const uint64_t frames = proto.FramesReceived - framesAtStart;
            if (options.frames && frames >= *options.frames) {
                outcome.goalReached = true;
                break;
            }
            if (threadEnded) {
                outcome = ThreadEnded(proto, options);
                break;
            }
            const auto now = Clock::now();
            if (now >= deadline) {
                outcome = TimeIsUp(frames, options);
                break;
            }
            if (interrupted()) {
                outcome.why = "interrupted";
                break;
            }
            queue.ServeOne(std::min(deadline, now + kPollPeriod));
        }
    } // the thread is terminated and joined here; steps still queued never run

    outcome.seconds = SecondsBetween(start, Clock::now());
    outcome.decodeSeconds = decodeSeconds;
    return outcome;
}

} // namespace zarn::snap
