// A hostile or stalled server during set-up: Connect must give up, and must not allocate
// for sizes the server merely claims.

#include <gtest/gtest.h>

#include "HandshakeHarness.h"
#include "support/AllocationProbe.h"

#include <chrono>
#include <thread>

namespace zarn::test {
namespace {

// Far above anything the set-up needs for these scripts, far below what the claims ask for.
constexpr size_t kFewMegabytes = 4u << 20;

struct HostileCase {
    const char* name;
    std::function<void(ScriptedServer&)> script;
};

void Greet38(ScriptedServer& s)
{
    s.Send("RFB 003.008\n").Expect(12);
}

void ReachServerInit(ScriptedServer& s)
{
    Greet38(s);
    s.Send({ 1, 1 }).Expect(1).SendU32(0).Expect(1);
}

const HostileCase kHostileCases[] = {
    { "greeting of 20000 bytes without a line feed",
        [](ScriptedServer& s) { s.Send(std::string(20000, 'R')).Pause(5000); } },
    { "reason length 0xFFFFFFFF with an empty type list",
        [](ScriptedServer& s) {
            Greet38(s);
            s.SendU8(0).SendU32(0xFFFFFFFF).Send("short").Pause(5000);
        } },
    { "reason length 0xFFFFFFFF after a failed authentication",
        [](ScriptedServer& s) {
            Greet38(s);
            s.Send({ 1, 2 })
                .Expect(1)
                .Send(std::string(16, 'c'))
                .Expect(16)
                .SendU32(1)
                .SendU32(0xFFFFFFFF)
                .Pause(5000);
        } },
    { "challenge length 0xFFFFFFFF",
        [](ScriptedServer& s) {
            Greet38(s);
            s.Send({ 1, 21 }).Expect(1).SendU32(0xFFFFFFFF).Send("abc").Pause(5000);
        } },
    { "desktop name length 0xFFFFFFFF",
        [](ScriptedServer& s) {
            ReachServerInit(s);
            ServerInitFields init;
            init.name = "";
            auto bytes = ServerInitBytes(init);
            bytes[20] = bytes[21] = bytes[22] = bytes[23] = 0xFF;
            s.Send(bytes).Send("name").Pause(5000);
        } },
    { "desktop name just over the limit",
        [](ScriptedServer& s) {
            ReachServerInit(s);
            auto bytes = ServerInitBytes({ .name = "" });
            const uint32_t length = limits::kMaxSetupText + 1;
            bytes[20] = uint8_t(length >> 24), bytes[21] = uint8_t(length >> 16);
            bytes[22] = uint8_t(length >> 8), bytes[23] = uint8_t(length);
            s.Send(bytes).Pause(5000);
        } },
    { "framebuffer of 65535 x 65535",
        [](ScriptedServer& s) {
            ReachServerInit(s);
            s.Send(ServerInitBytes({ .width = 65535, .height = 65535 })).Pause(5000);
        } },
    { "framebuffer one pixel wider than the limit",
        [](ScriptedServer& s) {
            ReachServerInit(s);
            s.Send(ServerInitBytes({ .width = uint16_t(limits::kMaxFramebufferSide + 1), .height = 16 }))
                .Pause(5000);
        } },
};

TEST(HostileSetup, OverLongClaimsFailWithoutAllocatingAndCloseTheConnection)
{
    for (const auto& c : kHostileCases) {
        SCOPED_TRACE(c.name);
        HandshakeHarness h;
        // Every script stalls after its claim: a client that believed it would wait and then
        // report a time-out instead of refusing the claim.
        h.proto.Limits.ConnectTimeoutMs = 3000;
        c.script(h.server);
        AllocationProbe probe;
        EXPECT_FALSE(h.Connect());
        EXPECT_LT(probe.LargestRequest(), kFewMegabytes);
        EXPECT_EQ(h.proto.LastError.find("timed out"), std::string::npos) << h.proto.LastError;
        EXPECT_TRUE(h.server.WaitForClientClosed()) << "connection left open";
        EXPECT_FALSE(h.proto.Initialised);
    }
}

TEST(HostileSetup, LimitsThemselvesAreAccepted)
{
    HandshakeHarness h;
    ReachServerInit(h.server);
    ServerInitFields init;
    init.width = 16;
    init.height = uint16_t(limits::kMaxFramebufferSide);
    init.name = std::string(limits::kMaxSetupText, 'n');
    h.server.Send(ServerInitBytes(init));
    ASSERT_TRUE(h.Connect()) << h.proto.LastError;
    EXPECT_EQ(h.proto.DesktopName.size(), limits::kMaxSetupText);
    EXPECT_EQ(h.proto.Pixels32.size(), 16u * limits::kMaxFramebufferSide);
}

TEST(HostileSetup, GreetingLineAtTheLimitIsStillRead)
{
    HandshakeHarness h;
    std::string greeting = "RFB 003.007";
    greeting += std::string(limits::kMaxGreetingLine - greeting.size(), ' ');
    h.server.Send(greeting + "\n").Expect(12).Close();
    EXPECT_FALSE(h.Connect());
    EXPECT_EQ(h.Sent(12), kReply38); // trailing characters: answered as 3.8
}

TEST(SilentServer, ConnectGivesUpAtTheSetUpDeadline)
{
    struct Case {
        const char* name;
        std::function<void(ScriptedServer&)> script;
    };
    const Case cases[] = {
        { "says nothing at all", [](ScriptedServer& s) { s.Pause(10000); } },
        { "stops after the version", [](ScriptedServer& s) { Greet38(s), s.Pause(10000); } },
        { "stops inside ServerInit",
            [](ScriptedServer& s) {
                ReachServerInit(s);
                auto bytes = ServerInitBytes();
                bytes.resize(10);
                s.Send(bytes).Pause(10000);
            } },
        // Every single byte comes well within any per-read limit: only a deadline over the
        // whole set-up stops it.
        { "drips the whole set-up",
            [](ScriptedServer& s) {
                Drip(s, BytesOf("RFB 003.008\n"), 100).Expect(12);
                Drip(s, { 1, 1, 0, 0, 0, 0 }, 100).Expect(2);
                Drip(s, ServerInitBytes(), 100);
            } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HandshakeHarness h;
        h.proto.Limits.ConnectTimeoutMs = 400;
        c.script(h.server);
        EXPECT_FALSE(h.Connect());
        EXPECT_NE(h.proto.LastError.find("set-up deadline"), std::string::npos) << h.proto.LastError;
        EXPECT_FALSE(h.proto.Initialised);
        EXPECT_TRUE(h.server.WaitForClientClosed());
    }
}

TEST(SilentServer, ShippedSetUpDeadlineStopsAServerSendingOneByteEveryThreeSeconds)
{
    HandshakeHarness h;
    h.proto.Limits.ConnectTimeoutMs = TVNCProto().Limits.ConnectTimeoutMs;
    Drip(h.server, BytesOf("RFB 003.008\n"), 3000);
    EXPECT_FALSE(h.Connect());
    EXPECT_NE(h.proto.LastError.find("set-up deadline"), std::string::npos) << h.proto.LastError;
}

TEST(SilentServer, TimeThePasswordPromptIsOpenDoesNotCount)
{
    HandshakeHarness h;
    h.proto.Limits.ConnectTimeoutMs = 500;
    h.proto.OnPasswordRequest = [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        return std::string("typed");
    };
    ScriptVncAuthHandshake(h.server, std::vector<uint8_t>(16, 7));
    EXPECT_TRUE(h.Connect()) << h.proto.LastError;
}

} // namespace
} // namespace zarn::test
