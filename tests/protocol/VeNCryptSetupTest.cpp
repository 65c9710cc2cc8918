// VeNCrypt before its TLS session starts: which security type and sub-type the engine takes,
// and odd or hostile servers, each of which must end Connect cleanly with a reason.

#include <gtest/gtest.h>

#include "HandshakeHarness.h"


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
    const auto versionIs = [](Bytes version) {
        return [version](ScriptedServer& s) {
            s.Send("RFB 003.008\n").Expect(12).Send({ 1, 19 }).Expect(1).Send(version).Expect(2).SendU8(1).Pause(3000);
        };
    };
    const auto subTypes = [](uint8_t count, Bytes list) {
        return [count, list](ScriptedServer& s) { ReachSubTypes(s).SendU8(count).Send(list).Pause(3000); };
    };
    const Case cases[] = {
        { "version 0.1", versionIs({ 0, 1 }), "VeNCrypt version 0.1 is not the version 0.2" },
        { "our version refused", versionIs({ 0, 2 }), "refused VeNCrypt version 0.2" },
        { "no sub-type at all", subTypes(0, {}), "offers no VeNCrypt sub-type" },
        { "255 unknown sub-types", subTypes(255, unknown255), "no VeNCrypt sub-type with TLS" },
        { "only Plain without TLS and unknown ones", subTypes(3, U32s({ 0, vcPlain, 0xFFFFFFFF })),
            "no VeNCrypt sub-type with TLS" },
        { "sub-type list cut short",
            [](ScriptedServer& s) { ReachSubTypes(s).SendU8(255).Send(U32s({ vcTLSVnc })).Close(); }, "closed", true },
        { "the chosen sub-type refused",
            [](ScriptedServer& s) { ReachSubTypes(s).SendU8(1).Send(U32s({ vcTLSVnc })).Expect(4).SendU8(0).Pause(3000); },
            "refused the VeNCrypt sub-type TLSVnc" },
        { "garbage instead of a TLS record",
            [](ScriptedServer& s) { ReachTls(s).Expect(5).Send(std::string(64, 'G')).Pause(3000); },
            "TLS handshake failed: the server's answer is not valid TLS" },
        { "closes in the middle of the handshake",
            [](ScriptedServer& s) { ReachTls(s).Expect(5).Send(Bytes { 0x16, 0x03, 0x03, 0x00, 0x40, 0x02 }).Close(); },
            "TLS handshake failed: connection closed", true },
        { "stops in the middle of the handshake",
            [](ScriptedServer& s) { ReachTls(s).Expect(5).Send(Bytes { 0x16, 0x03, 0x03 }).Pause(10000); },
            "TLS handshake failed: timed out: the set-up deadline" },
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

TEST(VeNCryptSetup, IdentifiedServersFirstThenTheStrongestInnerAuthentication)
{
    EXPECT_EQ(ChooseVeNCryptSubType(std::vector<uint32_t> { vcTLSVnc, vcX509None, vcX509Plain, vcX509Vnc }), vcX509Vnc);
    EXPECT_EQ(ChooseVeNCryptSubType(std::vector<uint32_t> { vcTLSVnc, vcX509None, vcX509Plain }), vcX509Plain);
    EXPECT_EQ(ChooseVeNCryptSubType(std::vector<uint32_t> { vcTLSNone, vcTLSPlain, vcTLSVnc }), vcTLSVnc);
    EXPECT_EQ(ChooseVeNCryptSubType(std::vector<uint32_t> { vcPlain, vcTLSNone, vcTLSPlain }), vcTLSPlain);
}

} // namespace
} // namespace zarn::test
