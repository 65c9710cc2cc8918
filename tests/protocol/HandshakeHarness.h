#pragma once
// Shared by the handshake tests: an engine pointed at a scripted server, and the server
// bytes of the usual set-up steps.

#include <string>
#include <vector>

#include "protocol/VNCProto.h"
#include "support/RfbBytes.h"
#include "support/RfbScripts.h"
#include "support/ScriptedServer.h"

namespace zarn::test {

struct HandshakeHarness {
    ScriptedServer server;
    TVNCProto proto;

    HandshakeHarness()
    {
        // Short enough that a test whose script runs dry fails fast instead of hanging.
        proto.Limits.ConnectTimeoutMs = 2000;
    }

    bool Connect()
    {
        server.Start();
        return proto.Connect("127.0.0.1", server.Port());
    }

    // Everything the client sent, once it has sent at least `count` bytes (or closed).
    std::vector<uint8_t> Sent(size_t count)
    {
        server.WaitForReceived(count, 3000);
        return server.Received();
    }
};

inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline const std::vector<uint8_t> kReply33 = BytesOf("RFB 003.003\n");
inline const std::vector<uint8_t> kReply37 = BytesOf("RFB 003.007\n");
inline const std::vector<uint8_t> kReply38 = BytesOf("RFB 003.008\n");

} // namespace zarn::test
