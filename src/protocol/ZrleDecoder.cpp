#include "protocol/ZrleDecoder.h"

#include <algorithm>
#include <string>

#include "platform/ByteOrder.h"
#include "protocol/CompactPixels.h"
#include "protocol/EngineErrors.h"

namespace zarn {

namespace {

enum : uint8_t { kZrleRaw = 0, kZrleSolid = 1, kZrleMaxPacked = 16, kZrlePlainRle = 128, kZrlePaletteRle = 130 };

// Writes runs into a tile `width` wide whose rows lie `stride` apart, wrapping at the tile's
// right edge. The caller has checked that every run fits in what is left of the tile.
template <typename Pixel> struct RunWriter {
    Pixel* row;
    ptrdiff_t stride;
    int width;
    int col = 0;

    void Put(Pixel value, size_t count)
    {
        while (count > 0) {
            const size_t n = std::min(count, size_t(width - col));
            std::fill_n(row + col, n, value);
            count -= n;
            col += int(n);
            if (col == width) {
                col = 0;
                row += stride;
            }
        }
    }
};

[[noreturn]] void PaletteIndexPastPalette(unsigned index, size_t size)
{
    throw ProtocolViolation("ZRLE palette index " + std::to_string(index) + " past a palette of "
        + std::to_string(size) + " colours");
}

} // namespace

template <typename Pixel> void ZrleDecoder<Pixel>::Decode(int x, int y, int width, int height)
{
    uint8_t head[4];
    FInput.ReadExact(head, sizeof head);
    FBytesReceived += sizeof head;
    if (FChanged)
        FChanged->Add(x, y, width, height, FTarget.width, FTarget.height);
    FStream.Begin(FInput, FBytesReceived, LoadU32(head));
    for (int tileY = y; tileY < y + height; tileY += kTileSide) {
        const int tileHeight = std::min(kTileSide, y + height - tileY);
        for (int tileX = x; tileX < x + width; tileX += kTileSide)
            DecodeTile(tileX, tileY, std::min(kTileSide, x + width - tileX), tileHeight);
    }
    FStream.End();
}

template <typename Pixel> void ZrleDecoder<Pixel>::ReadPalette(size_t count)
{
    constexpr size_t bpp = kCompactPixelBytes<Pixel>;
    const uint8_t* wire = FStream.Take(count * bpp);
    for (size_t i = 0; i < count; ++i)
        FPalette[i] = LoadCPixel<Pixel>(wire + i * bpp);
}

// A run's length: 1 plus bytes that add up while they are 255. Longer than what is left of the
// tile is a fault, found as soon as the sum passes it (a stream of 255s cannot keep us busy).
template <typename Pixel> size_t ZrleDecoder<Pixel>::RunLength(size_t left)
{
    size_t length = 1;
    uint8_t part;
    do {
        part = *FStream.Take(1);
        length += part;
        if (length > left)
            throw ProtocolViolation("a ZRLE run of " + std::to_string(length) + " pixels past the end of its tile");
    } while (part == 255);
    return length;
}

template <typename Pixel>
void ZrleDecoder<Pixel>::DecodeTile(int tileX, int tileY, int tileWidth, int tileHeight)
{
    constexpr size_t bpp = kCompactPixelBytes<Pixel>;
    const uint8_t subencoding = *FStream.Take(1);
    if (subencoding == kZrleSolid) {
        FillPixels(FTarget, tileX, tileY, tileWidth, tileHeight, LoadCPixel<Pixel>(FStream.Take(bpp)));
        return;
    }
    const bool inside = tileX >= 0 && tileY >= 0 && tileX + tileWidth <= FTarget.width
        && tileY + tileHeight <= FTarget.height;
    // Decoded straight into the framebuffer when the tile lies in it, else into the scratch tile.
    Pixel* const tile = inside ? FTarget.pixels + ptrdiff_t(tileY) * FTarget.width + tileX : FTile;
    const ptrdiff_t stride = inside ? FTarget.width : tileWidth;
    const size_t pixels = size_t(tileWidth) * size_t(tileHeight);

    if (subencoding == kZrleRaw) {
        const uint8_t* wire = FStream.Take(pixels * bpp);
        Pixel* row = tile;
        for (int i = 0; i < tileHeight; ++i, row += stride, wire += size_t(tileWidth) * bpp)
            LoadCPixelRow(row, wire, tileWidth);
    } else if (subencoding <= kZrleMaxPacked) {
        const size_t colours = subencoding;
        ReadPalette(colours);
        const int bits = colours == 2 ? 1 : colours <= 4 ? 2 : 4;
        const size_t rowBytes = (size_t(tileWidth) * size_t(bits) + 7) / 8;
        const uint8_t* packed = FStream.Take(rowBytes * size_t(tileHeight));
        Pixel* row = tile;
        for (int i = 0; i < tileHeight; ++i, row += stride, packed += rowBytes) {
            const unsigned highest = bits == 1 ? UnpackPaletteRow<1>(row, packed, tileWidth, FPalette)
                : bits == 2                    ? UnpackPaletteRow<2>(row, packed, tileWidth, FPalette)
                                               : UnpackPaletteRow<4>(row, packed, tileWidth, FPalette);
            if (highest >= colours)
                PaletteIndexPastPalette(highest, colours);
        }
    } else if (subencoding == kZrlePlainRle) {
        RunWriter<Pixel> runs { tile, stride, tileWidth };
        for (size_t at = 0; at < pixels;) {
            const Pixel value = LoadCPixel<Pixel>(FStream.Take(bpp));
            const size_t length = RunLength(pixels - at);
            runs.Put(value, length);
            at += length;
        }
    } else if (subencoding >= kZrlePaletteRle) {
        const size_t colours = subencoding - 128u;
        ReadPalette(colours);
        RunWriter<Pixel> runs { tile, stride, tileWidth };
        for (size_t at = 0; at < pixels;) {
            const uint8_t code = *FStream.Take(1);
            const unsigned index = code & 127u;
            if (index >= colours)
                PaletteIndexPastPalette(index, colours);
            const size_t length = (code & 128) ? RunLength(pixels - at) : 1;
            runs.Put(FPalette[index], length);
            at += length;
        }
    } else {
        throw ProtocolViolation("unused ZRLE tile subencoding " + std::to_string(subencoding));
    }
    if (!inside)
        PutDecodedPixels(FTarget, tileX, tileY, tileWidth, tileHeight, FTile, tileWidth);
}

template class ZrleDecoder<uint32_t>;
template class ZrleDecoder<uint8_t>;

} // namespace zarn
