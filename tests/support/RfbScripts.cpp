#include "support/RfbScripts.h"

namespace zarn::test {

std::vector<uint8_t> Greeting38None()
{
    return ByteWriter().Text("RFB 003.008\n");
}

ScriptedServer& ScriptNoneHandshake(ScriptedServer& server, const ServerInitFields& init, std::string_view greeting)
{
    server.Send(greeting).Expect(12).Send({ 1, 1 }).Expect(1);
    // Only 3.8 sends a SecurityResult after None; under 3.7 the choice is followed by ClientInit.
    if (greeting.starts_with("RFB 003.008"))
        server.SendU32(0);
    return server.Expect(1).Send(ServerInitBytes(init));
}

ScriptedServer& ScriptVncAuthHandshake(
    ScriptedServer& server, const std::vector<uint8_t>& challenge, const ServerInitFields& init)
{
    return server.Send("RFB 003.008\n")
        .Expect(12)
        .Send({ 1, 2 })
        .Expect(1)
        .Send(challenge)
        .Expect(16)
        .SendU32(0)
        .Expect(1)
        .Send(ServerInitBytes(init));
}

ScriptedServer& Drip(ScriptedServer& server, const std::vector<uint8_t>& bytes, int intervalMs)
{
    for (const uint8_t byte : bytes)
        server.SendU8(byte).Pause(intervalMs);
    return server;
}

} // namespace zarn::test
