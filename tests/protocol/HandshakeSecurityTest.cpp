// Security negotiation: which type is chosen, what is written, and when a SecurityResult
// (and its reason) is read, per protocol version.

#include <gtest/gtest.h>

#include "HandshakeHarness.h"

namespace zarn::test {
namespace {

const std::vector<uint8_t> kChallenge16(16, 0x5A);

struct PreferenceCase {
    std::vector<uint8_t> offered;
    uint8_t chosen;
};

class SecurityPreference : public ::testing::TestWithParam<PreferenceCase> { };

// Plays the server side for whatever the client picks, so the case only states the choice.
TEST_P(SecurityPreference, PicksNoneThenMd5ThenVncAuthWhateverTheOrder)
{
    const PreferenceCase& c = GetParam();
    HandshakeHarness h;
    h.proto.Password = "pw";
    h.server.Send("RFB 003.008\n").Expect(12).SendU8(uint8_t(c.offered.size())).Send(c.offered).Expect(1);
    if (c.chosen == 2)
        h.server.Send(kChallenge16).Expect(16);
    if (c.chosen == 21)
        h.server.SendU32(4).Send("abcd").Expect(16);
    h.server.SendU32(0).Expect(1).Send(ServerInitBytes());

    ASSERT_TRUE(h.Connect()) << h.proto.LastError;
    EXPECT_EQ(h.Sent(13).at(12), c.chosen);
    EXPECT_EQ(h.proto.SecurityType, c.chosen);
}

INSTANTIATE_TEST_SUITE_P(Offers, SecurityPreference,
    ::testing::Values(PreferenceCase { { 2, 1 }, 1 }, PreferenceCase { { 1, 2 }, 1 },
        PreferenceCase { { 2, 21 }, 21 }, PreferenceCase { { 21, 2 }, 21 }, PreferenceCase { { 2 }, 2 },
        PreferenceCase { { 21 }, 21 }, PreferenceCase { { 16, 2, 21, 1, 18 }, 1 },
        PreferenceCase { { 5, 6, 2 }, 2 }));

TEST(SecurityNegotiation, NoKnownTypeWritesNothingAndCloses)
{
    HandshakeHarness h;
    h.server.Send("RFB 003.008\n").Expect(12).Send({ 2, 16, 18 }).WaitForClientClose();
    EXPECT_FALSE(h.Connect());
    EXPECT_TRUE(h.server.WaitUntilDone()) << h.server.Error();
    EXPECT_EQ(h.server.Received(), kReply38);
    EXPECT_EQ(h.proto.SecurityType, 0);
}

TEST(SecurityNegotiation, EmptyTypeListConsumesTheReasonButKeepsFailureReasonEmpty)
{
    // 3.7 and later send an empty list, 3.3 the decided type 0; a reason follows either.
    for (const bool rfb33 : { false, true }) {
        SCOPED_TRACE(rfb33 ? "3.3" : "3.7");
        HandshakeHarness h;
        h.server.Send(rfb33 ? "RFB 003.003\n" : "RFB 003.007\n").Expect(12);
        if (rfb33)
            h.server.SendU32(0);
        else
            h.server.SendU8(0);
        h.server.SendU32(9).Send("go away!!").WaitForClientClose();
        EXPECT_FALSE(h.Connect());
        EXPECT_TRUE(h.server.WaitUntilDone()) << h.server.Error();
        EXPECT_EQ(h.server.Received(), rfb33 ? kReply33 : kReply37);
        EXPECT_EQ(h.proto.FailureReason, "");
        EXPECT_NE(h.proto.LastError.find("go away!!"), std::string::npos) << h.proto.LastError;
    }
}

TEST(SecurityNegotiation, Rfb33TypeDecidedByTheServerIsNotAnswered)
{
    struct Case {
        uint32_t type;
        bool connects;
    };
    for (const Case c : { Case { 1, true }, Case { 0, false }, Case { 16, false }, Case { 0x102, false } }) {
        SCOPED_TRACE(c.type);
        HandshakeHarness h;
        h.server.Send("RFB 003.003\n").Expect(12).SendU32(c.type);
        if (c.connects)
            h.server.Expect(1).Send(ServerInitBytes());
        else
            h.server.WaitForClientClose();
        EXPECT_EQ(h.Connect(), c.connects) << h.proto.LastError;
        // 3.3 never writes a security type: after the reply comes ClientInit or nothing.
        EXPECT_EQ(h.Sent(c.connects ? 13 : 12), c.connects ? Concat({ kReply33, { 1 } }) : kReply33);
    }
}

TEST(SecurityNegotiation, NoneReadsASecurityResultOnlyUnder38)
{
    // Under 3.7 the ServerInit follows the choice directly; under 3.8 a result comes first.
    HandshakeHarness h37;
    ScriptNoneHandshake(h37.server, { .width = 37 }, "RFB 003.007\n");
    ASSERT_TRUE(h37.Connect()) << h37.proto.LastError;
    EXPECT_EQ(h37.proto.FramebufferWidth, 37);

    HandshakeHarness h38;
    ScriptNoneHandshake(h38.server, { .width = 38 });
    ASSERT_TRUE(h38.Connect()) << h38.proto.LastError;
    EXPECT_EQ(h38.proto.FramebufferWidth, 38);

    HandshakeHarness failed;
    failed.server.Send("RFB 003.008\n").Expect(12).Send({ 1, 1 }).Expect(1).SendU32(1).WaitForClientClose();
    EXPECT_FALSE(failed.Connect());
    EXPECT_EQ(failed.Sent(13), Concat({ kReply38, { 1 } })); // no ClientInit after a failure
}

struct ResultCase {
    const char* greeting;
    uint8_t type;
    bool reasonExpected;
};

class FailedSecurityResult : public ::testing::TestWithParam<ResultCase> { };

TEST_P(FailedSecurityResult, KeepsTheServersReasonOnlyUnder38)
{
    const ResultCase& c = GetParam();
    HandshakeHarness h;
    h.proto.Password = "wrong";
    h.server.Send(c.greeting).Expect(12);
    if (std::string(c.greeting) != "RFB 003.003\n")
        h.server.Send({ 1, c.type }).Expect(1);
    else
        h.server.SendU32(c.type);
    if (c.type == 2)
        h.server.Send(kChallenge16).Expect(16);
    else
        h.server.SendU32(0).Expect(16);
    h.server.SendU32(1);
    if (c.reasonExpected)
        h.server.SendU32(14).Send("Wrong password");
    h.server.WaitForClientClose();

    EXPECT_FALSE(h.Connect());
    EXPECT_TRUE(h.server.WaitUntilDone()) << h.server.Error();
    EXPECT_EQ(h.proto.FailureReason, c.reasonExpected ? "Wrong password" : "");
    // Without a reason on the wire the client must not sit waiting for one.
    EXPECT_EQ(h.proto.LastError.find("timed out"), std::string::npos) << h.proto.LastError;
    EXPECT_FALSE(h.proto.Initialised);
}

INSTANTIATE_TEST_SUITE_P(Versions, FailedSecurityResult,
    ::testing::Values(ResultCase { "RFB 003.008\n", 2, true }, ResultCase { "RFB 003.008\n", 21, true },
        ResultCase { "RFB 003.007\n", 2, false }, ResultCase { "RFB 003.007\n", 21, false },
        ResultCase { "RFB 003.003\n", 2, false }));

TEST(PasswordRequest, AskedOnlyWhenThePasswordIsEmpty)
{
    for (const std::string preset : { "", "given" }) {
        SCOPED_TRACE(preset);
        HandshakeHarness h;
        int asked = 0;
        h.proto.Password = preset;
        h.proto.OnPasswordRequest = [&] {
            ++asked;
            return std::string("typed");
        };
        ScriptVncAuthHandshake(h.server, kChallenge16);
        ASSERT_TRUE(h.Connect()) << h.proto.LastError;
        EXPECT_EQ(asked, preset.empty() ? 1 : 0);
        EXPECT_EQ(h.proto.Password, preset.empty() ? "typed" : preset);
    }
}

TEST(PasswordRequest, CancelDisconnectsAndNothingMoreIsExchanged)
{
    for (const uint8_t type : { uint8_t(2), uint8_t(21) }) {
        SCOPED_TRACE(int(type));
        HandshakeHarness h;
        h.proto.OnPasswordRequest = [&] {
            h.proto.Disconnect(); // what the window does when the user cancels
            return std::string();
        };
        // The challenge goes out with the offer: the client hangs up during the request,
        // and a later send would race with that.
        const auto challenge = type == 2 ? kChallenge16 : ByteWriter().U32(4).Text("abcd").bytes();
        h.server.Send("RFB 003.008\n").Expect(12).Send(Concat({ { 1, type }, challenge })).Expect(1);
        h.server.WaitForClientClose();

        EXPECT_FALSE(h.Connect());
        EXPECT_TRUE(h.server.WaitUntilDone()) << h.server.Error();
        EXPECT_EQ(h.server.Received(), Concat({ kReply38, { type } }));
        EXPECT_FALSE(h.proto.Client->HasSocket());
        EXPECT_EQ(h.proto.FailureReason, "");
    }
}

} // namespace
} // namespace zarn::test
