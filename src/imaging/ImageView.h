#pragma once
// A borrowed view of a picture in the framebuffer's own layout: top row first, either
// 32-bit pixels (blue, green, red, unused in memory) or 8-bit indices into a 256-entry
// colour table of (blue, green, red, 0). Nothing here owns or copies the pixels.

#include <cstddef>
#include <cstdint>

namespace zarn {

struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};

struct ImageView {
    const uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    size_t stride = 0;                      // bytes from one row to the next
    bool indexed = false;                   // true: 8-bit indices into colorTable
    const TRGBQuad* colorTable = nullptr;   // 256 entries when indexed

    bool empty() const { return bits == nullptr || width <= 0 || height <= 0; }
};

} // namespace zarn
