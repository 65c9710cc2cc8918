#include "platform/Transport.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace zarn {

std::optional<ITransport::TLine> ITransport::CompleteLine(
    std::span<const uint8_t> buffered, size_t& scanned, size_t maxLength)
{
    // memchr must not see the null data pointer of an empty buffer, even for 0 bytes.
    const auto* lf = buffered.size() > scanned
        ? static_cast<const uint8_t*>(std::memchr(buffered.data() + scanned, '\n', buffered.size() - scanned))
        : nullptr;
    const size_t lineLength = lf ? size_t(lf - buffered.data()) : buffered.size();
    if (lineLength > maxLength)
        throw TransportError("line longer than " + std::to_string(maxLength) + " bytes");
    scanned = buffered.size();
    if (!lf)
        return std::nullopt;
    TLine line { std::string(reinterpret_cast<const char*>(buffered.data()), lineLength), lineLength + 1 };
    if (!line.Text.empty() && line.Text.back() == '\r')
        line.Text.pop_back();
    return line;
}

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
