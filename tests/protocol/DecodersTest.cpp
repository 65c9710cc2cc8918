#include <random>

#include <gtest/gtest.h>

#include "UpdateCycleTestHelpers.h"
#include "protocol/Decoders.h"

namespace zarn {
namespace {

using test::ReadySession;
using test::ByteWriter;

// Every decoder test runs in both pixel modes.
template <typename Pixel> class Decoders : public ::testing::Test {
protected:
    ReadySession session { 96, 24, sizeof(Pixel) == 4 };
    ByteWriter s;

    ByteWriter& Px(uint32_t v) { return s.template Px<Pixel>(v); }
    void ExpectArea(int x, int y, int w, int h, uint32_t value)
    {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i)
                ASSERT_EQ(session.At(i, j), value) << "at " << i << "," << j;
    }
};
using PixelTypes = ::testing::Types<uint32_t, uint8_t>;
TYPED_TEST_SUITE(Decoders, PixelTypes);

struct Placed {
    int x, y, w, h;
    uint32_t colour;
};

TYPED_TEST(Decoders, HextileReadsTheTilesOfA17x17RectangleRowByRowFromTheLeft)
{
    // Four raw tiles of a colour each; the byte counts only line up in this order.
    const Placed tiles[]
        = { { 2, 1, 16, 16, 1 }, { 18, 1, 1, 16, 2 }, { 2, 17, 16, 1, 3 }, { 18, 17, 1, 1, 4 } };
    this->s.Update(1).Rect(2, 1, 17, 17, kEncodingHextile);
    for (const Placed& t : tiles) {
        this->s.U8(kHextileRaw);
        for (int i = 0; i < t.w * t.h; ++i)
            this->Px(t.colour);
    }
    ASSERT_TRUE(this->session.Cycle(this->s));
    for (const Placed& t : tiles)
        this->ExpectArea(t.x, t.y, t.w, t.h, t.colour);
    EXPECT_EQ(this->session.wire->Remaining(), 0u);
}

TYPED_TEST(Decoders, HextileColoursCarryAcrossTilesAndRawTiles)
{
    this->session.FillAll(9);
    this->s.Update(2).Rect(0, 0, 80, 16, kEncodingHextile);
    // 1: background 5, foreground 6, a 2x1 subrectangle at (1, 1).
    this->s.U8(kHextileBackgroundSpecified | kHextileForegroundSpecified | kHextileAnySubrects);
    this->Px(5);
    this->Px(6).U8(1).U8(0x11).U8(0x10);
    // 2: a coloured subrectangle (7), which must not become the foreground.
    this->s.U8(kHextileAnySubrects | kHextileSubrectsColoured).U8(1);
    this->Px(7).U8(0x00).U8(0x00);
    // 3: raw, all 8. 4: nothing given: the background from before the raw tile.
    this->s.U8(kHextileRaw);
    for (int i = 0; i < 256; ++i)
        this->Px(8);
    this->s.U8(0);
    // 5: a subrectangle at (15, 15) in the foreground of tile 1.
    this->s.U8(kHextileAnySubrects).U8(1).U8(0xFF).U8(0x00);
    // A new rectangle starts again from background 0.
    this->s.Rect(0, 16, 2, 2, kEncodingHextile).U8(0);
    ASSERT_TRUE(this->session.Cycle(this->s));

    const uint32_t want[][3] = { { 0, 0, 5 }, { 1, 1, 6 }, { 2, 1, 6 }, { 3, 1, 5 }, { 16, 0, 7 },
        { 17, 0, 5 }, { 40, 3, 8 }, { 50, 9, 5 }, { 79, 15, 6 }, { 78, 15, 5 }, { 1, 17, 0 }, { 2, 17, 9 } };
    for (const auto& w : want)
        EXPECT_EQ(this->session.At(int(w[0]), int(w[1])), w[2]) << w[0] << "," << w[1];
}

// Tiles are parsed in place while the receive buffer holds them whole and read piece by piece
// where its edge cuts through one: wherever that edge falls, picture and counters agree.
TYPED_TEST(Decoders, HextileEndsTheSameWhereverTheReceiveBufferEnds)
{
    this->s.Update(1).Rect(3, 2, 40, 20, kEncodingHextile); // 3 x 2 tiles, the last ones partial
    this->s.U8(kHextileBackgroundSpecified | kHextileForegroundSpecified | kHextileAnySubrects);
    this->Px(5);
    this->Px(6).U8(2).U8(0x11).U8(0x10).U8(0xF0).U8(0x0F);
    this->s.U8(kHextileAnySubrects | kHextileSubrectsColoured).U8(1);
    this->Px(7).U8(0x23).U8(0x31);
    this->s.U8(kHextileRaw);
    for (int i = 0; i < 8 * 16; ++i)
        this->Px(uint32_t(i));
    this->s.U8(0);
    this->s.U8(kHextileAnySubrects).U8(1).U8(0x00).U8(0x33);
    this->s.U8(kHextileBackgroundSpecified);
    this->Px(9);

    auto decode = [&](size_t window) {
        ReadySession session { 96, 24, sizeof(TypeParam) == 4 };
        session.wire->SetBufferWindow(window);
        EXPECT_TRUE(session.Cycle(this->s)) << "window " << window;
        EXPECT_EQ(session.wire->Remaining(), 0u) << "window " << window;
        std::vector<uint32_t> seen;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 96; ++x)
                seen.push_back(session.At(x, y));
        seen.push_back(uint32_t(session.proto->BytesReceived));
        return seen;
    };
    const auto pieceByPiece = decode(0);
    for (size_t window = 1; window <= this->s.bytes().size() + 1; ++window)
        ASSERT_EQ(decode(window), pieceByPiece) << "window " << window;
}

// Random Hextile tiles, most of them text on a plain ground (which has a path of its own), the
// rest with coloured subrectangles, and random RRE rectangles, against a painter that follows the rules: the
// ground, then every subrectangle in order, clipped only to the framebuffer. Now and then a
// subrectangle reaches out of its tile or rectangle.
TYPED_TEST(Decoders, SubrectanglesPaintWhatAPlainPainterPaints)
{
    constexpr int kWidth = 96, kHeight = 24;
    std::mt19937 random(7);
    auto below = [&](int n) { return int(random() % uint32_t(n)); };
    std::vector<uint32_t> want(kWidth * kHeight, 0); // the session's framebuffer starts black
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        auto fill = [&](int x, int y, int w, int h, uint32_t colour) {
            for (int j = std::max(y, 0); j < std::min(y + h, kHeight); ++j)
                for (int i = std::max(x, 0); i < std::min(x + w, kWidth); ++i)
                    want[size_t(j) * kWidth + size_t(i)] = colour;
        };
        this->s = ByteWriter();
        ByteWriter& s = this->s;
        s.Update(2).Rect(16, 0, 48, 20, kEncodingHextile); // full tiles over half-height ones
        for (int tileY = 0; tileY < 20; tileY += 16) {
            const int tileHeight = std::min(16, 20 - tileY);
            for (int tileX = 16; tileX < 64; tileX += 16) {
                const uint32_t ground = 1 + uint32_t(below(100)), ink = 101 + uint32_t(below(100));
                const bool coloured = below(3) == 0; // else two colours, the text case
                const int count = 1 + below(20);
                s.U8(kHextileBackgroundSpecified | kHextileForegroundSpecified | kHextileAnySubrects
                    | (coloured ? kHextileSubrectsColoured : 0));
                this->Px(ground);
                this->Px(ink).U8(uint8_t(count));
                fill(tileX, tileY, 16, tileHeight, ground);
                const int strayAt = below(8) == 0 ? below(count) : -1;
                for (int k = 0; k < count; ++k) {
                    const int x = below(16), y = below(tileHeight);
                    const int w = k == strayAt ? 1 + below(16) : 1 + below(16 - x);
                    const int h = k == strayAt ? 1 + below(16) : 1 + below(tileHeight - y);
                    const uint32_t colour = coloured ? 201 + uint32_t(below(50)) : ink;
                    if (coloured)
                        this->Px(colour);
                    s.U8(uint8_t(x << 4 | y)).U8(uint8_t((w - 1) << 4 | (h - 1)));
                    fill(tileX + x, tileY + y, w, h, colour);
                }
            }
        }
        // Half of them touch the framebuffer's right edge, where a stray subrectangle must not wrap.
        const int w = 1 + below(40), h = 1 + below(12);
        const int x = below(2) ? kWidth - w : below(kWidth - w), y = below(kHeight - h);
        const uint32_t count = 2 + uint32_t(below(10));
        s.Rect(x, y, w, h, kEncodingRRE).U32(count);
        this->Px(201);
        fill(x, y, w, h, 201);
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t colour = 202 + k;
            const int sx = below(w + 4), sy = below(h + 4), sw = 1 + below(w), sh = 1 + below(h);
            this->Px(colour).U16(uint16_t(sx)).U16(uint16_t(sy)).U16(uint16_t(sw)).U16(uint16_t(sh));
            fill(x + sx, y + sy, sw, sh, colour);
        }
        ASSERT_TRUE(this->session.Cycle(s));
        for (int j = 0; j < kHeight; ++j)
            for (int i = 0; i < kWidth; ++i)
                ASSERT_EQ(this->session.At(i, j), want[size_t(j) * kWidth + size_t(i)]) << "at " << i << "," << j;
    }
}

TYPED_TEST(Decoders, RreFillsItsBackgroundThenSubrectanglesRelativeToTheRectangle)
{
    this->s.Update(2).Rect(0, 0, 4, 4, kEncodingRRE).U32(0); // no subrectangles: background only
    this->Px(3).Rect(10, 2, 6, 5, kEncodingRRE).U32(1);
    this->Px(4); // background
    this->Px(8).U16(1).U16(2).U16(3).U16(2); // 3x2 at (1, 2)
    ASSERT_TRUE(this->session.Cycle(this->s));
    this->ExpectArea(0, 0, 4, 4, 3);
    EXPECT_EQ(this->session.At(4, 0), 0u);
    EXPECT_EQ(this->session.At(10, 2), 4u);
    this->ExpectArea(11, 4, 3, 2, 8);
    EXPECT_EQ(this->session.At(14, 4), 4u);
}

TEST(DecodersTrueColour, RawPixelBytesAreBlueGreenRedUnused)
{
    ReadySession session(2, 1);
    ASSERT_TRUE(
        session.Cycle(ByteWriter().Update(1).Rect(1, 0, 1, 1, kEncodingRaw).Add({ 0x10, 0x20, 0x30, 0x00 })));
    const uint8_t* pixel = session.proto->CurrentImage().bits + 4;
    EXPECT_EQ(pixel[0], 0x10); // blue
    EXPECT_EQ(pixel[1], 0x20); // green
    EXPECT_EQ(pixel[2], 0x30); // red
}

} // namespace
} // namespace zarn
