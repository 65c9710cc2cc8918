#include <gtest/gtest.h>

#include "UpdateCycleTestHelpers.h"
#include "protocol/Decoders.h"
#include "protocol/Limits.h"

#include <stdexcept>

namespace zarn {
namespace {

using test::ReadySession;
using test::ByteWriter;
using Bytes = std::vector<uint8_t>;

TEST(UpdateCycle, SendsOneRequestOnlyWhenReady)
{
    ReadySession session(1024, 768);
    ASSERT_TRUE(session.proto->RequestUpdate(0, 0, 1024, 768, true));
    ASSERT_TRUE(session.proto->RequestUpdate(1, 2, 3, 4, false));
    EXPECT_EQ(session.wire->Written(), Bytes({ 3, 1, 0, 0, 0, 0, 4, 0, 3, 0, 3, 0, 0, 1, 0, 2, 0, 3, 0, 4 }));
    EXPECT_EQ(session.proto->BytesSent, 20u);

    session.proto->EncodingsSent = false;
    EXPECT_FALSE(session.Cycle(ByteWriter().U8(2)));
    EXPECT_EQ(session.wire->Written().size(), 20u);
    EXPECT_EQ(session.wire->Remaining(), 1u);
}

TEST(UpdateCycle, HandlesEveryBufferedMessageBackToBackEvenWhenTheBellHookThrows)
{
    ReadySession session(4, 4);
    int bells = 0;
    session.proto->Hooks.OnBell = [&] {
        ++bells;
        throw std::runtime_error("no sound device");
    };
    ASSERT_TRUE(session.Cycle(ByteWriter().U8(2).Update(1).Rect(0, 0, 1, 1, kEncodingRaw).Px<uint32_t>(0x111111)));
    EXPECT_EQ(bells, 1);
    EXPECT_EQ(session.At(0, 0), 0x111111u);
    ASSERT_TRUE(session.Cycle(ByteWriter().Update(0).U8(2).Update(0))); // what arrives later: the next cycle
    EXPECT_EQ(bells, 2);
    EXPECT_EQ(session.proto->FramesReceived, 3u);
}

TEST(UpdateCycle, UnknownMessageTypeEndsTheCycleAfterItsTypeByte)
{
    for (const uint8_t type : { 4, 5, 127, 255 }) {
        ReadySession session(4, 4);
        EXPECT_FALSE(session.Cycle(ByteWriter().U8(type).U8(2).U8(2)));
        EXPECT_EQ(session.wire->Remaining(), 2u) << int(type);
        EXPECT_EQ(session.proto->BytesReceived, 1u);
        EXPECT_NE(session.proto->CycleError.find("type"), std::string::npos);
    }
}

TEST(UpdateCycle, DataThatStopsArrivingFailsTheCycleButKeepsDecodedRectangles)
{
    ReadySession session(4, 4);
    ByteWriter server;
    server.Update(2).Rect(0, 0, 1, 1, kEncodingRaw).Px<uint32_t>(0xABCDEF);
    server.Rect(1, 0, 2, 1, kEncodingRaw).Px<uint32_t>(0x123456); // the second pixel never comes
    EXPECT_FALSE(session.Cycle(server));
    EXPECT_EQ(session.At(0, 0), 0xABCDEFu);
    EXPECT_FALSE(session.proto->CycleError.empty());
    EXPECT_FALSE(session.proto->IsReady());
}

TEST(UpdateCycle, RectangleCountIsUnsignedAndUnannouncedEncodingsCarryNoData)
{
    ReadySession session(4, 4);
    ByteWriter server;
    server.Update(40000);
    for (int i = 0; i < 39999; ++i)
        server.Rect(0, 0, 4, 4, 6); // zlib: not spoken, never announced
    server.Rect(2, 2, 1, 1, kEncodingRaw).Px<uint32_t>(0x77);
    ASSERT_TRUE(session.Cycle(server));
    EXPECT_EQ(session.At(2, 2), 0x77u);
    EXPECT_EQ(session.wire->Remaining(), 0u);
    EXPECT_EQ(session.proto->BytesReceived, 3u + 40000u * 12 + 4);
    EXPECT_EQ(session.proto->FramesReceived, 1u);
}

TEST(UpdateCycle, ReceivedBytesAreCountedPerMessagePart)
{
    struct Case {
        const char* what;
        bool trueColor;
        ByteWriter message;
        uint64_t counted;
    };
    const Case cases[] = { { "empty update", true, ByteWriter().Update(0), 3 },
        { "raw", true, ByteWriter().Update(1).Rect(0, 0, 2, 2, 0).Add(Bytes(16)), 3 + 12 + 16 },
        { "raw 8-bit", false, ByteWriter().Update(1).Rect(0, 0, 2, 2, 0).Add(Bytes(4)), 3 + 12 + 4 },
        { "copyrect", true, ByteWriter().Update(1).Rect(0, 0, 2, 2, 1).U32(0), 3 + 12 + 4 },
        { "rre", true, ByteWriter().Update(1).Rect(0, 0, 2, 2, 2).U32(2).U32(0).Add(Bytes(24)), 3 + 12 + 8 + 24 },
        { "rre 8-bit", false, ByteWriter().Update(1).Rect(0, 0, 2, 2, 2).U32(2).U8(0).Add(Bytes(18)),
            3 + 12 + 5 + 18 },
        { "hextile", true,
            ByteWriter()
                .Update(1)
                .Rect(0, 0, 18, 2, 5)
                .U8(2 | 4 | 8 | 16)
                .U32(1)
                .U32(2)
                .U8(1)
                .U32(3)
                .U16(0)
                .U8(1)
                .Add(Bytes(16)),
            3 + 12 + 9 + 6 + 16 },
        { "colour map", false, ByteWriter().U8(1).U8(0).U16(0).U16(2).Add(Bytes(12)), 1 + 4 + 12 },
        { "raw 0x5", true, ByteWriter().Update(1).Rect(0, 0, 0, 5, 0), 3 + 12 },
        { "hextile 7x0", true, ByteWriter().Update(1).Rect(0, 0, 7, 0, 5), 3 + 12 },
        { "rre 0x0", true, ByteWriter().Update(1).Rect(0, 0, 0, 0, 2).U32(1).U32(0).Add(Bytes(12, 9)),
            3 + 12 + 8 + 12 },
        { "copyrect 0x0", true, ByteWriter().Update(1).Rect(0, 0, 0, 0, 1).U32(0), 3 + 12 + 4 },
        { "tight fill", true, ByteWriter().Update(1).Rect(0, 0, 2, 2, 7).U8(0x80).Add(Bytes(3)), 3 + 12 + 1 + 3 },
        { "tight plain palette 8-bit", false,
            ByteWriter().Update(1).Rect(0, 0, 2, 2, 7).U8(0x40).U8(1).U8(2).Add(Bytes(3 + 4)), 3 + 12 + 3 + 3 + 4 },
        { "zrle 0x0, empty data", true, ByteWriter().Update(1).Rect(0, 0, 0, 0, 16).U32(0), 3 + 12 + 4 },
        { "cut text", true, ByteWriter().U8(3).Add({ 0, 0, 0 }).U32(3).Add({ 'a', 'b', 'c' }), 1 + 7 + 3 } };
    for (const Case& c : cases) {
        // A bell after each message is only seen if the message was consumed exactly.
        ReadySession session(32, 32, c.trueColor);
        int bells = 0;
        session.proto->Hooks.OnBell = [&] { ++bells; };
        ASSERT_TRUE(session.Cycle(ByteWriter(c.message).U8(2))) << c.what;
        EXPECT_EQ(bells, 1) << c.what;
        session.proto->BytesReceived -= 1;
        EXPECT_EQ(session.proto->BytesReceived, c.counted) << c.what;
        EXPECT_EQ(session.wire->Remaining(), 0u) << c.what;
    }
}

TEST(UpdateCycle, ColourMapTakesTheHighBytesAndIgnoresEntriesPast255)
{
    ReadySession session(4, 4, false);
    session.proto->BitmapInfo.Unused[2] = 9;
    session.proto->BitmapInfo.bmiColors[249].rgbRed = 0x42;
    ByteWriter server;
    server.U8(1).U8(0).U16(250).U16(100);
    for (int i = 0; i < 100; ++i)
        server.U16(0xFFFF).U16(uint16_t(0x8000 + i)).U16(0x00FF);
    ASSERT_TRUE(session.Cycle(server.U8(2))); // the bell after it is still in step
    const TBitmapInfo& info = session.proto->BitmapInfo;
    for (int i = 250; i < 256; ++i) {
        EXPECT_EQ(info.bmiColors[i].rgbRed, 0xFF);
        EXPECT_EQ(info.bmiColors[i].rgbGreen, 0x80);
        EXPECT_EQ(info.bmiColors[i].rgbBlue, 0x00);
    }
    EXPECT_EQ(info.bmiColors[249].rgbRed, 0x42);
    EXPECT_EQ(info.Unused[2], 0);
    EXPECT_EQ(session.wire->Remaining(), 0u);
}

TEST(UpdateCycle, ServerCutTextReachesTheClipboardOnlyWhileSharingAndAThrowingHookIsHarmless)
{
    for (const bool sharing : { true, false }) {
        ReadySession session(4, 4);
        session.proto->ShareClipboard = sharing;
        std::vector<std::string> clipboard;
        session.proto->Hooks.OnServerCutText = [&](const std::string& text) {
            clipboard.push_back(text);
            throw std::runtime_error("clipboard busy");
        };
        ASSERT_TRUE(session.Cycle(
            ByteWriter().U8(3).Add({ 0, 0, 0 }).U32(0).U8(3).Add({ 0, 0, 0 }).U32(2).Add({ 'h', 0xE9 })));
        EXPECT_EQ(session.proto->CutText, "h\xE9");
        EXPECT_EQ(
            clipboard, sharing ? std::vector<std::string>({ "", "h\xE9" }) : std::vector<std::string>());
    }
}

TEST(UpdateCycle, DrainInputDropsBufferedBytesUncountedWhileReady)
{
    ReadySession session(4, 4);
    session.wire->Feed({ 0, 1, 2, 3, 4, 5 });
    session.proto->DrainInput();
    EXPECT_EQ(session.wire->Remaining(), 0u);
    EXPECT_EQ(session.proto->BytesReceived, 0u);

    session.proto->Initialised = false;
    session.wire->Feed({ 7 });
    session.proto->DrainInput();
    EXPECT_EQ(session.wire->Remaining(), 1u);
}

} // namespace
} // namespace zarn
