#pragma once
// Sizes and codes of the BMP format shared by the writer and the reader.

#include <cstdint>

namespace zarn::bmp {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40; // BITMAPINFOHEADER
constexpr int kBitfieldMasksSize = 12; // red, green, blue masks after a 40-byte header
constexpr int kLargestInfoHeaderSize = 124; // BITMAPV5HEADER
constexpr int kPaletteEntrySize = 4; // blue, green, red, unused
constexpr int kMaxPaletteEntries = 256;

constexpr uint32_t kCompressionNone = 0; // BI_RGB
constexpr uint32_t kCompressionBitfields = 3; // BI_BITFIELDS

// 72 dots per inch, what most programs write when the resolution means nothing.
constexpr uint32_t kPixelsPerMetre = 2835;

// Bytes of one stored row: rows are padded to a multiple of four bytes.
constexpr uint64_t RowSize(uint64_t width, unsigned bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

} // namespace zarn::bmp
