// The viewer's start-up: the command line (settings/CommandLine.h), the application object with
// its general error display, the title, the main window (which creates the dialogs), a
// connection to the server the command line names, and the event loop until the window closes.
// --help, --version and a bad argument are answered before anything needs a display.
//
// ZARNVNC_INI, when set, names the ini file to use instead of the one settings/IniLocation.h chooses.
// ZARNVNC_SESSION_STATS, when set, names a file rewritten once a second with the session's
// counters (frames=… rects=… bytes_received=… bytes_sent=…), for benchmarks that watch the
// viewer from outside.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#ifdef ZARN_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include "ZarnVersion.h"
#include "settings/CommandLine.h"
#include "ui/ZarnApplication.h"
#include "ui/ZarnUtils.h"
#include "protocol/VNCProto.h"
#include "ui/frmZarnVNCWnd.h"

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Qt aborts when its platform plugin cannot reach a display. Find that out first and say so in
// words: which platform Qt will pick and whether its display is there.
bool DisplayReachable(std::string& problem)
{
    const std::string platform = Environment("QT_QPA_PLATFORM");
    if (!platform.empty() && platform.rfind("xcb", 0) != 0)
        return true; // an explicit other platform (offscreen, wayland, vnc...) checks itself
    const std::string display = Environment("DISPLAY");
    if (platform.empty() && display.empty()) {
        if (!Environment("WAYLAND_DISPLAY").empty())
            return true;
        problem = "no graphical display: neither DISPLAY nor WAYLAND_DISPLAY is set";
        return false;
    }
#ifdef ZARN_HAVE_XCB
    xcb_connection_t* connection = xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr);
    const bool reachable = connection != nullptr && xcb_connection_has_error(connection) == 0;
    if (connection != nullptr)
        xcb_disconnect(connection);
    if (!reachable) {
        problem = "cannot open the X display \"" + display + "\"";
        return false;
    }
#endif
    return true;
}

// On a Wayland desktop Qt would pick its Wayland platform, where a program can neither grab
// keys system-wide nor learn the X keysym of a key. XWayland gives the same keyboard, hot keys
// and grabs as a plain X11 desktop, so the viewer runs there whenever DISPLAY is set and the
// user has not chosen a platform (QT_QPA_PLATFORM or -platform).
void PreferX11(int argc, char** argv)
{
    if (!Environment("QT_QPA_PLATFORM").empty() || Environment("DISPLAY").empty())
        return;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "-platform" || std::string(argv[i]).rfind("-platform=", 0) == 0)
            return;
    // Wayland stays the fallback for a Qt without its xcb platform.
    setenv("QT_QPA_PLATFORM", "xcb;wayland", 1);
}

// SIGTERM and SIGINT close the window like its close box does, so that the connection ends
// cleanly and the recent hosts are saved. The handler only writes a byte to a socket pair;
// the event loop does the rest.
int gSignalPipe[2] = { -1, -1 };

void ForwardSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(gSignalPipe[0], &byte, 1);
}

void CloseOnTerminationSignals(QWidget& window)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
        return; // then the signals keep their default effect
    auto* notifier = new QSocketNotifier(gSignalPipe[1], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(gSignalPipe[1], &byte, 1);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = ForwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void WriteSessionStatsEverySecond(zarn::TZarnVNCWnd& window, const QString& path)
{
    auto* timer = new QTimer(&window);
    QObject::connect(timer, &QTimer::timeout, &window, [&window, path] {
        const zarn::TVNCProto& proto = window.Proto();
        const std::string line = "frames=" + std::to_string(proto.FramesReceived)
            + " rects=" + std::to_string(proto.RectsReceived) + " bytes_received="
            + std::to_string(proto.BytesReceived) + " bytes_sent=" + std::to_string(proto.BytesSent) + "\n";
        // Written beside and renamed over, so a reader never sees half a line; not synced to
        // disk, which would cost more than the viewer being measured.
        const std::string target = path.toStdString();
        const std::string temporary = target + ".new";
        if (FILE* file = std::fopen(temporary.c_str(), "w")) {
            const bool written = std::fputs(line.c_str(), file) >= 0;
            if (std::fclose(file) == 0 && written)
                std::rename(temporary.c_str(), target.c_str());
        }
    });
    timer->start(1000);
}

} // namespace

int main(int argc, char** argv)
{
    const zarn::TCommandLine commandLine = zarn::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (commandLine.Action) {
    case zarn::TCommandLine::TAction::Help:
        std::fputs(zarn::CommandLineUsage().c_str(), stdout);
        return 0;
    case zarn::TCommandLine::TAction::Version:
        std::printf("zarnvnc %d.%d.%d.%d\n", ZARN_VERSION_MAJOR + 0, ZARN_VERSION_MINOR + 0,
            ZARN_VERSION_RELEASE + 0, ZARN_VERSION_BUILD + 0);
        return 0;
    case zarn::TCommandLine::TAction::Fail:
        std::fprintf(stderr, "zarnvnc: %s\n", commandLine.Error.c_str());
        return 2;
    case zarn::TCommandLine::TAction::Run:
        break;
    }

    PreferX11(argc, argv);
    std::string problem;
    if (!DisplayReachable(problem)) {
        std::fprintf(stderr, "zarnvnc: %s. Start the viewer from a desktop session.\n", problem.c_str());
        return 1;
    }

    zarn::TZarnApplication application(argc, argv);
    zarn::SetApplicationTitle(QStringLiteral("ZarnVNC Viewer"));

    const std::filesystem::path iniPath = Environment("ZARNVNC_INI");
    int result = 0;
    {
        zarn::TZarnVNCWnd window(iniPath);
        CloseOnTerminationSignals(window);
        if (const std::string statsPath = Environment("ZARNVNC_SESSION_STATS"); !statsPath.empty())
            WriteSessionStatsEverySecond(window, QString::fromStdString(statsPath));
        window.show();
        if (const auto& server = commandLine.Server) {
            // Once the event loop runs, so the window is up before a password prompt or a
            // failure message appears over it. server->User waits for a security type that
            // sends a user name.
            QTimer::singleShot(0, &window, [&window, host = server->Host, port = server->Port] {
                window.ConnectTo(host, port);
            });
        }
        result = application.exec();
    }
    return result;
}
