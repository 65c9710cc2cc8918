#include "imaging/JpegWriter.h"

#include "ImagingTestSupport.h"

#include <csetjmp>
#include <cstdio>
#include <gtest/gtest.h>

#include <jpeglib.h>

namespace zarn {
namespace {

using namespace imagingtest;

struct DecodeTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<DecodeTrap*>(info->err)->jump, 1);
}

// Decodes with libjpeg itself, independently of the writer; false when libjpeg refuses.
bool Decode(const std::vector<uint8_t>& data, RgbImage& image)
{
    jpeg_decompress_struct info;
    DecodeTrap trap;
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = JumpBack;
    if (setjmp(trap.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image.width = int(info.output_width);
    image.height = int(info.output_height);
    image.pixels.resize(size_t(image.width) * size_t(image.height) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.Row(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool HasMarker(const std::vector<uint8_t>& data, uint8_t marker)
{
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == 0xFF && data[i + 1] == marker)
            return true;
    return false;
}

// Flat 16 x 16 blocks of strong colours: JPEG keeps the inside of such blocks close.
Rgb Blocks(int x, int y)
{
    static const Rgb kColours[] = { { 230, 20, 20 }, { 20, 200, 40 }, { 30, 40, 220 }, { 250, 250, 250 },
        { 10, 10, 10 }, { 240, 200, 0 } };
    return kColours[(x / 16 + 2 * (y / 16)) % 6];
}

TEST(WriteJpeg, IsABaselineFileOfTheSourceSizeAndColours)
{
    ScratchFolder folder;
    const TestPicture trueColour = TrueColourPicture(97, 65, Blocks); // partial blocks at the edges
    const TestPicture indexed = IndexedPicture(
        64, 48, [](int x, int y) { return uint8_t((x / 16 + 2 * (y / 16)) % 6); },
        [](int i) { return Blocks(16 * (i % 2), 16 * (i / 2)); });
    for (const TestPicture* picture : { &trueColour, &indexed }) {
        std::string error;
        ASSERT_TRUE(WriteJpeg(folder.File("shot.jpg"), picture->view, 85, &error)) << error;
        const auto bytes = ReadAll(folder.File("shot.jpg"));
        EXPECT_TRUE(HasMarker(bytes, 0xC0)) << "baseline frame header";
        EXPECT_FALSE(HasMarker(bytes, 0xC2)) << "progressive frame header";
        RgbImage decoded;
        ASSERT_TRUE(Decode(bytes, decoded));
        ASSERT_EQ(decoded.width, picture->view.width);
        ASSERT_EQ(decoded.height, picture->view.height);
        for (int y = 8; y < decoded.height; y += 16) {
            for (int x = 8; x < decoded.width; x += 16) {
                const Rgb got = RgbAt(decoded, x, y), want = picture->At(x, y);
                EXPECT_NEAR(got.r, want.r, 12) << x << "," << y;
                EXPECT_NEAR(got.g, want.g, 12) << x << "," << y;
                EXPECT_NEAR(got.b, want.b, 12) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string> { "shot.jpg" });
}

TEST(WriteJpeg, QualityTradesSizeForFidelity)
{
    ScratchFolder folder;
    const TestPicture noisy = TrueColourPicture(128, 128, Distinctive);
    ASSERT_TRUE(WriteJpeg(folder.File("low.jpg"), noisy.view, 10));
    ASSERT_TRUE(WriteJpeg(folder.File("high.jpg"), noisy.view, 95));
    ASSERT_TRUE(WriteJpeg(folder.File("clamped.jpg"), noisy.view, 1000));
    EXPECT_LT(ReadAll(folder.File("low.jpg")).size(), ReadAll(folder.File("high.jpg")).size() / 2);
    RgbImage decoded;
    EXPECT_TRUE(Decode(ReadAll(folder.File("clamped.jpg")), decoded));
}

TEST(WriteJpeg, ReportsLibjpegRefusalsInsteadOfExiting)
{
    ScratchFolder folder;
    // Wider than any JPEG may be; libjpeg's own handler would end the process here.
    std::vector<uint8_t> row(size_t(70000) * 4, 0);
    const ImageView tooWide { row.data(), 70000, 1, row.size(), false, nullptr };
    std::string error;
    EXPECT_FALSE(WriteJpeg(folder.File("wide.jpg"), tooWide, 85, &error));
    EXPECT_NE(error.find("wide.jpg"), std::string::npos) << error;
    EXPECT_TRUE(folder.Names().empty());
}

} // namespace
} // namespace zarn
