// Session set-up against real servers on loopback: TigerVNC's Xvnc (None, VNC
// Authentication) and x11vnc announcing older protocol versions.

#include <gtest/gtest.h>

#include "protocol/VNCProto.h"
#include "support/RealServers.h"

namespace zarn::test {
namespace {

template <typename Server>
std::unique_ptr<Server> StartServer(const RealServerOptions& options, std::string* skip)
{
    if (auto missing = Server::MissingTools(options); !missing.empty()) {
        *skip = missing;
        return nullptr;
    }
    auto server = std::make_unique<Server>(options);
    std::string error;
    if (!server->Start(&error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    return server;
}

#define START_OR_SKIP(Type, var, options)                                                                    \
    std::string var##Skip;                                                                                   \
    auto var = StartServer<Type>(options, &var##Skip);                                                       \
    if (!var##Skip.empty())                                                                                  \
        GTEST_SKIP() << var##Skip;                                                                           \
    ASSERT_TRUE(var)

TEST(XvncHandshake, NoneGivesTheGeometryNameAndPixelFormatTheServerWasStartedWith)
{
    RealServerOptions options;
    options.width = 800;
    options.height = 600;
    options.desktopName = "zarn none desk";
    START_OR_SKIP(XvncServer, server, options);

    TVNCProto proto;
    ASSERT_TRUE(proto.Connect("127.0.0.1", server->Port())) << proto.LastError << "\n" << server->Log();
    EXPECT_EQ(proto.ProtocolVersion, kRfb38);
    EXPECT_EQ(proto.SecurityType, 1);
    EXPECT_EQ(proto.DesktopName, "zarn none desk");
    EXPECT_EQ(proto.FramebufferWidth, 800);
    EXPECT_EQ(proto.FramebufferHeight, 600);
    // Depth 24 on Xvnc: 32-bit little-endian true colour, red in bits 16-23.
    EXPECT_EQ(proto.BitsPerPixel, 32);
    EXPECT_EQ(proto.Depth, 24);
    EXPECT_FALSE(proto.BigEndian);
    EXPECT_TRUE(proto.TrueColor);
    EXPECT_EQ(proto.RedMax, 255);
    EXPECT_EQ(proto.GreenMax, 255);
    EXPECT_EQ(proto.BlueMax, 255);
    EXPECT_EQ(proto.RedShift, 16);
    EXPECT_EQ(proto.GreenShift, 8);
    EXPECT_EQ(proto.BlueShift, 0);
    EXPECT_EQ(proto.Pixels32.size(), 800u * 600u);
    EXPECT_TRUE(proto.Initialised);
    EXPECT_EQ(proto.BytesSent, 12u);
    EXPECT_EQ(proto.BytesReceived, 11u);
    proto.Disconnect();
    EXPECT_FALSE(proto.Client->HasSocket());
}

TEST(XvncHandshake, VncAuthenticationAcceptsTheRightPasswordAndReportsTheServersReasonForAWrongOne)
{
    RealServerOptions options;
    options.password = "s3cret!";
    options.desktopName = "zarn auth desk";
    START_OR_SKIP(XvncServer, server, options);

    TVNCProto proto;
    proto.Password = "wrong";
    EXPECT_FALSE(proto.Connect("127.0.0.1", server->Port()));
    EXPECT_EQ(proto.SecurityType, 2);
    EXPECT_FALSE(proto.FailureReason.empty()) << "no reason text from the server";
    EXPECT_FALSE(proto.Initialised);

    // The password asked for when none is set; the stale reason goes with the new attempt.
    proto.Password.clear();
    int asked = 0;
    proto.OnPasswordRequest = [&] {
        ++asked;
        return std::string("s3cret!");
    };
    ASSERT_TRUE(proto.Connect()) << proto.LastError;
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(proto.FailureReason, "");
    EXPECT_EQ(proto.DesktopName, "zarn auth desk");
    EXPECT_EQ(proto.FramebufferWidth, options.width);
    EXPECT_EQ(proto.FramebufferHeight, options.height);
}

struct OldVersionCase {
    const char* announced;
    uint8_t version;
    const char* password;
    uint8_t securityType;
};

class X11vncHandshake : public ::testing::TestWithParam<OldVersionCase> { };

TEST_P(X11vncHandshake, OlderVersionsNegotiateTheirOwnWay)
{
    const OldVersionCase& c = GetParam();
    RealServerOptions options;
    options.rfbVersion = c.announced;
    options.password = c.password;
    options.width = 320;
    options.height = 200;
    START_OR_SKIP(X11vncServer, server, options);

    TVNCProto proto;
    if (*c.password) {
        proto.Password = "not it";
        EXPECT_FALSE(proto.Connect("127.0.0.1", server->Port()));
        EXPECT_EQ(proto.ProtocolVersion, c.version);
        // Before 3.8 a failed result carries no reason.
        EXPECT_EQ(proto.FailureReason, "");
        proto.Password = c.password;
    }
    ASSERT_TRUE(proto.Connect("127.0.0.1", server->Port())) << proto.LastError << "\n" << server->Log();
    EXPECT_EQ(proto.ProtocolVersion, c.version);
    EXPECT_EQ(proto.SecurityType, c.securityType);
    EXPECT_EQ(proto.FramebufferWidth, 320);
    EXPECT_EQ(proto.FramebufferHeight, 200);
    EXPECT_TRUE(proto.Initialised);
}

INSTANTIATE_TEST_SUITE_P(Versions, X11vncHandshake,
    ::testing::Values(OldVersionCase { "3.3", kRfb33, "", 1 }, OldVersionCase { "3.3", kRfb33, "pw33", 2 },
        OldVersionCase { "3.7", kRfb37, "", 1 }, OldVersionCase { "3.7", kRfb37, "pw37", 2 }),
    [](const auto& info) {
        return std::string("rfb") + (info.param.version == kRfb33 ? "33" : "37")
            + (*info.param.password ? "_auth" : "_none");
    });

} // namespace
} // namespace zarn::test
