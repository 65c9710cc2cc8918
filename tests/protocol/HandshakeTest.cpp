// Version exchange, ClientInit/ServerInit and the engine state a Connect leaves behind,
// against the scripted server on loopback.

#include <gtest/gtest.h>

#include "HandshakeHarness.h"

namespace zarn::test {
namespace {

struct VersionCase {
    const char* greeting;
    uint8_t version;
    const char* reply;
};

class VersionExchange : public ::testing::TestWithParam<VersionCase> { };

TEST_P(VersionExchange, RepliesAndSettlesOnTheVersionOfTheTable)
{
    const VersionCase& c = GetParam();
    HandshakeHarness h;
    h.server.Send(c.greeting).Expect(12).Close();
    EXPECT_FALSE(h.Connect()); // the server closes right after the reply
    EXPECT_EQ(h.Sent(12), BytesOf(c.reply));
    EXPECT_EQ(h.proto.ProtocolVersion, c.version);
}

INSTANTIATE_TEST_SUITE_P(Greetings, VersionExchange,
    ::testing::Values(VersionCase { "RFB 003.003\n", kRfb33, "RFB 003.003\n" },
        VersionCase { "RFB 003.005\n", kRfb33, "RFB 003.003\n" },
        VersionCase { "RFB 003.006\n", kRfb33, "RFB 003.003\n" },
        VersionCase { "RFB 003.007\n", kRfb37, "RFB 003.007\n" },
        VersionCase { "RFB 003.008\n", kRfb38, "RFB 003.008\n" },
        VersionCase { "RFB 003.889\n", kRfb38, "RFB 003.008\n" },
        VersionCase { "RFB 004.001\n", kRfb38, "RFB 003.008\n" },
        VersionCase { "RFB 003.004\n", kRfb38, "RFB 003.008\n" },
        VersionCase { "RFB 003.003 extra\n", kRfb38, "RFB 003.008\n" },
        VersionCase { "RFB 003.007\r\n", kRfb37, "RFB 003.007\n" },
        VersionCase { "RFB 003.003\r\n", kRfb33, "RFB 003.003\n" }));

TEST(VersionExchange, GreetingNotStartingWithRfbBlankIsRefusedWithoutReply)
{
    for (const char* greeting : { "XFB 003.008\n", "RFB003.008\n", "rfb 003.008\n", "RF\n", "\n" }) {
        SCOPED_TRACE(greeting);
        HandshakeHarness h;
        h.server.Send(greeting).WaitForClientClose();
        EXPECT_FALSE(h.Connect());
        EXPECT_TRUE(h.server.WaitUntilDone()) << h.server.Error(); // the client hung up
        EXPECT_TRUE(h.server.Received().empty());
    }
}

TEST(ServerInit, FillsEveryPixelFormatFieldAndTheFramebuffer)
{
    ServerInitFields init;
    init.width = 1024;
    init.height = 768;
    init.bitsPerPixel = 16;
    init.depth = 15;
    init.bigEndian = 7; // any non-zero byte counts as true
    init.trueColour = 1;
    init.redMax = 31;
    init.greenMax = 63;
    init.blueMax = 0x1F1F;
    init.redShift = 11;
    init.greenShift = 5;
    init.blueShift = 0;
    init.name = "desk \xE9top";
    HandshakeHarness h;
    ScriptNoneHandshake(h.server, init);

    ASSERT_TRUE(h.Connect()) << h.proto.LastError;
    const TVNCProto& p = h.proto;
    EXPECT_EQ(p.FramebufferWidth, 1024);
    EXPECT_EQ(p.FramebufferHeight, 768);
    EXPECT_EQ(p.BitsPerPixel, 16);
    EXPECT_EQ(p.Depth, 15);
    EXPECT_TRUE(p.BigEndian);
    EXPECT_TRUE(p.TrueColor);
    EXPECT_EQ(p.RedMax, 31);
    EXPECT_EQ(p.GreenMax, 63);
    EXPECT_EQ(p.BlueMax, 0x1F1F);
    EXPECT_EQ(p.RedShift, 11);
    EXPECT_EQ(p.GreenShift, 5);
    EXPECT_EQ(p.BlueShift, 0);
    EXPECT_EQ(p.DesktopName, "desk \xE9top");
    EXPECT_EQ(p.Pixels32.size(), 786432u);
    EXPECT_EQ(p.Pixels8.size(), 786432u);
    EXPECT_EQ(p.BitmapInfo.bmiHeader.biWidth, 1024);
    EXPECT_EQ(p.BitmapInfo.bmiHeader.biHeight, 768);
    EXPECT_EQ(p.BitmapInfo.bmiHeader.biBitCount, 16);
    EXPECT_TRUE(p.Initialised);
    EXPECT_FALSE(p.EncodingsSent);
    EXPECT_EQ(p.SecurityType, 1);
    EXPECT_TRUE(p.LastError.empty());
}

TEST(ServerInit, ZeroLengthNameGivesEmptyDesktopNameAndFalseFlags)
{
    ServerInitFields init;
    init.name = "";
    init.bigEndian = 0;
    init.trueColour = 0;
    HandshakeHarness h;
    ScriptNoneHandshake(h.server, init);
    ASSERT_TRUE(h.Connect()) << h.proto.LastError;
    EXPECT_EQ(h.proto.DesktopName, "");
    EXPECT_FALSE(h.proto.BigEndian);
    EXPECT_FALSE(h.proto.TrueColor);
}

TEST(Counters, CountOnlyTheVersionReplyAndTheGreetingText)
{
    for (const char* greeting : { "RFB 003.008\n", "RFB 003.008\r\n", "RFB 003.008 and more\n" }) {
        SCOPED_TRACE(greeting);
        HandshakeHarness h;
        h.proto.BytesSent = 99;
        h.proto.BytesReceived = 99;
        ScriptNoneHandshake(h.server, {}, greeting);
        ASSERT_TRUE(h.Connect()) << h.proto.LastError;
        // The client wrote reply + security type + ClientInit, but only the reply counts.
        EXPECT_EQ(h.Sent(14), Concat({ kReply38, { 1 }, { 1 } }));
        EXPECT_EQ(h.proto.BytesSent, 12u);
        std::string text = greeting;
        text.pop_back();
        if (text.back() == '\r')
            text.pop_back();
        EXPECT_EQ(h.proto.BytesReceived, text.size());
    }
}

TEST(Counters, FramesReceivedSurvivesConnect)
{
    HandshakeHarness h;
    h.proto.FramesReceived = 7;
    ScriptNoneHandshake(h.server, {});
    ASSERT_TRUE(h.Connect());
    EXPECT_EQ(h.proto.FramesReceived, 7u);
}

TEST(FailureReason, StaleReasonIsGoneAfterALaterFailureOfAnotherKind)
{
    HandshakeHarness h;
    h.proto.FailureReason = "bad password (from an earlier attempt)";
    h.server.Send("HTTP/1.1 400\n").WaitForClientClose();
    EXPECT_FALSE(h.Connect());
    EXPECT_EQ(h.proto.FailureReason, "");
    EXPECT_FALSE(h.proto.LastError.empty());
}

TEST(Connect, RefusedOrInvalidTargetsFailWithoutThrowing)
{
    TVNCProto proto;
    proto.Limits.ConnectTimeoutMs = 2000;
    proto.SetPort(0);
    EXPECT_FALSE(proto.Connect("127.0.0.1"));
    int closedPort;
    {
        ScriptedServer gone; // listens, then frees its port
        closedPort = gone.Port();
    }
    EXPECT_FALSE(proto.Connect("127.0.0.1", closedPort));
    EXPECT_EQ(proto.Port, closedPort);
    EXPECT_FALSE(proto.LastError.empty());
    EXPECT_FALSE(proto.Initialised);
}

TEST(SetPort, AcceptsOnlyTcpPorts)
{
    TVNCProto proto;
    proto.SetPort(5901);
    for (int bad : { 70000, -5, 65536, -1 })
        proto.SetPort(bad);
    EXPECT_EQ(proto.Port, 5901);
    proto.SetPort(0);
    EXPECT_EQ(proto.Port, 0);
    proto.SetPort(65535);
    EXPECT_EQ(proto.Port, 65535);
}

TEST(Connect, ArgumentsReplaceHostAndPortOnlyWhenGiven)
{
    HandshakeHarness h;
    ScriptNoneHandshake(h.server, {});
    h.server.Start();
    h.proto.Host = "127.0.0.1";
    h.proto.SetPort(h.server.Port());
    ASSERT_TRUE(h.proto.Connect()); // defaults keep the fields
    EXPECT_EQ(h.proto.Host, "127.0.0.1");
    EXPECT_EQ(h.proto.Port, h.server.Port());
}

TEST(Reconnect, KeepsThePreviousPictureWhenTheSizeIsUnchanged)
{
    HandshakeHarness first;
    ScriptNoneHandshake(first.server, { .width = 4, .height = 2 });
    ASSERT_TRUE(first.Connect());
    first.proto.Pixels32[5] = 0x00ABCDEF;

    ScriptedServer second;
    ScriptNoneHandshake(second, { .width = 4, .height = 2 });
    second.Start();
    ASSERT_TRUE(first.proto.Connect("127.0.0.1", second.Port())) << first.proto.LastError;
    EXPECT_EQ(first.proto.Pixels32[5], 0x00ABCDEFu);
    EXPECT_TRUE(first.server.WaitForClientClosed()) << "the first connection was not closed";
}

} // namespace
} // namespace zarn::test
