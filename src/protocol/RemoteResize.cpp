#include "protocol/RemoteResize.h"

#include <algorithm>
#include <chrono>

#include "protocol/Limits.h"
#include "protocol/VNCProto.h"

namespace zarn {

TRemoteResizeRequests::TRemoteResizeRequests(TClock clock)
    : FClock(std::move(clock))
{
}

int64_t TRemoteResizeRequests::Now() const
{
    if (FClock)
        return FClock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TRemoteResizeRequests::SetEnabled(bool enabled)
{
    FEnabled = enabled;
    if (!enabled)
        FPending.reset();
}

void TRemoteResizeRequests::UserChanged(int width, int height)
{
    if (!FEnabled)
        return;
    // A window larger than any framebuffer asks for the largest one.
    const int side = int(limits::kMaxFramebufferSide);
    FPending = TDesktopSize { std::clamp(width, 0, side), std::clamp(height, 0, side) };
    FChangedAt = Now();
}

int64_t TRemoteResizeRequests::MsUntilSettled() const
{
    if (!FPending)
        return -1;
    return std::max<int64_t>(0, FChangedAt + kSettleMs - Now());
}

std::optional<TDesktopSize> TRemoteResizeRequests::Due(bool serverCanResize, int desktopWidth, int desktopHeight)
{
    if (!FEnabled || !FPending || !serverCanResize || MsUntilSettled() > 0)
        return std::nullopt;
    const TDesktopSize wanted = *FPending;
    FPending.reset();
    if (wanted.Width < 1 || wanted.Height < 1 || wanted == TDesktopSize { desktopWidth, desktopHeight })
        return std::nullopt;
    return wanted;
}

bool SendDueDesktopSize(TRemoteResizeRequests& requests, TVNCProto& proto)
{
    if (!proto.IsReady())
        return false;
    const auto size = requests.Due(proto.ServerCanResize, proto.FramebufferWidth, proto.FramebufferHeight);
    return size && proto.SendSetDesktopSize(uint16_t(size->Width), uint16_t(size->Height));
}

} // namespace zarn
