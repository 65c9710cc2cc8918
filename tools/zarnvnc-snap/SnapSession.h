#pragma once
// One headless session after a successful Connect: the viewer's frame update thread paces
// the update cycles and hands each step to this program's main loop, which serves them the
// way the window's event loop does, until the goal of the command line is reached, the
// session fails, or the user interrupts it.

#include <functional>
#include <string>

#include "SnapOptions.h"

namespace zarn {
class TVNCProto;
}

namespace zarn::snap {

struct SessionOutcome {
    bool goalReached = false;
    std::string why; // what ended the session early, when the goal was missed
    double seconds = 0; // from the first cycle to the end of the session
    double decodeSeconds = 0; // spent inside the update cycles (reading and decoding)
};

// `interrupted` is polled by the main loop at least ten times a second.
SessionOutcome RunSession(
    TVNCProto& proto, const SnapOptions& options, const std::function<bool()>& interrupted);

} // namespace zarn::snap
