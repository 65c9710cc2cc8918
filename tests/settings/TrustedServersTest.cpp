#include <gtest/gtest.h>

#include "settings/TrustedServers.h"
#include "support/TempDir.h"

namespace zarn {
namespace {

using test::ReadFile;
using test::WriteFile;

const std::string kA(64, 'a');
const std::string kB = "BB:" + std::string(62, 'b');

TEST(TrustedServers, OneFingerprintPerHostAndPortBesideEveryOtherLine)
{
    test::TempDir dir;
    const auto ini = dir / "ZarnVNC.ini";
    WriteFile(ini, "; mine\r\n[VNCClient]\r\nTargetFPS=7\r\n[TrustedServers]\r\nh:1=yes\r\n");
    TTrustedServers trust(ini);
    trust.Trust("Host.Example", 5901, kA);
    trust.Trust("::1", 5900, kA);
    trust.Trust("host.example", 5901, kB); // the same server: replaced, not added

    EXPECT_EQ(ReadFile(ini),
        "; mine\r\n[VNCClient]\r\nTargetFPS=7\r\n[TrustedServers]\r\nh:1=yes\r\nhost.example:5901=bb" + std::string(62, 'b')
            + "\r\n::1:5900=" + kA + "\r\n");
    EXPECT_EQ(trust.Fingerprint("HOST.example", 5901), "bb" + std::string(62, 'b'));
    EXPECT_EQ(trust.Fingerprint("[::1]", 5900), kA);
    EXPECT_EQ(trust.Fingerprint("host.example", 5900), "");
    EXPECT_EQ(trust.Fingerprint("h", 1), ""); // a hand-edited value that is no fingerprint trusts nothing
    EXPECT_THROW(trust.Trust("x", 1, "abc"), std::invalid_argument);
}

} // namespace
} // namespace zarn
