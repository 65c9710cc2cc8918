#include <gtest/gtest.h>

#include "protocol/EncodingList.h"

namespace zarn {
namespace {

TEST(EncodingList, ExtensionsOffGiveTheClassicListAndEachExtensionTakesItsPlace)
{
    TEncodingChoice classicAll;
    classicAll.CopyRect = classicAll.RRE = classicAll.Hextile = true;
    // Levels without Tight are never announced: the classic bytes stay classic.
    TEncodingChoice levelsWithoutTight = classicAll;
    levelsWithoutTight.JpegQuality = 8;
    levelsWithoutTight.CompressLevel = 2;
    TEncodingChoice everything = levelsWithoutTight;
    everything.ZRLE = everything.Tight = everything.DesktopResize = true;
    TEncodingChoice outOfRangeLevels = everything;
    outOfRangeLevels.JpegQuality = 10;
    outOfRangeLevels.CompressLevel = -1;
    TEncodingChoice zrleAndResize;
    zrleAndResize.ZRLE = zrleAndResize.DesktopResize = true;

    const struct {
        const char* what;
        TEncodingChoice choice;
        std::vector<int32_t> want;
    } cases[] = {
        { "nothing chosen", {}, { 0 } },
        { "classic, all three", classicAll, { 5, 2, 1, 0 } },
        { "levels without Tight", levelsWithoutTight, { 5, 2, 1, 0 } },
        { "everything", everything, { 7, 16, 5, 2, 1, 0, -32 + 8, -256 + 2, -223, -308, -224 } },
        { "levels out of range", outOfRangeLevels, { 7, 16, 5, 2, 1, 0, -223, -308, -224 } },
        { "ZRLE and resizing", zrleAndResize, { 16, 0, -223, -308, -224 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodingList(c.choice), c.want) << c.what;
}

} // namespace
} // namespace zarn
