// A whole session over loopback TCP against the scripted server: the opening messages, the
// requests, messages larger than one receive, and a server that stalls mid-message.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "UpdateCycleTestHelpers.h"
#include "protocol/Decoders.h"
#include "support/RfbBytes.h"
#include "support/ScriptedServer.h"

namespace zarn {
namespace {

TEST(UpdateCycleWire, StalledServerEndsTheCycleAfterTheReadTimeoutKeepingDecodedRectangles)
{
    constexpr uint16_t kW = 128, kH = 128; // one Raw update of 64 KiB spans several receives
    test::Wire updates;
    updates.Update(1).Rect(0, 0, kW, kH, kEncodingRaw);
    for (uint32_t i = 0; i < uint32_t(kW) * kH; ++i)
        updates.Px<uint32_t>(i + 0x100);
    updates.U8(2).U8(3).Add({ 0, 0, 0 }).U32(2).Add({ 'h', 'i' });
    updates.Update(2).Rect(5, 5, 1, 1, kEncodingRRE).U32(0).Px<uint32_t>(0xC0FFEE);
    updates.Rect(0, 0, 2, 1, kEncodingRaw).Px<uint32_t>(0xBAD); // then nothing for longer than the time-out

    test::ScriptedServer server;
    server.Send("RFB 003.008\n").Expect(12).Send({ 1, 1 }).Expect(1).SendU32(0).Expect(1);
    server.Send(test::ServerInitBytes({ .width = kW, .height = kH }));
    server.Expect(8 + 20 + 6 * 8 + 10).Send(updates.bytes).Pause(8000).Close();
    server.Start();

    TVNCProto proto;
    ASSERT_TRUE(proto.Connect("127.0.0.1", server.Port()));
    ASSERT_TRUE(proto.StartSession(true));
    int bells = 0;
    proto.OnBell = [&] { ++bells; };
    int cycles = 0;
    while (proto.RequestUpdate(0, 0, kW, kH, cycles > 0) && ++cycles < 1000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    EXPECT_NE(proto.CycleError.find("timed out"), std::string::npos) << proto.CycleError;
    EXPECT_EQ(proto.Pixels32[0], 0x100u); // the stalled rectangle stored nothing
    EXPECT_EQ(proto.Pixels32[kW * kH - 1], uint32_t(kW * kH - 1 + 0x100));
    EXPECT_EQ(proto.Pixels32[5 * kW + 5], 0xC0FFEEu);
    EXPECT_EQ(bells, 1);
    EXPECT_EQ(proto.CutText, "hi");
    EXPECT_EQ(proto.FramesReceived, 1u);

    // Opening sequence, then the first (non-incremental) request and the incremental ones.
    const std::vector<uint8_t> sent = server.Received();
    ASSERT_GE(sent.size(), 12 + 2 + 8 + 20 + 48 + 20u);
    const std::vector<uint8_t> requests(
        sent.begin() + 12 + 2 + 8 + 20 + 48, sent.begin() + 12 + 2 + 8 + 20 + 48 + 20);
    EXPECT_EQ(
        std::vector<uint8_t>(sent.begin() + 14, sent.begin() + 18), std::vector<uint8_t>({ 2, 0, 0, 1 }));
    EXPECT_EQ(requests,
        std::vector<uint8_t>({ 3, 0, 0, 0, 0, 0, 0, 128, 0, 128, 3, 1, 0, 0, 0, 0, 0, 128, 0, 128 }));
}

} // namespace
} // namespace zarn
