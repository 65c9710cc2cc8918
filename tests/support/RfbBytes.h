#pragma once
// Builders for the bytes an RFB server sends, so scripts read like the protocol, and a reader
// for the messages a client sends back.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::test {

// Appends big-endian integers, raw text and the pieces of server messages to a byte string.
class ByteWriter {
public:
    ByteWriter& U8(uint8_t value);
    ByteWriter& U16(uint16_t value);
    ByteWriter& U32(uint32_t value);
    ByteWriter& S32(int32_t value) { return U32(static_cast<uint32_t>(value)); }
    ByteWriter& Text(std::string_view text);
    ByteWriter& Bytes(const std::vector<uint8_t>& bytes);
    ByteWriter& Zeros(size_t n);
    ByteWriter& Add(std::initializer_list<uint8_t> more) { return Bytes(std::vector<uint8_t>(more)); }
    ByteWriter& Add(const std::vector<uint8_t>& more) { return Bytes(more); }

    // One pixel of the mode being tested, as the server sends it (8-bit, or 32-bit little-endian).
    template <typename Pixel> ByteWriter& Px(uint32_t v)
    {
        if constexpr (sizeof(Pixel) == 1)
            return U8(uint8_t(v));
        else
            return Add({ uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24) });
    }
    // A FramebufferUpdate header and a rectangle header.
    ByteWriter& Update(uint16_t rectangles) { return U8(0).U8(0).U16(rectangles); }
    ByteWriter& Rect(uint16_t x, uint16_t y, uint16_t w, uint16_t h, int32_t encoding)
    {
        return U16(x).U16(y).U16(w).U16(h).S32(encoding);
    }

    const std::vector<uint8_t>& bytes() const { return FBytes; }
    operator std::vector<uint8_t>() const { return FBytes; }

private:
    std::vector<uint8_t> FBytes;
};

struct ServerInitFields {
    uint16_t width = 1024;
    uint16_t height = 768;
    uint8_t bitsPerPixel = 32;
    uint8_t depth = 24;
    uint8_t bigEndian = 0;
    uint8_t trueColour = 1;
    uint16_t redMax = 255, greenMax = 255, blueMax = 255;
    uint8_t redShift = 16, greenShift = 8, blueShift = 0;
    std::string name = "scripted";
};

// ServerInit: the 24 fixed bytes, the name length and the name.
std::vector<uint8_t> ServerInitBytes(const ServerInitFields& fields = {});

// The bytes of a string, for comparing with what a client sent.
std::vector<uint8_t> BytesOf(std::string_view text);

// ServerCutText carrying `text` byte for byte.
std::vector<uint8_t> ServerCutTextBytes(std::string_view text);

struct ClientMessage {
    uint8_t type = 0;
    std::vector<uint8_t> bytes;
};

// Splits what a client sent after its handshake (`skip` bytes) into whole messages; stops at
// an unknown type or a message that has not fully arrived.
std::vector<ClientMessage> SplitClientMessages(const std::vector<uint8_t>& sent, size_t skip);

// The texts of the ClientCutText messages among them, in order.
std::vector<std::string> ClientCutTexts(const std::vector<uint8_t>& sent, size_t skip);

} // namespace zarn::test
