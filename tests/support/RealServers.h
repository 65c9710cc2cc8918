#pragma once
// Fixtures that start real VNC servers on loopback for end-to-end tests:
//   XvncServer    TigerVNC's Xvnc, security None or VNC Authentication;
//   X11vncServer  x11vnc over an Xvfb display, optionally announcing an older RFB version.
// Each picks a free X display N (no socket, no lock file, port 5900+N unused), listens on
// port 5900+N on loopback only, and is stopped by its own process ids in the destructor,
// also when a test fails. Two test processes picking the same display at once is harmless:
// the X server that loses the race exits and the fixture moves on to the next number.
//
//     XvncServer::Options options;
//     options.password = "secret";
//     if (auto missing = XvncServer::MissingTools(options); !missing.empty())
//         GTEST_SKIP() << missing;
//     XvncServer server(options);
//     std::string error;
//     ASSERT_TRUE(server.Start(&error)) << error;
//     proto.Connect("127.0.0.1", server.Port());
//     // draw on server.DisplayName() with xcb ...

#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace zarn::test {

struct RealServerOptions {
    int width = 640;
    int height = 480;
    int depth = 24;
    std::string desktopName = "zarn-test";
    std::string password; // empty: security None
    std::string rfbVersion; // x11vnc only: "3.3", "3.7" or empty for its default (3.8)
    std::vector<std::string> vncArgs; // appended to the VNC server's own command line
    // Xvnc only: its -SecurityTypes list ("TLSVnc,VncAuth"); empty: None, or VncAuth with a password.
    std::string securityTypes;
};

// What both fixtures share: the display, the port and the temporary files.
class RealServerBase {
public:
    using Options = RealServerOptions;

    int Display() const { return FDisplay; }
    std::string DisplayName() const { return ":" + std::to_string(FDisplay); }
    int Port() const { return FDisplay >= 0 ? 5900 + FDisplay : -1; }
    const Options& GetOptions() const { return FOptions; }
    // The servers' combined output so far, for failure messages.
    std::string Log() const;

protected:
    explicit RealServerBase(Options options);
    ~RealServerBase() = default;

    // Tries candidate displays until `tryDisplay` succeeds; false after too many attempts.
    template <typename TryDisplay> bool StartOnFreeDisplay(TryDisplay tryDisplay, std::string* error);
    bool WritePasswordFile(const std::vector<std::string>& command, bool passwordOnStdin, std::string* error);
    std::string LogPath() const { return FTemp.File("server.log").string(); }
    std::string PasswordPath() const { return FTemp.File("passwd").string(); }

    Options FOptions;
    TempDir FTemp;
    int FDisplay = -1;
};

class XvncServer : public RealServerBase {
public:
    explicit XvncServer(Options options = {});
    ~XvncServer();

    // Empty when everything the options need is installed, else what is missing.
    static std::string MissingTools(const Options& options);
    bool Start(std::string* error);
    void Stop();
    // Gives the server's screen a new size through xrandr, as a user of that desktop would
    // (a size Xvnc does not list is added as a mode first).
    bool ResizeScreen(int width, int height);

private:
    bool TryDisplay(int display, std::string* error);
    ChildProcess FServer;
};

class X11vncServer : public RealServerBase {
public:
    explicit X11vncServer(Options options = {});
    ~X11vncServer();

    static std::string MissingTools(const Options& options);
    bool Start(std::string* error);
    void Stop();

private:
    bool TryDisplay(int display, std::string* error);
    ChildProcess FXvfb;
    ChildProcess FVnc;
};

// Host-side helpers, exposed for tests that need them.
bool DisplayLooksFree(int display);
// Waits until a TCP connect to 127.0.0.1:port succeeds, while `alive` says the server runs.
bool WaitForPort(int port, ChildProcess& server, int timeoutMs);

} // namespace zarn::test
