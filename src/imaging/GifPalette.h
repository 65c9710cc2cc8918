#pragma once
// Turns a picture into palette indices for GIF: exactly when it has few enough colours,
// otherwise by median cut.

#include "imaging/ImageView.h"

#include <cstdint>
#include <gif_lib.h>
#include <optional>
#include <vector>

namespace zarn {

constexpr int kMaxGifColours = 256;

struct PalettedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indices; // width * height, top row first
    std::vector<GifColorType> palette; // 1 to kMaxGifColours entries
};

// The picture with exactly its own colours, or nothing when it has more than kMaxGifColours.
// An indexed view keeps the colours of the table entries it uses.
std::optional<PalettedPicture> ExactPalette(const ImageView& image);

// The picture reduced to at most kMaxGifColours colours.
std::optional<PalettedPicture> ReducedPalette(const ImageView& image);

} // namespace zarn
