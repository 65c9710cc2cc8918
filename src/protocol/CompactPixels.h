#pragma once
// What ZRLE and Tight have in common: pixels sent in three bytes instead of four (our 32-bit
// format has depth 24, so the unused byte is left out), the session's inflate streams, and
// storing decoded pixels clipped to the framebuffer.

#include <algorithm>
#include <array>
#include <bit>
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

// A row of `width` compact pixels into `row`. All but the last pixel are read as four bytes at
// once (the fourth belongs to the next pixel and is dropped); the last is read byte by byte,
// since the row may end where its buffer does.
template <typename Pixel, Pixel (*Load)(const uint8_t*), bool Swapped>
inline void LoadCompactRow(Pixel* row, const uint8_t* wire, int width)
{
    if constexpr (sizeof(Pixel) == 1) {
        std::memcpy(row, wire, size_t(width));
    } else {
        int j = 0;
        // The word trick needs the little-endian byte order of every platform we build for;
        // elsewhere each pixel is read byte by byte.
        if constexpr (std::endian::native == std::endian::little)
            for (; j + 1 < width; ++j, wire += 3) {
                uint32_t four;
                std::memcpy(&four, wire, sizeof four);
                // The bytes read are wire[0] | wire[1] << 8 | wire[2] << 16 | next << 24.
                row[j] = Swapped ? __builtin_bswap32(four) >> 8 : four & 0x00FFFFFFu;
            }
        for (; j < width; ++j, wire += 3)
            row[j] = Load(wire);
    }
}

template <typename Pixel> inline void LoadCPixelRow(Pixel* row, const uint8_t* wire, int width)
{
    LoadCompactRow<Pixel, LoadCPixel<Pixel>, false>(row, wire, width);
}

template <typename Pixel> inline void LoadTPixelRow(Pixel* row, const uint8_t* wire, int width)
{
    LoadCompactRow<Pixel, LoadTPixel<Pixel>, true>(row, wire, width);
}

// One row of packed palette indices, `Bits` each from the most significant bits down; a row's
// last byte may hold padding bits past the row, which are never looked at. Returns the highest
// index for the caller to check against its palette once the row is done: `palette` must have
// an entry for every index `Bits` can express, so a bad index reads a stale colour before the
// session ends, never past the array. One bit per index always names one of two colours.
template <int Bits, typename Pixel>
inline unsigned UnpackPaletteRow(Pixel* row, const uint8_t* packed, int width, const Pixel* palette)
{
    constexpr int perByte = 8 / Bits;
    constexpr unsigned mask = (1u << Bits) - 1;
    int j = 0;
    if constexpr (Bits == 1) {
        // Text and two-tone pictures, the commonest case by far: chosen without a branch or a
        // load, so the eight pixels of a byte are computed side by side.
        const Pixel first = palette[0], flip = Pixel(palette[0] ^ palette[1]);
        if constexpr (sizeof(Pixel) == 4) {
            // Four pixels per vector: each lane tests its own bit of the byte.
            using Lanes = uint32_t __attribute__((vector_size(16)));
            const Lanes high = { 0x80, 0x40, 0x20, 0x10 }, low = { 0x08, 0x04, 0x02, 0x01 };
            const Lanes firsts = Lanes {} + first, flips = Lanes {} + flip;
            for (; j + 8 <= width; j += 8) {
                const Lanes byte = Lanes {} + uint32_t(*packed++);
                const Lanes left = firsts ^ (flips & Lanes((byte & high) != 0));
                const Lanes right = firsts ^ (flips & Lanes((byte & low) != 0));
                std::memcpy(row + j, &left, sizeof left);
                std::memcpy(row + j + 4, &right, sizeof right);
            }
        } else {
            for (; j + 8 <= width; j += 8) {
                const unsigned byte = *packed++;
                for (int k = 0; k < 8; ++k)
                    row[j + k] = Pixel(first ^ (flip & Pixel(0u - ((byte >> (7 - k)) & 1u))));
            }
        }
        for (int k = 0; j < width; ++j, ++k)
            row[j] = Pixel(first ^ (flip & Pixel(0u - ((*packed >> (7 - k)) & 1u))));
        return 1;
    } else {
        // A copy the compiler knows no row store can change, so it stays in registers.
        Pixel colours[1u << Bits];
        std::memcpy(colours, palette, sizeof colours);
        unsigned highest = 0;
        for (; j + perByte <= width; j += perByte) {
            const unsigned byte = *packed++;
            for (int k = 0; k < perByte; ++k) {
                const unsigned index = (byte >> (8 - Bits * (k + 1))) & mask;
                highest = std::max(highest, index);
                row[j + k] = colours[index];
            }
        }
        for (int k = 0; j < width; ++j, ++k) {
            const unsigned index = (*packed >> (8 - Bits * (k + 1))) & mask;
            highest = std::max(highest, index);
            row[j] = colours[index];
        }
        return highest;
    }
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
