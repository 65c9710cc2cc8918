// The real program end to end: zarnvnc runs on its own Xvfb display, a real Xvnc serves a known
// picture, and xdotool clicks and types as a user would. What the user sees is read back from
// the viewer's display and compared with the server's own screen.

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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
#include "support/RfbBytes.h"
#include "support/RfbScripts.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"
#include "support/XcbCanvas.h"

using namespace zarn::test;
using namespace std::chrono_literals;

namespace {

const std::string kTitle = "ZarnVNC Viewer (Portable Edition)";
// Where pnlClient starts inside the window: right under the 65-pixel toolbar.
constexpr int kPanelTop = 65;
// Toolbar buttons, at their centres.
constexpr int kConnectX = 42, kDisconnectX = 112, kFullScreenX = 252, kButtonY = 32;
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

// The viewer's own X display: an Xvfb, by default with no window manager, so windows sit where
// the program puts them (the main window at the top-left corner).
class ViewerDisplay {
public:
    ~ViewerDisplay()
    {
        FWindowManager.Stop();
        FXvfb.Stop();
    }

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

    // openbox. Without its own key bindings every key reaches the focused window, as on a
    // desktop whose window manager reserves none of the keys a test presses; with them it keeps
    // Alt+Tab and the like, as a desktop does.
    enum class TKeyBindings { None, WindowManagers };
    bool StartWindowManager(std::string* error, TKeyBindings bindings = TKeyBindings::None)
    {
        std::vector<std::string> command { "env", "DISPLAY=" + FName, "openbox" };
        if (bindings == TKeyBindings::None) {
            const auto config = FTemp.File("rc.xml");
            std::ofstream(config) << "<?xml version=\"1.0\"?>\n"
                                     "<openbox_config xmlns=\"http://openbox.org/3.4/rc\"><keyboard/><mouse/>"
                                     "</openbox_config>\n";
            command.insert(command.end(), { "--config-file", config.string() });
        }
        if (!FWindowManager.Start(command, FTemp.File("openbox.log").string(), error))
            return false;
        if (WaitUntil([&] { return !FWindowManager.Running() || WindowManagerAnnounced(); }, 10s)
            && FWindowManager.Running())
            return true;
        *error = "openbox did not start: " + ReadFile(FTemp.File("openbox.log"));
        return false;
    }

private:
    // A window manager names its check window on the root: then it manages new windows.
    bool WindowManagerAnnounced() const
    {
        xcb_connection_t* connection = xcb_connect(FName.c_str(), nullptr);
        const char name[] = "_NET_SUPPORTING_WM_CHECK";
        auto* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
        bool announced = false;
        if (atom && atom->atom != XCB_ATOM_NONE) {
            const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
            auto* property = xcb_get_property_reply(connection,
                xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
            announced = property && xcb_get_property_value_length(property) == 4;
            free(property);
        }
        free(atom);
        xcb_disconnect(connection);
        return announced;
    }

    bool Reachable() const
    {
        xcb_connection_t* connection = xcb_connect(FName.c_str(), nullptr);
        const bool ok = xcb_connection_has_error(connection) == 0;
        xcb_disconnect(connection);
        return ok;
    }

    TempDir FTemp { "zarn-viewer-display" };
    ChildProcess FXvfb;
    ChildProcess FWindowManager; // declared after FXvfb: stopped before it
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

    // At (x, y) of the screen, or of `window` when one is named.
    void Click(int x, int y, const std::string& window = "") const
    {
        std::vector<std::string> args { "mousemove" };
        if (!window.empty())
            args.insert(args.end(), { "--window", window });
        args.insert(args.end(), { std::to_string(x), std::to_string(y), "click", "1" });
        Xdo(args);
    }

    // A click at a point inside a window, wherever a window manager has put it.
    void ClickIn(const std::string& window, int x, int y) const { Click(x, y, window); }

    void MoveTo(int x, int y) const { Xdo({ "mousemove", std::to_string(x), std::to_string(y) }); }

    // A window property as xprop prints it.
    std::string Property(const std::string& window, const std::string& property) const
    {
        std::string output;
        ChildProcess::Run({ "env", "DISPLAY=" + FDisplay, "xprop", "-id", window, property }, "", &output);
        return output;
    }
    std::string ActiveWindow() const
    {
        const auto found = Xdo({ "getactivewindow" });
        return found && !Lines(*found).empty() ? Lines(*found).front() : std::string();
    }

    // Whether a window lies at the top-left corner at the size of the 1280 x 1024 screen.
    bool CoversTheScreen(const std::string& window) const
    {
        const auto shape = Xdo({ "getwindowgeometry", window });
        return shape && shape->find("Position: 0,0") != std::string::npos
            && shape->find("Geometry: 1280x1024") != std::string::npos;
    }

    // Whether its frame covers the screen too: a de-iconify may still animate it, eating clicks.
    bool FrameCoversTheScreen(const std::string& window) const
    {
        std::string frame;
        ChildProcess::Run({ "env", "DISPLAY=" + FDisplay, "xwininfo", "-frame", "-id", window }, "", &frame);
        return frame.find("upper-left X:  0\n  Absolute upper-left Y:  0\n") != std::string::npos
            && frame.find("Width: 1280\n  Height: 1024\n") != std::string::npos;
    }

    void Focus(const std::string& window) const { Xdo({ "windowfocus", "--sync", window }); }
    void Type(const std::string& text) const { Xdo({ "type", "--delay", "20", text }); }
    void Key(const std::string& keys) const { Xdo({ "key", keys }); }

    // Fills the connect dialog and presses Enter for OK. `mainWindow` places the click when a
    // window manager has moved the window.
    bool ConnectThroughTheDialog(int port, const std::string& mainWindow = "")
    {
        Click(kConnectX, kButtonY, mainWindow);
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
        SendClientMessage(window, "WM_PROTOCOLS", { "WM_DELETE_WINDOW" }, false);
    }

    // What a pager or a key binding does to ask for full screen (_NET_WM_STATE, add).
    void AskForFullScreen(const std::string& window) const
    {
        SendClientMessage(window, "_NET_WM_STATE", { "", "_NET_WM_STATE_FULLSCREEN" }, true);
    }

    bool Running() { return FProcess.Running(); }
    int Status() const { return FProcess.Status(); }

private:
    // A 32-bit client message whose data are the named atoms (an empty name is 1, "add"), sent
    // to the window itself or, as window-manager requests go, to the root window.
    void SendClientMessage(
        const std::string& window, const char* type, const std::vector<std::string>& data, bool toRoot) const
    {
        xcb_connection_t* connection = xcb_connect(FDisplay.c_str(), nullptr);
        auto atom = [&](const char* name) {
            auto* reply = xcb_intern_atom_reply(
                connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
            const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
            free(reply);
            return result;
        };
        xcb_client_message_event_t event = {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = xcb_window_t(std::stoul(window));
        event.type = atom(type);
        for (size_t i = 0; i < data.size() && i < 4; ++i)
            event.data.data32[i] = data[i].empty() ? 1 : atom(data[i].c_str());
        const xcb_window_t target = toRoot ? xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root : event.window;
        const uint32_t mask = toRoot ? XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY
                                     : XCB_EVENT_MASK_NO_EVENT;
        xcb_send_event(connection, 0, target, mask, reinterpret_cast<const char*>(&event));
        // A round trip, so the server has executed the request before this connection goes.
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        xcb_disconnect(connection);
    }

    std::string FDisplay;
    std::filesystem::path FIniPath;
    TempDir FTemp { "zarn-viewer" };
    ChildProcess FProcess;
};

// Pixels whose channels differ by more than `tolerance` (a colour map's levels may be rounded
// either way).
int PixelDifferences(const ScreenImage& expected, const ScreenImage& shown, int left, int top, int tolerance = 0,
    int width = INT_MAX, int height = INT_MAX)
{
    auto close = [tolerance](uint32_t a, uint32_t b) {
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance)
                return false;
        return true;
    };
    int differences = 0;
    for (int y = 0; y < std::min(expected.height, height); ++y)
        for (int x = 0; x < std::min(expected.width, width); ++x) {
            const int sx = left + x;
            const int sy = top + y;
            if (sx >= shown.width || sy >= shown.height
                || !close(expected.At(x, y), shown.At(sx, sy)))
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
        if (!FIniText.empty())
            std::ofstream(IniPath()) << FIniText;
        if (WithWindowManager()) {
            for (const char* tool : { "openbox", "xprop", "xmessage" })
                if (!ChildProcess::InPath(tool))
                    GTEST_SKIP() << tool << " is not installed";
            ASSERT_TRUE(FDisplay.StartWindowManager(&error, ViewerDisplay::TKeyBindings::WindowManagers)) << error;
        }
        FViewer = std::make_unique<Viewer>(FDisplay, IniPath());
        ASSERT_TRUE(FViewer->Start(&error)) << error;
        ASSERT_TRUE(FViewer->WaitForWindow("^ZarnVNC Viewer", &FMainWindow)) << FViewer->Log();
    }

    void TearDown() override { FViewer.reset(); }

    virtual bool WithWindowManager() const { return false; }

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

    bool PanelShowsServerScreen(XvncServer& server, int tolerance = 0)
    {
        const ScreenImage expected = XcbCanvas(server.DisplayName()).Grab();
        return WaitUntil([&] { return PixelDifferences(expected, ViewerScreen(), 0, kPanelTop, tolerance) == 0; });
    }

    bool PanelShowsBackground(int width, int height)
    {
        ScreenImage plain;
        plain.width = width;
        plain.height = height;
        plain.rgb.assign(size_t(width) * size_t(height), 0x000020);
        return WaitUntil([&] { return PixelDifferences(plain, ViewerScreen(), 0, kPanelTop) == 0; });
    }

    std::string FIniText; // the ini the viewer starts with, when not empty
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

TEST_F(RealWindowTest, AServerThatDiesReturnsTheWindowToIdleWithoutAMessageKeepingTheCaption)
{
    auto server = std::make_unique<XvncServer>(SmallScreen("doomed"));
    StartServer(*server);
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server->Port()));
    ASSERT_TRUE(TitleBecomes(kTitle + " - doomed"));
    server.reset(); // stops Xvnc
    EXPECT_TRUE(PanelShowsBackground(320, 240));
    EXPECT_TRUE(WaitUntil([&] { return FViewer->ProgramThreads() == 1; }));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(FViewer->Title(FMainWindow), kTitle + " - doomed");
    EXPECT_EQ(FViewer->Windows("^ZarnVNC Viewer").size(), 1u) << "no message may appear";

    FViewer->Click(kDisconnectX, kButtonY);
    EXPECT_TRUE(TitleBecomes(kTitle));
}

namespace {

constexpr size_t kHandshakeBytes = kNoneHandshakeClientBytes;

size_t UpdateRequests(const ScriptedServer& server)
{
    size_t count = 0;
    for (const ClientMessage& message : SplitClientMessages(server.Received(), kHandshakeBytes))
        count += message.type == 3;
    return count;
}

// Lets the viewer go round its update cycle a few more times, so that whatever it was going to
// do about an earlier event has been done.
bool ViewerCyclesOn(const ScriptedServer& server)
{
    const size_t seen = UpdateRequests(server);
    return WaitUntil([&] { return UpdateRequests(server) >= seen + 3; });
}

// The desktop clipboard of the viewer's display, used through xclip as another program would.
class DesktopClipboard {
public:
    explicit DesktopClipboard(std::string display)
        : FDisplay(std::move(display))
    {
    }

    // xclip owns the clipboard with `text` until another program takes it over.
    bool Copy(const std::string& text)
    {
        const auto file = FTemp.File("copy" + std::to_string(++FCopies));
        std::ofstream(file, std::ios::binary) << text;
        FOwners.push_back(std::make_unique<ChildProcess>());
        std::string error;
        return FOwners.back()->Start({ "env", "DISPLAY=" + FDisplay, "xclip", "-quiet", "-selection",
                                         "clipboard", "-i", file.string() },
                   FTemp.File("xclip.log").string(), &error)
            && WaitUntil([&] { return Paste() == text; });
    }

    std::string Paste() const
    {
        std::string text;
        ChildProcess::Run(
            { "env", "DISPLAY=" + FDisplay, "xclip", "-o", "-selection", "clipboard" }, "", &text);
        return text;
    }

private:
    std::string FDisplay;
    TempDir FTemp { "zarn-clipboard" };
    std::vector<std::unique_ptr<ChildProcess>> FOwners;
    int FCopies = 0;
};

} // namespace

TEST_F(RealWindowTest, ClipboardTextCrossesBothWaysWithAnotherProgram)
{
    if (!ChildProcess::InPath("xclip"))
        GTEST_SKIP() << "xclip is not installed";
    DesktopClipboard clipboard(FDisplay.Name());
    ScriptedServer server;
    ScriptNoneHandshake(server, {});
    server.Send(ServerCutTextBytes("from server \xe9"));
    server.Start();
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    auto cutTexts = [&] { return ClientCutTexts(server.Received(), kHandshakeBytes); };

    // The server's text can be pasted elsewhere, and goes back to the server once.
    ASSERT_TRUE(WaitUntil([&] { return clipboard.Paste() == "from server \u00e9"; })) << clipboard.Paste();
    ASSERT_TRUE(WaitUntil([&] { return !cutTexts().empty(); }));

    // Copied elsewhere: one message of Latin-1 bytes, the line end kept. The text copied after
    // it shows that nothing else was sent in between.
    ASSERT_TRUE(clipboard.Copy("Gr\u00fc\u00dfe\r\nzwei"));
    ASSERT_TRUE(clipboard.Copy("end"));
    const std::vector<std::string> expected { "from server \xe9",
        "Gr\xfc\xdf"
        "e\r\nzwei",
        "end" };
    EXPECT_TRUE(WaitUntil([&] { return cutTexts().size() >= expected.size(); }));
    EXPECT_EQ(cutTexts(), expected);
}

class RealWindowSharingOffTest : public RealWindowTest {
protected:
    RealWindowSharingOffTest() { FIniText = "[VNCClient]\nSharedClipboard=0\n"; }
};

TEST_F(RealWindowSharingOffTest, NeitherClipboardReachesTheOther)
{
    if (!ChildProcess::InPath("xclip"))
        GTEST_SKIP() << "xclip is not installed";
    DesktopClipboard clipboard(FDisplay.Name());
    ASSERT_TRUE(clipboard.Copy("before"));
    ScriptedServer server;
    ScriptNoneHandshake(server, {});
    server.Send(ServerCutTextBytes("from server"));
    server.Start();
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    ASSERT_TRUE(server.WaitUntilDone());
    ASSERT_TRUE(ViewerCyclesOn(server));
    EXPECT_EQ(clipboard.Paste(), "before");

    ASSERT_TRUE(clipboard.Copy("copied while connected"));
    ASSERT_TRUE(ViewerCyclesOn(server));
    EXPECT_TRUE(ClientCutTexts(server.Received(), kHandshakeBytes).empty());
}

namespace {

// Under openbox, as on a user's desktop: full-screen mode is the window manager's full-screen
// state, and the keys it keeps for itself are only held while the viewer is full screen.
class FullScreenWindowTest : public RealWindowTest {
protected:
    bool WithWindowManager() const override { return true; }

    // Where the bar's controls lie on a 1280-pixel-wide screen: the bar is centred.
    static constexpr int kBarLeft = (1280 - 300) / 2;
    static constexpr int kMinimizeX = kBarLeft + 245, kRestoreX = kBarLeft + 265, kCloseX = kBarLeft + 285;
    static constexpr int kBarButtonY = 8;

    // Fully shown: the close button's red face at the top and the bar's bottom edge on row 18.
    // Gone: nothing but the black around the picture where the bar lives. In between it slides.
    static bool BarFullyShownOn(const ScreenImage& screen)
    {
        const Rgb face = screen.At(kCloseX - 5, 5);
        const Rgb edge = screen.At(kBarLeft + 150, 18) & 0xFFFFFF;
        return ((face >> 16) & 0xFF) > 100 && ((face >> 8) & 0xFF) < 80 && edge == 0x464650;
    }
    static bool BarGoneFrom(const ScreenImage& screen)
    {
        for (int y = 0; y < 19; ++y)
            for (int x = kBarLeft; x < kBarLeft + 300; ++x)
                if ((screen.At(x, y) & 0xFFFFFF) != 0)
                    return false;
        return true;
    }
    bool BarShows(bool shown)
    {
        return WaitUntil([&] {
            const ScreenImage screen = ViewerScreen();
            return shown ? BarFullyShownOn(screen) : BarGoneFrom(screen);
        });
    }

    // How wide the light text in the bar's label runs: a long name runs wide, "?" does not.
    int DesktopNameSpan()
    {
        const ScreenImage screen = ViewerScreen();
        int first = -1, last = -1;
        for (int x = kBarLeft + 14; x < kBarLeft + 230; ++x)
            for (int y = 2; y < 17; ++y)
                if ((screen.At(x, y) & 0xFF) > 128) {
                    first = first < 0 ? x : first;
                    last = x;
                }
        return first < 0 ? 0 : last - first + 1;
    }

    // Whether some client holds the keyboard: a grab of our own is refused while it does.
    bool KeyboardHeldElsewhere()
    {
        xcb_connection_t* connection = xcb_connect(FDisplay.Name().c_str(), nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        auto* reply = xcb_grab_keyboard_reply(connection,
            xcb_grab_keyboard(
                connection, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        const bool held = reply != nullptr && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
        free(reply);
        xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
        xcb_disconnect(connection);
        return held;
    }

    bool FullScreen()
    {
        return FViewer->Property(FMainWindow, "_NET_WM_STATE").find("_NET_WM_STATE_FULLSCREEN")
            != std::string::npos;
    }
};

} // namespace

TEST_F(FullScreenWindowTest, FullScreenCoversTheScreenWithASlidingBarHoldsTheKeysAndRestores)
{
    // A scripted server records every message the viewer sends while it is full screen.
    ScriptedServer server;
    ScriptNoneHandshake(server, { .width = 320, .height = 240, .name = "a-rather-long-desktop-name" });
    server.Start();
    ChildProcess other;
    std::string error;
    ASSERT_TRUE(other.Start(
        { "env", "DISPLAY=" + FDisplay.Name(), "xmessage", "another window" }, "/dev/null", &error))
        << error;
    std::string otherWindow;
    ASSERT_TRUE(FViewer->WaitForWindow("^xmessage$", &otherWindow));

    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port(), FMainWindow));
    ASSERT_TRUE(TitleBecomes(kTitle + " - a-rather-long-desktop-name")) << FViewer->Log();

    // Full Screen: the whole screen, no decoration, and the bar slides in once with the name.
    FViewer->ClickIn(FMainWindow, kFullScreenX, kButtonY);
    ASSERT_TRUE(WaitUntil([&] { return FullScreen() && FViewer->CoversTheScreen(FMainWindow); }));
    ASSERT_TRUE(BarShows(true));
    EXPECT_GT(DesktopNameSpan(), 100);

    // The picture lies at the top-left corner now; moving down over it sends the bar away,
    // the top edge calls it back.
    FViewer->MoveTo(100, 100);
    EXPECT_TRUE(BarShows(false));
    FViewer->MoveTo(100, 2);
    EXPECT_TRUE(BarShows(true));

    // Alt+Tab stays with the viewer while it is full screen; the window manager does not switch.
    ASSERT_TRUE(WaitUntil([&] { return FViewer->ActiveWindow() == FMainWindow; }));
    EXPECT_TRUE(WaitUntil([&] { return KeyboardHeldElsewhere(); }));
    FViewer->Key("alt+Tab");
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(FViewer->ActiveWindow(), FMainWindow);
    // ... and reaches the server: Alt and Tab pressed there; Alt+Print is Print, as from a
    // normal window, not the layout's Sys_Req (0xFF15).
    FViewer->Key("alt+Print");
    for (const uint32_t keysym : { 0xFFE9u, 0xFF09u, 0xFF61u }) {
        const std::vector<uint8_t> down = ByteWriter().U8(4).U8(1).U16(0).U32(keysym);
        EXPECT_TRUE(WaitUntil([&] {
            const auto sent = server.Received();
            return std::search(sent.begin(), sent.end(), down.begin(), down.end()) != sent.end();
        })) << std::hex << keysym;
    }
    // Another window taking the focus gets the keyboard back for the desktop.
    FViewer->Xdo({ "windowactivate", otherWindow });
    EXPECT_TRUE(WaitUntil([&] { return !KeyboardHeldElsewhere(); }));

    // Minimised from the bar and brought back by the window manager: full screen, bar shown.
    FViewer->Click(kMinimizeX, kBarButtonY);
    ASSERT_TRUE(WaitUntil(
        [&] { return FViewer->Property(FMainWindow, "WM_STATE").find("Iconic") != std::string::npos; }));
    EXPECT_FALSE(KeyboardHeldElsewhere());
    FViewer->Xdo({ "windowactivate", FMainWindow });
    ASSERT_TRUE(WaitUntil(
        [&] { return FViewer->CoversTheScreen(FMainWindow) && FViewer->FrameCoversTheScreen(FMainWindow); }));
    EXPECT_TRUE(FullScreen());
    EXPECT_TRUE(BarShows(true));

    // Restore: a decorated window with its toolbar again, and Alt+Tab is the desktop's once more.
    FViewer->Click(kRestoreX, kBarButtonY);
    ASSERT_TRUE(WaitUntil([&] { return !FullScreen() && !FViewer->CoversTheScreen(FMainWindow); }));
    ASSERT_TRUE(WaitUntil([&] { return FViewer->ActiveWindow() == FMainWindow; }));
    EXPECT_FALSE(KeyboardHeldElsewhere());
    FViewer->Key("alt+Tab");
    EXPECT_TRUE(WaitUntil([&] { return FViewer->ActiveWindow() == otherWindow; }));
    FViewer->Focus(FMainWindow);
    FViewer->ClickIn(FMainWindow, kConnectX, kButtonY);
    std::string dialog;
    ASSERT_TRUE(FViewer->WaitForWindow("^Connect$", &dialog)) << "the toolbar did not come back";
    FViewer->Focus(dialog);
    FViewer->Key("Escape");

    // Close from the bar ends the program.
    FViewer->Focus(FMainWindow);
    FViewer->ClickIn(FMainWindow, kFullScreenX, kButtonY);
    ASSERT_TRUE(WaitUntil([&] { return FullScreen(); }));
    ASSERT_TRUE(BarShows(true));
    FViewer->Click(kCloseX, kBarButtonY);
    ASSERT_TRUE(WaitUntil([&] { return !FViewer->Running(); })) << "the close button did not end the viewer";
    EXPECT_TRUE(WIFEXITED(FViewer->Status()) && WEXITSTATUS(FViewer->Status()) == 0) << FViewer->Log();
    EXPECT_TRUE(server.WaitForClientClosed());
}

// ---- input capture: keys and the mouse as a scripted server receives them ----

namespace {

struct KeySent {
    bool down;
    uint32_t keySym;
    bool operator==(const KeySent&) const = default;
};

struct PointerSent {
    uint8_t mask;
    uint16_t x, y;
};

std::string Describe(const std::vector<KeySent>& keys)
{
    std::ostringstream text;
    for (const KeySent& key : keys)
        text << std::hex << key.keySym << (key.down ? "v " : "^ ");
    return text.str();
}

KeySent Down(uint32_t keySym)
{
    return { true, keySym };
}
KeySent Up(uint32_t keySym)
{
    return { false, keySym };
}

// A plain X window of another program, to take the focus from the viewer.
class OtherProgramWindow {
public:
    explicit OtherProgramWindow(const std::string& display)
        : FConnection(xcb_connect(display.c_str(), nullptr))
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data;
        FWindow = xcb_generate_id(FConnection);
        xcb_create_window(FConnection, XCB_COPY_FROM_PARENT, FWindow, screen->root, 900, 600, 200, 150, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(FConnection, FWindow);
        xcb_flush(FConnection);
    }
    ~OtherProgramWindow() { xcb_disconnect(FConnection); }

    std::string Id() const { return std::to_string(FWindow); }

private:
    xcb_connection_t* FConnection;
    xcb_window_t FWindow = 0;
};

} // namespace

class InputCaptureTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 320, kHeight = 240;

    void SetUp() override
    {
        for (const char* tool : { "Xvfb", "xdotool", "openbox", "setxkbmap", "env" })
            if (!ChildProcess::InPath(tool))
                GTEST_SKIP() << tool << " is not installed";
        std::string error;
        ASSERT_TRUE(FDisplay.Start(&error)) << error;
        ASSERT_TRUE(FDisplay.StartWindowManager(&error)) << error;
        ScriptNoneHandshake(FServer, { .width = uint16_t(FWidth), .height = uint16_t(FWidth * 3 / 4), .name = "keys" });
        ByteWriter picture; // raw pixels counting up along the rows: a colour names its position
        picture.U8(0).U8(0).U16(1).U16(0).U16(0).U16(uint16_t(FWidth)).U16(uint16_t(FWidth * 3 / 4)).S32(0);
        for (uint32_t i = 0; i < uint32_t(FWidth * FWidth * 3 / 4); ++i)
            picture.U8(uint8_t(i)).U8(uint8_t(i >> 8)).U8(uint8_t(i >> 16)).U8(0);
        FServer.Send(picture);
        FServer.Start();
        FViewer = std::make_unique<Viewer>(FDisplay, FFolder.File("ZarnVNC.ini"));
        ASSERT_TRUE(FViewer->Start(&error)) << error;
        ASSERT_TRUE(FViewer->WaitForWindow("^ZarnVNC Viewer", &FMainWindow)) << FViewer->Log();
        ASSERT_TRUE(FViewer->ConnectThroughTheDialog(FServer.Port(), FMainWindow));
        ASSERT_TRUE(WaitUntil([&] { return FViewer->Title(FMainWindow) == kTitle + " - keys"; }))
            << FViewer->Log();
        FViewer->Focus(FMainWindow);
        SettleKeys();
    }

    void TearDown() override { FViewer.reset(); }

    std::vector<ClientMessage> Messages(uint8_t type) const
    {
        std::vector<ClientMessage> found;
        for (ClientMessage& message : SplitClientMessages(FServer.Received(), kNoneHandshakeClientBytes))
            if (message.type == type)
                found.push_back(std::move(message));
        return found;
    }

    std::vector<KeySent> Keys() const
    {
        std::vector<KeySent> keys;
        for (const ClientMessage& m : Messages(4))
            keys.push_back({ m.bytes[1] == 1,
                uint32_t(m.bytes[4] << 24 | m.bytes[5] << 16 | m.bytes[6] << 8 | m.bytes[7]) });
        return keys;
    }

    std::vector<PointerSent> Pointer() const
    {
        std::vector<PointerSent> events;
        for (const ClientMessage& m : Messages(5))
            events.push_back({ m.bytes[1], uint16_t(m.bytes[2] << 8 | m.bytes[3]),
                uint16_t(m.bytes[4] << 8 | m.bytes[5]) });
        return events;
    }

    // Presses and releases F9 in the viewer and waits until its release has arrived: whatever
    // the viewer had to send before (releases after a change of focus) is out by then.
    void SettleKeys()
    {
        FViewer->Key("F9");
        ASSERT_TRUE(WaitUntil([&] {
            const auto keys = Keys();
            return !keys.empty() && keys.back() == Up(0xFFC6);
        })) << Describe(Keys());
        FSeen = Keys().size();
    }

    // The key events that arrive after the last look, once `expected.size()` have.
    std::vector<KeySent> NextKeys(size_t count)
    {
        WaitUntil([&] { return Keys().size() >= FSeen + count; });
        std::vector<KeySent> keys = Keys();
        keys.erase(keys.begin(), keys.begin() + long(std::min(FSeen, keys.size())));
        FSeen += keys.size();
        return keys;
    }

    void ExpectKeys(const std::vector<KeySent>& expected)
    {
        const std::vector<KeySent> sent = NextKeys(expected.size());
        EXPECT_EQ(sent, expected) << "sent " << Describe(sent) << " expected " << Describe(expected);
    }

    void AltGr(const std::string& key)
    {
        FViewer->Xdo(
            { "keydown", "ISO_Level3_Shift", "keydown", key, "keyup", key, "keyup", "ISO_Level3_Shift" });
    }

    void SetLayout(const std::string& layout)
    {
        ASSERT_EQ(ChildProcess::Run({ "setxkbmap", "-display", FDisplay.Name(), layout }, "", nullptr), 0);
        SettleKeys();
    }

    int FWidth = kWidth; // of the remote screen, which is 4:3
    TempDir FFolder { "zarn-input-test" };
    ViewerDisplay FDisplay;
    ScriptedServer FServer;
    std::unique_ptr<Viewer> FViewer;
    std::string FMainWindow;
    size_t FSeen = 0;
};

TEST_F(InputCaptureTest, TypedKeysTabAndAltF4GoToTheServerAndNothingHappensLocally)
{
    // As a hand types it: Shift goes down before Z and comes up after it (xdotool's own type
    // lets Shift go first).
    FViewer->Xdo({ "keydown", "a", "keyup", "a", "keydown", "shift", "keydown", "z", "keyup", "z", "keyup",
        "shift", "keydown", "1", "keyup", "1" });
    ExpectKeys(
        { Down(0x61), Up(0x61), Down(0xFFE1), Down(0x5A), Up(0x5A), Up(0xFFE1), Down(0x31), Up(0x31) });

    FViewer->Key("Tab");
    FViewer->Key("Tab");
    ExpectKeys({ Down(0xFF09), Up(0xFF09), Down(0xFF09), Up(0xFF09) });
    EXPECT_EQ(FViewer->Xdo({ "getwindowfocus" }).value_or(""), FMainWindow + "\n");

    FViewer->Xdo({ "keydown", "alt", "keydown", "F4", "keyup", "F4", "keyup", "alt" });
    ExpectKeys({ Down(0xFFE9), Down(0xFFC1), Up(0xFFC1), Up(0xFFE9) });
    SettleKeys(); // the viewer still takes keys: it is open

    // Print in the viewer itself takes the hot key's route, and its grab is no change of focus.
    FViewer->Key("Print");
    FViewer->Key("F9");
    ExpectKeys({ Down(0xFF61), Up(0xFF61), Down(0xFFC6), Up(0xFFC6) });
    EXPECT_TRUE(FViewer->Running());
    EXPECT_EQ(FViewer->Windows(ExactTitle(kTitle + " - keys")).size(), 1u);
}

TEST_F(InputCaptureTest, PrintReachesTheServerFromAnotherWindowAndComingBackReleasesModifiers)
{
    OtherProgramWindow other(FDisplay.Name());
    ASSERT_TRUE(FViewer->Xdo({ "windowactivate", "--sync", other.Id() }));
    FViewer->Key("Print");
    ExpectKeys({ Down(0xFF61), Up(0xFF61) });

    // Qt takes a lost focus for real only when no window of its own regains it within
    // 400 ms; a user away from the viewer is away longer than that.
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(FViewer->Xdo({ "windowactivate", "--sync", FMainWindow }));
    ExpectKeys({ Up(0xFFE1), Up(0xFFE2), Up(0xFFE3), Up(0xFFE4), Up(0xFFE9), Up(0xFFEA) });
}

struct LargeScreenInputTest : InputCaptureTest { LargeScreenInputTest() { FWidth = 1600; } };

TEST_F(LargeScreenInputTest, ArrowAndPageKeysGoToTheServerAndThePictureStaysPut)
{
    // A point of the picture, on screen once its right neighbour is one colour further.
    auto shown = [&](int x) { return XcbCanvas(FDisplay.Name()).Grab().At(x, 300) & 0xFFFFFF; };
    ASSERT_TRUE(WaitUntil([&] { return shown(300) != 0 && shown(301) == shown(300) + 1; }));
    const Rgb before = shown(300);
    FViewer->Xdo({ "key", "Down", "Page_Down", "Right" });
    ExpectKeys({ Down(0xFF54), Up(0xFF54), Down(0xFF56), Up(0xFF56), Down(0xFF53), Up(0xFF53) });
    SettleKeys(); // a scroll would have been painted by the time F9 has gone round
    EXPECT_EQ(shown(300), before) << "the local view scrolled";
}

TEST_F(InputCaptureTest, LayoutsTypeWhatTheUserTyped)
{
    SetLayout("de");
    AltGr("q");
    ExpectKeys({ Down(0xFE03), Down(0x40), Up(0x40), Up(0xFE03) });
    AltGr("e");
    ExpectKeys({ Down(0xFE03), Down(0x20AC), Up(0x20AC), Up(0xFE03) });

    SetLayout("ru");
    FViewer->Key("Cyrillic_ef");
    ExpectKeys({ Down(0x6C6), Up(0x6C6) });
}

TEST_F(InputCaptureTest, ClicksArriveAtTheFramebufferPixelWithTheButtonsHeld)
{
    const std::string x = "100", y = std::to_string(kPanelTop + 50); // framebuffer pixel (100, 50)
    FViewer->Xdo({ "mousemove", "--window", FMainWindow, x, y, "click", "1", "mousedown", "1", "mousedown",
        "3", "mouseup", "3", "mouseup", "1" });
    // The button masks in the order they changed, from the first event at the pixel on.
    std::vector<uint8_t> masks;
    bool elsewhere = false;
    ASSERT_TRUE(WaitUntil([&] {
        masks.clear();
        elsewhere = false;
        bool arrived = false;
        for (const PointerSent& event : Pointer()) {
            const bool atPixel = event.x == 100 && event.y == 50;
            arrived = arrived || atPixel;
            elsewhere = elsewhere || (arrived && !atPixel);
            if (arrived && event.mask != (masks.empty() ? 0 : masks.back()))
                masks.push_back(event.mask);
        }
        return masks.size() >= 6;
    }));
    EXPECT_EQ(masks, std::vector<uint8_t>({ 1, 0, 1, 5, 1, 0 }));
    EXPECT_FALSE(elsewhere);
}

TEST_F(InputCaptureTest, AHeldKeyRepeatsItsPressAndIsReleasedOnce)
{
    FViewer->Xdo({ "keydown", "a" });
    const bool repeated = WaitUntil([&] { return Keys().size() >= FSeen + 3; });
    FViewer->Xdo({ "keyup", "a" });
    ASSERT_TRUE(repeated) << "the X server did not repeat the key";
    std::vector<KeySent> sent;
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<KeySent> more = NextKeys(0);
        sent.insert(sent.end(), more.begin(), more.end());
        return !sent.empty() && sent.back() == Up(0x61);
    }));
    EXPECT_GE(sent.size(), 4u);
    for (size_t i = 0; i + 1 < sent.size(); ++i)
        EXPECT_EQ(sent[i], Down(0x61)) << Describe(sent);
}

TEST_F(RealWindowTest, DialogsKeepTheirFixedFrameUnderAWindowManager)
{
    if (!ChildProcess::InPath("openbox") || !ChildProcess::InPath("xprop"))
        GTEST_SKIP() << "openbox or xprop is not installed";
    std::string error;
    ASSERT_TRUE(FDisplay.StartWindowManager(&error)) << error;
    struct Opener {
        const char* title;
        int x; // of the toolbar button that opens it
    };
    for (const Opener& opener : { Opener { "About", 752 }, Opener { "Settings", 182 }, Opener { "Connect", 42 } }) {
        SCOPED_TRACE(opener.title);
        FViewer->ClickIn(FMainWindow, opener.x, kButtonY);
        std::string dialog;
        ASSERT_TRUE(FViewer->WaitForWindow(std::string("^") + opener.title + "$", &dialog));
        const std::string allowed = FViewer->Property(dialog, "_NET_WM_ALLOWED_ACTIONS");
        EXPECT_NE(allowed.find("_NET_WM_ACTION_CLOSE"), std::string::npos) << allowed;
        for (const char* action : { "_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_RESIZE" })
            EXPECT_EQ(allowed.find(action), std::string::npos) << allowed;
        // The hints ask for no minimise or maximise; a window manager that offers them anyway
        // cannot take the dialog out of its frame.
        const std::string size = FViewer->Xdo({ "getwindowgeometry", dialog }).value_or("");
        FViewer->Xdo({ "windowminimize", dialog });
        std::this_thread::sleep_for(1s);
        EXPECT_EQ(FViewer->Windows(std::string("^") + opener.title + "$"), std::vector<std::string> { dialog })
            << "the dialog stayed minimised";
        FViewer->AskForFullScreen(dialog);
        std::this_thread::sleep_for(1s);
        EXPECT_EQ(FViewer->Property(dialog, "_NET_WM_STATE").find("FULLSCREEN"), std::string::npos);
        EXPECT_EQ(FViewer->Xdo({ "getwindowgeometry", dialog }).value_or(""), size);
        FViewer->Focus(dialog);
        FViewer->Key("Escape");
        EXPECT_TRUE(WaitUntil([&] { return FViewer->Windows(std::string("^") + opener.title + "$").empty(); }));
    }
}

TEST_F(RealWindowTest, SwitchingTo256ColoursAndBackKeepsTheRemotePicture)
{
    XvncServer server(SmallScreen("colours"));
    StartServer(server);
    // Colours on the 3-3-2 levels of a server's colour map, so both modes compare pixel for
    // pixel (but for the rounding of a level).
    // A new picture after each switch shows that the stream is still in step.
    uint32_t seed = 1;
    auto drawNewPicture = [&] {
        XcbCanvas canvas(server.DisplayName());
        TestPicture picture;
        picture.Quantise = SnapToBgr233;
        picture.Seed = seed += 2;
        DrawTestPicture(canvas, picture);
        canvas.Sync();
    };
    drawNewPicture();
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    ASSERT_TRUE(TitleBecomes(kTitle + " - colours")) << FViewer->Log();
    ASSERT_TRUE(PanelShowsServerScreen(server));

    constexpr int kSettingsX = 182;
    for (const auto& [key, stored] : { std::pair { "Down", "TrueColor=0" }, std::pair { "Up", "TrueColor=1" } }) {
        SCOPED_TRACE(stored);
        FViewer->Click(kSettingsX, kButtonY);
        std::string dialog;
        ASSERT_TRUE(FViewer->WaitForWindow("^Settings$", &dialog));
        FViewer->Focus(dialog);
        // From OK along the tab order to the colour choice (Alt combinations may belong to the
        // remote side while connected).
        for (int i = 0; i < 5; ++i)
            FViewer->Key("Tab");
        FViewer->Key(key);
        FViewer->Key("Return");
        // The dialog closes once the switch is done.
        ASSERT_TRUE(WaitUntil([&] { return FViewer->Windows("^Settings$").empty(); }));
        EXPECT_NE(ReadFile(IniPath()).find(stored), std::string::npos) << ReadFile(IniPath());
        drawNewPicture();
        EXPECT_TRUE(PanelShowsServerScreen(server, 1));
        EXPECT_EQ(FViewer->Title(FMainWindow), kTitle + " - colours") << "the connection must stay up";
    }
}

// Under a window manager, with X509Vnc and a certificate no authority of ours signed: the user is
// asked once, and "Always trust" is remembered in the ini for that host and port.
TEST_F(RealWindowTest, AnUnknownCertificateTrustedAlwaysConnectsAndIsNotAskedAboutAgain)
{
    if (auto missing = TestCertificates::MissingTools(); !missing.empty() || !ChildProcess::InPath("openbox"))
        GTEST_SKIP() << "certtool or openbox is not installed";
    std::string error;
    TestCertificates certs;
    ASSERT_TRUE(certs.Make(&error)) << error;
    RealServerOptions options = SmallScreen("sealed", "secret1");
    options.securityTypes = "X509Vnc";
    options.vncArgs = { "-X509Cert", certs.CertFile(), "-X509Key", certs.KeyFile() };
    XvncServer server(options);
    StartServer(server);
    ASSERT_TRUE(FDisplay.StartWindowManager(&error)) << error;

    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port(), FMainWindow));
    std::string dialog;
    ASSERT_TRUE(FViewer->WaitForWindow("^Server certificate$", &dialog)) << FViewer->Log();
    FViewer->Focus(dialog);
    FViewer->Key("Tab"); // from "Connect once", the default, to "Always trust"
    FViewer->Key("space");
    ASSERT_TRUE(FViewer->AnswerPassword("secret1"));
    ASSERT_TRUE(TitleBecomes(kTitle + " - sealed")) << FViewer->Log();
    // The panel sits under the toolbar of the window, wherever the window manager put it.
    std::string where;
    ChildProcess::Run({ "env", "DISPLAY=" + FDisplay.Name(), "xwininfo", "-id", FMainWindow }, "", &where);
    int left = -1, top = -1;
    if (const size_t at = where.find("Absolute upper-left X:"); at != std::string::npos)
        std::sscanf(where.c_str() + at, "Absolute upper-left X: %d Absolute upper-left Y: %d", &left, &top);
    ASSERT_GE(top, 0) << where;
    const ScreenImage expected = XcbCanvas(server.DisplayName()).Grab();
    EXPECT_TRUE(WaitUntil([&] { return PixelDifferences(expected, ViewerScreen(), left, top + kPanelTop) == 0; }))
        << where;
    EXPECT_NE(ReadFile(IniPath()).find("[TrustedServers]"), std::string::npos);
    EXPECT_NE(ReadFile(IniPath()).find("127.0.0.1:" + std::to_string(server.Port()) + "=" + certs.Sha256()),
        std::string::npos)
        << ReadFile(IniPath());

    FViewer->ClickIn(FMainWindow, kDisconnectX, kButtonY);
    ASSERT_TRUE(TitleBecomes(kTitle));
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port(), FMainWindow));
    ASSERT_TRUE(FViewer->AnswerPassword("secret1"));
    ASSERT_TRUE(TitleBecomes(kTitle + " - sealed")) << FViewer->Log();
    EXPECT_TRUE(FViewer->Windows("^Server certificate$").empty()) << "asked about a trusted certificate again";
}

class ScaledWindowTest : public FullScreenWindowTest {
protected:
    ScaledWindowTest() { FIniText = "[VNCClient]\nScaleToWindow=1\n"; }
};

TEST_F(ScaledWindowTest, ABigDesktopIsWhollyVisibleInASmallWindowAndClicksLandOnItsPixels)
{
    // 1600 x 1200 in one RRE rectangle: a blue-grey ground, a 100-pixel square in each corner.
    const Rgb colours[5] = { 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x336699 };
    ByteWriter update;
    update.U8(0).U8(0).U16(1).U16(0).U16(0).U16(1600).U16(1200).S32(2).U32(4).Px<uint32_t>(colours[4]);
    for (int i = 0; i < 4; ++i)
        update.Px<uint32_t>(colours[i]).U16(i % 2 ? 1500 : 0).U16(i / 2 ? 1100 : 0).U16(100).U16(100);
    ScriptedServer server;
    ScriptNoneHandshake(server, { .width = 1600, .height = 1200, .name = "big" }).Send(update).Start();
    ASSERT_TRUE(FViewer->Xdo({ "windowsize", "--sync", FMainWindow, "800", std::to_string(600 + kPanelTop) }));
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port(), FMainWindow));
    ASSERT_TRUE(TitleBecomes(kTitle + " - big")) << FViewer->Log();

    // The 800 x 600 panel, wherever openbox put the window, shows the corners and the ground at half size.
    xcb_connection_t* connection = xcb_connect(FDisplay.Name().c_str(), nullptr);
    auto* origin = xcb_translate_coordinates_reply(connection, xcb_translate_coordinates(connection,
        xcb_window_t(std::stoul(FMainWindow)), xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root, 0, 0), nullptr);
    ASSERT_TRUE(origin != nullptr);
    const int x = origin->dst_x, y = origin->dst_y + kPanelTop, points[5][2] = { { 2, 2 }, { 797, 2 }, { 2, 597 }, { 797, 597 }, { 400, 300 } };
    free(origin);
    xcb_disconnect(connection);
    EXPECT_TRUE(WaitUntil([&] {
        const ScreenImage screen = ViewerScreen();
        for (int i = 0; i < 5; ++i)
            if ((screen.At(x + points[i][0], y + points[i][1]) & 0xFFFFFF) != colours[i])
                return false;
        return true;
    }));
    // A click at the panel's centre arrives at the desktop's.
    FViewer->ClickIn(FMainWindow, 400, kPanelTop + 300);
    EXPECT_TRUE(WaitUntil([&] {
        for (const ClientMessage& m : SplitClientMessages(server.Received(), kHandshakeBytes))
            if (m.type == 5 && m.bytes[1] == 1 && std::abs((m.bytes[2] << 8 | m.bytes[3]) - 800) <= 2
                && std::abs((m.bytes[4] << 8 | m.bytes[5]) - 600) <= 2)
                return true;
        return false;
    }));
}

// Desktops that change size, in true colour and in 256 colours: the panel follows the server's
// screen at 1:1, with scroll bars once it is larger than the window; then the server follows
// the window (RemoteResize).
class ResizeWindowTest : public RealWindowTest, public ::testing::WithParamInterface<bool> {
protected:
    ResizeWindowTest() { FIniText = std::string("[VNCClient]\nRemoteResize=1\n") + (GetParam() ? "" : "TrueColor=0\n"); }

    // Draws on the server's screen at its new size and waits for the panel's visible part
    // (the window is 1280 x 1000) to show it.
    bool PanelFollows(XvncServer& server, int width, int height)
    {
        XcbCanvas canvas(server.DisplayName());
        TestPicture picture;
        picture.Quantise = GetParam() ? picture.Quantise : SnapToBgr233;
        picture.Seed = uint32_t(width);
        DrawTestPicture(canvas, picture);
        canvas.Sync();
        const ScreenImage expected = canvas.Grab();
        return expected.width == width && expected.height == height && WaitUntil([&] {
            return PixelDifferences(expected, ViewerScreen(), 0, kPanelTop, GetParam() ? 0 : 1, 1200, 850) == 0;
        }, 1s);
    }
};

TEST_P(ResizeWindowTest, TheWindowFollowsTheServersDesktopSizeAndTheServerTheWindows)
{
    XvncServer server(SmallScreen("resizing"));
    StartServer(server);
    FViewer->Xdo({ "windowsize", FMainWindow, "1280", "1000" });
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    ASSERT_TRUE(TitleBecomes(kTitle + " - resizing")) << FViewer->Log();
    for (const auto& [width, height] : { std::pair { 1024, 768 }, std::pair { 1600, 1000 } }) {
        SCOPED_TRACE(width);
        ASSERT_TRUE(server.ResizeScreen(width, height));
        EXPECT_TRUE(PanelFollows(server, width, height));
        EXPECT_EQ(FViewer->Title(FMainWindow), kTitle + " - resizing") << "the session must stay";
    }
    // The user's resize of the window becomes the server's size.
    FViewer->Xdo({ "windowsize", FMainWindow, "900", "700" });
    EXPECT_TRUE(WaitUntil([&] { return XcbCanvas(server.DisplayName()).Height() == 700 - kPanelTop; }, 5s));
    EXPECT_EQ(XcbCanvas(server.DisplayName()).Width(), 900);
    EXPECT_TRUE(PanelShowsServerScreen(server, GetParam() ? 0 : 1));
}

INSTANTIATE_TEST_SUITE_P(Colours, ResizeWindowTest, ::testing::Values(true, false));

// ZRLE alone and Tight alone (its default quality rule, lossless on loopback), in true colour
// and in 256 colours: after the drawn test scene the window shows the server's screen pixel for
// pixel (in 256 colours, but for the rounding of a colour level).
struct CompressedWindowCase {
    const char* name;
    const char* ini;
    bool trueColour;
};

class CompressedWindowTest : public RealWindowTest, public ::testing::WithParamInterface<CompressedWindowCase> {
protected:
    CompressedWindowTest()
    {
        FIniText = std::string("[VNCClient]\nEncCopyRect=0\nEncRRE=0\nEncHextile=0\n") + GetParam().ini
            + (GetParam().trueColour ? "" : "TrueColor=0\n");
    }
};

TEST_P(CompressedWindowTest, TheWindowShowsTheServersScreenPixelForPixel)
{
    XvncServer server(SmallScreen("compressed"));
    StartServer(server);
    ASSERT_TRUE(FViewer->ConnectThroughTheDialog(server.Port()));
    ASSERT_TRUE(TitleBecomes(kTitle + " - compressed")) << FViewer->Log();
    XcbCanvas canvas(server.DisplayName());
    TestPicture picture;
    if (!GetParam().trueColour)
        picture.Quantise = SnapToBgr233;
    DrawTestPicture(canvas, picture);
    canvas.Sync();
    EXPECT_TRUE(PanelShowsServerScreen(server, GetParam().trueColour ? 0 : 1));
}

INSTANTIATE_TEST_SUITE_P(Encodings, CompressedWindowTest,
    ::testing::Values(CompressedWindowCase { "ZrleTrueColour", "EncTight=0\n", true },
        CompressedWindowCase { "Zrle256Colours", "EncTight=0\n", false },
        CompressedWindowCase { "TightTrueColour", "EncZRLE=0\n", true },
        CompressedWindowCase { "Tight256Colours", "EncZRLE=0\n", false }),
    [](const ::testing::TestParamInfo<CompressedWindowCase>& info) { return std::string(info.param.name); });
