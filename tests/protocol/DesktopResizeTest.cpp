// Servers that change the desktop's size, honestly or not.

#include <gtest/gtest.h>

#include "UpdateCycleTestHelpers.h"
#include "protocol/Decoders.h"
#include "protocol/RemoteResize.h"
#include "support/AllocationProbe.h"

namespace zarn {
namespace {

using test::ByteWriter;
constexpr int kExt = kPseudoExtendedDesktopSize;

// An update led by an ExtendedDesktopSize rectangle of `count` screens (ids 0x01020304 on).
ByteWriter Ext(uint16_t x, uint16_t y, uint16_t w, uint16_t h, int count, int rectangles = 1)
{
    ByteWriter b;
    b.Update(uint16_t(rectangles)).Rect(x, y, w, h, kExt).U8(uint8_t(count)).Zeros(3);
    for (int i = 0; i < count; ++i)
        b.U32(0x01020304u + uint32_t(i)).U32(0).U16(w).U16(h).U32(0x80000001u);
    return b;
}

struct Session : test::ReadySession {
    Session(int side = 8, bool trueColor = true) : ReadySession(side, side, trueColor) { proto->UseDesktopResize = true; }
};

TEST(DesktopResize, SizesAndLayoutsAreTakenOrRefusedCleanly)
{
    const struct {
        const char* what;
        ByteWriter server;
        bool ok;
        int width; // afterwards; the height is the same but for the 255-screen row
        size_t screens;
    } cases[] = {
        { "0 x 0", ByteWriter().Update(1).Rect(0, 0, 0, 0, kPseudoDesktopSize), false, 8, 0 },
        { "16385 x 16385", ByteWriter().Update(1).Rect(0, 0, 16385, 16385, kPseudoDesktopSize), false, 8, 0 },
        { "65535 x 65535", Ext(0, 0, 65535, 65535, 1), false, 8, 1 },
        { "255 screens, then a rectangle at the new size", Ext(0, 0, 30, 20, 255, 2).Rect(0, 0, 1, 1, 0).Px<uint32_t>(7), true, 30, 255 },
        { "two screens claimed, 23 bytes sent", ByteWriter().Update(1).Rect(0, 0, 30, 20, kExt).U8(2).Zeros(26), false, 8, 0 },
        { "a refusal changes nothing", Ext(1, 3, 0, 0, 1), true, 8, 0 },
        { "a new layout at the same size keeps the picture", Ext(0, 0, 8, 8, 2), true, 8, 2 },
        { "LastRect ends an update of 65535, a Bell follows", ByteWriter().Update(0xFFFF).Rect(0, 0, 0, 0, kPseudoLastRect).U8(2), true, 8, 0 },
        { "LastRect, then garbage", ByteWriter().Update(0xFFFF).Rect(0, 0, 0, 0, kPseudoLastRect).U8(7), false, 8, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Session session;
        session.FillAll(5);
        test::AllocationProbe probe;
        EXPECT_EQ(session.Cycle(c.server), c.ok) << session.proto->CycleError;
        EXPECT_LE(probe.LargestRequest(), size_t(1) << 16);
        EXPECT_EQ(session.proto->FramebufferWidth, c.width);
        EXPECT_EQ(session.proto->Pixels32.size(), size_t(c.width) * (c.width == 30 ? 20 : 8));
        EXPECT_EQ(session.proto->ServerScreens.size(), c.screens);
        EXPECT_EQ(session.At(0, 0), c.width == 8 ? 5u : 7u);
        EXPECT_EQ(session.wire->Remaining(), 0u);
    }
}

TEST(DesktopResize, AResizeBetweenRectanglesDrawsTheRestAtTheNewSizeAndAsksForAllOfIt)
{
    for (const bool trueColor : { true, false }) {
        Session session(8, trueColor);
        const std::vector<uint8_t> one(trueColor ? 16 : 4, 1), nine(trueColor ? 16 : 4, 9);
        ASSERT_TRUE(session.Cycle(ByteWriter().Update(3).Rect(0, 0, 2, 2, kEncodingRaw).Add(one)
                .Rect(0, 0, 16, 4, kPseudoDesktopSize).Rect(12, 2, 2, 2, kEncodingRaw).Add(nine)));
        EXPECT_EQ(session.At(0, 0), 0u); // what came before the resize is gone
        EXPECT_EQ(session.At(13, 3), trueColor ? 0x09090909u : 9u);
        // The next request covers the new screen whatever the caller asks; the one after does not.
        for (const uint8_t incremental : { 0, 1 }) {
            session.wire->ClearWritten();
            ASSERT_TRUE(session.proto->RequestUpdate(0, 0, 8, 8, true));
            EXPECT_EQ(session.wire->Written(), (std::vector<uint8_t> { 3, incremental, 0, 0, 0, 0, 0,
                uint8_t(incremental ? 8 : 16), 0, uint8_t(incremental ? 8 : 4) }));
        }
    }
}

TEST(DesktopResize, SetDesktopSizeWaitsForTheServerAndKeepsItsScreen)
{
    Session session;
    EXPECT_FALSE(session.proto->SendSetDesktopSize(1280, 720)); // the server has not said it can
    ASSERT_TRUE(session.Cycle(Ext(0, 0, 8, 8, 1)));
    session.wire->ClearWritten();
    EXPECT_TRUE(session.proto->SendSetDesktopSize(1280, 720));
    EXPECT_EQ(session.wire->Written(), (std::vector<uint8_t> { 251, 0, 5, 0, 2, 0xD0, 1, 0, 1, 2, 3, 4, 0, 0, 0,
        0, 5, 0, 2, 0xD0, 0x80, 0, 0, 1 }));
}

TEST(RemoteResizeRequests, OneRequestPerSettledUserChange)
{
    int64_t now = 0;
    TRemoteResizeRequests requests([&] { return now; });
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
}

} // namespace
} // namespace zarn
