#pragma once
// What ZRLE and Tight have in common: pixels sent in three bytes instead of four (our 32-bit
// format has depth 24, so the unused byte is left out), the session's inflate streams, and
// storing decoded pixels clipped to the framebuffer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "protocol/JpegDecoder.h"
#include "protocol/PixelOps.h"
#include "protocol/ZlibStream.h"

namespace zarn {

// Bytes of one compact pixel: three in true colour, the index byte in 256 colours.
template <typename Pixel> inline constexpr size_t kCompactPixelBytes = sizeof(Pixel) == 1 ? 1 : 3;

// ZRLE's CPIXEL: the three low bytes of the little-endian pixel (blue, green, red).
template <typename Pixel> inline Pixel LoadCPixel(const uint8_t* bytes)
{
    if constexpr (sizeof(Pixel) == 1)
        return *bytes;
    else
        return Pixel(bytes[0]) | Pixel(bytes[1]) << 8 | Pixel(bytes[2]) << 16;
}

// Tight's TPIXEL: red, green, blue.
template <typename Pixel> inline Pixel LoadTPixel(const uint8_t* bytes)
{
    if constexpr (sizeof(Pixel) == 1)
        return *bytes;
    else
        return Pixel(bytes[0]) << 16 | Pixel(bytes[1]) << 8 | Pixel(bytes[2]);
}

// Stores width x height decoded pixels (rows `stride` elements apart) at (x, y), clipped.
template <typename Pixel>
void PutDecodedPixels(const PixelSurface<Pixel>& fb, int x, int y, int width, int height, const Pixel* block,
    ptrdiff_t stride)
{
    const AxisSpan cols = ClipToAxis(x, width, fb.width);
    const AxisSpan rows = ClipToAxis(y, height, fb.height);
    if (cols.empty() || rows.empty())
        return;
    const Pixel* src = block + (rows.begin - y) * stride + (cols.begin - x);
    Pixel* dst = fb.pixels + rows.begin * fb.width + cols.begin;
    for (int64_t row = rows.begin; row < rows.end; ++row, src += stride, dst += fb.width)
        std::memcpy(dst, src, size_t(cols.length()) * sizeof(Pixel));
}

// The compression state of one session: reset whenever a new connection starts.
struct TCompressionState {
    TZlibStream Zrle;
    std::array<TZlibStream, 4> Tight;
    TJpegDecoder Jpeg;
    // One decoded row of a rectangle that is not wholly inside the framebuffer.
    std::vector<uint8_t> Row;

    void Reset()
    {
        Zrle.Reset();
        for (auto& stream : Tight)
            stream.Reset();
    }
};

} // namespace zarn
