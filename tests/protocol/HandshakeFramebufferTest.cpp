// The framebuffer that set-up allocates, as the screenshot command saves it.

#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/Bmp.h"
#include "protocol/VNCProto.h"
#include "support/TempDir.h"

namespace zarn::test {
namespace {

void Allocate(TVNCProto& proto, int width, int height, bool trueColour)
{
    proto.AdoptSession(width, height, trueColour);
}

std::array<uint8_t, 3> RgbAt(const RgbImage& image, int x, int y)
{
    const uint8_t* p = image.Row(y) + x * 3;
    return { p[0], p[1], p[2] };
}

TEST(SaveFramebufferBitmap, WritesTheWholeTrueColourPictureUpright)
{
    TVNCProto proto;
    Allocate(proto, 3, 2, true);
    proto.Pixels32 = { 0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x000000 };
    TempDir dir;
    const auto file = dir.File("shot.bmp").string();
    ASSERT_TRUE(proto.SaveFramebufferBitmap(file));

    std::string error;
    const auto image = ReadBmp(file, &error);
    ASSERT_TRUE(image) << error;
    ASSERT_EQ(image->width, 3);
    ASSERT_EQ(image->height, 2);
    using Rgb = std::array<uint8_t, 3>;
    EXPECT_EQ(RgbAt(*image, 0, 0), (Rgb { 0xFF, 0, 0 })); // row 0 is the top row
    EXPECT_EQ(RgbAt(*image, 1, 0), (Rgb { 0, 0xFF, 0 }));
    EXPECT_EQ(RgbAt(*image, 2, 0), (Rgb { 0, 0, 0xFF }));
    EXPECT_EQ(RgbAt(*image, 0, 1), (Rgb { 0x12, 0x34, 0x56 }));
    EXPECT_EQ(RgbAt(*image, 1, 1), (Rgb { 0xFF, 0xFF, 0xFF }));
    EXPECT_EQ(RgbAt(*image, 2, 1), (Rgb { 0, 0, 0 }));
}

TEST(SaveFramebufferBitmap, IndexedPictureGoesThroughTheColourTable)
{
    TVNCProto proto;
    Allocate(proto, 2, 2, false);
    proto.BitmapInfo.bmiColors[7] = { 0x30, 0x20, 0x10, 0 }; // blue, green, red
    proto.BitmapInfo.bmiColors[255] = { 0xFF, 0x80, 0x00, 0 };
    proto.Pixels8 = { 7, 255, 0, 7 };
    TempDir dir;
    const auto file = dir.File("indexed.bmp").string();
    ASSERT_TRUE(proto.SaveFramebufferBitmap(file));
    const auto image = ReadBmp(file);
    ASSERT_TRUE(image);
    using Rgb = std::array<uint8_t, 3>;
    EXPECT_EQ(RgbAt(*image, 0, 0), (Rgb { 0x10, 0x20, 0x30 }));
    EXPECT_EQ(RgbAt(*image, 1, 0), (Rgb { 0x00, 0x80, 0xFF }));
    EXPECT_EQ(RgbAt(*image, 0, 1), (Rgb { 0, 0, 0 })); // entry 0 untouched: black
    EXPECT_EQ(RgbAt(*image, 1, 1), (Rgb { 0x10, 0x20, 0x30 }));
}

TEST(SaveFramebufferBitmap, FailsWithoutAPictureOrAWritablePlace)
{
    TVNCProto never;
    TempDir dir;
    EXPECT_FALSE(never.SaveFramebufferBitmap(dir.File("none.bmp").string()));
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.bmp")));

    TVNCProto proto;
    Allocate(proto, 4, 4, true);
    EXPECT_FALSE(proto.SaveFramebufferBitmap((dir.Path() / "missing-dir" / "x.bmp").string()));
}

} // namespace
} // namespace zarn::test
