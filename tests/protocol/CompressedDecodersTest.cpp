// ZRLE and Tight against a plain painter: each row encodes pictures with one sub-encoding (the
// benchmarks' encoders, zlib streams kept across rectangles as a server keeps them), decodes
// them through the update cycle in both pixel modes, and compares every framebuffer pixel with
// the pictures painted by hand. Each update holds a rectangle cut by the framebuffer's edges, one
// inside it and a tiny one, whose data is sent uncompressed in Tight.

#include <cmath>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "CompressedEncode.h"
#include "UpdateCycleTestHelpers.h"

namespace zarn {
namespace {

using bench::PixelBlock;
using bench::TightForm;
using bench::ZrleForm;
using test::ByteWriter;
using test::ReadySession;

constexpr int kFbWidth = 100, kFbHeight = 80, kBackground = 0x42;

enum class Content { Noise, Solid, Colours, Runs, Smooth };

struct Row {
    std::string name;
    int32_t encoding;
    ZrleForm zrle;
    TightForm tight;
    Content content;
    int colours = 0;
};

uint32_t Colour(int k, bool trueColour)
{
    const uint32_t c = uint32_t(k) * 0x3B5F27u + 0x101010u;
    return trueColour ? (c & 0xFFFFFF) : ((uint32_t(k) * 37u + 5u) & 0xFF);
}

uint32_t Sample(const Row& row, int i, int j, bool trueColour)
{
    switch (row.content) {
    case Content::Noise:
        return Colour(int((uint32_t(i) * 2654435761u ^ uint32_t(j) * 40503u) >> 7 & 0xFFFF), trueColour);
    case Content::Solid:
        return Colour(i / 64 + 3 * (j / 64), trueColour);
    case Content::Colours:
        return Colour((i * 7 / 5 + j * 3) % row.colours, trueColour);
    case Content::Runs: // bands longer than a run byte can say, and short runs
        return Colour((j / 20 + (i >= 40 ? 1 : 0) + (i % 13 == 0 ? 2 : 0)) % 3, trueColour);
    case Content::Smooth:
        return trueColour ? uint32_t((i * 3 + j) & 255) << 16 | uint32_t((i + 2 * j) & 255) << 8 | uint32_t((255 - i) & 255)
                          : uint32_t((i + j) & 255);
    }
    return 0;
}

struct Placement {
    int x, y, w, h;
};
// Cut by the right and bottom edges; inside; tiny.
constexpr Placement kPlacements[] = { { 50, 30, 70, 70 }, { 0, 0, 45, 29 }, { 3, 75, 2, 1 } };

template <typename Pixel> class CompressedDecoders : public ::testing::Test {
protected:
    static constexpr bool kTrueColour = sizeof(Pixel) == 4;

    // Plays `updates` updates of the row through one session and checks the framebuffer
    // against the hand-painted pictures after each.
    void Check(const Row& row, int updates)
    {
        ReadySession session(kFbWidth, kFbHeight, kTrueColour);
        session.FillAll(kBackground);
        bench::ZrleEncoder zrle;
        bench::TightEncoder tight;
        std::vector<uint32_t> expected(size_t(kFbWidth) * kFbHeight, kBackground);
        const int stream = int(row.name.size() % 4);
        for (int update = 0; update < updates; ++update) {
            ByteWriter server;
            server.Update(uint16_t(std::size(kPlacements)));
            for (size_t r = 0; r < std::size(kPlacements); ++r) {
                const Placement& p = kPlacements[r];
                std::vector<Pixel> block(size_t(p.w) * size_t(p.h));
                for (int j = 0; j < p.h; ++j)
                    for (int i = 0; i < p.w; ++i) {
                        const uint32_t value = Sample(row, i + update, j, kTrueColour);
                        block[size_t(j) * size_t(p.w) + size_t(i)] = Pixel(value);
                        if (p.x + i < kFbWidth && p.y + j < kFbHeight)
                            expected[size_t(p.y + j) * kFbWidth + size_t(p.x + i)] = value;
                    }
                const PixelBlock<Pixel> pixels { block.data(), p.w, p.w, p.h };
                // From the second update on, the first rectangle restarts the stream.
                const uint8_t reset = update > 0 && r == 0 ? uint8_t(1u << stream) : 0;
                server.Rect(uint16_t(p.x), uint16_t(p.y), uint16_t(p.w), uint16_t(p.h), row.encoding)
                    .Add(row.encoding == kEncodingZRLE ? zrle.Encode(pixels, row.zrle)
                                                       : tight.Encode(pixels, row.tight, stream, reset));
            }
            ASSERT_TRUE(session.Cycle(server)) << row.name << ": " << session.proto->CycleError;
            EXPECT_EQ(session.wire->Remaining(), 0u) << row.name;
            for (int y = 0; y < kFbHeight; ++y)
                for (int x = 0; x < kFbWidth; ++x)
                    ASSERT_EQ(session.At(x, y), expected[size_t(y) * kFbWidth + size_t(x)])
                        << row.name << ", update " << update << ", at " << x << "," << y;
        }
    }
};
using PixelTypes = ::testing::Types<uint32_t, uint8_t>;
TYPED_TEST_SUITE(CompressedDecoders, PixelTypes);

TYPED_TEST(CompressedDecoders, EverySubEncodingPaintsWhatThePlainPainterPaints)
{
    const int32_t z = kEncodingZRLE, t = kEncodingTight;
    const TightForm copy = TightForm::Copy;
    const ZrleForm raw = ZrleForm::Raw;
    const std::vector<Row> rows {
        { "ZRLE raw", z, raw, copy, Content::Noise },
        { "ZRLE solid", z, ZrleForm::Solid, copy, Content::Solid },
        { "ZRLE packed, 2 colours (1 bit)", z, ZrleForm::Packed, copy, Content::Colours, 2 },
        { "ZRLE packed, 3 colours (2 bits)", z, ZrleForm::Packed, copy, Content::Colours, 3 },
        { "ZRLE packed, 5 colours (4 bits)", z, ZrleForm::Packed, copy, Content::Colours, 5 },
        { "ZRLE packed, 16 colours", z, ZrleForm::Packed, copy, Content::Colours, 16 },
        { "ZRLE plain runs", z, ZrleForm::PlainRle, copy, Content::Runs },
        { "ZRLE palette runs, 3 colours", z, ZrleForm::PaletteRle, copy, Content::Runs },
        { "ZRLE palette runs, 90 colours", z, ZrleForm::PaletteRle, copy, Content::Colours, 90 },
        { "ZRLE shortest form per tile", z, ZrleForm::Best, copy, Content::Runs },
        { "Tight fill", t, raw, TightForm::Fill, Content::Colours, 1 },
        { "Tight copy", t, raw, copy, Content::Noise },
        { "Tight palette, 2 colours (1 bit)", t, raw, TightForm::Palette, Content::Colours, 2 },
        { "Tight palette, 7 colours", t, raw, TightForm::Palette, Content::Colours, 7 },
        { "Tight palette, 200 colours", t, raw, TightForm::Palette, Content::Colours, 200 },
        { "Tight gradient", t, raw, TightForm::Gradient, Content::Smooth },
        { "Tight gradient over noise", t, raw, TightForm::Gradient, Content::Noise },
    };
    for (const Row& row : rows)
        this->Check(row, 2);
}

TEST(CompressedDecoders, TightJpegLandsInTheFramebufferLayoutWithinASmallError)
{
    ReadySession session(kFbWidth, kFbHeight);
    bench::TightEncoder tight;
    const Row smooth { "smooth", kEncodingTight, ZrleForm::Raw, TightForm::Jpeg, Content::Smooth };
    ByteWriter server;
    server.Update(2);
    std::vector<uint32_t> expected(size_t(kFbWidth) * kFbHeight, 0);
    for (const Placement& p : { kPlacements[0], kPlacements[1] }) {
        std::vector<uint32_t> block(size_t(p.w) * size_t(p.h));
        for (int j = 0; j < p.h; ++j)
            for (int i = 0; i < p.w; ++i) {
                block[size_t(j) * size_t(p.w) + size_t(i)] = Sample(smooth, i, j, true);
                if (p.x + i < kFbWidth && p.y + j < kFbHeight)
                    expected[size_t(p.y + j) * kFbWidth + size_t(p.x + i)] = Sample(smooth, i, j, true);
            }
        server.Rect(uint16_t(p.x), uint16_t(p.y), uint16_t(p.w), uint16_t(p.h), kEncodingTight)
            .Add(tight.Encode(PixelBlock<uint32_t> { block.data(), p.w, p.w, p.h }, TightForm::Jpeg, 0, 0, 95));
    }
    ASSERT_TRUE(session.Cycle(server)) << session.proto->CycleError;
    double error = 0;
    for (int y = 0; y < kFbHeight; ++y)
        for (int x = 0; x < kFbWidth; ++x)
            for (int shift : { 0, 8, 16 })
                error += std::abs(int(session.At(x, y) >> shift & 255) - int(expected[size_t(y) * kFbWidth + size_t(x)] >> shift & 255));
    EXPECT_LT(error / (kFbWidth * kFbHeight * 3), 3.0);
}

} // namespace
} // namespace zarn
