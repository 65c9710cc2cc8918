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

#include "support/MemoryTransport.h"
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

// One run of the stream. `window` is how much of the unread input the transport shows as
// already received (0: none), which decides whether decoders parse in place or read.
struct HarnessRun {
    HarnessOutcome outcome;
    std::vector<uint32_t> pixels32;
    std::vector<uint8_t> pixels8;
    uint64_t bytesReceived = 0, rectsReceived = 0, framesReceived = 0;
    size_t remaining = 0;

    bool SameResultAs(const HarnessRun& other) const
    {
        return outcome.consumedCleanly == other.outcome.consumedCleanly && pixels32 == other.pixels32
            && pixels8 == other.pixels8 && bytesReceived == other.bytesReceived
            && rectsReceived == other.rectsReceived && framesReceived == other.framesReceived
            && remaining == other.remaining;
    }
};

inline HarnessRun RunServerMessagesOnce(const uint8_t* data, size_t size, size_t window)
{
    const HarnessSetup setup = HarnessSetup::Decode(data[0]);
    auto owned = std::make_unique<MemoryTransport>(std::vector<uint8_t>(data + 1, data + size));
    MemoryTransport& transport = *owned;
    transport.SetBufferWindow(window);
    transport.Open();
    TVNCProto proto;
    proto.AdoptSession(setup.width, setup.height, setup.trueColor, std::move(owned));
    proto.ShareClipboard = setup.shareClipboard;
    proto.Hooks.OnBell = [] {};
    proto.Hooks.OnServerCutText = [](const std::string&) {};
    proto.Limits.CycleBudgetMs = INT_MAX; // the wall clock must not decide where a cycle ends
    // Resizes are followed, within a bound that keeps every run small.
    proto.UseDesktopResize = true;
    proto.Limits.MaxFramebufferSide = 512;

    HarnessRun run;
    size_t requests = 0;
    while (transport.Remaining() > 0) {
        ++requests;
        if (!proto.RequestUpdate(0, 0, uint16_t(setup.width), uint16_t(setup.height), true)) {
            run.outcome.consumedCleanly = false;
            break;
        }
    }
    run.outcome.violation = Violation(proto, transport, size - 1, requests);
    run.pixels32 = proto.Pixels32;
    run.pixels8 = proto.Pixels8;
    run.bytesReceived = proto.BytesReceived;
    run.rectsReceived = proto.RectsReceived;
    run.framesReceived = proto.FramesReceived;
    run.remaining = transport.Remaining();
    return run;
}

// The stream is played twice: read piece by piece, and with a receive buffer whose edge falls
// somewhere the input decides. Both must end the same way.
inline HarnessOutcome RunServerMessages(const uint8_t* data, size_t size)
{
    if (size == 0)
        return {};
    const HarnessRun read = RunServerMessagesOnce(data, size, 0);
    if (!read.outcome.violation.empty())
        return read.outcome;
    const size_t window = 1 + (size * 2654435761u) % 4096;
    const HarnessRun buffered = RunServerMessagesOnce(data, size, window);
    HarnessOutcome outcome = buffered.outcome;
    if (outcome.violation.empty() && !buffered.SameResultAs(read))
        outcome.violation = "decoding in place (buffer of " + std::to_string(window)
            + " bytes) ended differently from reading piece by piece";
    return outcome;
}

} // namespace zarn::fuzzing
