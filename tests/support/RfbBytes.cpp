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

} // namespace zarn::test
