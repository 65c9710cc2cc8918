#include "support/RfbBytes.h"

namespace zarn::test {

ByteWriter& ByteWriter::U8(uint8_t value)
{
    FBytes.push_back(value);
    return *this;
}

ByteWriter& ByteWriter::U16(uint16_t value)
{
    FBytes.push_back(uint8_t(value >> 8));
    FBytes.push_back(uint8_t(value));
    return *this;
}

ByteWriter& ByteWriter::U32(uint32_t value)
{
    U16(uint16_t(value >> 16));
    return U16(uint16_t(value));
}

ByteWriter& ByteWriter::Text(std::string_view text)
{
    FBytes.insert(FBytes.end(), text.begin(), text.end());
    return *this;
}

ByteWriter& ByteWriter::Bytes(const std::vector<uint8_t>& bytes)
{
    FBytes.insert(FBytes.end(), bytes.begin(), bytes.end());
    return *this;
}

ByteWriter& ByteWriter::Zeros(size_t n)
{
    FBytes.insert(FBytes.end(), n, 0);
    return *this;
}

std::vector<uint8_t> ServerInitBytes(const ServerInitFields& f)
{
    return ByteWriter()
        .U16(f.width)
        .U16(f.height)
        .U8(f.bitsPerPixel)
        .U8(f.depth)
        .U8(f.bigEndian)
        .U8(f.trueColour)
        .U16(f.redMax)
        .U16(f.greenMax)
        .U16(f.blueMax)
        .U8(f.redShift)
        .U8(f.greenShift)
        .U8(f.blueShift)
        .Zeros(3)
        .U32(static_cast<uint32_t>(f.name.size()))
        .Text(f.name);
}

std::vector<uint8_t> BytesOf(std::string_view text)
{
    return { text.begin(), text.end() };
}

std::vector<uint8_t> ServerCutTextBytes(std::string_view text)
{
    return ByteWriter().U8(3).Zeros(3).U32(static_cast<uint32_t>(text.size())).Text(text);
}

namespace {

uint32_t LoadU32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The length of the client message starting at `at`, as far as its header has arrived; 0 for
// a type no client sends.
size_t ClientMessageLength(const std::vector<uint8_t>& sent, size_t at)
{
    switch (sent[at]) {
    case 0: // SetPixelFormat
        return 20;
    case 2: // SetEncodings
        return at + 4 <= sent.size() ? 4 + 4 * size_t((sent[at + 2] << 8) | sent[at + 3]) : 4;
    case 3: // FramebufferUpdateRequest
        return 10;
    case 4: // KeyEvent
        return 8;
    case 5: // PointerEvent
        return 6;
    case 6: // ClientCutText
        return at + 8 <= sent.size() ? 8 + size_t(LoadU32(&sent[at + 4])) : 8;
    default:
        return 0;
    }
}

} // namespace

std::vector<ClientMessage> SplitClientMessages(const std::vector<uint8_t>& sent, size_t skip)
{
    std::vector<ClientMessage> messages;
    size_t at = skip;
    while (at < sent.size()) {
        const size_t length = ClientMessageLength(sent, at);
        if (length == 0 || at + length > sent.size())
            break;
        messages.push_back(
            { sent[at], std::vector<uint8_t>(sent.begin() + long(at), sent.begin() + long(at + length)) });
        at += length;
    }
    return messages;
}

std::vector<std::string> ClientCutTexts(const std::vector<uint8_t>& sent, size_t skip)
{
    std::vector<std::string> texts;
    for (const ClientMessage& message : SplitClientMessages(sent, skip))
        if (message.type == 6)
            texts.emplace_back(message.bytes.begin() + 8, message.bytes.end());
    return texts;
}

} // namespace zarn::test
