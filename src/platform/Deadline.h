#pragma once
// How long one operation (the whole connection set-up, one server message, one write) may keep
// waiting for the peer. The operation owns it and hands it to the transport, so no wait inherits
// the limit of whatever ran before it.
//
// Two shapes:
//   Fixed     one end for the whole operation, however many reads it takes (the set-up).
//   Progress  every `stepBytes` bytes must move within `window` of the previous step (or of the
//             start). A peer that trickles never completes a step and is cut one window after its
//             last step, whatever the operation's size; a slow but real link completes a step well
//             within each window and is never cut. With stepBytes 1 it is a plain silence limit.
// A default-constructed Deadline never expires.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace zarn {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;
    using Ms = std::chrono::milliseconds;

    Deadline() = default;

    // `what` names the limit in the error of a wait that runs out; it must outlive the object
    // (a string literal).
    static Deadline Fixed(Ms length, const char* what)
    {
        Deadline d;
        d.FLimited = length.count() > 0;
        d.FEnd = Clock::now() + length;
        d.FWhat = what;
        return d;
    }

    static Deadline Progress(Ms window, size_t stepBytes, const char* what)
    {
        Deadline d = Fixed(window, what);
        d.FWindow = window;
        d.FStepBytes = std::max<size_t>(stepBytes, 1);
        return d;
    }

    bool Limited() const { return FLimited; }
    const char* What() const { return FWhat; }

    // Bytes that moved. Completing a step opens the next window from now.
    void Count(size_t bytes)
    {
        if (FStepBytes == 0 || bytes == 0)
            return;
        FStepDone += bytes;
        if (FStepDone >= FStepBytes) {
            FStepDone = 0;
            FEnd = Clock::now() + FWindow;
        }
    }

    // Pushes the end back, for time that must not count (a prompt the user is answering).
    void Extend(Clock::duration pause) { FEnd += std::chrono::duration_cast<Clock::duration>(pause); }

    // What poll() wants: milliseconds until the end (rounded up), -1 for no limit.
    int RemainingMs() const
    {
        if (!FLimited)
            return -1;
        const auto left = std::chrono::ceil<Ms>(FEnd - Clock::now()).count();
        return static_cast<int>(std::clamp<int64_t>(left, 0, INT32_MAX));
    }

    bool Expired() const { return FLimited && Clock::now() >= FEnd; }

private:
    bool FLimited = false;
    Clock::time_point FEnd {};
    Ms FWindow { 0 };
    size_t FStepBytes = 0; // 0: fixed
    size_t FStepDone = 0;
    const char* FWhat = "the time limit";
};

} // namespace zarn
