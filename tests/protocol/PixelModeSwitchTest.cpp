// Switching between true colour and 256 colours on a live connection, against a scripted
// server on loopback whose old-format update is still arriving when the switch begins.

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "protocol/PixelModeSwitch.h"
#include "protocol/VNCProto.h"
#include "support/RfbBytes.h"
#include "support/ScriptedServer.h"

namespace zarn::test {
namespace {

constexpr size_t kHandshakeBytes = 14;     // version, security choice, ClientInit
constexpr size_t kSessionStartBytes = 76;  // SetEncodings (Raw only), SetPixelFormat, 6 key releases

void ScriptHandshake(ScriptedServer& server)
{
    ServerInitFields init;
    init.width = 2;
    init.height = 2;
    server.Send("RFB 003.008\n").Expect(12).Send({ 1, 1 }).Expect(1).SendU32(0).Expect(1).Send(ServerInitBytes(init));
}

TEST(PixelModeSwitch, AnOldFormatUpdateStillArrivingIsReadWholeInTheOldFormat)
{
    // A 2 x 2 Raw update in 32-bit pixels, sent in two pieces far apart.
    ByteWriter oldUpdate;
    oldUpdate.U8(0).U8(0).U16(1).U16(0).U16(0).U16(2).U16(2).S32(0);
    for (uint32_t pixel : { 0x00112233u, 0x00445566u, 0x00778899u, 0x00AABBCCu })
        oldUpdate.U8(uint8_t(pixel)).U8(uint8_t(pixel >> 8)).U8(uint8_t(pixel >> 16)).U8(0);
    const std::vector<uint8_t>& all = oldUpdate.bytes();
    const std::vector<uint8_t> firstPiece(all.begin(), all.begin() + 20);
    const std::vector<uint8_t> secondPiece(all.begin() + 20, all.end());

    ScriptedServer server;
    ScriptHandshake(server);
    server.WaitForClientBytes(kHandshakeBytes + kSessionStartBytes)
        .Send(firstPiece)
        .Pause(700) // past the settle time: cutting the input here would split the message
        .Send(secondPiece);
    // After SetPixelFormat: colour 9 := pure red, then every pixel index 9.
    server.WaitForClientBytes(kHandshakeBytes + kSessionStartBytes + 10 + 20)
        .Send(ByteWriter().U8(1).U8(0).U16(9).U16(1).U16(0xFFFF).U16(0).U16(0))
        .Send(ByteWriter().U8(0).U8(0).U16(1).U16(0).U16(0).U16(2).U16(2).S32(0).U8(9).U8(9).U8(9).U8(9));
    server.Start();

    TVNCProto proto;
    ASSERT_TRUE(proto.Connect("127.0.0.1", server.Port()));
    ASSERT_TRUE(proto.StartSession(true));
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the first piece is on its way

    ASSERT_TRUE(SwitchPixelMode(proto, nullptr, false));
    EXPECT_FALSE(proto.TrueColor);
    EXPECT_EQ(proto.Pixels32, (std::vector<uint32_t> { 0x00112233u, 0x00445566u, 0x00778899u, 0x00AABBCCu }));

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (proto.Pixels8 != std::vector<uint8_t>(4, 9) && std::chrono::steady_clock::now() < deadline) {
        ASSERT_TRUE(proto.RequestUpdate(0, 0, 2, 2, true)) << proto.CycleError;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(proto.Pixels8, std::vector<uint8_t>(4, 9));
    EXPECT_EQ(proto.BitmapInfo.bmiColors[9].rgbRed, 0xFF);
    EXPECT_TRUE(server.WaitUntilDone()) << server.Error();
}

TEST(PixelModeSwitch, AServerThatNeverAnswersKeepsTheOldMode)
{
    ScriptedServer server;
    ScriptHandshake(server);
    server.WaitForClientBytes(kHandshakeBytes + kSessionStartBytes + 10).Pause(600);
    server.Start();

    TVNCProto proto;
    ASSERT_TRUE(proto.Connect("127.0.0.1", server.Port()));
    ASSERT_TRUE(proto.StartSession(true));
    // An update owed in the old format could still come after a switch: none is made.
    EXPECT_FALSE(SwitchPixelMode(proto, nullptr, false, { .SettleMs = 50, .LimitMs = 300 }));
    EXPECT_TRUE(proto.TrueColor);
    EXPECT_TRUE(proto.IsReady());
    EXPECT_EQ(server.Received().size(), kHandshakeBytes + kSessionStartBytes + 10) << "no SetPixelFormat";
}

} // namespace
} // namespace zarn::test
