// zarnvnc-snap: a headless VNC client over the viewer's own engine and frame update thread.
// It connects, keeps the framebuffer current until its goal is reached, then writes the
// picture and statistics. `zarnvnc-snap --help` documents the command line.

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "SnapConnect.h"
#include "SnapOptions.h"
#include "SnapOutput.h"
#include "SnapSession.h"
#include "protocol/VNCProto.h"

namespace {

using namespace zarn;
using namespace zarn::snap;

constexpr int kExitDone = 0;
constexpr int kExitNoSession = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSessionFailed = 3;

volatile std::sig_atomic_t gInterrupted = 0;

void OnStopSignal(int)
{
    gInterrupted = 1;
}

// Once a session runs, Ctrl-C or a termination request ends it the orderly way, so the
// picture received so far is still written.
void CatchStopSignals()
{
    struct sigaction action { };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int Finish(TVNCProto& proto, const SnapOptions& options, const SessionOutcome& outcome)
{
    int exitCode = outcome.goalReached ? kExitDone : kExitSessionFailed;
    if (!outcome.goalReached)
        std::cerr << "zarnvnc-snap: the session ended before its goal: " << outcome.why << '\n';
    std::string error;
    if (options.outFile && !WritePicture(proto, *options.outFile, &error)) {
        std::cerr << "zarnvnc-snap: " << error << '\n';
        exitCode = kExitSessionFailed;
    }
    if (options.stats)
        std::cout << FormatStats(CollectStats(proto, outcome.seconds, outcome.decodeSeconds)) << '\n';
    return exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    const ParseResult parsed = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.status == ParseStatus::Help) {
        std::cout << HelpText();
        return kExitDone;
    }
    if (parsed.status == ParseStatus::UsageError) {
        std::cerr << "zarnvnc-snap: " << parsed.error << "\nTry 'zarnvnc-snap --help'.\n";
        return kExitUsage;
    }
    const SnapOptions& options = parsed.options;

    TVNCProto proto;
    TSnapMainLoop loop;
    TViewerSession session(proto, loop.Host());
    std::string error;
    if (!ArrangePassword(options, proto, &error)) {
        std::cerr << "zarnvnc-snap: " << error << '\n';
        return kExitNoSession;
    }
    session.Prepare(SessionSettingsFor(options));
    if (!ConnectToServer(proto, options, std::cerr))
        return kExitNoSession;
    if (options.info) {
        DescribeSession(proto, std::cout);
        std::cout.flush(); // whoever watches the output learns at once that the session is up
    }

    CatchStopSignals();
    const SessionOutcome outcome = RunSession(proto, session, loop, options, [] { return gInterrupted != 0; });
    const int exitCode = Finish(proto, options, outcome);
    session.Close();
    return exitCode;
}
