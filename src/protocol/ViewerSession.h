#pragma once
// TViewerSession: the steps of one session that the window, the settings dialog and the
// headless client share, so that each is written once. A session starts after the engine's
// Connect has succeeded: Open sends what the server needs before the first update
// (SetEncodings, SetPixelFormat, releases of the six modifier keys) and starts the frame update
// thread that paces the update cycles. Apply changes a live session to new settings without
// reconnecting; Close is the one teardown. Qt-free, used from the main thread only; the host
// program provides how a step reaches its main thread and what a paint is.
//
//   TViewerSession session(proto, { .PostToMain = …, .PaintFrame = …, .ThreadEnded = … });
//   session.Prepare(settings);          // before Connect: encodings, clipboard sharing
//   if (proto.Connect(host, port)) session.Open(settings);
//   …
//   session.Apply(newSettings);          // OK of the settings dialog
//   session.Close();                     // Disconnect, window close, before the next Connect

#include <cstdint>
#include <functional>
#include <memory>

#include "protocol/FrameUpdateThrd.h"
#include "protocol/LinkSpeed.h"
#include "protocol/MainThreadDispatcher.h"
#include "protocol/PixelModeSwitch.h"
#include "protocol/VeNCrypt.h"
#include "protocol/RemoteResize.h"

namespace zarn {

class TVNCProto;

// What a session takes from the user's settings.
struct TSessionSettings {
    bool EncCopyRect = true;
    bool EncRRE = true;
    bool EncHextile = true;
    bool TrueColor = true;
    bool SharedClipboard = true;
    // Update cycles per second, 1..50; 0 runs cycles back to back (the headless client's
    // "as fast as the server answers").
    int32_t TargetFPS = 20;
    // The extensions; their defaults are the classic protocol.
    bool EncZRLE = false;
    bool EncTight = false;
    // JPEG for Tight: with AutoQuality only while the link is slow; JPEGQuality -1 never.
    bool AutoQuality = true;
    int32_t JPEGQuality = -1;
    int32_t CompressLevel = -1;   // 0..9 with Tight, -1 none
    // kEncryptionOff, kEncryptionPrefer or kEncryptionRequire: whether VeNCrypt is chosen.
    int32_t Encryption = kEncryptionOff;
    // Follow the server's size changes, and ask the server to take the size the picture has
    // room for. Off unless the settings say so: these defaults are the classic protocol.
    bool DesktopResize = false;
    bool RemoteResize = false;
};

class TViewerSession {
public:
    struct THost {
        // Hands a step to the main thread (queued, not waited for).
        TMainThreadDispatcher::TPost PostToMain;
        // Draws what the cycle changed; may be empty.
        std::function<void()> PaintFrame;
        // The current session's frame update thread ended by itself (the server went away, a
        // cycle failed). Runs on the main thread; the session is still open until Close.
        std::function<void()> ThreadEnded;
    };

    TViewerSession(TVNCProto& proto, THost host);
    ~TViewerSession();   // stops the thread; the connection is the engine's
    TViewerSession(const TViewerSession&) = delete;
    TViewerSession& operator=(const TViewerSession&) = delete;

    // The frame interval for a session setting: 0 stays 0 (no pacing), otherwise 1000 div fps
    // with fps taken into 1..50.
    static uint32_t FrameIntervalFor(int32_t targetFps);

    // Before Connect: what the set-up and the first SetEncodings take from the settings.
    void Prepare(const TSessionSettings& settings);
    // After a successful Connect: the opening messages, then the paced cycles. False, with the
    // engine's LastError, when the opening messages could not be sent (no thread then).
    bool Open(const TSessionSettings& settings);
    // Applies settings to the live session: encodings and clipboard sharing at once, the colour
    // depth through the switch that keeps the stream in step, the frame rate from the next
    // cycle. False when the session lives on in the other colour depth (the server left the
    // switch unanswered): the caller should tell the user and store the mode the session has.
    bool Apply(const TSessionSettings& settings);
    // Stops the pacing thread (before the engine's stream is touched from outside the cycle,
    // e.g. a drain) without closing the connection.
    void StopThread();
    // The one teardown: stops the thread, then disconnects.
    void Close();

    // The user changed the room the picture has (window resized, full screen entered or left).
    void RoomChanged(int width, int height) { FRemoteResize.UserChanged(width, height); }
    // Sends the SetDesktopSize that has become due, if any (call when MsUntilResizeDue says
    // so); true when one went out.
    bool SendDueDesktopSize() { return zarn::SendDueDesktopSize(FRemoteResize, FProto); }
    // Milliseconds until a pending change of room is due (0: now), -1 when none is pending.
    int64_t MsUntilResizeDue() const { return FRemoteResize.MsUntilSettled(); }
    TRemoteResizeRequests& RemoteResizeRequests() { return FRemoteResize; }

    // The running frame update thread, or null.
    TFrameUpdateThrd* UpdateThread() const { return FUpdateThread.get(); }
    bool ThreadRunning() const { return FUpdateThread != nullptr; }

    // The picture quality the session announces, following the link.
    const TLinkQuality& LinkQuality() const { return FLinkQuality; }

    // How long a colour-depth switch waits for the old format's last update (tests shorten it).
    TPixelModeSwitchTiming PixelModeTiming;

private:
    void StartUpdateThread(uint32_t frameInterval);
    void UpdateThreadTerminated(uint64_t threadId);

    TVNCProto& FProto;
    THost FHost;
    TLinkQuality FLinkQuality;
    TRemoteResizeRequests FRemoteResize;
    std::unique_ptr<TFrameUpdateThrd> FUpdateThread;
    std::shared_ptr<TViewerSession*> FSelf = std::make_shared<TViewerSession*>(this);
};

} // namespace zarn
