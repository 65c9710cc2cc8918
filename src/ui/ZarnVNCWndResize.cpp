// Desktops that change size. When the server resizes its desktop the engine has already made
// the framebuffer anew; the panel is fitted to it again (one-to-one or scaled), and with it the
// scroll range, the drawing and the full-screen bar follow. With RemoteResize on, the window reports each change of the
// room the picture has to the session, whose rule decides when a request goes out; the window
// only runs the timer.

#include <QScreen>
#include <QScrollArea>
#include <QTimer>

#include "protocol/VNCProto.h"
#include "protocol/ViewerSession.h"
#include "ui/ClientPanel.h"
#include "ui/ZarnApplication.h"
#include "ui/frmZarnVNCWnd.h"

namespace zarn {

void TZarnVNCWnd::BuildDesktopResize()
{
    FProto->Hooks.OnDesktopResized = [this] { FollowDesktopSize(); };
    tmrRemoteResize = new QTimer(this);
    tmrRemoteResize->setObjectName(QStringLiteral("tmrRemoteResize"));
    tmrRemoteResize->setSingleShot(true);
    connect(tmrRemoteResize, &QTimer::timeout, this, Guarded([this] { tmrRemoteResizeTimer(); }));
}

void TZarnVNCWnd::FollowDesktopSize()
{
    FitPanelToPicture();
    FormResize();
}

void TZarnVNCWnd::RoomForPictureChanged()
{
    if (!FSession || !FSession->RemoteResizeRequests().Enabled())
        return;
    // In full screen the toolbar is gone and the picture has the whole screen.
    // Server pixels are device pixels: one-to-one on a HiDPI screen too.
    const QSize room = (InFullScreenMode() && screen() ? screen()->geometry().size() : sbxClient->size())
        * devicePixelRatioF();
    FSession->RoomChanged(room.width(), room.height());
    tmrRemoteResize->start(TRemoteResizeRequests::kSettleMs);
}

void TZarnVNCWnd::tmrRemoteResizeTimer()
{
    if (!FSession)
        return;
    FSession->SendDueDesktopSize();
    const int64_t wait = FSession->MsUntilResizeDue();
    if (wait > 0)
        tmrRemoteResize->start(int(wait));
}

} // namespace zarn
