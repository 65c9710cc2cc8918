#include <gtest/gtest.h>

#include <vector>

#include "protocol/PixelOps.h"

namespace zarn {
namespace {

constexpr int kW = 8;
constexpr int kH = 6;

struct Placement {
    int x, y, w, h;
};

bool Inside(const Placement& p, int x, int y)
{
    return x >= p.x && x < p.x + p.w && y >= p.y && y < p.y + p.h;
}

TEST(PixelOps, PutAndFillStoreOnlyThePartInsideTheFramebuffer)
{
    // Inside, past every edge and corner, wholly outside, empty.
    const Placement placements[] = { { 2, 1, 3, 2 }, { -2, -1, 4, 3 }, { 6, 4, 5, 5 }, { -3, 2, 4, 2 },
        { 2, -3, 2, 5 }, { -1, -1, 10, 8 }, { 0, 65535, 2, 2 }, { -100, -100, 4, 4 }, { 0, 0, 0, 3 } };
    for (const Placement& p : placements) {
        std::vector<uint32_t> put(kW * kH, 0xDEAD), fill(kW * kH, 0xDEAD);
        std::vector<uint8_t> block;
        for (int i = 0; i < p.w * p.h; ++i)
            block.insert(block.end(), { uint8_t(i), 0x20, 0x30, 0 });
        PutPixels32({ put.data(), kW, kH }, p.x, p.y, p.w, p.h, block.data());
        FillPixels32({ fill.data(), kW, kH }, p.x, p.y, p.w, p.h, 7);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const bool in = Inside(p, x, y);
                ASSERT_EQ(put[y * kW + x], in ? 0x302000u + uint32_t((y - p.y) * p.w + x - p.x) : 0xDEAD)
                    << p.x << "," << p.y << " at " << x << "," << y;
                ASSERT_EQ(fill[y * kW + x], in ? 7u : 0xDEAD) << p.x << "," << p.y << " at " << x << "," << y;
            }
    }
}

TEST(PixelOps, CopyOfOverlappingRegionsActsAsIfThroughATemporaryBlock)
{
    struct Case {
        Placement to;
        int sx, sy;
    };
    const Case cases[] = { { { 1, 2, 5, 3 }, 1, 1 } /* down */, { { 1, 1, 5, 3 }, 1, 2 } /* up */,
        { { 2, 1, 5, 3 }, 1, 1 } /* right */, { { 1, 1, 5, 3 }, 2, 1 } /* left */,
        { { 2, 2, 5, 4 }, 1, 1 } /* down right */, { { 0, 0, 6, 5 }, 2, 1 } /* up left */,
        { { -2, 3, 6, 5 }, 3, -1 } /* both ends partly outside */, { { 5, 4, 8, 8 }, 0, 0 },
        { { 0, 0, 3, 3 }, 65535, 0 } /* source wholly outside */ };
    for (const Case& c : cases) {
        std::vector<uint32_t> fb(kW * kH);
        for (size_t i = 0; i < fb.size(); ++i)
            fb[i] = uint32_t(i) * 0x010101u;
        // Element by element from an untouched copy: what the in-place copy must equal.
        std::vector<uint32_t> want = fb;
        auto in = [](int x, int y) { return x >= 0 && x < kW && y >= 0 && y < kH; };
        for (int i = 0; i < c.to.h; ++i)
            for (int j = 0; j < c.to.w; ++j)
                if (in(c.to.x + j, c.to.y + i) && in(c.sx + j, c.sy + i))
                    want[(c.to.y + i) * kW + c.to.x + j] = fb[(c.sy + i) * kW + c.sx + j];
        CopyPixels32({ fb.data(), kW, kH }, c.to.x, c.to.y, c.to.w, c.to.h, c.sx, c.sy);
        EXPECT_EQ(fb, want) << "to " << c.to.x << "," << c.to.y << " from " << c.sx << "," << c.sy;
    }
}

} // namespace
} // namespace zarn
