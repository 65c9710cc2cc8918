#pragma once
// TRemoteResizeRequests decides when the viewer asks the server to give its desktop the size
// the picture has room for. The user's own changes are all that count: a window dragged to a
// new size, full screen entered or left. A drag produces a stream of sizes, so a change is asked
// for only once it has settled; each change is asked for at most once, and the server's answers
// (its ExtendedDesktopSize rectangles, accepted or refused) never ask for anything, so no
// request can follow from a request. Qt-free; the clock is injectable for tests.

#include <cstdint>
#include <functional>
#include <optional>

namespace zarn {

class TVNCProto;

struct TDesktopSize {
    int Width = 0;
    int Height = 0;
    bool operator==(const TDesktopSize&) const = default;
};

class TRemoteResizeRequests {
public:
    // Monotonic milliseconds; empty: the steady clock.
    using TClock = std::function<int64_t()>;
    // How long a size must stay unchanged before it is asked for.
    static constexpr int kSettleMs = 500;

    explicit TRemoteResizeRequests(TClock clock = {});

    // RemoteResize setting: while off, changes are forgotten and nothing is ever due.
    void SetEnabled(bool enabled);
    bool Enabled() const { return FEnabled; }

    // The user changed the size available to the picture.
    void UserChanged(int width, int height);
    // The size to ask for now, or nothing: the last change, once it has settled, once the server
    // takes requests, and only if it differs from the desktop's size (then it is consumed; a
    // change that is not due yet stays pending).
    std::optional<TDesktopSize> Due(bool serverCanResize, int desktopWidth, int desktopHeight);
    // Milliseconds until the pending change settles (0: settled), or -1 when none is pending.
    int64_t MsUntilSettled() const;
    // A new session: nothing is pending.
    void Reset() { FPending.reset(); }

private:
    int64_t Now() const;

    TClock FClock;
    bool FEnabled = false;
    std::optional<TDesktopSize> FPending;
    int64_t FChangedAt = 0;
};

// The session's step: asks `proto` for the due size, if any. True when a request went out.
bool SendDueDesktopSize(TRemoteResizeRequests& requests, TVNCProto& proto);

} // namespace zarn
