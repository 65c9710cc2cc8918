// VeNCrypt before its TLS session starts: which security type and sub-type the engine takes,
// and odd or hostile servers, each of which must end Connect cleanly with a reason.

#include <gtest/gtest.h>

#include "HandshakeHarness.h"

#include <chrono>

namespace zarn::test {
namespace {

using Bytes = std::vector<uint8_t>;

std::vector<uint8_t> U32s(std::initializer_list<uint32_t> values)
{
    std::vector<uint8_t> bytes;
    for (const uint32_t v : values)
        bytes.insert(bytes.end(), { uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v) });
    return bytes;
}

// 3.8 greeting, security types 19 and 2 offered, VeNCrypt 0.2 agreed.
ScriptedServer& ReachSubTypes(ScriptedServer& s)
{
    s.Send("RFB 003.008\n").Expect(12).Send({ 2, 19, 2 }).Expect(1);
    return s.Send(Bytes{ 0, 2 }).Expect(2).SendU8(0);
}

// ... and TLSVnc offered and accepted: the TLS handshake is next.
ScriptedServer& ReachTls(ScriptedServer& s)
{
    return ReachSubTypes(s).SendU8(1).Send(U32s({ vcTLSVnc })).Expect(4).SendU8(1);
}

TEST(VeNCryptSetup, OddAndHostileServersFailConnectWithAReason)
{
    struct Case {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        const char* says;
        bool serverCloses = false;
    };
    std::vector<uint8_t> unknown255 = U32s({});
    for (uint32_t i = 0; i < 255; ++i)
        unknown255 = Concat({ unknown255, U32s({ 1000 + i }) });
    const Case cases[] = {
        { "version 0.1",
            [](ScriptedServer& s) {
                s.Send("RFB 003.008\n").Expect(12).Send({ 1, 19 }).Expect(1).Send(Bytes{ 0, 1 }).Pause(3000);
            },
            "VeNCrypt version 0.1" },
        { "version 1.0",
            [](ScriptedServer& s) {
                s.Send("RFB 003.008\n").Expect(12).Send({ 1, 19 }).Expect(1).Send(Bytes{ 1, 0 }).Pause(3000);
            },
            "VeNCrypt version 1.0" },
        { "our version refused", [](ScriptedServer& s) { s.Send("RFB 003.008\n").Expect(12).Send({ 1, 19 }).Expect(1).Send(Bytes{ 0, 2 }).Expect(2).SendU8(1).Pause(3000); },
            "refused VeNCrypt version 0.2" },
        { "no sub-type at all", [](ScriptedServer& s) { ReachSubTypes(s).SendU8(0).Pause(3000); },
            "offers no VeNCrypt sub-type" },
        { "255 unknown sub-types",
            [&](ScriptedServer& s) { ReachSubTypes(s).SendU8(255).Send(unknown255).Pause(3000); },
            "no VeNCrypt sub-type with TLS" },
        { "only Plain without TLS and unknown ones",
            [](ScriptedServer& s) { ReachSubTypes(s).SendU8(3).Send(U32s({ 0, vcPlain, 0xFFFFFFFF })).Pause(3000); },
            "no VeNCrypt sub-type with TLS" },
        { "sub-type list cut short",
            [](ScriptedServer& s) { ReachSubTypes(s).SendU8(255).Send(U32s({ vcTLSVnc })).Close(); },
            "closed", true },
        { "the chosen sub-type refused",
            [](ScriptedServer& s) { ReachSubTypes(s).SendU8(1).Send(U32s({ vcTLSVnc })).Expect(4).SendU8(0).Pause(3000); },
            "refused the VeNCrypt sub-type TLSVnc" },
        { "garbage instead of a TLS record",
            [](ScriptedServer& s) { ReachTls(s).Expect(5).Send(std::string(64, 'G')).Pause(3000); },
            "TLS handshake failed" },
        { "an HTTP answer instead of TLS",
            [](ScriptedServer& s) { ReachTls(s).Expect(5).Send("HTTP/1.1 400 Bad Request\r\n\r\n").Pause(3000); },
            "TLS handshake failed" },
        { "closes in the middle of the handshake",
            [](ScriptedServer& s) { ReachTls(s).Expect(5).Send({ 0x16, 0x03, 0x03, 0x00, 0x40, 0x02 }).Close(); },
            "TLS handshake failed: connection closed", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HandshakeHarness h;
        c.script(h.server);
        EXPECT_FALSE(h.Connect());
        EXPECT_NE(h.proto.LastError.find(c.says), std::string::npos) << h.proto.LastError;
        EXPECT_FALSE(h.proto.Initialised);
        if (!c.serverCloses) {
            EXPECT_TRUE(h.server.WaitForClientClosed()) << "connection left open";
        }
    }
}

TEST(VeNCryptSetup, AServerThatStopsInTheHandshakeIsCutAtTheSetUpDeadline)
{
    HandshakeHarness h;
    h.proto.ConnectTimeoutMs = 600;
    ReachTls(h.server).Expect(5).Send({ 0x16, 0x03, 0x03 }).Pause(10000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(h.Connect());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_NE(h.proto.LastError.find("TLS handshake failed: timed out: the set-up deadline"), std::string::npos)
        << h.proto.LastError;
}

TEST(VeNCryptSetup, TheEncryptionSettingDecidesTheSecurityType)
{
    struct Case {
        int encryption;
        std::vector<uint8_t> offered;
        std::vector<uint8_t> clientSends; // after its version
        const char* says;
    };
    const Case cases[] = {
        // Off: the classic choice, byte for byte, although VeNCrypt is offered first.
        { kEncryptionOff, { 2, 19, 2 }, { 2 }, "" },
        { kEncryptionPrefer, { 2, 2, 19 }, { 19, 0, 2, 0, 0, 1, 4 }, "" },
        { kEncryptionPrefer, { 1, 2 }, { 2 }, "" },
        { kEncryptionRequire, { 1, 1 }, {}, "the server offers no encryption" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encryption);
        HandshakeHarness h;
        h.proto.Encryption = c.encryption;
        h.proto.Password = "pw";
        h.server.Send("RFB 003.008\n").Expect(12).Send(c.offered);
        // VeNCrypt 0.2, X509None and TLSVnc offered: the identified server wins.
        if (c.clientSends.size() > 1)
            h.server.Expect(1).Send(Bytes { 0, 2 }).Expect(2).SendU8(0).SendU8(2).Send(U32s({ vcTLSVnc, vcX509None })).Expect(4);
        else if (!c.clientSends.empty())
            h.server.Expect(1);
        h.server.Close();
        EXPECT_FALSE(h.Connect());
        const auto sent = h.Sent(12 + c.clientSends.size());
        EXPECT_EQ(std::vector<uint8_t>(sent.begin() + std::min<size_t>(12, sent.size()), sent.end()), c.clientSends);
        EXPECT_NE(h.proto.LastError.find(c.says), std::string::npos) << h.proto.LastError;
        EXPECT_EQ(h.proto.SecurityType, c.clientSends.empty() ? 0 : c.clientSends[0]);
    }
}

TEST(VeNCryptSetup, SubTypePreferenceNeverTakesPlainWithoutTls)
{
    struct Case {
        std::vector<uint32_t> offered;
        uint32_t chosen;
    };
    const Case cases[] = {
        { { vcTLSNone, vcTLSPlain, vcTLSVnc, vcX509None, vcX509Plain, vcX509Vnc }, vcX509Vnc },
        { { vcTLSVnc, vcX509None, vcX509Plain }, vcX509Plain },
        { { vcTLSNone, vcTLSVnc, vcX509None }, vcX509None },
        { { vcTLSNone, vcTLSPlain, vcTLSVnc }, vcTLSVnc },
        { { vcPlain, vcTLSNone, vcTLSPlain }, vcTLSPlain },
        { { vcPlain, 2, vcTLSNone }, vcTLSNone },
        { { vcPlain, 2, 19 }, 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseVeNCryptSubType(c.offered), c.chosen);
}

} // namespace
} // namespace zarn::test
