// Desktops that change size. When the server resizes its desktop the engine has already made
// the framebuffer anew; the panel takes the new size, and with it the scroll range, the drawing
// and the full-screen bar follow. With RemoteResize on, the window asks the server for the size
// the picture has room for once the user's change has settled; the decision is the engine-side
// TRemoteResizeRequests, the window only reports changes and runs its timer.

#include <QScreen>
#include <QScrollArea>
#include <QTimer>

#include "protocol/RemoteResize.h"
#include "protocol/VNCProto.h"
#include "settings/RegSettings.h"
#include "ui/ClientPanel.h"
#include "ui/ZarnApplication.h"
#include "ui/frmZarnVNCWnd.h"

namespace zarn {

void TZarnVNCWnd::BuildDesktopResize()
{
    FRemoteResize = std::make_unique<TRemoteResizeRequests>();
    FProto->OnDesktopResized = [this] { FollowDesktopSize(); };
    tmrRemoteResize = new QTimer(this);
    tmrRemoteResize->setObjectName(QStringLiteral("tmrRemoteResize"));
    tmrRemoteResize->setSingleShot(true);
    connect(tmrRemoteResize, &QTimer::timeout, this, Guarded([this] { tmrRemoteResizeTimer(); }));
}

void TZarnVNCWnd::ApplyResizeSettings()
{
    FProto->UseDesktopResize = FSettings->DesktopResize();
    // Without size changes from the server there is no answer to a request either.
    FRemoteResize->SetEnabled(FSettings->DesktopResize() && FSettings->RemoteResize());
    FRemoteResize->Reset();
}

void TZarnVNCWnd::FollowDesktopSize()
{
    pnlClient->resize(FProto->FramebufferWidth, FProto->FramebufferHeight);
    FormResize();
}

void TZarnVNCWnd::RoomForPictureChanged()
{
    if (!FRemoteResize || !FRemoteResize->Enabled())
        return;
    // In full screen the toolbar is gone and the picture has the whole screen.
    const QSize room = InFullScreenMode() && screen() ? screen()->geometry().size() : sbxClient->size();
    FRemoteResize->UserChanged(room.width(), room.height());
    tmrRemoteResize->start(TRemoteResizeRequests::kSettleMs);
}

void TZarnVNCWnd::tmrRemoteResizeTimer()
{
    if (!FRemoteResize)
        return;
    SendDueDesktopSize(*FRemoteResize, *FProto);
    const int64_t wait = FRemoteResize->MsUntilSettled();
    if (wait > 0)
        tmrRemoteResize->start(int(wait));
}

} // namespace zarn
