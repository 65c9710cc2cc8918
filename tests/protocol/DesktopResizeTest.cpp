// Servers that change the desktop's size, honestly or not.

#include <gtest/gtest.h>

#include "UpdateCycleTestHelpers.h"
#include "protocol/Decoders.h"
#include "protocol/RemoteResize.h"
#include "support/AllocationProbe.h"

namespace zarn {
namespace {

using test::AllocationProbe;
using test::ByteWriter;
using test::ReadySession;

ByteWriter& Screens(ByteWriter& w, int count, uint16_t width, uint16_t height)
{
    w.U8(uint8_t(count)).Zeros(3);
    for (int i = 0; i < count; ++i)
        w.U32(0x01020304u + uint32_t(i)).U16(0).U16(0).U16(width).U16(height).U32(0x80000001u);
    return w;
}

TEST(DesktopResize, SizesAndLayoutsAreTakenOrRefusedCleanly)
{
    const int kExt = kPseudoExtendedDesktopSize;
    struct Case {
        const char* what;
        ByteWriter server;
        bool ok;
        int width, height; // afterwards
        size_t screens;
    };
    ByteWriter s255, sTrunc, sRefused, sLayout;
    Screens(s255.Update(2).Rect(0, 0, 30, 20, kExt), 255, 30, 20).Rect(0, 0, 1, 1, kEncodingRaw).Px<uint32_t>(7);
    sTrunc.Update(1).Rect(0, 0, 30, 20, kExt).U8(2).Zeros(3).Zeros(20);
    Screens(sRefused.Update(1).Rect(1, 3, 0, 0, kExt), 1, 0, 0);
    Screens(sLayout.Update(1).Rect(0, 0, 8, 8, kExt), 2, 4, 8);
    const Case cases[] = {
        { "0 x 0", ByteWriter().Update(1).Rect(0, 0, 0, 0, kPseudoDesktopSize), false, 8, 8, 0 },
        { "16385 x 16385", ByteWriter().Update(1).Rect(0, 0, 16385, 16385, kPseudoDesktopSize), false, 8, 8, 0 },
        { "65535 x 65535", Screens(ByteWriter().Update(1).Rect(0, 0, 65535, 65535, kExt), 1, 1, 1), false, 8, 8, 1 },
        { "0 wide, extended", Screens(ByteWriter().Update(1).Rect(0, 0, 0, 9, kExt), 1, 1, 1), false, 8, 8, 1 },
        { "255 screens, then a rectangle at the new size", s255, true, 30, 20, 255 },
        { "screen data cut short", sTrunc, false, 8, 8, 0 },
        { "a refusal changes nothing", sRefused, true, 8, 8, 0 },
        { "a new layout at the same size keeps the picture", sLayout, true, 8, 8, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReadySession session(8, 8);
        session.proto->UseDesktopResize = true;
        session.FillAll(5);
        AllocationProbe probe;
        EXPECT_EQ(session.Cycle(c.server), c.ok) << session.proto->CycleError;
        EXPECT_LE(probe.LargestRequest(), size_t(1) << 16);
        EXPECT_EQ(session.proto->FramebufferWidth, c.width);
        EXPECT_EQ(session.proto->FramebufferHeight, c.height);
        EXPECT_EQ(session.proto->Pixels32.size(), size_t(c.width * c.height));
        EXPECT_EQ(session.proto->ServerScreens.size(), c.screens);
        EXPECT_EQ(session.At(0, 0), c.width == 8 ? 5u : 7u);
        if (c.ok) {
            EXPECT_EQ(session.wire->Remaining(), 0u);
        }
    }
}

TEST(DesktopResize, AResizeBetweenRectanglesDrawsTheRestAtTheNewSizeAndAsksForAllOfIt)
{
    for (const bool trueColor : { true, false }) {
        ReadySession session(8, 8, trueColor);
        session.proto->UseDesktopResize = true;
        int resized = 0;
        session.proto->OnDesktopResized = [&] { ++resized; };
        const size_t px = trueColor ? 4 : 1;
        ByteWriter server;
        server.Update(3).Rect(0, 0, 2, 2, kEncodingRaw).Add(std::vector<uint8_t>(4 * px, 1));
        server.Rect(0, 0, 16, 4, kPseudoDesktopSize);
        server.Rect(12, 2, 2, 2, kEncodingRaw).Add(std::vector<uint8_t>(4 * px, 9));
        ASSERT_TRUE(session.Cycle(server));
        EXPECT_EQ(resized, 1);
        EXPECT_EQ(session.At(0, 0), 0u); // what came before the resize is gone
        EXPECT_EQ(session.At(13, 3), trueColor ? 0x09090909u : 9u);
        // The next request covers the new screen whatever the caller asked; the one after is
        // incremental again.
        for (const uint8_t incremental : { 0, 1 }) {
            session.wire->ClearWritten();
            ASSERT_TRUE(session.proto->RequestUpdate(0, 0, 8, 8, true));
            EXPECT_EQ(session.wire->Written(), (std::vector<uint8_t> { 3, incremental, 0, 0, 0, 0, 0,
                uint8_t(incremental ? 8 : 16), 0, uint8_t(incremental ? 8 : 4) }));
        }
    }
}

TEST(DesktopResize, LastRectEndsTheUpdateAndWhatFollowsIsTheNextMessage)
{
    int bells = 0;
    for (const uint8_t next : { 2, 7 }) { // a Bell, then garbage
        ReadySession session(4, 4);
        session.proto->UseDesktopResize = true;
        session.proto->OnBell = [&] { ++bells; };
        ByteWriter server;
        server.Update(0xFFFF).Rect(1, 1, 1, 1, kEncodingRaw).Px<uint32_t>(3).Rect(0, 0, 0, 0, kPseudoLastRect).U8(next);
        EXPECT_EQ(session.Cycle(server), next == 2) << session.proto->CycleError;
        EXPECT_EQ(session.At(1, 1), 3u);
        EXPECT_EQ(session.proto->FramesReceived, 1u);
    }
    EXPECT_EQ(bells, 1);
}

TEST(DesktopResize, UnannouncedTheSizeEncodingsAreSkippedAsTheClassicProtocolDoes)
{
    ReadySession session(8, 8);
    ASSERT_TRUE(session.Cycle(ByteWriter().Update(1).Rect(0, 0, 20, 20, kPseudoDesktopSize)));
    EXPECT_EQ(session.proto->FramebufferWidth, 8);
}

TEST(DesktopResize, SetDesktopSizeWaitsForTheServerAndKeepsItsScreen)
{
    ReadySession session(8, 8);
    session.proto->UseDesktopResize = true;
    EXPECT_FALSE(session.proto->SendSetDesktopSize(1280, 720)); // the server has not said it can
    ByteWriter layout;
    ASSERT_TRUE(session.Cycle(Screens(layout.Update(1).Rect(0, 0, 8, 8, kPseudoExtendedDesktopSize), 1, 8, 8)));
    session.wire->ClearWritten();
    EXPECT_FALSE(session.proto->SendSetDesktopSize(0, 720));
    EXPECT_TRUE(session.proto->SendSetDesktopSize(1280, 720));
    EXPECT_EQ(session.wire->Written(), (std::vector<uint8_t> { 251, 0, 0x05, 0x00, 0x02, 0xD0, 1, 0, 1, 2, 3, 4, 0,
        0, 0, 0, 0x05, 0x00, 0x02, 0xD0, 0x80, 0, 0, 1 }));
}

TEST(RemoteResizeRequests, OneRequestPerSettledUserChange)
{
    int64_t now = 0;
    TRemoteResizeRequests requests([&] { return now; });
    requests.UserChanged(800, 600);
    EXPECT_FALSE(requests.Due(true, 640, 480)); // off until the setting says otherwise
    requests.SetEnabled(true);
    requests.UserChanged(700, 500); // a drag: only where it ends counts
    now = 300;
    requests.UserChanged(800, 600);
    now = 799;
    EXPECT_FALSE(requests.Due(true, 640, 480));
    now = 800;
    EXPECT_FALSE(requests.Due(false, 640, 480)); // the server has not said it takes requests
    EXPECT_EQ(requests.Due(true, 640, 480), (TDesktopSize { 800, 600 }));
    EXPECT_FALSE(requests.Due(true, 640, 480)); // its answer, whatever it is, asks for nothing
    requests.UserChanged(640, 480);
    now = 2000;
    EXPECT_FALSE(requests.Due(true, 640, 480)); // already that size
    EXPECT_EQ(requests.MsUntilSettled(), -1);
}

} // namespace
} // namespace zarn
