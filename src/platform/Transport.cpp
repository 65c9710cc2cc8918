#include "platform/Transport.h"

#include "platform/ByteOrder.h"

namespace zarn {

uint8_t ITransport::ReadU8()
{
    uint8_t b = 0;
    ReadExact(&b, 1);
    return b;
}

uint16_t ITransport::ReadU16()
{
    uint8_t b[2];
    ReadExact(b, 2);
    return LoadU16(b);
}

uint32_t ITransport::ReadU32()
{
    uint8_t b[4];
    ReadExact(b, 4);
    return LoadU32(b);
}

uint32_t ITransport::ReadU32LE()
{
    uint8_t b[4];
    ReadExact(b, 4);
    return LoadU32LE(b);
}

std::string ITransport::ReadText(int64_t n)
{
    if (n < 1)
        return {};
    std::string text(static_cast<size_t>(n), '\0');
    ReadExact(reinterpret_cast<uint8_t*>(text.data()), text.size());
    return text;
}

void ITransport::Write(const std::string& text)
{
    Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

} // namespace zarn
