#include "support/RfbSession.h"

namespace zarn::test {

std::vector<uint8_t> Greeting38None()
{
    return ByteWriter().Text("RFB 003.008\n");
}

// RFB 3.8 with security None up to and including ServerInit.
void ScriptNoneHandshake(ScriptedServer& server, const ServerInitFields& init)
{
    server.Send(Greeting38None())
        .Expect(12)
        .Send({ 1, 1 })
        .Expect(1)
        .SendU32(0)
        .Expect(1)
        .Send(ServerInitBytes(init));
}

// Splits what a client sent after its handshake (`skip` bytes) into messages.
std::vector<ClientMessage> SplitClientMessages(const std::vector<uint8_t>& sent, size_t skip)
{
    std::vector<ClientMessage> messages;
    size_t at = skip;
    while (at < sent.size()) {
        size_t length = 0;
        switch (sent[at]) {
        case 0:
            length = 20;
            break;
        case 2:
            length = at + 4 <= sent.size() ? 4 + 4 * size_t((sent[at + 2] << 8) | sent[at + 3]) : 4;
            break;
        case 3:
            length = 10;
            break;
        case 4:
            length = 8;
            break;
        case 5:
            length = 6;
            break;
        default:
            return messages; // nothing else is expected here
        }
        if (at + length > sent.size())
            break;
        messages.push_back(
            { sent[at], std::vector<uint8_t>(sent.begin() + long(at), sent.begin() + long(at + length)) });
        at += length;
    }
    return messages;
}

} // namespace zarn::test
