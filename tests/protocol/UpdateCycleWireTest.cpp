// Whole sessions over loopback TCP against the scripted server: the opening messages, the
// requests, messages larger than one receive, and the limits on waiting for a server that
// stalls, trickles or stops reading.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "UpdateCycleTestHelpers.h"
#include "platform/TcpClient.h"
#include "protocol/Decoders.h"
#include "support/RfbBytes.h"
#include "support/RfbScripts.h"

namespace zarn {
namespace {

// What the client sends once ServerInit is in: SetEncodings (Raw only), SetPixelFormat and the
// six modifier releases.
constexpr size_t kOpeningBytes = 8 + 20 + 6 * 8;

// Plays a None handshake and connects `proto` to `server`, with the session started.
void StartSession(test::ScriptedServer& server, TVNCProto& proto)
{
    server.Start();
    ASSERT_TRUE(proto.Connect("127.0.0.1", server.Port())) << proto.LastError;
    ASSERT_TRUE(proto.StartSession(true)) << proto.LastError;
}

// Runs update cycles until one fails or `done` holds.
template <typename Done> bool CycleUntil(TVNCProto& proto, Done done)
{
    while (!done()) {
        if (!proto.RequestUpdate(0, 0, uint16_t(proto.FramebufferWidth), uint16_t(proto.FramebufferHeight), true))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST(UpdateCycleWire, StalledServerEndsTheCycleAtTheMessageLimitKeepingDecodedRectangles)
{
    constexpr uint16_t kW = 128, kH = 128; // one Raw update of 64 KiB spans several receives
    test::ByteWriter updates;
    updates.Update(1).Rect(0, 0, kW, kH, kEncodingRaw);
    for (uint32_t i = 0; i < uint32_t(kW) * kH; ++i)
        updates.Px<uint32_t>(i + 0x100);
    updates.U8(2).U8(3).Add({ 0, 0, 0 }).U32(2).Add({ 'h', 'i' });
    updates.Update(2).Rect(5, 5, 1, 1, kEncodingRRE).U32(0).Px<uint32_t>(0xC0FFEE);
    updates.Rect(0, 0, 2, 1, kEncodingRaw).Px<uint32_t>(0xBAD); // then nothing for longer than the time-out

    test::ScriptedServer server;
    test::ScriptNoneHandshake(server, { .width = kW, .height = kH });
    server.Expect(kOpeningBytes + 10).Send(updates.bytes()).Pause(8000).Close();
    server.Start();

    TVNCProto proto;
    proto.Limits.MessageWindowMs = 1000;
    ASSERT_TRUE(proto.Connect("127.0.0.1", server.Port()));
    ASSERT_TRUE(proto.StartSession(true));
    int bells = 0;
    proto.Hooks.OnBell = [&] { ++bells; };
    int cycles = 0;
    while (proto.RequestUpdate(0, 0, kW, kH, cycles > 0) && ++cycles < 1000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    EXPECT_NE(proto.CycleError.find("message progress limit"), std::string::npos) << proto.CycleError;
    EXPECT_FALSE(proto.IsReady()) << "nothing more may be read or sent out of step";
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

// A one-pixel update dripped a byte every 2 s would take 40 s; the shipped rule cuts it long
// before (a per-read time-out never would), so the cycle fails on the limit, not on the close.
TEST(UpdateCycleWire, UpdateDrippedAByteEveryTwoSecondsEndsTheSession)
{
    test::ScriptedServer server;
    test::ScriptNoneHandshake(server, { .width = 1, .height = 1 }).Expect(kOpeningBytes);
    test::ByteWriter update;
    update.Update(1).Rect(0, 0, 1, 1, kEncodingRaw).Px<uint32_t>(0x123456);
    test::Drip(server, update.bytes(), 2000).Close();
    TVNCProto proto;
    StartSession(server, proto);
    EXPECT_FALSE(CycleUntil(proto, [&] { return proto.FramesReceived > 0; }));
    EXPECT_NE(proto.CycleError.find("message progress limit"), std::string::npos) << proto.CycleError;
    EXPECT_EQ(proto.FramesReceived, 0u);
}

uint32_t Pattern(uint32_t i)
{
    return (i * 2654435761u) >> 8;
}

// One 1 MiB Raw rectangle paced at a steady 64 KiB/s (16 s) under the shipped rule.
TEST(UpdateCycleWire, SteadySlowLinkIsNeverCut)
{
    constexpr uint16_t kSide = 512;
    constexpr size_t kPerTick = 8 * 1024; // every 125 ms
    test::ByteWriter update;
    update.Update(1).Rect(0, 0, kSide, kSide, kEncodingRaw);
    for (uint32_t i = 0; i < uint32_t(kSide) * kSide; ++i)
        update.Px<uint32_t>(Pattern(i));
    const std::vector<uint8_t>& bytes = update.bytes();

    test::ScriptedServer server;
    test::ScriptNoneHandshake(server, { .width = kSide, .height = kSide }).Expect(kOpeningBytes + 10);
    for (size_t at = 0; at < bytes.size(); at += kPerTick) {
        const auto end = bytes.begin() + ptrdiff_t(std::min(at + kPerTick, bytes.size()));
        server.Send(std::vector<uint8_t>(bytes.begin() + ptrdiff_t(at), end)).Pause(125);
    }
    TVNCProto proto;
    StartSession(server, proto);
    ASSERT_TRUE(CycleUntil(proto, [&] { return proto.FramesReceived > 0; })) << proto.CycleError;
    for (uint32_t i = 0; i < uint32_t(kSide) * kSide; ++i)
        ASSERT_EQ(proto.Pixels32[i], Pattern(i)) << i;
}

// A listener whose backlog takes the connection but that never accepts it, let alone reads.
class DeafServer {
public:
    DeafServer()
    {
        FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(FFd, 1);
        ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
    }
    ~DeafServer() { ::close(FFd); }
    int Port() const { return FPort; }

private:
    int FFd = -1;
    int FPort = 0;
};

TEST(ClientCutTextWire, ServerThatStopsReadingFailsTheWriteAtItsTimeOutAndEndsTheSession)
{
    DeafServer server;
    auto client = std::make_unique<TcpClient>();
    client->SetHost("127.0.0.1");
    client->SetPort(server.Port());
    client->Connect();
    TVNCProto proto;
    proto.Limits.WriteTimeoutMs = 500;
    proto.AdoptSession(4, 4, true, std::move(client));
    std::vector<std::string> reported;
    proto.Hooks.OnSendFailed = [&](const std::string& why) { reported.push_back(why); };
    // Far more than the socket buffers on both ends hold.
    EXPECT_FALSE(proto.SendClientCutText(std::string(32u << 20, 'x')));
    EXPECT_NE(proto.LastError.find("write time-out"), std::string::npos) << proto.LastError;
    EXPECT_FALSE(proto.IsReady());
    // The user hears of it once; later sends on the closed connection send nothing, silently.
    EXPECT_FALSE(proto.SendKeyEvent(0x41, 0, true));
    EXPECT_EQ(reported, std::vector<std::string> { proto.LastError });
}

} // namespace
} // namespace zarn
