// What a cycle changed: the rectangles decoded, clipped to the framebuffer, and the whole
// framebuffer after a colour-map change or a pixel-mode switch; nothing after a quiet cycle.

#include "protocol/ChangedRegion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UpdateCycleTestHelpers.h"
#include "protocol/Decoders.h"

namespace zarn {
namespace {

using test::ReadySession;
using test::ByteWriter;

std::vector<TChangedRect> RectsOf(const TChangedRegion& region)
{
    return { region.Rects().begin(), region.Rects().end() };
}

struct CycleCase {
    std::string name;
    ByteWriter server;
    std::vector<TChangedRect> changed;
};

TEST(ChangedRegion, EachCycleReportsWhatItsMessagesWrote)
{
    const std::vector<CycleCase> cases {
        { "quiet cycle", ByteWriter {}, {} },
        { "one 16x16 Raw tile", ByteWriter {}.Update(1).Rect(32, 48, 16, 16, kEncodingRaw).Add(std::vector<uint8_t>(16 * 16 * 4)),
            { { 32, 48, 16, 16 } } },
        { "Raw past the right and bottom edges", ByteWriter {}.Update(1).Rect(60, 90, 8, 20, kEncodingRaw).Add(std::vector<uint8_t>(8 * 20 * 4)),
            { { 60, 90, 4, 10 } } },
        { "rectangle wholly outside", ByteWriter {}.Update(1).Rect(70, 0, 1, 1, kEncodingRaw).Px<uint32_t>(1), {} },
        { "CopyRect: the destination only", ByteWriter {}.Update(1).Rect(0, 0, 10, 5, kEncodingCopyRect).U16(20).U16(30),
            { { 0, 0, 10, 5 } } },
        { "RRE and Hextile, a later one inside an earlier",
            ByteWriter {}.Update(2).Rect(10, 10, 20, 20, kEncodingRRE).U32(0).Px<uint32_t>(7)
                .Rect(12, 12, 4, 4, kEncodingHextile).U8(kHextileBackgroundSpecified).Px<uint32_t>(3),
            { { 10, 10, 20, 20 } } },
        { "RRE subrectangle that spills out of its rectangle",
            ByteWriter {}.Update(1).Rect(0, 0, 4, 4, kEncodingRRE).U32(1).Px<uint32_t>(7).Px<uint32_t>(9)
                .U16(10).U16(10).U16(1).U16(1),
            { { 0, 0, 4, 4 }, { 10, 10, 1, 1 } } },
        { "Hextile subrectangle that spills out of its tile and rectangle, clipped",
            ByteWriter {}.Update(1).Rect(56, 0, 4, 4, kEncodingHextile)
                .U8(kHextileBackgroundSpecified | kHextileForegroundSpecified | kHextileAnySubrects)
                .Px<uint32_t>(3).Px<uint32_t>(5).U8(1).U8(0x62).U8(0x71),
            { { 56, 0, 4, 4 }, { 62, 2, 2, 2 } } },
        { "colour map, not used in true colour", ByteWriter {}.U8(1).U8(0).U16(0).U16(1).U16(0).U16(0).U16(0), {} },
        { "bell", ByteWriter {}.U8(2), {} },
    };
    for (const auto& c : cases) {
        ReadySession session(64, 100);
        session.proto->TakeChangedRegion(); // the allocation's own full change
        ASSERT_TRUE(session.Cycle(c.server)) << c.name;
        EXPECT_EQ(RectsOf(session.proto->TakeChangedRegion()), c.changed) << c.name;
        EXPECT_TRUE(session.proto->TakeChangedRegion().Empty()) << c.name << ": taking empties it";
    }
}

TEST(ChangedRegion, ANewFramebufferAPixelModeSwitchAndAColourMapIn256ColoursChangeEverything)
{
    ReadySession indexed(64, 100, false);
    indexed.proto->TakeChangedRegion();
    ASSERT_TRUE(indexed.Cycle(ByteWriter {}.U8(1).U8(0).U16(0).U16(1).U16(0).U16(0).U16(0)));
    EXPECT_EQ(RectsOf(indexed.proto->TakeChangedRegion()), (std::vector<TChangedRect> { { 0, 0, 64, 100 } }));

    ReadySession session(64, 100);
    EXPECT_EQ(RectsOf(session.proto->TakeChangedRegion()), (std::vector<TChangedRect> { { 0, 0, 64, 100 } }));
    session.proto->TrueColor = false;
    ASSERT_TRUE(session.proto->SendSetPixelFormat());
    EXPECT_EQ(RectsOf(session.proto->TakeChangedRegion()), (std::vector<TChangedRect> { { 0, 0, 64, 100 } }));
}

TEST(ChangedRegion, MoreRectanglesThanItHoldsBecomeTheirBoundsAndStillCoverAll)
{
    TChangedRegion region;
    std::vector<TChangedRect> added;
    for (int i = 0; i < int(TChangedRegion::kMaxRects) + 5; ++i) {
        added.push_back({ 3 * i, 2 * i, 2, 1 });
        region.Add(3 * i, 2 * i, 2, 1, 1000, 1000);
    }
    EXPECT_LE(region.Rects().size(), TChangedRegion::kMaxRects);
    for (const TChangedRect& a : added) {
        bool covered = false;
        for (const TChangedRect& r : region.Rects())
            covered |= a.x >= r.x && a.y >= r.y && a.x + a.width <= r.x + r.width && a.y + a.height <= r.y + r.height;
        EXPECT_TRUE(covered) << a.x << "," << a.y;
    }
}

} // namespace
} // namespace zarn
