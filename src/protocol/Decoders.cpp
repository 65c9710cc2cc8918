#include "protocol/Decoders.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>

#include "platform/ByteOrder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zarn {

namespace {

constexpr int kTileSide = 16;

// One 16-pixel tile row: the foreground where `mask` has a bit (bit j is pixel j), the
// background elsewhere; with SSE2 a few vector operations, without a branch per pixel.
template <typename Pixel> void WriteTwoColourRow(Pixel* row, uint16_t mask, Pixel background, Pixel foreground)
{
#if defined(__SSE2__)
    if constexpr (sizeof(Pixel) == 4) {
        const __m128i ground = _mm_set1_epi32(int(background));
        const __m128i difference = _mm_set1_epi32(int(background ^ foreground));
        const __m128i bits = _mm_set1_epi32(mask);
        __m128i lane = _mm_setr_epi32(1, 2, 4, 8);
        for (int group = 0; group < kTileSide / 4; ++group, lane = _mm_slli_epi32(lane, 4)) {
            const __m128i chosen = _mm_cmpeq_epi32(_mm_and_si128(bits, lane), lane);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * group),
                _mm_xor_si128(ground, _mm_and_si128(difference, chosen)));
        }
        return;
    } else if constexpr (sizeof(Pixel) == 1) {
        const __m128i lane = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, char(128), 1, 2, 4, 8, 16, 32, 64, char(128));
        const __m128i bits = _mm_set_epi64x(int64_t(0x0101010101010101ull * (mask >> 8)),
            int64_t(0x0101010101010101ull * (mask & 0xFF)));
        const __m128i chosen = _mm_cmpeq_epi8(_mm_and_si128(bits, lane), lane);
        const __m128i ground = _mm_set1_epi8(char(background));
        const __m128i difference = _mm_set1_epi8(char(background ^ foreground));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row), _mm_xor_si128(ground, _mm_and_si128(difference, chosen)));
        return;
    }
#endif
    for (int j = 0; j < kTileSide; ++j)
        row[j] = (mask >> j) & 1 ? foreground : background;
}

#if defined(__SSE2__)
// Columns [x, x + width) of `rows` rows of a 16-byte tile row set to `colour`: a whole-row blend
// under a mask, so a subrectangle of any width costs the same few operations per row.
void BlendTileRows(uint8_t* row, ptrdiff_t stride, int rows, int x, int width, uint8_t colour)
{
    alignas(16) static constexpr uint8_t kEdges[32] = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };
    const __m128i fromX = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kEdges + 16 - x));
    const __m128i fromEnd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kEdges + 16 - x - width));
    const __m128i mask = _mm_andnot_si128(fromEnd, fromX);
    const __m128i ink = _mm_and_si128(mask, _mm_set1_epi8(char(colour)));
    for (int i = 0; i < rows; ++i, row += stride) {
        auto* at = reinterpret_cast<__m128i*>(row);
        _mm_storeu_si128(at, _mm_or_si128(_mm_andnot_si128(mask, _mm_loadu_si128(at)), ink));
    }
}
#endif

// `height` rows of `width` elements from `row` on set to `value`: the fill of every subrectangle
// that needs no clipping. Single pixels and vertical strokes (the common case in busy tiles) get
// no inner loop to set up.
template <typename Pixel>
inline void FillRows(Pixel* row, ptrdiff_t stride, int width, int height, Pixel value)
{
    if (width == 1) {
        for (int i = 0; i < height; ++i, row += stride)
            *row = value;
        return;
    }
    for (int i = 0; i < height; ++i, row += stride)
        for (int j = 0; j < width; ++j)
            row[j] = value;
}

} // namespace

template <typename Pixel>
RectangleDecoder<Pixel>::RectangleDecoder(ITransport& input, std::vector<uint8_t>& buffer, uint64_t& bytesReceived,
    PixelSurface<Pixel> target, TChangedRegion* changed)
    : FInput(input)
    , FBuffer(buffer)
    , FBytesReceived(bytesReceived)
    , FTarget(target)
    , FChanged(changed)
{
}

template <typename Pixel> void RectangleDecoder<Pixel>::ReportWritten(int x, int y, int width, int height)
{
    if (FChanged)
        FChanged->Add(x, y, width, height, FTarget.width, FTarget.height);
}

template <typename Pixel> const uint8_t* RectangleDecoder<Pixel>::Read(size_t n, bool counted)
{
    if (n == 0)
        return FBuffer.data();
    // Already received: decoded where it lies, no copy.
    if (const uint8_t* buffered = FInput.PeekBuffered(n)) {
        FInput.Consume(n);
        if (counted)
            FBytesReceived += n;
        return buffered;
    }
    if (FBuffer.size() < n)
        FBuffer.resize(n);
    FInput.ReadExact(FBuffer.data(), n);
    if (counted)
        FBytesReceived += n;
    return FBuffer.data();
}

template <typename Pixel> void RectangleDecoder<Pixel>::DecodeRaw(int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    ReportWritten(x, y, width, height);
    if (ReadRawInPlace(x, y, width, height))
        return;
    const size_t rowBytes = size_t(width) * kBytesPerPixel;
    const int rowsPerChunk = static_cast<int>(std::max<size_t>(1, kMaxRawChunkBytes / rowBytes));
    for (int row = 0; row < height; row += rowsPerChunk) {
        const int rows = std::min(rowsPerChunk, height - row);
        PutPixels(FTarget, x, y + row, width, rows, Read(rowBytes * size_t(rows)));
    }
}

// A rectangle wholly inside the framebuffer, whose wire pixels are already in memory layout, is
// received straight into the framebuffer rows: no staging copy. Full-width rectangles are
// contiguous and arrive in one read.
template <typename Pixel> bool RectangleDecoder<Pixel>::ReadRawInPlace(int x, int y, int width, int height)
{
    if constexpr (sizeof(Pixel) > 1 && std::endian::native != std::endian::little)
        return false;
    if (x < 0 || y < 0 || x + width > FTarget.width || y + height > FTarget.height)
        return false;
    const size_t rowBytes = size_t(width) * kBytesPerPixel;
    auto* first = reinterpret_cast<uint8_t*>(FTarget.pixels + ptrdiff_t(y) * FTarget.width + x);
    if (width == FTarget.width) {
        FInput.ReadExact(first, rowBytes * size_t(height));
    } else {
        if (rowBytes < 256)
            return false; // many small reads would cost more than the copy they save
        const size_t stride = size_t(FTarget.width) * kBytesPerPixel;
        for (int row = 0; row < height; ++row)
            FInput.ReadExact(first + size_t(row) * stride, rowBytes);
    }
    FBytesReceived += rowBytes * size_t(height);
    return true;
}

template <typename Pixel> void RectangleDecoder<Pixel>::DecodeCopyRect(int x, int y, int width, int height)
{
    const uint8_t* source = Read(4);
    ReportWritten(x, y, width, height);
    CopyPixels(FTarget, x, y, width, height, LoadU16(source), LoadU16(source + 2));
}

template <typename Pixel> void RectangleDecoder<Pixel>::DecodeRRE(int x, int y, int width, int height)
{
    const uint8_t* head = Read(4 + kBytesPerPixel);
    const uint32_t subrectCount = LoadU32(head);
    ReportWritten(x, y, width, height);
    FillPixels(FTarget, x, y, width, height, LoadPixel<Pixel>(head + 4));
    const bool inside = x >= 0 && y >= 0 && x + width <= FTarget.width && y + height <= FTarget.height;

    // The count is a wire value: the array is consumed chunk by chunk instead of being
    // allocated whole, so a count of 2^32 - 1 costs the server the bytes, not us the memory.
    constexpr size_t kSubrectBytes = kBytesPerPixel + 8;
    for (uint32_t done = 0; done < subrectCount;) {
        const size_t chunk = std::min<size_t>(kRreSubrectsPerChunk, subrectCount - done);
        const uint8_t* subrect = Read(chunk * kSubrectBytes);
        for (size_t k = 0; k < chunk; ++k, subrect += kSubrectBytes) {
            const uint8_t* geometry = subrect + kBytesPerPixel;
            FillSubrect(x, y, width, height, inside, LoadU16(geometry), LoadU16(geometry + 2), LoadU16(geometry + 4),
                LoadU16(geometry + 6), LoadPixel<Pixel>(subrect));
        }
        done += static_cast<uint32_t>(chunk);
    }
}

// Tiles that have already arrived are parsed where they lie in the receive buffer and stepped
// over together; the transport is asked again only when the run of buffered bytes is used up.
// A tile that reaches past the run is read piece by piece.
template <typename Pixel> void RectangleDecoder<Pixel>::DecodeHextile(int x, int y, int width, int height)
{
    FBackground = 0;
    FForeground = 0;
    ReportWritten(x, y, width, height);
    std::span<const uint8_t> run;
    size_t used = 0;
    auto settle = [&] {
        if (used > 0)
            FInput.Consume(used);
        run = {};
        used = 0;
    };
    for (int tileY = y; tileY < y + height; tileY += kTileSide) {
        const int tileHeight = std::min(kTileSide, y + height - tileY);
        for (int tileX = x; tileX < x + width; tileX += kTileSide) {
            const int tileWidth = std::min(kTileSide, x + width - tileX);
            if (used == run.size()) {
                settle();
                run = FInput.Buffered();
            }
            const size_t tileBytes = BufferedHextileTileBytes(run.subspan(used), tileWidth, tileHeight);
            if (tileBytes == 0) {
                settle();
                ReadHextileTile(tileX, tileY, tileWidth, tileHeight);
                continue;
            }
            const uint8_t* tile = run.data() + used;
            used += tileBytes;
            FBytesReceived += tileBytes - 1; // the subencoding byte is not counted
            PaintHextileTile(tileX, tileY, tileWidth, tileHeight, tile[0], tile + 1);
        }
    }
    settle();
}

template <typename Pixel> size_t RectangleDecoder<Pixel>::HextileHeaderBytes(uint8_t subencoding)
{
    return ((subencoding & kHextileBackgroundSpecified) ? kBytesPerPixel : 0)
        + ((subencoding & kHextileForegroundSpecified) ? kBytesPerPixel : 0)
        + ((subencoding & kHextileAnySubrects) ? 1 : 0);
}

template <typename Pixel> size_t RectangleDecoder<Pixel>::HextileSubrectBytes(uint8_t subencoding)
{
    return (subencoding & kHextileSubrectsColoured) ? kBytesPerPixel + 2 : 2;
}

// The length of the tile at the start of `bytes`, subencoding byte included, or 0 when it does
// not lie wholly within them.
template <typename Pixel>
size_t RectangleDecoder<Pixel>::BufferedHextileTileBytes(std::span<const uint8_t> bytes, int tileWidth, int tileHeight)
{
    if (bytes.empty())
        return 0;
    const uint8_t subencoding = bytes[0];
    if (subencoding & kHextileRaw) {
        const size_t length = 1 + size_t(tileWidth) * size_t(tileHeight) * kBytesPerPixel;
        return length <= bytes.size() ? length : 0;
    }
    const size_t headerBytes = HextileHeaderBytes(subencoding);
    if (1 + headerBytes > bytes.size())
        return 0;
    const size_t subrectCount = (subencoding & kHextileAnySubrects) ? bytes[headerBytes] : 0;
    const size_t length = 1 + headerBytes + subrectCount * HextileSubrectBytes(subencoding);
    return length <= bytes.size() ? length : 0;
}

// A tile that has not wholly arrived: its parts are read one after the other and gathered in
// a scratch buffer laid out the way a buffered tile lies.
template <typename Pixel>
void RectangleDecoder<Pixel>::ReadHextileTile(int tileX, int tileY, int tileWidth, int tileHeight)
{
    const uint8_t subencoding = *Read(1, false);
    if (subencoding & kHextileRaw) {
        PutPixels(FTarget, tileX, tileY, tileWidth, tileHeight,
            Read(size_t(tileWidth) * size_t(tileHeight) * kBytesPerPixel));
        return;
    }
    // The header is copied out first: reading the subrectangles may reuse the read buffer.
    const size_t headerBytes = HextileHeaderBytes(subencoding);
    const uint8_t* header = Read(headerBytes);
    FTileScratch.assign(header, header + headerBytes);
    const size_t subrectCount = (subencoding & kHextileAnySubrects) ? FTileScratch.back() : 0;
    const size_t subrectBytes = subrectCount * HextileSubrectBytes(subencoding);
    const uint8_t* subrects = Read(subrectBytes);
    FTileScratch.insert(FTileScratch.end(), subrects, subrects + subrectBytes);
    PaintHextileTile(tileX, tileY, tileWidth, tileHeight, subencoding, FTileScratch.data());
}

// `body` holds what follows the subencoding byte: the raw pixels, or the colours, the count and
// the subrectangles.
template <typename Pixel>
void RectangleDecoder<Pixel>::PaintHextileTile(
    int tileX, int tileY, int tileWidth, int tileHeight, uint8_t subencoding, const uint8_t* body)
{
    const bool tileInside = tileX >= 0 && tileY >= 0 && tileX + tileWidth <= FTarget.width
        && tileY + tileHeight <= FTarget.height;
    if (subencoding & kHextileRaw) {
        if (tileInside && tileWidth == kTileSide)
            PutWholeTileRows(tileX, tileY, tileHeight, body);
        else
            PutPixels(FTarget, tileX, tileY, tileWidth, tileHeight, body);
        return;
    }
    const uint8_t* header = body;
    if (subencoding & kHextileBackgroundSpecified) {
        FBackground = LoadPixel<Pixel>(header);
        header += kBytesPerPixel;
    }
    if (subencoding & kHextileForegroundSpecified) {
        FForeground = LoadPixel<Pixel>(header);
        header += kBytesPerPixel;
    }
    const size_t subrectCount = (subencoding & kHextileAnySubrects) ? *header++ : 0;
    const bool coloured = subencoding & kHextileSubrectsColoured;
    const size_t subrectBytes = HextileSubrectBytes(subencoding);
    const uint8_t* subrect = header;

    if (!tileInside) {
        FillSubrect(tileX, tileY, tileWidth, tileHeight, false, 0, 0, tileWidth, tileHeight, FBackground);
        for (size_t k = 0; k < subrectCount; ++k, subrect += subrectBytes) {
            const Pixel colour = coloured ? LoadPixel<Pixel>(subrect) : FForeground;
            const uint8_t xy = subrect[subrectBytes - 2];
            const uint8_t wh = subrect[subrectBytes - 1];
            FillSubrect(tileX, tileY, tileWidth, tileHeight, false, xy >> 4, xy & 15, (wh >> 4) + 1, (wh & 15) + 1,
                colour);
        }
        return;
    }
    Pixel* const origin = FTarget.pixels + ptrdiff_t(tileY) * FTarget.width + tileX;
    const ptrdiff_t stride = FTarget.width;
    if (!coloured && subrectCount > 2 && tileWidth == kTileSide
        && PaintTwoColourTile(origin, stride, tileHeight, subrectCount, subrect))
        return;
    FillTileBackground(origin, stride, tileWidth, tileHeight);
    for (size_t k = 0; k < subrectCount; ++k, subrect += subrectBytes) {
        const Pixel colour = coloured ? LoadPixel<Pixel>(subrect) : FForeground;
        const int subX = subrect[subrectBytes - 2] >> 4, subY = subrect[subrectBytes - 2] & 15;
        const int subWidth = (subrect[subrectBytes - 1] >> 4) + 1, subHeight = (subrect[subrectBytes - 1] & 15) + 1;
        if (subX + subWidth > tileWidth || subY + subHeight > tileHeight) {
            FillSubrect(tileX, tileY, tileWidth, tileHeight, false, subX, subY, subWidth, subHeight, colour);
            continue;
        }
#if defined(__SSE2__)
        if constexpr (sizeof(Pixel) == 1) {
            if (tileWidth == kTileSide) {
                BlendTileRows(origin + subY * stride, stride, subHeight, subX, subWidth, colour);
                continue;
            }
        }
#endif
        FillRows(origin + subY * stride + subX, stride, subWidth, subHeight, colour);
    }
}

// Raw tiles of full width inside the framebuffer: each row a fixed-size copy the compiler
// inlines, instead of a library call per row.
template <typename Pixel>
void RectangleDecoder<Pixel>::PutWholeTileRows(int tileX, int tileY, int tileHeight, const uint8_t* wire)
{
    if constexpr (sizeof(Pixel) > 1 && std::endian::native != std::endian::little) {
        PutPixels(FTarget, tileX, tileY, kTileSide, tileHeight, wire);
    } else {
        Pixel* row = FTarget.pixels + ptrdiff_t(tileY) * FTarget.width + tileX;
        for (int i = 0; i < tileHeight; ++i, row += FTarget.width, wire += kTileSide * sizeof(Pixel))
            std::memcpy(row, wire, kTileSide * sizeof(Pixel));
    }
}

// A whole 16-pixel row is a fixed-size store the compiler inlines; narrower tiles (at the right
// edge) take the general loop.
template <typename Pixel>
void RectangleDecoder<Pixel>::FillTileBackground(Pixel* origin, ptrdiff_t stride, int tileWidth, int tileHeight)
{
    if (tileWidth == kTileSide) {
        Pixel pattern[kTileSide];
        std::fill_n(pattern, kTileSide, FBackground);
        for (int i = 0; i < tileHeight; ++i, origin += stride)
            std::memcpy(origin, pattern, sizeof pattern);
        return;
    }
    FillRows(origin, stride, tileWidth, tileHeight, FBackground);
}

// Text on a plain ground: the subrectangles are gathered into a foreground mask and each row is
// written once, with no branch per pixel, instead of the ground and then every subrectangle over
// it. False, with nothing written, when a subrectangle reaches out of the tile: the general path
// paints those.
template <typename Pixel>
bool RectangleDecoder<Pixel>::PaintTwoColourTile(
    Pixel* origin, ptrdiff_t stride, int tileHeight, size_t subrectCount, const uint8_t* subrect)
{
    uint16_t rows[kTileSide] = {};
    for (size_t k = 0; k < subrectCount; ++k, subrect += 2) {
        const int subX = subrect[0] >> 4, subY = subrect[0] & 15;
        const int subWidth = (subrect[1] >> 4) + 1, subHeight = (subrect[1] & 15) + 1;
        if (subX + subWidth > kTileSide || subY + subHeight > tileHeight)
            return false;
        const auto bits = static_cast<uint16_t>(((1u << subWidth) - 1) << subX);
        for (int i = subY; i < subY + subHeight; ++i)
            rows[i] |= bits;
    }
    for (int i = 0; i < tileHeight; ++i, origin += stride)
        WriteTwoColourRow(origin, rows[i], FBackground, FForeground);
    return true;
}

// Almost every subrectangle lies inside its tile or rectangle, which lies inside the framebuffer:
// those are filled with a direct row loop; anything else goes through the clipping fill. One
// that reaches out of its area writes outside what was reported for the rectangle, so it is
// reported itself.
template <typename Pixel>
void RectangleDecoder<Pixel>::FillSubrect(int areaX, int areaY, int areaWidth, int areaHeight, bool areaInside,
    int subX, int subY, int subWidth, int subHeight, Pixel value)
{
    const bool spills = subX + subWidth > areaWidth || subY + subHeight > areaHeight;
    if (!areaInside || spills) {
        if (spills)
            ReportWritten(areaX + subX, areaY + subY, subWidth, subHeight);
        FillPixels(FTarget, areaX + subX, areaY + subY, subWidth, subHeight, value);
        return;
    }
    // A local stride: a byte store could alias the surface's width, which would be read again
    // after every pixel.
    const ptrdiff_t stride = FTarget.width;
    FillRows(FTarget.pixels + ptrdiff_t(areaY + subY) * stride + areaX + subX, stride, subWidth, subHeight, value);
}

template class RectangleDecoder<uint32_t>;
template class RectangleDecoder<uint8_t>;

} // namespace zarn
