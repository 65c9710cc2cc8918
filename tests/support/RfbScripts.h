#pragma once
// The set-up scripts most tests start from, played by a ScriptedServer.

#include <cstddef>
#include <string_view>
#include <vector>

#include "support/RfbBytes.h"
#include "support/ScriptedServer.h"

namespace zarn::test {

// "RFB 003.008\n".
std::vector<uint8_t> Greeting38None();

// The client's bytes of ScriptNoneHandshake under 3.8: its version (12), security type and
// ClientInit.
inline constexpr size_t kNoneHandshakeClientBytes = 14;

// Security None up to and including ServerInit (under 3.8 with its SecurityResult).
ScriptedServer& ScriptNoneHandshake(
    ScriptedServer& server, const ServerInitFields& init = {}, std::string_view greeting = "RFB 003.008\n");

// RFB 3.8 with VNC Authentication offered alone: the challenge, the client's 16-byte answer, a
// SecurityResult of 0, ClientInit and ServerInit.
ScriptedServer& ScriptVncAuthHandshake(
    ScriptedServer& server, const std::vector<uint8_t>& challenge, const ServerInitFields& init = {});

// Sends `bytes` one at a time, `intervalMs` apart: a server that trickles.
ScriptedServer& Drip(ScriptedServer& server, const std::vector<uint8_t>& bytes, int intervalMs);

} // namespace zarn::test
