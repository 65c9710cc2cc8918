#pragma once
// Plays a byte string as everything a server sends from its greeting on, through the engine's
// real Connect (the password prompt answering a fixed password), and checks what must hold
// whatever the bytes were: the input chooses the version, the security types (VeNCrypt's version,
// sub-types and answer up to its TLS handshake included), reason texts and ServerInit. Shared by the libFuzzer target and the regression test that replays its seeds.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/MemoryTransport.h"
#include "protocol/Limits.h"
#include "protocol/VNCProto.h"

namespace zarn::fuzzing {

// Keeps every run small: a framebuffer at the real limit would cost a gigabyte per input.
inline constexpr int32_t kSetupHarnessMaxSide = 1024;

struct SetupOutcome {
    std::string violation; // empty when every check held
    bool connected = false;
};

inline std::string SetupViolation(const TVNCProto& proto, const MemoryTransport& transport, size_t streamSize,
    bool connected)
{
    const size_t consumed = streamSize - transport.Remaining();
    if (proto.BytesReceived > consumed)
        return "counted more bytes received than were read";
    const std::vector<uint8_t>& sent = transport.Written();
    if (!sent.empty() && (sent.size() < 12 || std::string(sent.begin(), sent.begin() + 4) != "RFB "))
        return "the first thing written was not a version reply";
    if (!connected) {
        if (proto.LastError.empty())
            return "a failed Connect left no diagnostic";
        if (proto.Initialised || const_cast<MemoryTransport&>(transport).Connected())
            return "a failed Connect left the session open";
        return {};
    }
    const size_t pixels = size_t(proto.FramebufferWidth) * size_t(proto.FramebufferHeight);
    if (!proto.Initialised || !proto.LastError.empty())
        return "a successful Connect is not initialised or carries an error";
    if (proto.FramebufferWidth > kSetupHarnessMaxSide || proto.FramebufferHeight > kSetupHarnessMaxSide)
        return "a framebuffer beyond the limit was accepted";
    if (proto.Pixels32.size() != pixels || proto.Pixels8.size() != pixels)
        return "the framebuffer arrays do not match ServerInit";
    if (proto.DesktopName.size() > limits::kMaxSetupText)
        return "a desktop name beyond the limit was accepted";
    // 19 included: bytes made up without the server's keys can never complete a TLS handshake.
    if (proto.SecurityType != 1 && proto.SecurityType != 2 && proto.SecurityType != 21)
        return "connected under a security type that was never agreed";
    return {};
}

inline SetupOutcome RunSetup(const uint8_t* data, size_t size)
{
    auto owned = std::make_unique<MemoryTransport>(std::vector<uint8_t>(data, data + size));
    MemoryTransport& transport = *owned;
    TVNCProto proto(std::move(owned));
    proto.Limits.MaxFramebufferSide = kSetupHarnessMaxSide;
    proto.Host = "fuzz";
    proto.Port = 5900;
    proto.OnPasswordRequest = [] { return std::string("fuzzpass"); };
    SetupOutcome outcome;
    outcome.connected = proto.Connect();
    outcome.violation = SetupViolation(proto, transport, size, outcome.connected);
    return outcome;
}

} // namespace zarn::fuzzing
