// The real program end to end: zarnvnc runs on its own Xvfb display, a real Xvnc serves a known
// picture, and xdotool clicks and types as a user would. What the user sees is read back from
// the viewer's display and compared with the server's own screen.

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "support/ChildProcess.h"
#include "support/RealServers.h"
#include "support/TempDir.h"
#include "support/XcbCanvas.h"

using namespace zarn::test;
using namespace std::chrono_literals;

namespace {

const std::string kTitle = "ZarnVNC Viewer (Portable Edition)";
// Where pnlClient starts inside the window: right under the 65-pixel toolbar.
constexpr int kPanelTop = 65;
// Toolbar buttons, at their centres.
constexpr int kConnectX = 42, kDisconnectX = 112, kButtonY = 32;
const auto kPatience = 15s; // the most any step may take before the test gives up

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds patience = kPatience)
{
    const auto end = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

// The title as an exact xdotool search pattern (a regular expression).
std::string ExactTitle(const std::string& title)
{
    std::string pattern = "^";
    for (const char c : title) {
        if (std::strchr("\\^$.|?*+()[]{}", c))
            pattern += '\\';
        pattern += c;
    }
    return pattern + "$";
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// The viewer's own X display: an Xvfb with no window manager, so windows sit where the
// program puts them (the main window at the top-left corner).
class ViewerDisplay {
public:
    ~ViewerDisplay() { FXvfb.Stop(); }

    bool Start(std::string* error)
    {
        for (int display = 140; display < 200; ++display) {
            if (!DisplayLooksFree(display))
                continue;
            FName = ":" + std::to_string(display);
            if (!FXvfb.Start(
                    { "Xvfb", FName, "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset" },
                    FTemp.File("xvfb.log").string(), error))
                return false;
            if (WaitUntil([&] { return !FXvfb.Running() || Reachable(); }, 10s) && FXvfb.Running())
                return true;
            FXvfb.Stop(); // lost a race for this number: try the next
        }
        *error = "no free display for Xvfb";
        return false;
    }

    const std::string& Name() const { return FName; }

private:
    bool Reachable() const
    {
        xcb_connection_t* connection = xcb_connect(FName.c_str(), nullptr);
        const bool ok = xcb_connection_has_error(connection) == 0;
        xcb_disconnect(connection);
        return ok;
    }

    TempDir FTemp { "zarn-viewer-display" };
    ChildProcess FXvfb;
    std::string FName;
};

// The program under test and the user's hands.
class Viewer {
public:
    Viewer(const ViewerDisplay& display, std::filesystem::path iniPath)
        : FDisplay(display.Name())
        , FIniPath(std::move(iniPath))
    {
    }
    ~Viewer() { FProcess.Stop(); }

    bool Start(std::string* error)
    {
        return FProcess.Start(
            { "env", "DISPLAY=" + FDisplay, "ZARNVNC_INI=" + FIniPath.string(), ZARNVNC_BINARY },
            FTemp.File("viewer.log").string(), error);
    }

    std::string Log() const { return ReadFile(FTemp.File("viewer.log")); }

    // xdotool's output, or nullopt when it failed.
    std::optional<std::string> Xdo(std::vector<std::string> args) const
    {
        args.insert(args.begin(), { "env", "DISPLAY=" + FDisplay, "xdotool" });
        std::string output;
        if (ChildProcess::Run(args, "", &output) != 0)
            return std::nullopt;
        return output;
    }

    // Visible windows whose title matches the regular expression.
    std::vector<std::string> Windows(const std::string& titlePattern) const
    {
        const auto found = Xdo({ "search", "--onlyvisible", "--name", titlePattern });
        return found ? Lines(*found) : std::vector<std::string>();
    }

    std::string Title(const std::string& window) const
    {
        const auto name = Xdo({ "getwindowname", window });
        return name ? (Lines(*name).empty() ? std::string() : Lines(*name).front()) : std::string();
    }

    bool WaitForWindow(const std::string& titlePattern, std::string* window)
    {
        return WaitUntil([&] {
            const auto found = Windows(titlePattern);
            if (found.empty())
                return false;
            *window = found.front();
            return true;
        });
    }

    void Click(int x, int y) const
    {
        Xdo({ "mousemove", std::to_string(x), std::to_string(y), "click", "1" });
    }

    void Focus(const std::string& window) const { Xdo({ "windowfocus", "--sync", window }); }
    void Type(const std::string& text) const { Xdo({ "type", "--delay", "20", text }); }
    void Key(const std::string& keys) const { Xdo({ "key", keys }); }

    // Fills the connect dialog and presses Enter for OK.
    bool ConnectThroughTheDialog(int port)
    {
        Click(kConnectX, kButtonY);
        std::string dialog;
        if (!WaitForWindow("^Connect$", &dialog))
            return false;
        Focus(dialog);
        Type("127.0.0.1");
        Key("Tab");
        Key("ctrl+a");
        Type(std::to_string(port));
        Key("Return");
        return true;
    }

    bool AnswerPassword(const std::string& password)
    {
        std::string dialog;
        if (!WaitForWindow("^Password$", &dialog))
            return false;
        Focus(dialog);
        Type(password);
        Key("Return");
        return true;
    }

    // Threads named after the program: the GUI thread and the frame update threads (Qt's own
    // helper threads carry names of their own).
    int ProgramThreads() const
    {
        int count = 0;
        const auto tasks = "/proc/" + std::to_string(FProcess.Pid()) + "/task";
        std::error_code ignored;
        for (const auto& task : std::filesystem::directory_iterator(tasks, ignored))
            count += Lines(ReadFile(task.path() / "comm")) == std::vector<std::string> { "zarnvnc" };
        return count;
    }

    // What a window manager's close box does: WM_DELETE_WINDOW.
    void AskToClose(const std::string& window) const
    {
        xcb_connection_t* connection = xcb_connect(FDisplay.c_str(), nullptr);
        auto atom = [&](const char* name) {
            auto* reply = xcb_intern_atom_reply(
                connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
            const xcb_atom_t result = reply ? reply->atom : XCB_ATOM_NONE;
            free(reply);
            return result;
        };
        xcb_client_message_event_t event = {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = xcb_window_t(std::stoul(window));
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(
            connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        // A round trip, so the server has executed the request before this connection goes.
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        xcb_disconnect(connection);
    }

    bool Running() { return FProcess.Running(); }
    int Status() const { return FProcess.Status(); }

private:
    std::string FDisplay;
    std::filesystem::path FIniPath;
    TempDir FTemp { "zarn-viewer" };
    ChildProcess FProcess;
};

int PixelDifferences(const ScreenImage& expected, const ScreenImage& shown, int left, int top)
{
    int differences = 0;
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x) {
            const int sx = left + x;
            const int sy = top + y;
            if (sx >= shown.width || sy >= shown.height
                || (expected.At(x, y) & 0xFFFFFF) != (shown.At(sx, sy) & 0xFFFFFF))
                ++differences;
        }
    return differences;
}

class RealWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : { "Xvfb", "Xvnc", "xdotool", "env" })
            if (!ChildProcess::InPath(tool))
                GTEST_SKIP() << tool << " is not installed";
        std::string error;
        ASSERT_TRUE(FDisplay.Start(&error)) << error;
        FViewer = std::make_unique<Viewer>(FDisplay, IniPath());
        ASSERT_TRUE(FViewer->Start(&error)) << error;
        ASSERT_TRUE(FViewer->WaitForWindow("^ZarnVNC Viewer", &FMainWindow)) << FViewer->Log();
    }

    void TearDown() override { FViewer.reset(); }

    std::filesystem::path IniPath() const { return FFolder.File("ZarnVNC.ini"); }

    void StartServer(XvncServer& server)
    {
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        XcbCanvas canvas(server.DisplayName());
        canvas.HideCursor();
        DrawTestPicture(canvas, TestPicture {});
        canvas.Sync();
    }

    bool TitleBecomes(const std::string& title)
    {
        return WaitUntil([&] { return FViewer->Title(FMainWindow) == title; });
    }

    // The viewer's display, read back from the X server.
    ScreenImage ViewerScreen() { return XcbCanvas(FDisplay.Name()).Grab(); }

    bool PanelShowsServerScreen(XvncServer& server)
    {
        const ScreenImage expected = XcbCanvas(server.DisplayName()).Grab();
        return WaitUntil([&] { return PixelDifferences(expected, ViewerScreen(), 0, kPanelTop) == 0; });
    }

    bool PanelShowsBackground(int width, int height)
    {
        ScreenImage plain;
        plain.width = width;
        plain.height = height;
        plain.rgb.assign(size_t(width) * size_t(height), 0x000020);
        return WaitUntil([&] { return PixelDifferences(plain, ViewerScreen(), 0, kPanelTop) == 0; });
    }

    TempDir FFolder { "zarn-window-test" };
    ViewerDisplay FDisplay;
    std::unique_ptr<Viewer> FViewer;
    std::string FMainWindow;
};

RealServerOptions SmallScreen(const std::string& name, const std::string& password = "")
{
    RealServerOptions options;
    options.width = 320;
    options.height = 240;
    options.desktopName = name;
    options.password = password;
    return options;
}

} // namespace

TEST_F(RealWindowTest, ConnectShowsTheRemoteScreenDisconnectAndCloseSaveTheHost)
{
    XvncServer server(SmallScreen("e2e-desk"));
    StartServer(server);
    EXPECT_EQ(FViewer->Title(FMainWindow), kTitle);
    EXPECT_EQ(FViewer->ProgramThreads(), 1);

    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    ASSERT_TRUE(TitleBecomes(kTitle + " - e2e-desk")) << FViewer->Title(FMainWindow) << FViewer->Log();
    EXPECT_TRUE(PanelShowsServerScreen(server));
    EXPECT_EQ(FViewer->ProgramThreads(), 2);

    // A second connection while the first runs replaces it: still one frame update thread.
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    ASSERT_TRUE(TitleBecomes(kTitle + " - e2e-desk"));
    std::this_thread::sleep_for(1500ms); // past a watchdog tick: the replaced thread's end is harmless
    EXPECT_EQ(FViewer->ProgramThreads(), 2);
    EXPECT_EQ(FViewer->Title(FMainWindow), kTitle + " - e2e-desk");
    EXPECT_TRUE(PanelShowsServerScreen(server));

    FViewer->Click(kDisconnectX, kButtonY);
    EXPECT_TRUE(TitleBecomes(kTitle));
    EXPECT_TRUE(PanelShowsBackground(320, 240));
    EXPECT_TRUE(WaitUntil([&] { return FViewer->ProgramThreads() == 1; }));

    // Connected again, then closed with the close box: the process ends by itself.
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    ASSERT_TRUE(TitleBecomes(kTitle + " - e2e-desk"));
    FViewer->AskToClose(FMainWindow);
    ASSERT_TRUE(WaitUntil([&] { return !FViewer->Running(); }))
        << "the viewer did not end after its close box";
    EXPECT_TRUE(WIFEXITED(FViewer->Status()) && WEXITSTATUS(FViewer->Status()) == 0) << FViewer->Log();
    const std::string ini = ReadFile(IniPath());
    EXPECT_NE(ini.find("Count=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Host0=127.0.0.1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Port0=" + std::to_string(server.Port())), std::string::npos) << ini;
}

TEST_F(RealWindowTest, VncAuthenticationAsksForThePasswordAndConnects)
{
    XvncServer server(SmallScreen("locked", "secret1"));
    StartServer(server);
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    ASSERT_TRUE(FViewer->AnswerPassword("secret1"));
    ASSERT_TRUE(TitleBecomes(kTitle + " - locked")) << FViewer->Log();
    EXPECT_TRUE(PanelShowsServerScreen(server));
}

TEST_F(RealWindowTest, WrongPasswordShowsTheServersReasonAndStaysIdle)
{
    XvncServer server(SmallScreen("locked", "secret1"));
    StartServer(server);
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    ASSERT_TRUE(FViewer->AnswerPassword("wrong"));
    // The reason arrives in a message box titled like the program: a second visible window.
    std::vector<std::string> windows;
    ASSERT_TRUE(WaitUntil([&] {
        windows = FViewer->Windows(ExactTitle(kTitle));
        return windows.size() == 2;
    })) << "no message box with the server's reason";
    const std::string box = windows.front() == FMainWindow ? windows.back() : windows.front();
    FViewer->Focus(box);
    FViewer->Key("Return");
    EXPECT_TRUE(WaitUntil([&] { return FViewer->Windows(ExactTitle(kTitle)).size() == 1; }));
    EXPECT_EQ(FViewer->Title(FMainWindow), kTitle);
    EXPECT_EQ(FViewer->ProgramThreads(), 1);
    EXPECT_TRUE(PanelShowsBackground(320, 240));
}

TEST_F(RealWindowTest, AServerThatDiesReturnsTheWindowToIdleWithoutAMessage)
{
    auto server = std::make_unique<XvncServer>(SmallScreen("doomed"));
    StartServer(*server);
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server->Port()));
    ASSERT_TRUE(TitleBecomes(kTitle + " - doomed"));
    server.reset(); // stops Xvnc
    EXPECT_TRUE(TitleBecomes(kTitle));
    EXPECT_TRUE(PanelShowsBackground(320, 240));
    EXPECT_TRUE(WaitUntil([&] { return FViewer->ProgramThreads() == 1; }));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(FViewer->Windows(ExactTitle(kTitle)).size(), 1u) << "no message may appear";
}
