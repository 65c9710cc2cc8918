#include "imaging/Bmp.h"

#include "imaging/BmpFormat.h"
#include "imaging/ImagingError.h"
#include "imaging/LittleEndian.h"

#include <array>
#include <bit>
#include <fstream>
#include <limits>
#include <vector>

namespace zarn {
namespace {

// The largest picture the reader accepts: the framebuffer's own limit of 16384 x 16384.
constexpr uint64_t kMaxPixels = uint64_t(16384) * 16384;

// Everything before the pixels that the reader looks at: both headers, the bit masks after a
// 40-byte header, and a full palette.
constexpr size_t kHeaderBlockSize = bmp::kFileHeaderSize + bmp::kLargestInfoHeaderSize
    + bmp::kBitfieldMasksSize + bmp::kMaxPaletteEntries * bmp::kPaletteEntrySize;

constexpr uint32_t kMaskOffset = bmp::kFileHeaderSize + bmp::kInfoHeaderSize;

struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    uint8_t Extract(uint32_t pixel) const
    {
        const uint32_t value = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<uint8_t>(value >> (bits - 8));
        return static_cast<uint8_t>(value * 255 / ((1u << bits) - 1));
    }
};

struct Layout {
    int width = 0;
    int height = 0;
    bool topDown = false;
    unsigned bitsPerPixel = 0;
    uint32_t pixelOffset = 0;
    uint64_t rowSize = 0;
    std::array<Channel, 3> channels {}; // red, green, blue of a 32-bit pixel
    std::vector<std::array<uint8_t, 3>> palette; // red, green, blue of each 8-bit index
};

struct Source {
    std::string path;
    uint64_t fileSize = 0;
    std::vector<uint8_t> head; // the first bytes of the file, at most kHeaderBlockSize

    bool Has(uint64_t offset, uint64_t length) const { return offset + length <= head.size(); }
};

class Reader {
public:
    Reader(const std::string& path, std::string* error)
        : error_(error)
    {
        source_.path = path;
    }

    std::optional<RgbImage> Read();

private:
    bool Problem(const std::string& what) { return Fail(error_, source_.path + ": " + what); }

    bool Open(std::ifstream& file);
    bool ParseFileHeader();
    bool ParseInfoHeader();
    bool ParseMasks(uint32_t compression);
    bool ParsePalette(uint32_t infoSize, uint32_t coloursUsed);
    bool CheckPixelData();
    bool ReadPixelData(std::ifstream& file, std::vector<uint8_t>& data);
    bool Decode(const std::vector<uint8_t>& data, RgbImage& image);
    bool DecodeRow(const uint8_t* row, uint8_t* out);

    std::string* error_;
    Source source_;
    Layout layout_;
};

bool Reader::Open(std::ifstream& file)
{
    file.open(source_.path, std::ios::binary);
    if (!file)
        return Problem("cannot open the file: " + SystemErrorText(errno));
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0)
        return Problem("cannot read the file");
    source_.fileSize = static_cast<uint64_t>(size);
    file.seekg(0);
    source_.head.resize(static_cast<size_t>(std::min<uint64_t>(source_.fileSize, kHeaderBlockSize)));
    file.read(
        reinterpret_cast<char*>(source_.head.data()), static_cast<std::streamsize>(source_.head.size()));
    if (file.gcount() != static_cast<std::streamsize>(source_.head.size()))
        return Problem("cannot read the file");
    return true;
}

bool Reader::ParseFileHeader()
{
    const auto& head = source_.head;
    if (!source_.Has(0, bmp::kFileHeaderSize + 4) || head[0] != 'B' || head[1] != 'M')
        return Problem("not a BMP file");
    layout_.pixelOffset = GetLE32(&head[10]);
    return true;
}

bool IsKnownInfoHeaderSize(uint32_t size)
{
    // BITMAPINFOHEADER, its two extended forms with masks, BITMAPV4HEADER, BITMAPV5HEADER.
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool Reader::ParseInfoHeader()
{
    const uint32_t infoSize = GetLE32(&source_.head[bmp::kFileHeaderSize]);
    if (!IsKnownInfoHeaderSize(infoSize))
        return Problem("unsupported BMP header of " + std::to_string(infoSize) + " bytes");
    if (!source_.Has(bmp::kFileHeaderSize, infoSize))
        return Problem("the file ends inside its header");

    const uint8_t* info = &source_.head[bmp::kFileHeaderSize];
    const int32_t width = GetLE32Signed(info + 4);
    const int32_t height = GetLE32Signed(info + 8);
    const uint16_t planes = GetLE16(info + 12);
    layout_.bitsPerPixel = GetLE16(info + 14);
    const uint32_t compression = GetLE32(info + 16);
    const uint32_t coloursUsed = GetLE32(info + 32);

    if (width <= 0 || height == 0 || height == std::numeric_limits<int32_t>::min())
        return Problem("invalid picture size " + std::to_string(width) + " x " + std::to_string(height));
    if (planes != 1)
        return Problem("invalid plane count " + std::to_string(planes));
    layout_.width = width;
    layout_.topDown = height < 0;
    layout_.height = layout_.topDown ? -height : height;

    switch (layout_.bitsPerPixel) {
    case 8:
        if (compression != bmp::kCompressionNone)
            return Problem("compressed BMP files are not supported");
        return ParsePalette(infoSize, coloursUsed);
    case 24:
        if (compression != bmp::kCompressionNone)
            return Problem("compressed BMP files are not supported");
        return true;
    case 32:
        return ParseMasks(compression);
    default:
        return Problem(std::to_string(layout_.bitsPerPixel) + "-bit BMP files are not supported");
    }
}

std::optional<Channel> ChannelFromMask(uint32_t mask)
{
    if (mask == 0)
        return std::nullopt;
    Channel channel;
    channel.mask = mask;
    channel.shift = std::countr_zero(mask);
    channel.bits = std::popcount(mask);
    if (std::countr_one(mask >> channel.shift) != channel.bits)
        return std::nullopt; // the mask's bits are not contiguous
    return channel;
}

bool Reader::ParseMasks(uint32_t compression)
{
    std::array<uint32_t, 3> masks = { 0x00FF0000, 0x0000FF00, 0x000000FF };
    if (compression == bmp::kCompressionBitfields) {
        if (!source_.Has(kMaskOffset, bmp::kBitfieldMasksSize))
            return Problem("the file ends inside its colour masks");
        for (int i = 0; i < 3; ++i)
            masks[i] = GetLE32(&source_.head[kMaskOffset + 4 * i]);
    } else if (compression != bmp::kCompressionNone) {
        return Problem("compressed BMP files are not supported");
    }
    for (int i = 0; i < 3; ++i) {
        const auto channel = ChannelFromMask(masks[i]);
        if (!channel)
            return Problem("invalid colour masks");
        layout_.channels[i] = *channel;
    }
    return true;
}

bool Reader::ParsePalette(uint32_t infoSize, uint32_t coloursUsed)
{
    const uint32_t entries = coloursUsed == 0 ? bmp::kMaxPaletteEntries : coloursUsed;
    if (entries > bmp::kMaxPaletteEntries)
        return Problem("the palette claims " + std::to_string(coloursUsed) + " colours");
    const uint32_t start = bmp::kFileHeaderSize + infoSize;
    if (!source_.Has(start, uint64_t(entries) * bmp::kPaletteEntrySize))
        return Problem("the file ends inside its palette");
    layout_.palette.resize(entries);
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* entry = &source_.head[start + i * bmp::kPaletteEntrySize];
        layout_.palette[i] = { entry[2], entry[1], entry[0] };
    }
    return true;
}

bool Reader::CheckPixelData()
{
    const uint64_t pixels = uint64_t(layout_.width) * uint64_t(layout_.height);
    if (pixels > kMaxPixels)
        return Problem("the picture of " + std::to_string(layout_.width) + " x "
            + std::to_string(layout_.height) + " pixels is larger than supported");
    layout_.rowSize = bmp::RowSize(uint64_t(layout_.width), layout_.bitsPerPixel);
    // The last row's padding is often left out; its pixels are all that must be there.
    const uint64_t lastRow = (uint64_t(layout_.width) * layout_.bitsPerPixel + 7) / 8;
    const uint64_t needed = layout_.rowSize * (uint64_t(layout_.height) - 1) + lastRow;
    if (layout_.pixelOffset < bmp::kFileHeaderSize + bmp::kInfoHeaderSize
        || uint64_t(layout_.pixelOffset) + needed > source_.fileSize)
        return Problem("the file is truncated or its pixel data lies outside it");
    return true;
}

bool Reader::ReadPixelData(std::ifstream& file, std::vector<uint8_t>& data)
{
    data.resize(static_cast<size_t>(std::min<uint64_t>(
        layout_.rowSize * uint64_t(layout_.height), source_.fileSize - layout_.pixelOffset)));
    file.seekg(static_cast<std::streamoff>(layout_.pixelOffset));
    file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (file.gcount() != static_cast<std::streamsize>(data.size()))
        return Problem("cannot read the pixel data");
    return true;
}

bool Reader::DecodeRow(const uint8_t* row, uint8_t* out)
{
    const int width = layout_.width;
    switch (layout_.bitsPerPixel) {
    case 8:
        for (int x = 0; x < width; ++x, out += 3) {
            if (row[x] >= layout_.palette.size())
                return Problem("a pixel uses colour " + std::to_string(row[x]) + " beyond the palette");
            const auto& colour = layout_.palette[row[x]];
            out[0] = colour[0];
            out[1] = colour[1];
            out[2] = colour[2];
        }
        return true;
    case 24:
        for (int x = 0; x < width; ++x, row += 3, out += 3) {
            out[0] = row[2];
            out[1] = row[1];
            out[2] = row[0];
        }
        return true;
    default:
        for (int x = 0; x < width; ++x, row += 4, out += 3) {
            const uint32_t pixel = GetLE32(row);
            for (int c = 0; c < 3; ++c)
                out[c] = layout_.channels[c].Extract(pixel);
        }
        return true;
    }
}

bool Reader::Decode(const std::vector<uint8_t>& data, RgbImage& image)
{
    image.width = layout_.width;
    image.height = layout_.height;
    image.pixels.resize(size_t(layout_.width) * size_t(layout_.height) * 3);
    for (int stored = 0; stored < layout_.height; ++stored) {
        const int y = layout_.topDown ? stored : layout_.height - 1 - stored;
        if (!DecodeRow(data.data() + size_t(stored) * size_t(layout_.rowSize), image.Row(y)))
            return false;
    }
    return true;
}

std::optional<RgbImage> Reader::Read()
{
    std::ifstream file;
    std::vector<uint8_t> data;
    RgbImage image;
    if (Open(file) && ParseFileHeader() && ParseInfoHeader() && CheckPixelData() && ReadPixelData(file, data)
        && Decode(data, image))
        return image;
    return std::nullopt;
}

} // namespace

std::optional<RgbImage> ReadBmp(const std::string& path, std::string* error)
{
    try {
        return Reader(path, error).Read();
    } catch (const std::bad_alloc&) {
        Fail(error, path + ": not enough memory to read the picture");
        return std::nullopt;
    }
}

} // namespace zarn
