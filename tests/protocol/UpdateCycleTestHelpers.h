#pragma once
// Shared by the update-cycle, decoder, client-message and hostile-server tests: an engine that
// is Ready over a memory transport.

#include <cstdint>
#include <memory>
#include <vector>

#include "support/MemoryTransport.h"
#include "protocol/VNCProto.h"
#include "support/RfbBytes.h"

namespace zarn::test {

class ReadySession {
public:
    ReadySession(int width, int height, bool trueColor = true)
    {
        auto transport = std::make_unique<MemoryTransport>();
        wire = transport.get();
        wire->Open();
        proto = std::make_unique<TVNCProto>();
        proto->AdoptSession(width, height, trueColor, std::move(transport));
    }

    // Feeds what the server sent and runs one update cycle over the whole framebuffer.
    bool Cycle(const ByteWriter& server)
    {
        wire->Feed(server.bytes());
        return proto->RequestUpdate(
            0, 0, uint16_t(proto->FramebufferWidth), uint16_t(proto->FramebufferHeight), true);
    }

    // The pixel at (x, y) of whichever array is current.
    uint32_t At(int x, int y) const
    {
        const size_t i = size_t(x) + size_t(y) * size_t(proto->FramebufferWidth);
        return proto->TrueColor ? proto->Pixels32.at(i) : proto->Pixels8.at(i);
    }

    void FillAll(uint32_t value)
    {
        std::fill(proto->Pixels32.begin(), proto->Pixels32.end(), value);
        std::fill(proto->Pixels8.begin(), proto->Pixels8.end(), uint8_t(value));
    }

    MemoryTransport* wire = nullptr;
    std::unique_ptr<TVNCProto> proto;
};

} // namespace zarn::test
