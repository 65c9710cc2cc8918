#pragma once
// Pixel primitives over one framebuffer array: store a block, copy a region, fill a region.
// One template serves both pixel modes (uint32_t true-colour pixels, uint8_t colour-map
// indices). Every operation clips to the framebuffer, so a rectangle that a server places
// partly or wholly outside it writes only the part that lies inside and never touches memory
// outside the array. Work is done a row at a time (memcpy, memmove, fill) because these are
// the decoders' hot paths.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zarn {

// The framebuffer array of one pixel mode: element (x, y) is pixels[x + y * width].
template <typename Pixel> struct PixelSurface {
    Pixel* pixels = nullptr;
    int width = 0;
    int height = 0;
};

// A half-open interval [begin, end) of one axis; empty when begin >= end.
struct AxisSpan {
    int64_t begin = 0;
    int64_t end = 0;
    bool empty() const { return begin >= end; }
    int64_t length() const { return end - begin; }
};

// The part of [start, start + length) that lies inside [0, limit).
inline AxisSpan ClipToAxis(int64_t start, int64_t length, int64_t limit)
{
    return { std::max<int64_t>(start, 0), std::min<int64_t>(start + length, limit) };
}

// A pixel as the server sends it: the single index byte, or four bytes read little-endian
// (blue, green, red, unused), which is the in-memory layout of the 32-bit array.
template <typename Pixel> inline Pixel LoadPixel(const uint8_t* bytes)
{
    if constexpr (sizeof(Pixel) == 1) {
        return *bytes;
    } else {
        return static_cast<Pixel>(uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16)
            | (uint32_t(bytes[3]) << 24));
    }
}

// Wire bytes of `count` pixels into consecutive framebuffer elements.
template <typename Pixel> inline void StorePixelRow(Pixel* dst, const uint8_t* src, size_t count)
{
    if constexpr (sizeof(Pixel) == 1 || std::endian::native == std::endian::little) {
        std::memcpy(dst, src, count * sizeof(Pixel));
    } else {
        for (size_t i = 0; i < count; ++i)
            dst[i] = LoadPixel<Pixel>(src + i * sizeof(Pixel));
    }
}

// Stores width x height wire pixels from `block` (rows of width pixels, top row first) at
// (x, y). Only the part inside the framebuffer is stored; the block is still walked with
// its own row length, so clipped pixels simply are not taken.
template <typename Pixel>
void PutPixels(const PixelSurface<Pixel>& fb, int x, int y, int width, int height, const uint8_t* block)
{
    if (width <= 0 || height <= 0)
        return;
    const AxisSpan cols = ClipToAxis(x, width, fb.width);
    const AxisSpan rows = ClipToAxis(y, height, fb.height);
    if (cols.empty() || rows.empty())
        return;
    const size_t blockStride = size_t(width) * sizeof(Pixel);
    const uint8_t* src
        = block + size_t(rows.begin - y) * blockStride + size_t(cols.begin - x) * sizeof(Pixel);
    Pixel* dst = fb.pixels + rows.begin * fb.width + cols.begin;
    const size_t count = size_t(cols.length());
    for (int64_t row = rows.begin; row < rows.end; ++row) {
        StorePixelRow(dst, src, count);
        dst += fb.width;
        src += blockStride;
    }
}

// Copies the width x height region at (sourceX, sourceY) to (x, y) as if through a
// temporary block, so overlapping scrolls in any direction come out right. Elements whose
// source or destination lies outside the framebuffer are skipped.
template <typename Pixel>
void CopyPixels(const PixelSurface<Pixel>& fb, int x, int y, int width, int height, int sourceX, int sourceY)
{
    if (width <= 0 || height <= 0)
        return;
    // Offsets j (columns) and i (rows) inside the rectangle for which both ends are inside.
    const int64_t j0 = std::max<int64_t>({ 0, -int64_t(x), -int64_t(sourceX) });
    const int64_t j1 = std::min<int64_t>({ width, int64_t(fb.width) - x, int64_t(fb.width) - sourceX });
    const int64_t i0 = std::max<int64_t>({ 0, -int64_t(y), -int64_t(sourceY) });
    const int64_t i1 = std::min<int64_t>({ height, int64_t(fb.height) - y, int64_t(fb.height) - sourceY });
    if (j0 >= j1 || i0 >= i1)
        return;
    const size_t rowBytes = size_t(j1 - j0) * sizeof(Pixel);
    auto rowAt = [&](int64_t col, int64_t row) { return fb.pixels + row * fb.width + col; };
    // Moving down, copy the bottom row first so no source row is overwritten before it is
    // read; memmove takes care of overlap within a row.
    if (y > sourceY) {
        for (int64_t i = i1 - 1; i >= i0; --i)
            std::memmove(rowAt(x + j0, y + i), rowAt(sourceX + j0, sourceY + i), rowBytes);
    } else {
        for (int64_t i = i0; i < i1; ++i)
            std::memmove(rowAt(x + j0, y + i), rowAt(sourceX + j0, sourceY + i), rowBytes);
    }
}

// Sets every element of the rectangle (clipped to the framebuffer) to `value`.
template <typename Pixel>
inline void FillPixels(const PixelSurface<Pixel>& fb, int x, int y, int width, int height, Pixel value)
{
    if (width <= 0 || height <= 0)
        return;
    const AxisSpan cols = ClipToAxis(x, width, fb.width);
    const AxisSpan rows = ClipToAxis(y, height, fb.height);
    if (cols.empty() || rows.empty())
        return;
    Pixel* dst = fb.pixels + rows.begin * fb.width + cols.begin;
    const size_t count = size_t(cols.length());
    for (int64_t row = rows.begin; row < rows.end; ++row, dst += fb.width)
        std::fill_n(dst, count, value);
}

// The two modes by their protocol names.
inline void PutPixels32(const PixelSurface<uint32_t>& fb, int x, int y, int w, int h, const uint8_t* block)
{
    PutPixels(fb, x, y, w, h, block);
}
inline void PutPixels8(const PixelSurface<uint8_t>& fb, int x, int y, int w, int h, const uint8_t* block)
{
    PutPixels(fb, x, y, w, h, block);
}
inline void CopyPixels32(const PixelSurface<uint32_t>& fb, int x, int y, int w, int h, int sx, int sy)
{
    CopyPixels(fb, x, y, w, h, sx, sy);
}
inline void CopyPixels8(const PixelSurface<uint8_t>& fb, int x, int y, int w, int h, int sx, int sy)
{
    CopyPixels(fb, x, y, w, h, sx, sy);
}
inline void FillPixels32(const PixelSurface<uint32_t>& fb, int x, int y, int w, int h, uint32_t value)
{
    FillPixels(fb, x, y, w, h, value);
}
inline void FillPixels8(const PixelSurface<uint8_t>& fb, int x, int y, int w, int h, uint8_t value)
{
    FillPixels(fb, x, y, w, h, value);
}

} // namespace zarn
