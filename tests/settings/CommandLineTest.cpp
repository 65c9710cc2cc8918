#include <gtest/gtest.h>

#include "settings/CommandLine.h"

namespace zarn {
namespace {

TEST(ServerAddressTest, HostsDisplaysPortsUsersAndLinks)
{
    struct Case {
        const char *text, *user, *host;
        int port;
    };
    const Case cases[] = {
        { "office-pc", "", "office-pc", 5900 },
        { "office-pc:1", "", "office-pc", 5901 },
        { "office-pc::5999", "", "office-pc", 5999 },
        { "10.0.0.7::22", "", "10.0.0.7", 22 },
        { "[2001:db8::1]", "", "2001:db8::1", 5900 },
        { "[2001:db8::1]:1", "", "2001:db8::1", 5901 },
        { "vnc://[2001:db8::1]::443", "", "2001:db8::1", 443 },
        { "VNC://Host:2/", "", "Host", 5902 },
        { "ann@host:3", "ann", "host", 5903 },
        { "ann@corp.example@host", "ann@corp.example", "host", 5900 },
        { "vnc://ann%40corp.example@host::5901", "ann@corp.example", "host", 5901 },
    };
    for (const Case& c : cases) {
        std::string why;
        const auto address = ParseServerAddress(c.text, &why);
        ASSERT_TRUE(address) << c.text << ": " << why;
        EXPECT_EQ(address->User, c.user) << c.text;
        EXPECT_EQ(address->Host, c.host) << c.text;
        EXPECT_EQ(address->Port, c.port) << c.text;
    }
}

TEST(ServerAddressTest, RefusesWhatNamesNoServer)
{
    for (const char* text : { "", ":1", "vnc://", "@host", "[::1", "[::1]x", "host:", "host:x", "host::0",
             "host::65536", "host:59636", "host:123456", "host:-1", "vnc://host/path", "vnc://host?x=1",
             "vnc://ho%4", "vnc://ho%zzst", "two words", "vnc://a%0Ab", "vnc:host" }) {
        std::string why;
        EXPECT_FALSE(ParseServerAddress(text, &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

TEST(CommandLineTest, ActionsServersAndQtOptions)
{
    using TAction = TCommandLine::TAction;
    struct Case {
        std::vector<std::string> args;
        TAction action;
        const char* host; // the server to connect to at start, or null for none
    };
    const Case cases[] = {
        { {}, TAction::Run, nullptr },
        { { "--help" }, TAction::Help, nullptr },
        { { "host:1", "-h" }, TAction::Help, nullptr },
        { { "--version", "nonsense:x" }, TAction::Version, nullptr },
        { { "vnc://host::5901" }, TAction::Run, "host" },
        { { "-platform", "offscreen", "host" }, TAction::Run, "host" },
        { { "--style=fusion", "-reverse", "host" }, TAction::Run, "host" },
        { { "--", "-dash-host" }, TAction::Run, "-dash-host" },
        { { "--verbose" }, TAction::Fail, nullptr },
        { { "-platform" }, TAction::Fail, nullptr },
        { { "a", "b" }, TAction::Fail, nullptr },
        { { "host:x" }, TAction::Fail, nullptr },
    };
    for (const Case& c : cases) {
        const std::string shown = c.args.empty() ? "(none)" : c.args.front();
        const TCommandLine line = ParseCommandLine(c.args);
        EXPECT_EQ(line.Action, c.action) << shown;
        EXPECT_EQ(line.Action == TAction::Fail, !line.Error.empty()) << shown;
        ASSERT_EQ(line.Server.has_value(), c.host != nullptr) << shown;
        if (c.host) {
            EXPECT_EQ(line.Server->Host, c.host) << shown;
        }
    }
}

} // namespace
} // namespace zarn
