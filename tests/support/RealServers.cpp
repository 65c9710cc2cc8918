#include "support/RealServers.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zarn::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFirstDisplay = 20;
constexpr int kDisplaySpread = 300;
constexpr int kAttempts = 12;
constexpr int kStartTimeoutMs = 20000;

bool CanBindLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

bool CanConnectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

std::string Missing(std::initializer_list<const char*> programs)
{
    std::string missing;
    for (const char* program : programs) {
        if (!ChildProcess::InPath(program))
            missing += std::string(missing.empty() ? "" : ", ") + program;
    }
    return missing.empty() ? missing : "not installed: " + missing;
}

std::string Geometry(const RealServerOptions& o)
{
    return std::to_string(o.width) + "x" + std::to_string(o.height);
}

} // namespace

bool DisplayLooksFree(int display)
{
    const std::string n = std::to_string(display);
    return !std::filesystem::exists("/tmp/.X11-unix/X" + n)
        && !std::filesystem::exists("/tmp/.X" + n + "-lock") && CanBindLoopback(5900 + display);
}

bool WaitForPort(int port, ChildProcess& server, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (!server.Running())
            return false;
        if (CanConnectLoopback(port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

RealServerBase::RealServerBase(Options options)
    : FOptions(std::move(options))
    , FTemp("zarn-server")
{
}

std::string RealServerBase::Log() const
{
    std::ifstream in(LogPath());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename TryDisplay>
bool RealServerBase::StartOnFreeDisplay(TryDisplay tryDisplay, std::string* error)
{
    // Spread concurrent test processes over different numbers from the start.
    int candidate = kFirstDisplay + static_cast<int>(::getpid() % kDisplaySpread);
    std::string lastError = "no free display found";
    for (int attempt = 0; attempt < kAttempts; ++attempt, ++candidate) {
        const int display = kFirstDisplay + (candidate - kFirstDisplay) % kDisplaySpread;
        if (!DisplayLooksFree(display))
            continue;
        if (tryDisplay(display, &lastError)) {
            FDisplay = display;
            return true;
        }
    }
    if (error)
        *error = lastError + "\n--- server output ---\n" + Log();
    return false;
}

bool RealServerBase::WritePasswordFile(
    const std::vector<std::string>& command, bool passwordOnStdin, std::string* error)
{
    std::string output;
    const int rc = ChildProcess::Run(command, passwordOnStdin ? FOptions.password + "\n" : "", &output);
    if (rc != 0) {
        if (error)
            *error = "cannot write the password file with " + command[0];
        return false;
    }
    if (passwordOnStdin) {
        std::ofstream out(PasswordPath(), std::ios::binary);
        out << output;
        if (!out) {
            if (error)
                *error = "cannot write " + PasswordPath();
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

XvncServer::XvncServer(Options options)
    : RealServerBase(std::move(options))
{
}

XvncServer::~XvncServer()
{
    Stop();
}

std::string XvncServer::MissingTools(const Options& options)
{
    return options.password.empty() ? Missing({ "Xvnc" }) : Missing({ "Xvnc", "vncpasswd" });
}

bool XvncServer::Start(std::string* error)
{
    if (!FOptions.password.empty() && !WritePasswordFile({ "vncpasswd", "-f" }, true, error))
        return false;
    return StartOnFreeDisplay(
        [this](int display, std::string* why) { return TryDisplay(display, why); }, error);
}

bool XvncServer::TryDisplay(int display, std::string* error)
{
    std::vector<std::string> args { "Xvnc", ":" + std::to_string(display), "-geometry", Geometry(FOptions),
        "-depth", std::to_string(FOptions.depth), "-desktop", FOptions.desktopName, "-localhost", "-rfbport",
        std::to_string(5900 + display), "-nolisten", "tcp" };
    const std::string types = !FOptions.securityTypes.empty() ? FOptions.securityTypes
        : FOptions.password.empty()                           ? "None"
                                                              : "VncAuth";
    args.insert(args.end(), { "-SecurityTypes", types });
    if (!FOptions.password.empty())
        args.insert(args.end(), { "-PasswordFile", PasswordPath() });
    args.insert(args.end(), FOptions.vncArgs.begin(), FOptions.vncArgs.end());
    if (!FServer.Start(args, LogPath(), error))
        return false;
    if (WaitForPort(5900 + display, FServer, kStartTimeoutMs))
        return true;
    FServer.Stop();
    *error = "Xvnc did not start on display :" + std::to_string(display);
    return false;
}

void XvncServer::Stop()
{
    FServer.Stop();
}

bool XvncServer::ResizeScreen(int width, int height)
{
    const std::string w = std::to_string(width), h = std::to_string(height), mode = w + "x" + h;
    std::string output;
    const auto xrandr = [&](std::vector<std::string> args) {
        args.insert(args.begin(), { "env", "DISPLAY=" + DisplayName(), "xrandr" });
        return ChildProcess::Run(args, "", &output) == 0;
    };
    // A size Xvnc already lists refuses the new mode and its addition; either way it is there.
    xrandr({ "--newmode", mode, "60", w, w, w, w, h, h, h, h });
    xrandr({ "--addmode", "VNC-0", mode });
    return xrandr({ "-s", mode });
}

// ---------------------------------------------------------------------------------------------

X11vncServer::X11vncServer(Options options)
    : RealServerBase(std::move(options))
{
}

X11vncServer::~X11vncServer()
{
    Stop();
}

std::string X11vncServer::MissingTools(const Options&)
{
    return Missing({ "Xvfb", "x11vnc" });
}

bool X11vncServer::Start(std::string* error)
{
    if (!FOptions.password.empty()
        && !WritePasswordFile({ "x11vnc", "-storepasswd", FOptions.password, PasswordPath() }, false, error))
        return false;
    return StartOnFreeDisplay(
        [this](int display, std::string* why) { return TryDisplay(display, why); }, error);
}

bool X11vncServer::TryDisplay(int display, std::string* error)
{
    const std::string name = ":" + std::to_string(display);
    const std::string screen = Geometry(FOptions) + "x" + std::to_string(FOptions.depth);
    if (!FXvfb.Start({ "Xvfb", name, "-screen", "0", screen, "-nolisten", "tcp" }, LogPath(), error))
        return false;
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
    const auto end = Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (FXvfb.Running() && !std::filesystem::exists(socket) && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!FXvfb.Running() || !std::filesystem::exists(socket)) {
        FXvfb.Stop();
        *error = "Xvfb did not start on display " + name;
        return false;
    }

    std::vector<std::string> args { "x11vnc", "-display", name, "-rfbport", std::to_string(5900 + display),
        "-localhost", "-forever", "-shared", "-norc", "-noipv6", "-desktop", FOptions.desktopName };
    if (!FOptions.rfbVersion.empty())
        args.insert(args.end(), { "-rfbversion", FOptions.rfbVersion });
    if (FOptions.password.empty())
        args.push_back("-nopw");
    else
        args.insert(args.end(), { "-rfbauth", PasswordPath() });
    args.insert(args.end(), FOptions.vncArgs.begin(), FOptions.vncArgs.end());
    if (FVnc.Start(args, LogPath(), error) && WaitForPort(5900 + display, FVnc, kStartTimeoutMs))
        return true;
    Stop();
    *error = "x11vnc did not start on display " + name;
    return false;
}

void X11vncServer::Stop()
{
    FVnc.Stop();
    FXvfb.Stop();
}

} // namespace zarn::test
