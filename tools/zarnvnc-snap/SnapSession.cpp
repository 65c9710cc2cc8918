#include "SnapSession.h"

#include <algorithm>
#include <chrono>

#include "MainLoopQueue.h"
#include "protocol/VNCProto.h"

namespace zarn::snap {

namespace {

using Clock = std::chrono::steady_clock;

// How long the main loop may wait for a step before it looks at the clock and the
// interrupt flag again.
constexpr auto kPollPeriod = std::chrono::milliseconds(100);

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

TViewerSession::THost TSnapMainLoop::Host()
{
    return {
        .PostToMain =
            [this](TMainThreadDispatcher::TStep step) {
                Queue.Post([this, step = std::move(step)] {
                    const auto stepStart = Clock::now();
                    step();
                    DecodeSeconds += SecondsBetween(stepStart, Clock::now());
                });
            },
        .PaintFrame = {}, // the picture is written once, when the session ends
        .ThreadEnded = [this] { ThreadEnded = true; },
    };
}

TSessionSettings SessionSettingsFor(const SnapOptions& options)
{
    TSessionSettings settings;
    settings.EncHextile = options.useHextile;
    settings.EncRRE = options.useRRE;
    settings.EncCopyRect = options.useCopyRect;
    settings.TrueColor = options.trueColor;
    settings.TargetFPS = options.fps;
    settings.Encryption = options.encryption;
    settings.EncZRLE = options.useZRLE;
    settings.EncTight = options.useTight;
    settings.AutoQuality = options.autoQuality;
    settings.JPEGQuality = options.jpegQuality;
    settings.CompressLevel = options.compressLevel;
    settings.DesktopResize = options.desktopResize;
    return settings;
}

SessionOutcome RunSession(TVNCProto& proto, TViewerSession& session, TSnapMainLoop& loop,
    const SnapOptions& options, const std::function<bool()>& interrupted)
{
    SessionOutcome outcome;
    if (!session.Open(SessionSettingsFor(options))) {
        outcome.why = "the session could not be started: "
            + (proto.LastError.empty() ? std::string("the engine is not ready") : proto.LastError);
        return outcome;
    }
    // A frame is an update with a picture: a server's layout announcement does not count.
    const auto pictures = [&proto] { return proto.FramesReceived - proto.LayoutOnlyUpdates; };
    const uint64_t framesAtStart = pictures();
    const double decodeAtStart = loop.DecodeSeconds;
    const auto start = Clock::now();
    const auto deadline = DeadlineFor(options, start);
    for (;;) {
        const uint64_t frames = pictures() - framesAtStart;
        if (options.frames && frames >= *options.frames) {
            outcome.goalReached = true;
            break;
        }
        if (loop.ThreadEnded) {
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
        loop.Queue.ServeOne(std::min(deadline, now + kPollPeriod));
    }
    session.StopThread(); // steps still queued never run

    outcome.seconds = SecondsBetween(start, Clock::now());
    outcome.decodeSeconds = loop.DecodeSeconds - decodeAtStart;
    return outcome;
}

} // namespace zarn::snap
