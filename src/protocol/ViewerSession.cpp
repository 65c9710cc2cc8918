#include "protocol/ViewerSession.h"

#include "protocol/VNCProto.h"

namespace zarn {

TViewerSession::TViewerSession(TVNCProto& proto, THost host)
    : FProto(proto)
    , FHost(std::move(host))
{
}

TViewerSession::~TViewerSession()
{
    StopThread();
}

uint32_t TViewerSession::FrameIntervalFor(int32_t targetFps)
{
    return targetFps == 0 ? 0 : TFrameUpdateThrd::IntervalForFps(targetFps);
}

void TViewerSession::Prepare(const TSessionSettings& settings)
{
    FProto.UseCopyRect = settings.EncCopyRect;
    FProto.UseRRE = settings.EncRRE;
    FProto.UseHextile = settings.EncHextile;
    FProto.UseZRLE = settings.EncZRLE;
    FProto.UseTight = settings.EncTight;
    FProto.CompressLevel = settings.CompressLevel;
    // A live change of settings keeps what was measured of the link.
    FLinkQuality.Configure(settings.AutoQuality, settings.JPEGQuality);
    FProto.JpegQuality = FLinkQuality.JpegQuality();
    FProto.ShareClipboard = settings.SharedClipboard;
    FProto.Encryption = settings.Encryption;
    FProto.UseDesktopResize = settings.DesktopResize;
    // Without size changes from the server there is no answer to a request either.
    FRemoteResize.SetEnabled(settings.DesktopResize && settings.RemoteResize);
}

bool TViewerSession::Open(const TSessionSettings& settings)
{
    StopThread();
    FLinkQuality.Restart(); // a new connection is lossless until its link proves slow
    Prepare(settings);
    FRemoteResize.Reset(); // a change of room before this session is not its request
    if (!FProto.StartSession(settings.TrueColor))
        return false;
    StartUpdateThread(FrameIntervalFor(settings.TargetFPS));
    return true;
}

bool TViewerSession::Apply(const TSessionSettings& settings)
{
    // Without a live session there is nothing to change: the next Connect prepares afresh.
    if (!FProto.IsReady())
        return true;
    Prepare(settings);
    FProto.SendSetEncodings();
    SwitchPixelMode(FProto, FUpdateThread.get(), settings.TrueColor, PixelModeTiming);
    if (FUpdateThread)
        FUpdateThread->FrameInterval = FrameIntervalFor(settings.TargetFPS);
    // A connection that failed on the way has nothing left to disagree with; one that lives
    // on in the old mode does.
    return !FProto.IsReady() || FProto.TrueColor == settings.TrueColor;
}

void TViewerSession::StopThread()
{
    // Terminate cancels any hand-over the worker waits on, so the join needs no event serving.
    FUpdateThread.reset();
}

void TViewerSession::Close()
{
    StopThread(); // first: the thread's steps read and paint from the engine
    FProto.Disconnect();
}

void TViewerSession::StartUpdateThread(uint32_t frameInterval)
{
    // A cycle has completed when its paint step runs: the quality follows the link there.
    auto paint = [this, hostPaint = FHost.PaintFrame] {
        if (hostPaint)
            hostPaint();
        FLinkQuality.FollowLink(FProto);
    };
    // The end notice is posted even after the thread is stopped and may arrive when this
    // session is gone: it reaches the session only through a token the session's end expires.
    std::weak_ptr<TViewerSession*> self = FSelf;
    auto ended = [self](uint64_t threadId) {
        if (const auto session = self.lock())
            (*session)->UpdateThreadTerminated(threadId);
    };
    FUpdateThread = std::make_unique<TFrameUpdateThrd>(FProto, FHost.PostToMain, paint, ended, frameInterval);
    FUpdateThread->Resume();
}

void TViewerSession::UpdateThreadTerminated(uint64_t threadId)
{
    // Only the end of the current thread counts: a thread replaced by a newer connection has
    // already been dropped, and its late notice must not touch its successor.
    if (!FUpdateThread || FUpdateThread->Id() != threadId)
        return;
    FUpdateThread.reset();
    if (FHost.ThreadEnded)
        FHost.ThreadEnded();
}

} // namespace zarn
