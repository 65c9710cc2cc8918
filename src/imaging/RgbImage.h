#pragma once
// A picture that owns its pixels as tightly packed 8-bit red, green, blue triples, top row
// first. The BMP reader produces it; tests compare pictures through it.

#include "imaging/ImageView.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zarn {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // width * height * 3 bytes

    const uint8_t* Row(int y) const { return pixels.data() + RowOffset(y); }
    uint8_t* Row(int y) { return pixels.data() + RowOffset(y); }

private:
    size_t RowOffset(int y) const { return static_cast<size_t>(y) * static_cast<size_t>(width) * 3; }
};

// False, with a message, for a view that cannot be read safely: no pixels, a stride shorter
// than a row, or an indexed view without its colour table.
bool CheckImageView(const ImageView& view, std::string* error = nullptr);

// Row y of a checked view as width red, green, blue triples (or blue, green, red for the BGR
// form, the order BMP files store).
void ViewRowToRgb(const ImageView& view, int y, uint8_t* out);
void ViewRowToBgr(const ImageView& view, int y, uint8_t* out);

// The whole of a checked view; an unchecked or empty view gives an empty picture.
RgbImage ToRgb(const ImageView& view);

} // namespace zarn
