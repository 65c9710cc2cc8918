#pragma once
// Shared by the update-cycle, decoder, client-message and hostile-server tests: a byte
// builder for server messages and an engine that is Ready over a memory transport.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/MemoryTransport.h"
#include "protocol/VNCProto.h"

namespace zarn::test {

struct Wire {
    std::vector<uint8_t> bytes;

    Wire& U8(uint8_t v) { return Add({ v }); }
    Wire& U16(uint16_t v) { return Add({ uint8_t(v >> 8), uint8_t(v) }); }
    Wire& U32(uint32_t v) { return U16(uint16_t(v >> 16)).U16(uint16_t(v)); }
    Wire& Add(std::initializer_list<uint8_t> more) { return Add(std::vector<uint8_t>(more)); }
    Wire& Add(const std::vector<uint8_t>& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    // One pixel of the mode being tested, as the server sends it.
    template <typename Pixel> Wire& Px(uint32_t v)
    {
        if constexpr (sizeof(Pixel) == 1)
            return U8(uint8_t(v));
        else
            return Add({ uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24) });
    }
    Wire& Update(uint16_t rectangles) { return U8(0).U8(0).U16(rectangles); }
    Wire& Rect(uint16_t x, uint16_t y, uint16_t w, uint16_t h, int32_t encoding)
    {
        return U16(x).U16(y).U16(w).U16(h).U32(uint32_t(encoding));
    }
};

class ReadySession {
public:
    ReadySession(int width, int height, bool trueColor = true)
    {
        auto transport = std::make_unique<MemoryTransport>();
        wire = transport.get();
        wire->Open();
        proto = std::make_unique<TVNCProto>(std::move(transport));
        proto->FramebufferWidth = width;
        proto->FramebufferHeight = height;
        proto->TrueColor = trueColor;
        proto->BitsPerPixel = trueColor ? 32 : 8;
        proto->AllocateFramebuffer();
        proto->Initialised = true;
        proto->EncodingsSent = true;
    }

    // Feeds what the server sent and runs one update cycle over the whole framebuffer.
    bool Cycle(const Wire& server)
    {
        wire->Feed(server.bytes);
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
