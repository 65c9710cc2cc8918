#pragma once
// Plays a byte string as everything a server sent after the handshake, through the engine's
// real update cycle, and checks what must hold whatever the bytes were. Shared by the libFuzzer
// target and the regression test that replays the seed corpus and every input the fuzzer ever
// crashed on.
//
// Input layout: byte 0 sets up the session, the rest is the server's stream.
//   bit 0      pixel mode: 1 true colour (32-bit), 0 colour map (8-bit)
//   bits 1..3  framebuffer width, an index into kHarnessSides
//   bits 4..6  framebuffer height, the same
//   bit 7      clipboard sharing on

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/MemoryTransport.h"
#include "protocol/Limits.h"
#include "protocol/VNCProto.h"

namespace zarn::fuzzing {

// Sides that sit on and around the 16-pixel Hextile tile and the byte boundaries of the wire.
inline constexpr int kHarnessSides[8] = { 1, 7, 16, 17, 33, 64, 100, 255 };

struct HarnessSetup {
    bool trueColor = true;
    int width = 1;
    int height = 1;
    bool shareClipboard = false;

    static HarnessSetup Decode(uint8_t byte);
};

inline HarnessSetup HarnessSetup::Decode(uint8_t byte)
{
    HarnessSetup setup;
    setup.trueColor = (byte & 1) != 0;
    setup.width = kHarnessSides[(byte >> 1) & 7];
    setup.height = kHarnessSides[(byte >> 4) & 7];
    setup.shareClipboard = (byte & 0x80) != 0;
    return setup;
}

// What must hold after any stream, valid or not.
inline std::string Violation(
    const TVNCProto& proto, const MemoryTransport& transport, size_t streamSize, size_t requests)
{
    const size_t pixels = size_t(proto.FramebufferWidth) * size_t(proto.FramebufferHeight);
    const size_t consumed = streamSize - transport.Remaining();
    if (proto.BytesReceived > consumed)
        return "counted " + std::to_string(proto.BytesReceived) + " bytes received but only "
            + std::to_string(consumed) + " were read";
    if (proto.Pixels32.size() != pixels || proto.Pixels8.size() != pixels)
        return "the framebuffer arrays changed size";
    if (transport.Written().size() != requests * 10)
        return "a cycle did not send exactly one update request";
    if (proto.CutText.size() > limits::kMaxClipboardText)
        return "clipboard text beyond its limit was accepted";
    return {};
}

struct HarnessOutcome {
    std::string violation; // empty when every check held; otherwise what broke
    bool consumedCleanly = true; // every cycle succeeded and the whole stream was read
};

inline HarnessOutcome RunServerMessages(const uint8_t* data, size_t size)
{
    if (size == 0)
        return {};
    const HarnessSetup setup = HarnessSetup::Decode(data[0]);
    auto owned = std::make_unique<MemoryTransport>(std::vector<uint8_t>(data + 1, data + size));
    MemoryTransport& transport = *owned;
    TVNCProto proto(std::move(owned));
    transport.Open();
    proto.Initialised = true;
    proto.EncodingsSent = true;
    proto.TrueColor = setup.trueColor;
    proto.BitsPerPixel = setup.trueColor ? 32 : 8;
    proto.FramebufferWidth = setup.width;
    proto.FramebufferHeight = setup.height;
    proto.ShareClipboard = setup.shareClipboard;
    proto.OnBell = [] {};
    proto.OnServerCutText = [](const std::string&) {};
    proto.CycleBudgetMs = INT_MAX; // the wall clock must not decide where a cycle ends
    proto.AllocateFramebuffer();

    HarnessOutcome outcome;
    size_t requests = 0;
    while (transport.Remaining() > 0) {
        ++requests;
        if (!proto.RequestUpdate(0, 0, uint16_t(setup.width), uint16_t(setup.height), true)) {
            outcome.consumedCleanly = false;
            break;
        }
    }
    outcome.violation = Violation(proto, transport, size - 1, requests);
    return outcome;
}

} // namespace zarn::fuzzing
