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

} // namespace zarn::test
