#include "BenchImages.h"

#include <algorithm>
#include <cmath>

namespace zarn::bench {

namespace {

// A small, fast, seedable generator; the content only has to look plausible and repeat exactly.
class Random {
public:
    explicit Random(uint64_t seed)
        : FState(seed * 0x9E3779B97F4A7C15ull + 1)
    {
    }
    uint32_t Next()
    {
        FState ^= FState << 13;
        FState ^= FState >> 7;
        FState ^= FState << 17;
        return uint32_t(FState >> 16);
    }
    int Below(int n) { return int(Next() % uint32_t(n)); }

private:
    uint64_t FState;
};

uint32_t Rgb(int r, int g, int b)
{
    auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
    return c(r) << 16 | c(g) << 8 | c(b);
}

// Where a Draw function may paint: its region of the picture. Nothing outside it changes, so
// an update of exactly that region brings a client up to date.
struct Canvas {
    Picture32& picture;
    int left, top, right, bottom;

    Canvas(Picture32& p, int x, int y, int width, int height)
        : picture(p)
        , left(std::max(0, x))
        , top(std::max(0, y))
        , right(std::min(p.width, x + width))
        , bottom(std::min(p.height, y + height))
    {
    }

    void Fill(int x, int y, int w, int h, uint32_t colour)
    {
        for (int row = std::max(top, y); row < std::min(bottom, y + h); ++row)
            for (int col = std::max(left, x); col < std::min(right, x + w); ++col)
                picture.at(col, row) = colour;
    }
};

// One glyph in a 7 x 12 cell: a few strokes, like a proportional-looking monospace font.
void DrawGlyph(Canvas& p, int x, int y, uint32_t ink, Random& random)
{
    const int strokes = 2 + random.Below(3);
    for (int s = 0; s < strokes; ++s) {
        if (random.Below(2) == 0)
            p.Fill(x + random.Below(5), y + 2 + random.Below(4), 1, 2 + random.Below(6), ink);
        else
            p.Fill(x + random.Below(3), y + 2 + random.Below(9), 2 + random.Below(4), 1, ink);
    }
}

} // namespace

const char* ContentName(Content content)
{
    switch (content) {
    case Content::Text:
        return "text";
    case Content::Photo:
        return "photo";
    case Content::Ui:
        return "ui";
    case Content::Desktop:
        return "desktop";
    }
    return "?";
}

void DrawText(Picture32& picture, int x, int y, int width, int height, unsigned variant)
{
    Canvas p(picture, x, y, width, height);
    Random random(variant * 7919u + 17);
    const uint32_t paper = Rgb(250, 250, 246);
    const uint32_t inks[] = { Rgb(30, 30, 30), Rgb(30, 30, 30), Rgb(30, 30, 30), Rgb(0, 90, 180),
        Rgb(160, 30, 120), Rgb(20, 130, 40) };
    p.Fill(x, y, width, height, paper);
    for (int line = y + 1; line + kTextLineHeight <= y + height; line += kTextLineHeight) {
        int col = x + 4 + 8 * random.Below(6); // indentation
        const int end = x + width - 4 - random.Below(std::max(1, width / 2));
        while (col + 7 <= end) {
            const uint32_t ink = inks[random.Below(6)];
            const int word = 2 + random.Below(8);
            for (int c = 0; c < word && col + 7 <= end; ++c, col += 7)
                DrawGlyph(p, col, line, ink, random);
            col += 7;
        }
    }
}

void DrawPhoto(Picture32& p, int x, int y, int width, int height, unsigned variant)
{
    Random random(variant * 104729u + 3);
    const double phase = variant * 0.7;
    for (int row = 0; row < height && y + row < p.height; ++row) {
        for (int col = 0; col < width && x + col < p.width; ++col) {
            const double u = double(col) / std::max(1, width), v = double(row) / std::max(1, height);
            const double sky = 0.5 + 0.5 * std::sin(6.0 * u + phase) * std::cos(4.0 * v - phase);
            const int grain = random.Below(17) - 8;
            p.at(x + col, y + row) = Rgb(int(60 + 150 * sky * (1 - v)) + grain,
                int(90 + 120 * v + 30 * std::sin(9 * u)) + grain, int(200 * (1 - sky * v)) + grain);
        }
    }
}

void DrawUi(Picture32& picture, int x, int y, int width, int height, unsigned variant)
{
    Canvas p(picture, x, y, width, height);
    Random random(variant * 31u + 5);
    const uint32_t panel = Rgb(236, 236, 236);
    p.Fill(x, y, width, height, panel);
    p.Fill(x, y, width, 28, Rgb(52, 101, 164)); // title bar
    for (int i = 0; i < 3; ++i)
        p.Fill(x + width - 24 * (i + 1), y + 6, 16, 16, Rgb(220, 220, 220));
    p.Fill(x, y + 28, width, 24, Rgb(246, 246, 246)); // menu bar
    for (int item = 0; item * 64 + 40 < width; ++item)
        p.Fill(x + 8 + item * 64, y + 36, 40, 8, Rgb(60, 60, 60));
    const int lit = random.Below(12);
    for (int b = 0; b < 12; ++b) { // tool buttons with a border
        const int bx = x + 8 + (b % 6) * 90, by = y + 64 + (b / 6) * 40;
        if (bx + 80 > x + width || by + 30 > y + height)
            continue;
        p.Fill(bx, by, 80, 30, Rgb(120, 120, 120));
        p.Fill(bx + 1, by + 1, 78, 28, b == lit ? Rgb(200, 225, 255) : Rgb(250, 250, 250));
        p.Fill(bx + 10, by + 11, 12, 8, Rgb(200, 60, 40)); // icon
        p.Fill(bx + 30, by + 13, 40, 4, Rgb(40, 40, 40)); // label
    }
    for (int row = y + 160; row + 22 < y + height; row += 22) { // list with separators
        p.Fill(x + 8, row, width - 16, 1, Rgb(210, 210, 210));
        p.Fill(x + 16, row + 8, 16 + random.Below(std::max(1, width / 3)), 6, Rgb(70, 70, 70));
    }
}

Picture32 MakePicture(Content content, int width, int height, unsigned variant)
{
    Picture32 p { width, height, std::vector<uint32_t>(size_t(width) * size_t(height), 0) };
    switch (content) {
    case Content::Text:
        DrawText(p, 0, 0, width, height, variant);
        break;
    case Content::Photo:
        DrawPhoto(p, 0, 0, width, height, variant);
        break;
    case Content::Ui:
        DrawUi(p, 0, 0, width, height, variant);
        break;
    case Content::Desktop: {
        DrawUi(p, 0, 0, width, height, variant);
        const int textWidth = width * 3 / 5, top = 160;
        DrawText(p, 8, top, textWidth, height - top - 8, variant);
        DrawPhoto(p, textWidth + 16, top, width - textWidth - 24, (height - top) / 2, variant);
        break;
    }
    }
    return p;
}

uint8_t ColourIndex(uint32_t rgb)
{
    const uint32_t r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    return uint8_t((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6));
}

Picture8 ToColourIndices(const Picture32& picture)
{
    Picture8 indices { picture.width, picture.height, std::vector<uint8_t>(picture.pixels.size()) };
    std::transform(picture.pixels.begin(), picture.pixels.end(), indices.pixels.begin(), ColourIndex);
    return indices;
}

std::vector<uint32_t> ColourTable()
{
    std::vector<uint32_t> table(256);
    for (uint32_t i = 0; i < 256; ++i)
        table[i] = Rgb(int((i >> 5) * 255 / 7), int(((i >> 2) & 7) * 255 / 7), int((i & 3) * 255 / 3));
    return table;
}

} // namespace zarn::bench
