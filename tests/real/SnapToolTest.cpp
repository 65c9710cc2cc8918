// The headless client, run as a program against a real Xvnc.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/RealServers.h"

namespace zarn::test {
namespace {

// The tool is built beside the tests: <build>/tools/zarnvnc-snap next to <build>/tests/.
std::filesystem::path SnapToolPath()
{
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return self.parent_path().parent_path() / "tools" / "zarnvnc-snap";
}

struct SnapRun {
    int exitCode;
    std::string output;
};

SnapRun RunSnap(std::vector<std::string> args)
{
    args.insert(args.begin(), SnapToolPath().string());
    SnapRun run;
    run.exitCode = ChildProcess::Run(args, "", &run.output);
    return run;
}

class SnapTool : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!std::filesystem::exists(SnapToolPath()) || !XvncServer::MissingTools(Options()).empty())
            return;
        server = new XvncServer(Options());
        std::string error;
        if (!server->Start(&error)) {
            startError = error;
            delete server;
            server = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        if (!std::filesystem::exists(SnapToolPath()))
            GTEST_SKIP() << SnapToolPath() << " is not built";
        if (auto missing = XvncServer::MissingTools(Options()); !missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_NE(server, nullptr) << startError;
        ::unsetenv("ZARNVNC_PASSWORD");
    }
    void TearDown() override { ::unsetenv("ZARNVNC_PASSWORD"); }

    static RealServerOptions Options()
    {
        RealServerOptions options;
        options.width = 500;
        options.height = 300;
        options.desktopName = "snap test desk";
        options.password = "snap-pw";
        return options;
    }

    static inline XvncServer* server = nullptr;
    static inline std::string startError;
};

TEST_F(SnapTool, DescribesTheSessionForEveryWayOfNamingTheServer)
{
    ::setenv("ZARNVNC_PASSWORD", "snap-pw", 1);
    const std::string display = std::to_string(server->Display());
    const std::string port = std::to_string(server->Port());
    for (const std::string& target : { "127.0.0.1:" + display, "127.0.0.1::" + port, "localhost::" + port }) {
        SCOPED_TRACE(target);
        const SnapRun run = RunSnap({ target });
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find("Protocol version: 3.8\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Security type: 2 "), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Desktop name: snap test desk\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Size: 500 x 300\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("32 bits per pixel, depth 24"), std::string::npos) << run.output;
    }
}

TEST_F(SnapTool, PasswordFileWinsOverTheEnvironment)
{
    ::setenv("ZARNVNC_PASSWORD", "wrong", 1);
    const auto file = std::filesystem::temp_directory_path() / ("zarn-snap-pw-" + std::to_string(::getpid()));
    std::ofstream(file) << "snap-pw\r\n";
    const SnapRun run
        = RunSnap({ "127.0.0.1::" + std::to_string(server->Port()), "--password-file", file.string() });
    std::filesystem::remove(file);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

TEST_F(SnapTool, WrongPasswordExitsOneWithTheServersReason)
{
    ::setenv("ZARNVNC_PASSWORD", "wrong", 1);
    const SnapRun run = RunSnap({ "127.0.0.1::" + std::to_string(server->Port()) });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("Server's reason: "), std::string::npos) << run.output;
}

TEST_F(SnapTool, UnusableArgumentsAndUnreachableServersFail)
{
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    const Case cases[] = {
        { {}, 2 },
        { { "127.0.0.1:x" }, 2 },
        { { "127.0.0.1::70000" }, 2 },
        { { "127.0.0.1:65000" }, 2 },
        { { ":1" }, 2 },
        { { "[::1:1" }, 2 },
        { { "a", "b" }, 2 },
        { { "127.0.0.1", "--password-file" }, 2 },
        { { "127.0.0.1::1" }, 1 },
        { { "127.0.0.1::" + std::to_string(server->Port()), "--password-file", "/nonexistent/pw" }, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        EXPECT_EQ(RunSnap(c.args).exitCode, c.exitCode);
    }
}

} // namespace
} // namespace zarn::test
