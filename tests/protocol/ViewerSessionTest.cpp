#include <gtest/gtest.h>

#include "FrameUpdateThrdTestQueue.h"
#include "UpdateCycleTestHelpers.h"
#include "protocol/ViewerSession.h"

namespace zarn {
namespace {

using test::ReadySession;
using testing::FakeMainQueue;

struct SessionRig {
    SessionRig()
    {
        ready.proto->EncodingsSent = false; // connected, as right after Connect
        session = std::make_unique<TViewerSession>(*ready.proto,
            TViewerSession::THost { .PostToMain = queue.Poster(), .PaintFrame = {}, .ThreadEnded = [this] { ++ended; } });
    }

    ReadySession ready { 8, 8 };
    FakeMainQueue queue;
    int ended = 0;
    std::unique_ptr<TViewerSession> session;
};

TEST(ViewerSession, OpensWithTheSettingsAppliesThemLiveAndClosesOnce)
{
    SessionRig rig;
    TSessionSettings settings;
    settings.EncRRE = settings.EncCopyRect = false;
    settings.TargetFPS = 10;
    ASSERT_TRUE(rig.session->Open(settings));
    ASSERT_TRUE(rig.session->ThreadRunning());
    EXPECT_EQ(rig.session->UpdateThread()->FrameInterval.load(), 100u);
    // SetEncodings of Hextile and Raw leads the opening messages.
    const std::vector<uint8_t> encodings { 2, 0, 0, 2, 0, 0, 0, 5, 0, 0, 0, 0 };
    const auto& written = rig.ready.wire->Written();
    ASSERT_GE(written.size(), encodings.size());
    EXPECT_TRUE(std::equal(encodings.begin(), encodings.end(), written.begin()));

    rig.ready.wire->ClearWritten();
    settings.EncHextile = false;
    settings.EncRRE = true;
    settings.TargetFPS = 50;
    settings.DesktopResize = true;
    EXPECT_TRUE(rig.session->Apply(settings)); // same colour depth: nothing to switch
    EXPECT_EQ(rig.ready.wire->Written(), (std::vector<uint8_t> { 2, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 0, 0xFF, 0xFF,
        0xFF, 0x21, 0xFF, 0xFF, 0xFE, 0xCC, 0xFF, 0xFF, 0xFF, 0x20 }));
    EXPECT_EQ(rig.session->UpdateThread()->FrameInterval.load(), 20u);

    rig.session->Close();
    EXPECT_FALSE(rig.session->ThreadRunning());
    EXPECT_FALSE(rig.ready.proto->IsReady());
    EXPECT_EQ(rig.ended, 0) << "a session the host closed did not end by itself";
}

TEST(ViewerSession, AThreadThatEndsByItselfIsReportedOnceAndNeverAfterTheSessionIsGone)
{
    for (const bool sessionOutlivesTheNotice : { true, false }) {
        SessionRig rig;
        ASSERT_TRUE(rig.session->Open({}));
        rig.ready.wire->Disconnect(); // the server went away
        ASSERT_TRUE(rig.queue.RunNext()); // the thread's readiness test fails: it ends
        while (!rig.session->UpdateThread()->Finished())
            std::this_thread::yield();
        if (sessionOutlivesTheNotice)
            ASSERT_TRUE(rig.queue.WaitForPending(1));
        else
            rig.session.reset(); // joins the thread: its end notice is queued by now
        while (rig.queue.Pending() > 0)
            rig.queue.RunNext(); // must not reach a session that is gone (ASan would tell)
        EXPECT_EQ(rig.ended, sessionOutlivesTheNotice ? 1 : 0);
        EXPECT_TRUE(!rig.session || !rig.session->ThreadRunning());
    }
}

} // namespace
} // namespace zarn
