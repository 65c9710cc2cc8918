#pragma once
// One headless session after a successful Connect: the viewer's frame update thread paces
// the update cycles and hands each step to this program's main loop, which serves them the
// way the window's event loop does, until the goal of the command line is reached, the
// session fails, or the user interrupts it.

#include <functional>
#include <string>

#include "MainLoopQueue.h"
#include "SnapOptions.h"
#include "protocol/ViewerSession.h"

namespace zarn {
class TVNCProto;
}

namespace zarn::snap {

// The tool's main loop as the session sees it: steps are queued for it, and the time spent
// running them is the time spent in the update cycles (there is nothing to paint).
struct TSnapMainLoop {
    TViewerSession::THost Host();

    TMainLoopQueue Queue;
    double DecodeSeconds = 0;
    bool ThreadEnded = false;
};

// What the session takes from the command line.
TSessionSettings SessionSettingsFor(const SnapOptions& options);

struct SessionOutcome {
    bool goalReached = false;
    std::string why; // what ended the session early, when the goal was missed
    double seconds = 0; // from the first cycle to the end of the session
    double decodeSeconds = 0; // spent inside the update cycles (reading and decoding)
};

// Opens the session (Connect has succeeded; `session` was made over `loop`'s Host) and serves
// its steps until the goal. `interrupted` is polled by the main loop at least ten times a second.
SessionOutcome RunSession(TVNCProto& proto, TViewerSession& session, TSnapMainLoop& loop,
    const SnapOptions& options, const std::function<bool()>& interrupted);

} // namespace zarn::snap
