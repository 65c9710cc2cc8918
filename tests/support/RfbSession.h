#pragma once
// A session with a scripted server as tests of the window need it: the handshake script up to
// ServerInit (RfbBytes splits what the client sent afterwards into its messages).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/RfbBytes.h"
#include "support/ScriptedServer.h"

namespace zarn::test {

// The client's bytes of the handshake below: its version (12), security type and ClientInit.
inline constexpr size_t kNoneHandshakeClientBytes = 14;

// "RFB 003.008\n".
std::vector<uint8_t> Greeting38None();

// RFB 3.8 with security None up to and including ServerInit.
void ScriptNoneHandshake(ScriptedServer& server, const ServerInitFields& init);

} // namespace zarn::test
