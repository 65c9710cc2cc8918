#include "RfbEncode.h"

#include <algorithm>
#include <unordered_map>

namespace zarn::bench {

namespace {

void PutU16(Bytes& out, uint32_t value)
{
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void PutU32(Bytes& out, uint32_t value)
{
    PutU16(out, value >> 16);
    PutU16(out, value & 0xFFFF);
}

// A pixel as the client asked for it: the index byte, or four bytes little-endian.
template <typename Pixel> void PutPixel(Bytes& out, Pixel value)
{
    for (size_t i = 0; i < sizeof(Pixel); ++i)
        out.push_back(uint8_t(uint32_t(value) >> (8 * i)));
}

template <typename Pixel> struct Subrect {
    Pixel colour;
    int x, y, width, height; // relative to the region
};

// Covers every pixel of the region that differs from `background` with single-colour
// rectangles: a run along the row, grown downwards while the rows below repeat it. Gives up
// (returns false) once more than `limit` are needed.
template <typename Pixel>
bool FindSubrects(const Picture<Pixel>& picture, int x0, int y0, int width, int height, Pixel background,
    size_t limit, std::vector<Subrect<Pixel>>& found)
{
    found.clear();
    std::vector<uint8_t> covered(size_t(width) * size_t(height), 0);
    auto isCovered
        = [&](int col, int row) { return covered[size_t(row) * size_t(width) + size_t(col)] != 0; };
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const Pixel colour = picture.at(x0 + col, y0 + row);
            if (colour == background || isCovered(col, row))
                continue;
            int runWidth = 1;
            while (col + runWidth < width && !isCovered(col + runWidth, row)
                && picture.at(x0 + col + runWidth, y0 + row) == colour)
                ++runWidth;
            int runHeight = 1;
            for (; row + runHeight < height; ++runHeight) {
                const int below = row + runHeight;
                bool same = true;
                for (int c = col; c < col + runWidth && same; ++c)
                    same = !isCovered(c, below) && picture.at(x0 + c, y0 + below) == colour;
                if (!same)
                    break;
            }
            for (int r = row; r < row + runHeight; ++r)
                std::fill_n(
                    covered.begin() + ptrdiff_t(size_t(r) * size_t(width) + size_t(col)), runWidth, 1);
            if (found.size() == limit)
                return false;
            found.push_back({ colour, col, row, runWidth, runHeight });
            col += runWidth - 1;
        }
    }
    return true;
}

template <typename Pixel>
Pixel MostFrequent(const Picture<Pixel>& picture, int x0, int y0, int width, int height)
{
    std::unordered_map<Pixel, size_t> counts;
    Pixel best = picture.at(x0, y0);
    size_t bestCount = 0;
    for (int row = y0; row < y0 + height; ++row) {
        for (int col = x0; col < x0 + width; ++col) {
            const size_t count = ++counts[picture.at(col, row)];
            if (count > bestCount) {
                bestCount = count;
                best = picture.at(col, row);
            }
        }
    }
    return best;
}

// The colours of one tile: up to three distinct ones are told apart, more count as three.
template <typename Pixel> struct TileColours {
    int distinct = 0;
    Pixel background {};
    Pixel foreground {};
};

template <typename Pixel>
TileColours<Pixel> ClassifyTile(const Picture<Pixel>& picture, int x0, int y0, int w, int h)
{
    TileColours<Pixel> colours;
    Pixel first = picture.at(x0, y0), second {};
    size_t firstCount = 0, secondCount = 0;
    for (int row = y0; row < y0 + h; ++row) {
        for (int col = x0; col < x0 + w; ++col) {
            const Pixel p = picture.at(col, row);
            if (p == first) {
                ++firstCount;
            } else if (secondCount == 0 || p == second) {
                second = p;
                ++secondCount;
            } else {
                colours.distinct = 3;
                colours.background = MostFrequent(picture, x0, y0, w, h);
                return colours;
            }
        }
    }
    colours.distinct = secondCount == 0 ? 1 : 2;
    colours.background = firstCount >= secondCount ? first : second;
    colours.foreground = firstCount >= secondCount ? second : first;
    return colours;
}

enum : uint8_t { kRawTile = 1, kBackground = 2, kForeground = 4, kAnySubrects = 8, kColoured = 16 };

// Colours the client still remembers from the previous tile of the rectangle.
template <typename Pixel> struct HextileMemory {
    bool backgroundValid = false;
    bool foregroundValid = false;
    Pixel background {};
    Pixel foreground {};
};

template <typename Pixel>
void AppendRawTile(
    Bytes& out, const Picture<Pixel>& picture, int x, int y, int w, int h, HextileMemory<Pixel>& memory)
{
    out.push_back(kRawTile);
    AppendRaw(out, picture, x, y, w, h);
    memory.backgroundValid = memory.foregroundValid = false; // not carried over a raw tile
}

template <typename Pixel>
void AppendTile(Bytes& out, const Picture<Pixel>& picture, int x, int y, int w, int h,
    HextileMemory<Pixel>& memory, std::vector<Subrect<Pixel>>& subrects)
{
    const TileColours<Pixel> colours = ClassifyTile(picture, x, y, w, h);
    const bool newBackground = !memory.backgroundValid || memory.background != colours.background;
    if (colours.distinct == 1) {
        out.push_back(newBackground ? kBackground : 0);
        if (newBackground)
            PutPixel(out, colours.background);
        memory.backgroundValid = true;
        memory.background = colours.background;
        return;
    }
    const bool mono = colours.distinct == 2;
    const size_t rawBytes = size_t(w) * size_t(h) * sizeof(Pixel);
    const size_t subrectBytes = mono ? 2 : 2 + sizeof(Pixel);
    const size_t limit = std::min<size_t>(255, rawBytes / subrectBytes);
    if (!FindSubrects(picture, x, y, w, h, colours.background, limit, subrects)) {
        AppendRawTile(out, picture, x, y, w, h, memory);
        return;
    }
    const bool newForeground = mono && (!memory.foregroundValid || memory.foreground != colours.foreground);
    out.push_back(uint8_t(kAnySubrects | (mono ? 0 : kColoured) | (newBackground ? kBackground : 0)
        | (newForeground ? kForeground : 0)));
    if (newBackground)
        PutPixel(out, colours.background);
    if (newForeground)
        PutPixel(out, colours.foreground);
    out.push_back(uint8_t(subrects.size()));
    for (const auto& s : subrects) {
        if (!mono)
            PutPixel(out, s.colour);
        out.push_back(uint8_t(s.x << 4 | s.y));
        out.push_back(uint8_t((s.width - 1) << 4 | (s.height - 1)));
    }
    memory.backgroundValid = true;
    memory.background = colours.background;
    memory.foregroundValid = mono;
    memory.foreground = colours.foreground;
}

} // namespace

const char* EncodingName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Raw:
        return "Raw";
    case Encoding::CopyRect:
        return "CopyRect";
    case Encoding::RRE:
        return "RRE";
    case Encoding::Hextile:
        return "Hextile";
    }
    return "?";
}

void AppendUpdateHeader(Bytes& out, uint16_t rectangles)
{
    out.push_back(0);
    out.push_back(0);
    PutU16(out, rectangles);
}

void AppendRectHeader(Bytes& out, int x, int y, int width, int height, Encoding encoding)
{
    PutU16(out, uint32_t(x));
    PutU16(out, uint32_t(y));
    PutU16(out, uint32_t(width));
    PutU16(out, uint32_t(height));
    PutU32(out, uint32_t(encoding));
}

void AppendCopyRect(Bytes& out, int x, int y, int width, int height, int sourceX, int sourceY)
{
    AppendRectHeader(out, x, y, width, height, Encoding::CopyRect);
    PutU16(out, uint32_t(sourceX));
    PutU16(out, uint32_t(sourceY));
}

void AppendColourMap(Bytes& out, uint16_t first, const std::vector<uint32_t>& colours)
{
    out.push_back(1);
    out.push_back(0);
    PutU16(out, first);
    PutU16(out, uint32_t(colours.size()));
    for (const uint32_t rgb : colours) {
        PutU16(out, ((rgb >> 16) & 255) * 257);
        PutU16(out, ((rgb >> 8) & 255) * 257);
        PutU16(out, (rgb & 255) * 257);
    }
}

template <typename Pixel>
void AppendRaw(Bytes& out, const Picture<Pixel>& picture, int x, int y, int width, int height)
{
    out.reserve(out.size() + size_t(width) * size_t(height) * sizeof(Pixel));
    for (int row = y; row < y + height; ++row)
        for (int col = x; col < x + width; ++col)
            PutPixel(out, picture.at(col, row));
}

template <typename Pixel>
void AppendRRE(Bytes& out, const Picture<Pixel>& picture, int x, int y, int width, int height)
{
    const Pixel background = MostFrequent(picture, x, y, width, height);
    std::vector<Subrect<Pixel>> subrects;
    FindSubrects(picture, x, y, width, height, background, SIZE_MAX, subrects);
    PutU32(out, uint32_t(subrects.size()));
    PutPixel(out, background);
    for (const auto& s : subrects) {
        PutPixel(out, s.colour);
        PutU16(out, uint32_t(s.x));
        PutU16(out, uint32_t(s.y));
        PutU16(out, uint32_t(s.width));
        PutU16(out, uint32_t(s.height));
    }
}

template <typename Pixel>
void AppendHextile(Bytes& out, const Picture<Pixel>& picture, int x, int y, int width, int height)
{
    HextileMemory<Pixel> memory;
    std::vector<Subrect<Pixel>> subrects;
    for (int tileY = y; tileY < y + height; tileY += 16) {
        for (int tileX = x; tileX < x + width; tileX += 16) {
            AppendTile(out, picture, tileX, tileY, std::min(16, x + width - tileX),
                std::min(16, y + height - tileY), memory, subrects);
        }
    }
}

template <typename Pixel>
void AppendRectangle(
    Bytes& out, Encoding encoding, const Picture<Pixel>& picture, int x, int y, int width, int height)
{
    AppendRectHeader(out, x, y, width, height, encoding);
    switch (encoding) {
    case Encoding::Raw:
        AppendRaw(out, picture, x, y, width, height);
        break;
    case Encoding::RRE:
        AppendRRE(out, picture, x, y, width, height);
        break;
    case Encoding::Hextile:
        AppendHextile(out, picture, x, y, width, height);
        break;
    case Encoding::CopyRect:
        break; // has no picture data; see AppendCopyRect
    }
}

#define ZARN_BENCH_INSTANTIATE(Pixel)                                                                        \
    template void AppendRaw(Bytes&, const Picture<Pixel>&, int, int, int, int);                              \
    template void AppendRRE(Bytes&, const Picture<Pixel>&, int, int, int, int);                              \
    template void AppendHextile(Bytes&, const Picture<Pixel>&, int, int, int, int);                          \
    template void AppendRectangle(Bytes&, Encoding, const Picture<Pixel>&, int, int, int, int);
ZARN_BENCH_INSTANTIATE(uint32_t)
ZARN_BENCH_INSTANTIATE(uint8_t)
#undef ZARN_BENCH_INSTANTIATE

} // namespace zarn::bench
