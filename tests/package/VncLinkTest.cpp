// The installed program as a desktop starts it: installed to a prefix of its own, its desktop
// entry registered for vnc:// links in a private set of XDG folders, and a link opened with
// xdg-open on an Xvfb display. The viewer must come up connected to the Xvnc the link names.
// Only its own processes are stopped, by their ids.

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/RealServers.h"
#include "support/TempDir.h"

using namespace zarn::test;
using namespace std::chrono_literals;

namespace {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds patience = 20s)
{
    const auto end = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(100ms);
    }
    return condition();
}

// The process running `executable`, found among all processes by its /proc/N/exe link: the
// viewer is xdg-open's child, not ours, and is stopped by its own id.
pid_t ProcessRunning(const std::filesystem::path& executable)
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (std::filesystem::read_symlink(entry.path() / "exe", ignored) == executable)
            return pid_t(std::stoi(name));
    }
    return -1;
}

class VncLinkTest : public testing::Test {
protected:
    void TearDown() override
    {
        if (const pid_t viewer = ProcessRunning(FViewer); viewer > 0) {
            kill(viewer, SIGTERM);
            WaitUntil([&] { return ProcessRunning(FViewer) < 0; }, 5s);
            if (const pid_t left = ProcessRunning(FViewer); left > 0)
                kill(left, SIGKILL);
        }
        FOpener.Stop();
        FXvfb.Stop();
    }

    bool StartXvfb(std::string* error)
    {
        for (int display = 200; display < 260; ++display) {
            if (!DisplayLooksFree(display))
                continue;
            FDisplay = ":" + std::to_string(display);
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
            if (!FXvfb.Start({ "Xvfb", FDisplay, "-nolisten", "tcp", "-noreset" }, (FTemp / "xvfb.log").string(), error))
                return false;
            if (WaitUntil([&] { return !FXvfb.Running() || std::filesystem::exists(socket); }, 10s) && FXvfb.Running())
                return true;
            FXvfb.Stop(); // another display server won this number
        }
        *error = "no free display for Xvfb";
        return false;
    }

    // A desktop session's environment made of the test's own folders only, so that no
    // desktop's own opener and no handler registered on this machine takes part.
    std::vector<std::string> Session(std::vector<std::string> command) const
    {
        const std::filesystem::path home = FTemp / "home";
        std::vector<std::string> args { "env", "-i", "PATH=" + (home / ".local/bin").string() + ":/usr/bin:/bin",
            "HOME=" + home.string(), "DISPLAY=" + FDisplay, "XDG_CONFIG_HOME=" + (home / ".config").string(),
            "XDG_DATA_HOME=" + (home / ".local/share").string(), "XDG_DATA_DIRS=/usr/share" };
        args.insert(args.end(), command.begin(), command.end());
        return args;
    }

    TempDir FTemp { "zarn-link" };
    std::filesystem::path FViewer = FTemp / "home/.local/bin/zarnvnc";
    std::string FDisplay;
    ChildProcess FXvfb;
    ChildProcess FOpener; // declared after FXvfb: stopped before it
};

TEST_F(VncLinkTest, XdgOpenOfAVncLinkStartsTheInstalledViewerConnected)
{
    for (const char* tool : { "xdg-open", "xdg-mime", "xdotool", "Xvfb" })
        if (!ChildProcess::InPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    if (auto missing = XvncServer::MissingTools({}); !missing.empty())
        GTEST_SKIP() << missing;

    // The per-user prefix a user installs into: ~/.local, whose share/ is XDG_DATA_HOME.
    std::string output;
    ASSERT_EQ(ChildProcess::Run(
                  { ZARN_CMAKE, "--install", ZARN_BUILD_DIR, "--prefix", (FTemp / "home/.local").string() }, "",
                  &output),
        0)
        << output;
    ASSERT_TRUE(std::filesystem::exists(FViewer));

    RealServerOptions options;
    options.desktopName = "linked-desktop";
    XvncServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    ASSERT_TRUE(StartXvfb(&error)) << error;

    ASSERT_EQ(ChildProcess::Run(Session({ "xdg-mime", "default", "zarnvnc.desktop", "x-scheme-handler/vnc" }),
                  "", &output),
        0)
        << output;
    ASSERT_TRUE(FOpener.Start(Session({ "xdg-open", "vnc://127.0.0.1::" + std::to_string(server.Port()) }),
        FTemp.File("xdg-open.log").string(), &error))
        << error;

    const bool connected = WaitUntil([&] {
        return ChildProcess::Run(
                   Session({ "xdotool", "search", "--name", "^ZarnVNC Viewer.* - linked-desktop$" }), "", &output)
            == 0;
    });
    ASSERT_TRUE(connected) << "xdg-open: " << ReadFile(FTemp / "xdg-open.log") << "\nserver: " << server.Log();
    EXPECT_GT(ProcessRunning(FViewer), 0) << "the window is not the installed viewer's";

    // Closed as a session's end closes it, the viewer files the linked server among its recent
    // hosts, in the ini beside the (writable) installed copy.
    kill(ProcessRunning(FViewer), SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return ProcessRunning(FViewer) < 0; }, 10s));
    const std::string ini = ReadFile(FTemp / "home/.local/bin/ZarnVNC.ini");
    EXPECT_NE(ini.find("Port0=" + std::to_string(server.Port())), std::string::npos) << ini;
    EXPECT_NE(ini.find("Host0=127.0.0.1"), std::string::npos) << ini;
}

} // namespace
