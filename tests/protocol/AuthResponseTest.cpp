// The responses the two password exchanges put on the wire. Expected values come from an
// independent DES/MD5 (OpenSSL, Python's hashlib), not from this code base.

#include <gtest/gtest.h>

#include "HandshakeHarness.h"
#include "support/Hex.h"

namespace zarn::test {
namespace {

using hex::FromHex;

TEST(ReverseBits, MirrorsTheBitOrder)
{
    const std::pair<uint8_t, uint8_t> cases[] = { { 0x01, 0x80 }, { 0x61, 0x86 }, { 0xFF, 0xFF },
        { 0x00, 0x00 }, { 0x73, 0xCE }, { 0x0F, 0xF0 }, { 0xA5, 0xA5 }, { 0x12, 0x48 } };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(TVNCProto::ReverseBits(in), out) << std::hex << int(in);
}

TEST(DesEncrypt, EncryptsOneBlockUnderTheGivenKey)
{
    // The classic FIPS 81 example: key 0123456789ABCDEF, "Now is t".
    const auto key = FromHex("0123456789abcdef");
    const auto plain = FromHex("4e6f772069732074");
    uint8_t out[8] = {};
    TVNCProto::DesEncrypt(plain.data(), out, key.data());
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), FromHex("3fa40e8a984d4815"));
}

struct VncAuthCase {
    std::string password;
    std::string challenge;
    std::string responseHex;
};

// Runs a 3.8 VNC Authentication and returns the 16 bytes the client answered.
std::vector<uint8_t> VncAuthResponse(const std::string& password, const std::string& challenge)
{
    HandshakeHarness h;
    h.proto.Password = password;
    ScriptVncAuthHandshake(h.server, BytesOf(challenge));
    EXPECT_TRUE(h.Connect()) << h.proto.LastError;
    const auto sent = h.Sent(30);
    EXPECT_EQ(sent.size(), 30u);
    if (sent.size() < 29)
        return {};
    return { sent.begin() + 13, sent.begin() + 29 };
}

TEST(VncAuthenticate, ResponseIsDesOfEachHalfUnderTheMirroredPassword)
{
    const VncAuthCase cases[] = {
        { "secret", "0123456789abcdef", "752440ee2bfcc2a0d9013fd20371e23b" },
        // Only the first eight characters count.
        { "secret12", "0123456789abcdef", "5f15f4f0e1684cdc260ea962ab82fa3b" },
        { "secret12 and more", "0123456789abcdef", "5f15f4f0e1684cdc260ea962ab82fa3b" },
        // Equal halves give equal halves: no chaining between them.
        { "secret", "0123456701234567", "752440ee2bfcc2a0752440ee2bfcc2a0" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        EXPECT_EQ(VncAuthResponse(c.password, c.challenge), FromHex(c.responseHex));
    }
}

TEST(VncAuthenticate, EmptyPasswordUsesTheAllZeroKey)
{
    const std::string challenge = "0123456789abcdef";
    const auto response = VncAuthResponse("", challenge);
    ASSERT_EQ(response.size(), 16u);
    const uint8_t zeroKey[8] = {};
    uint8_t first[8];
    TVNCProto::DesEncrypt(reinterpret_cast<const uint8_t*>(challenge.data()), first, zeroKey);
    EXPECT_TRUE(std::equal(first, first + 8, response.begin()));
}

struct Md5Case {
    std::string challenge;
    std::string password;
    std::string digestHex;
};

TEST(Md5Authenticate, AnswersTheDigestOfChallengeThenPassword)
{
    const Md5Case cases[] = {
        { "0123456789abcdef", "secret", "116fecf84dd81c77b969dac1b22c8eef" },
        { "", "secret", "5ebe2294ecd0e0f08eab7690d2a6ee69" }, // zero-length challenge
        { "challenge-bytes", "abcdefghijklmnopqrst", "51a4b2c401e7e2843ec32cc5d6935825" }, // all 20 count
        { "", "", "d41d8cd98f00b204e9800998ecf8427e" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.challenge + "|" + c.password);
        HandshakeHarness h;
        h.proto.Password = c.password;
        h.server.Send("RFB 003.008\n")
            .Expect(12)
            .Send({ 2, 2, 21 })
            .Expect(1)
            .SendU32(uint32_t(c.challenge.size()));
        if (!c.challenge.empty())
            h.server.Send(c.challenge);
        h.server.Expect(16).SendU32(0).Expect(1).Send(ServerInitBytes());
        ASSERT_TRUE(h.Connect()) << h.proto.LastError;
        const auto sent = h.Sent(30);
        ASSERT_EQ(sent.size(), 30u);
        EXPECT_EQ(sent[12], 21);
        EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 13, sent.begin() + 29), FromHex(c.digestHex));
        EXPECT_EQ(sent[29], 1); // ClientInit
    }
}

} // namespace
} // namespace zarn::test
