#pragma once
// Synthetic but realistic screen contents for the benchmarks, generated deterministically so
// every run (and every client in a run) decodes the very same bytes:
//   text    - a code editor: light background, lines of dark glyphs with some coloured words
//   photo   - smooth colour fields with grain: nearly every pixel differs from its neighbours
//   ui      - flat window chrome: title bars, panels, buttons, borders, a few icons
//   desktop - all three together on one screen, as a real session shows them

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarn::bench {

// A picture in the framebuffer's own 32-bit layout (0x00RRGGBB), or 8-bit colour indices.
template <typename Pixel> struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;

    Pixel& at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    Pixel at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

using Picture32 = Picture<uint32_t>;
using Picture8 = Picture<uint8_t>;

enum class Content { Text, Photo, Ui, Desktop };
const char* ContentName(Content content);

// `variant` changes the details (the text, the photo's phase, which button is lit) but not the
// character of the picture.
Picture32 MakePicture(Content content, int width, int height, unsigned variant);

// Draws `content` into a region of an existing picture.
void DrawText(Picture32& picture, int x, int y, int width, int height, unsigned variant);
void DrawPhoto(Picture32& picture, int x, int y, int width, int height, unsigned variant);
void DrawUi(Picture32& picture, int x, int y, int width, int height, unsigned variant);

// Height of one line of text as DrawText lays it out.
inline constexpr int kTextLineHeight = 14;

// The 256-colour mode: 3 bits red, 3 green, 2 blue; the colour table the server announces.
uint8_t ColourIndex(uint32_t rgb);
Picture8 ToColourIndices(const Picture32& picture);
std::vector<uint32_t> ColourTable();

} // namespace zarn::bench
