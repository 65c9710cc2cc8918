// End to end against Xvnc with VeNCrypt: the picture arrives through TLS pixel for pixel, nothing
// of the session crosses the wire in clear, certificates are checked and trusted on first use,
// and the Encryption setting picks the security type.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "protocol/VNCProto.h"
#include "settings/TrustedServers.h"
#include "support/RealServers.h"
#include "support/TcpRelay.h"
#include "support/TestCertificates.h"
#include "support/XcbCanvas.h"

namespace zarn::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr char kPassword[] = "tls-pass";
constexpr char kDesktop[] = "zarn-encrypted-desk";

// Null with the reason in `why`; "not installed" in it means the test should skip.
std::unique_ptr<XvncServer> StartXvnc(const std::string& types, std::vector<std::string> extra, std::string* why)
{
    const RealServerOptions options { .width = 320, .height = 240, .desktopName = kDesktop, .password = kPassword,
        .rfbVersion = {}, .vncArgs = std::move(extra), .securityTypes = types };
    auto server = std::make_unique<XvncServer>(options);
    *why = XvncServer::MissingTools(options);
    return why->empty() && server->Start(why) ? std::move(server) : nullptr;
}

// The session the way the window opens it, then update cycles until the client's picture equals
// the server's screen.
testing::AssertionResult PictureArrives(TVNCProto& proto, XcbCanvas& canvas)
{
    canvas.HideCursor();
    DrawTestPicture(canvas, TestPicture {});
    proto.UseHextile = proto.UseCopyRect = true;
    if (!proto.StartSession(true))
        return testing::AssertionFailure() << "session did not start: " << proto.LastError;
    PictureDifference difference;
    for (auto [end, incremental] = std::pair(Clock::now() + 30s, false); Clock::now() < end; incremental = true) {
        if (!proto.RequestUpdate(0, 0, uint16_t(proto.FramebufferWidth), uint16_t(proto.FramebufferHeight), incremental))
            return testing::AssertionFailure() << "update cycle failed: " << proto.CycleError;
        std::this_thread::sleep_for(50ms);
        difference = ComparePictures(canvas.Grab(), proto.CurrentImage());
        if (difference.count == 0)
            return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << difference.Describe();
}

#define SKIP_OR_ASSERT(server, why)                                                                      \
    if (!(server) && (why).find("not installed") != std::string::npos)                                  \
        GTEST_SKIP() << (why);                                                                           \
    ASSERT_TRUE(server) << (why)

bool InClear(const std::vector<uint8_t>& wire, const std::string& text)
{
    return std::search(wire.begin(), wire.end(), text.begin(), text.end()) != wire.end();
}

TEST(EncryptedSession, TlsVncCarriesTheWholeSessionAndRefusesAWrongPasswordWithTheServersReason)
{
    std::string why;
    auto server = StartXvnc("TLSVnc", {}, &why);
    SKIP_OR_ASSERT(server, why);
    TcpRelay relay(server->Port());
    TVNCProto proto;
    proto.Password = kPassword;
    ASSERT_TRUE(proto.Connect("127.0.0.1", relay.Port())) << proto.LastError;
    EXPECT_EQ(proto.SecurityType, kSecVeNCrypt);
    EXPECT_EQ(proto.VeNCryptSubType, vcTLSVnc);
    EXPECT_EQ(proto.EncryptionInfo.rfind("TLS1.2, TLS_ECDH", 0), 0u) << proto.EncryptionInfo;
    EXPECT_EQ(proto.DesktopName, kDesktop);
    XcbCanvas canvas(server->DisplayName());
    EXPECT_TRUE(PictureArrives(proto, canvas));
    proto.Disconnect();
    EXPECT_FALSE(InClear(relay.FromServer(), kDesktop)) << "the desktop name crossed the wire in clear";

    TVNCProto wrong;
    wrong.Password = "not-it";
    EXPECT_FALSE(wrong.Connect("127.0.0.1", server->Port()));
    EXPECT_FALSE(wrong.FailureReason.empty()) << wrong.LastError;
    EXPECT_NE(wrong.LastError.find("authentication failed: " + wrong.FailureReason), std::string::npos)
        << wrong.LastError;
}

TEST(EncryptedSession, X509CertificatesVerifyOrAreTrustedOnFirstUseAndAChangeIsRefused)
{
    if (auto missing = TestCertificates::MissingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    TestCertificates certs;
    std::string why;
    ASSERT_TRUE(certs.Make(&why)) << why;
    auto server = StartXvnc("X509Vnc", { "-X509Cert", certs.CertFile(), "-X509Key", certs.KeyFile() }, &why);
    SKIP_OR_ASSERT(server, why);

    std::vector<TCertificateInfo> asked;
    TCertificateDecision answer = TCertificateDecision::AlwaysTrust;
    TempDir home;
    TTrustedServers trust(home / "ZarnVNC.ini");
    TVNCProto proto;
    proto.Password = kPassword;
    proto.Limits.ConnectTimeoutMs = 1500;
    proto.Hooks.OnCertificateCheck = [&](const TCertificateInfo& info) {
        asked.push_back(info);
        std::this_thread::sleep_for(proto.Limits.ConnectTimeoutMs * 3ms / 2); // the user reading: not the server's delay
        return answer;
    };
    proto.Hooks.OnTrustedFingerprint = [&](const std::string& host, int32_t port) { return trust.Fingerprint(host, port); };
    proto.Hooks.OnTrustCertificate = [&](const std::string& host, int32_t port, const std::string& sha256) {
        trust.Trust(host, port, sha256);
    };

    // Signed by an authority we were given: nobody is asked.
    proto.CaFile = certs.CaFile();
    ASSERT_TRUE(proto.Connect("127.0.0.1", server->Port())) << proto.LastError;
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(proto.VeNCryptSubType, vcX509Vnc);
    EXPECT_EQ(proto.ServerCertificate.Sha256, certs.Sha256());
    proto.Disconnect();

    // Unknown authority: asked once, "Always trust" stored, the next connection asks nothing.
    proto.CaFile.clear();
    ASSERT_TRUE(proto.Connect("127.0.0.1", server->Port())) << proto.LastError;
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Sha256, certs.Sha256());
    EXPECT_FALSE(asked[0].Changed);
    EXPECT_NE(asked[0].Subject.find("CN=127.0.0.1"), std::string::npos) << asked[0].Subject;
    EXPECT_NE(asked[0].Issuer.find("CN=Zarn Test CA"), std::string::npos) << asked[0].Issuer;
    EXPECT_EQ(trust.Fingerprint("127.0.0.1", server->Port()), certs.Sha256());
    proto.Disconnect();
    ASSERT_TRUE(proto.Connect("127.0.0.1", server->Port())) << proto.LastError;
    EXPECT_EQ(asked.size(), 1u);
    proto.Disconnect();

    // Another certificate was trusted for this server: the user is warned and refuses.
    trust.Trust("127.0.0.1", server->Port(), std::string(64, 'a'));
    answer = TCertificateDecision::Cancel;
    EXPECT_FALSE(proto.Connect("127.0.0.1", server->Port()));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(asked[1].Changed);
    EXPECT_NE(proto.LastError.find("certificate CHANGED"), std::string::npos) << proto.LastError;
    EXPECT_EQ(trust.Fingerprint("127.0.0.1", server->Port()), std::string(64, 'a'));
}

TEST(EncryptedSession, TheEncryptionSettingChoosesBetweenVeNCryptAndTheClassicTypes)
{
    std::string why;
    auto both = StartXvnc("TLSVnc,VncAuth", {}, &why);
    SKIP_OR_ASSERT(both, why);
    for (const int encryption : { kEncryptionOff, kEncryptionPrefer }) {
        SCOPED_TRACE(encryption);
        TcpRelay relay(both->Port());
        TVNCProto proto;
        proto.Password = kPassword;
        proto.Encryption = encryption;
        ASSERT_TRUE(proto.Connect("127.0.0.1", relay.Port())) << proto.LastError;
        EXPECT_EQ(proto.SecurityType, encryption == kEncryptionOff ? 2 : kSecVeNCrypt);
        EXPECT_EQ(InClear(relay.FromServer(), kDesktop), encryption == kEncryptionOff);
    }

    auto none = StartXvnc("None", {}, &why);
    ASSERT_TRUE(none) << why;
    TVNCProto proto;
    proto.Encryption = kEncryptionRequire;
    EXPECT_FALSE(proto.Connect("127.0.0.1", none->Port()));
    EXPECT_NE(proto.LastError.find("the server offers no encryption"), std::string::npos) << proto.LastError;
}

} // namespace
} // namespace zarn::test
