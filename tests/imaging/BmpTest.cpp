#include "imaging/Bmp.h"

#include "ImagingTestSupport.h"

#include <bit>
#include <functional>
#include <gtest/gtest.h>

namespace zarn {
namespace {

using namespace imagingtest;

uint32_t GetLE(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void PutLE(std::vector<uint8_t>& b, size_t at, uint32_t value, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i)
        b[at + i] = uint8_t(value >> (8 * i));
}

struct WriteCase {
    int width;
    int height;
    bool indexed;
};

class BmpWrite : public ::testing::TestWithParam<WriteCase> { };

// Checked on the raw bytes as other programs see them (headers, zeroed row padding, bottom
// row stored first), then through our reader.
TEST_P(BmpWrite, WritesAStandardUprightFileThatReadsBack)
{
    const auto& c = GetParam();
    const TestPicture picture = c.indexed ? IndexedPicture(
                                    c.width, c.height, [](int x, int y) { return uint8_t(x * 7 + y * 13); },
                                    [](int i) {
                                        return Rgb { uint8_t(i), uint8_t(255 - i), uint8_t(i * 3) };
                                    })
                                          : TrueColourPicture(c.width, c.height, Distinctive);
    ScratchFolder folder;
    std::string error;
    ASSERT_TRUE(WriteBmp(folder.File("shot.bmp"), picture.view, &error)) << error;
    const auto bytes = ReadAll(folder.File("shot.bmp"));
    const size_t rowSize = (size_t(c.width) * 3 + 3) / 4 * 4;

    ASSERT_EQ(bytes.size(), 54 + rowSize * c.height);
    EXPECT_EQ(GetLE(bytes, 0) & 0xFFFF, 'B' | 'M' << 8);
    EXPECT_EQ(GetLE(bytes, 2), bytes.size());
    EXPECT_EQ(GetLE(bytes, 10), 54u);
    EXPECT_EQ(GetLE(bytes, 14), 40u);
    EXPECT_EQ(GetLE(bytes, 18), uint32_t(c.width));
    EXPECT_EQ(GetLE(bytes, 22), uint32_t(c.height)); // positive: bottom-up
    EXPECT_EQ(GetLE(bytes, 26), 1u | 24u << 16); // one plane, 24 bits
    EXPECT_EQ(GetLE(bytes, 30), 0u); // uncompressed
    for (int stored = 0; stored < c.height; ++stored) {
        const uint8_t* row = &bytes[54 + stored * rowSize];
        for (int x = 0; x < c.width; ++x)
            ASSERT_EQ(
                (Rgb { row[3 * x + 2], row[3 * x + 1], row[3 * x] }), picture.At(x, c.height - 1 - stored));
        for (size_t pad = size_t(c.width) * 3; pad < rowSize; ++pad)
            EXPECT_EQ(row[pad], 0) << "padding of stored row " << stored;
    }

    const auto read = ReadBmp(folder.File("shot.bmp"), &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->pixels, ToRgb(picture.view).pixels);
    EXPECT_EQ(folder.Names(), std::vector<std::string> { "shot.bmp" });
}

// Widths 1 to 5 cover every amount of row padding.
INSTANTIATE_TEST_SUITE_P(Sizes, BmpWrite,
    ::testing::Values(WriteCase { 1, 1, false }, WriteCase { 2, 3, false }, WriteCase { 3, 2, false },
        WriteCase { 4, 5, false }, WriteCase { 5, 4, false }, WriteCase { 33, 17, false },
        WriteCase { 1, 2, true }, WriteCase { 2, 1, true }, WriteCase { 3, 3, true },
        WriteCase { 5, 7, true }));

// The 3 x 2 picture that every variant of other programs' files below encodes.
const Rgb kSample[2][3] = {
    { { 255, 0, 0 }, { 0, 255, 0 }, { 0, 0, 255 } },
    { { 10, 20, 30 }, { 200, 100, 50 }, { 255, 255, 255 } },
};

struct Variant {
    const char* name;
    uint16_t bitsPerPixel;
    bool topDown;
    uint32_t infoSize;
    std::array<uint32_t, 3> masks; // red, green, blue; all zero: uncompressed
};

uint32_t PackChannel(uint32_t value8, uint32_t mask)
{
    const int bits = std::popcount(mask);
    const uint32_t value = bits >= 8 ? value8 << (bits - 8) | ((1u << (bits - 8)) - 1) : value8 >> (8 - bits);
    return value << std::countr_zero(mask);
}

std::vector<uint8_t> Encode(const Variant& v)
{
    const bool bitfields = v.masks[0] != 0;
    const size_t paletteSize = v.bitsPerPixel == 8 ? 6 * 4 : 0; // entry i is sample pixel i
    const size_t offset = 14 + v.infoSize + (bitfields && v.infoSize == 40 ? 12 : 0) + paletteSize;
    const size_t rowSize = (size_t(3) * v.bitsPerPixel + 31) / 32 * 4;
    std::vector<uint8_t> file(offset + rowSize * 2, 0);
    PutLE(file, 0, 'B' | 'M' << 8, 2);
    PutLE(file, 2, uint32_t(file.size()));
    PutLE(file, 10, uint32_t(offset));
    PutLE(file, 14, v.infoSize);
    PutLE(file, 18, 3);
    PutLE(file, 22, uint32_t(v.topDown ? -2 : 2));
    PutLE(file, 26, 1 | v.bitsPerPixel << 16);
    PutLE(file, 30, bitfields ? 3 : 0);
    PutLE(file, 46, paletteSize / 4); // colours used
    for (int i = 0; bitfields && i < 3; ++i)
        PutLE(file, 54 + 4 * i, v.masks[i]);

    const auto masks = bitfields ? v.masks : std::array<uint32_t, 3> { 0xFF0000, 0xFF00, 0xFF };
    for (int y = 0; y < 2; ++y) {
        const size_t row = offset + size_t(v.topDown ? y : 1 - y) * rowSize;
        for (int x = 0; x < 3; ++x) {
            const Rgb c = kSample[y][x];
            const uint32_t bgr = uint32_t(c.b) | uint32_t(c.g) << 8 | uint32_t(c.r) << 16;
            if (v.bitsPerPixel == 8) {
                file[row + x] = uint8_t(3 * y + x);
                PutLE(file, offset - paletteSize + 4 * (3 * y + x), bgr);
            } else if (v.bitsPerPixel == 24) {
                PutLE(file, row + 3 * x, bgr, 3);
            } else {
                PutLE(file, row + 4 * x,
                    PackChannel(c.r, masks[0]) | PackChannel(c.g, masks[1]) | PackChannel(c.b, masks[2]));
            }
        }
    }
    return file;
}

const Variant kVariants[] = {
    { "Palette8BottomUp", 8, false, 40, {} },
    { "Palette8TopDown", 8, true, 40, {} },
    { "Rgb24BottomUp", 24, false, 40, {} },
    { "Rgb24TopDown", 24, true, 40, {} },
    { "Rgb32V5Header", 32, false, 124, {} },
    { "Bitfields32ReorderedV5", 32, true, 124, { 0x0000FF00, 0x00FF0000, 0xFF000000 } },
    { "Bitfields32TenBitAfterHeader", 32, false, 40, { 0x3FF00000, 0x000FFC00, 0x000003FF } },
};

class BmpReadVariant : public ::testing::TestWithParam<Variant> { };

TEST_P(BmpReadVariant, DecodesUpright)
{
    ScratchFolder folder;
    WriteAll(folder.File("in.bmp"), Encode(GetParam()));
    std::string error;
    const auto image = ReadBmp(folder.File("in.bmp"), &error);
    ASSERT_TRUE(image) << error;
    ASSERT_EQ(image->width, 3);
    ASSERT_EQ(image->height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(RgbAt(*image, x, y), kSample[y][x]) << x << "," << y;
}

// Every prefix of a valid file is refused, never read past (the sanitizer build checks the
// latter). Only the last row's padding may be missing.
TEST_P(BmpReadVariant, RefusesEveryTruncation)
{
    ScratchFolder folder;
    const auto whole = Encode(GetParam());
    const size_t pixelBytes = size_t(3) * GetParam().bitsPerPixel / 8;
    const size_t lastRowPadding = (pixelBytes + 3) / 4 * 4 - pixelBytes;
    for (size_t length = 0; length < whole.size() - lastRowPadding; ++length) {
        WriteAll(folder.File("cut.bmp"), std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)));
        std::string error;
        EXPECT_FALSE(ReadBmp(folder.File("cut.bmp"), &error)) << "length " << length;
        EXPECT_FALSE(error.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, BmpReadVariant, ::testing::ValuesIn(kVariants),
    [](const auto& info) { return std::string(info.param.name); });

struct Damage {
    const char* name;
    int variant;
    std::function<void(std::vector<uint8_t>&)> apply;
};

class BmpHostile : public ::testing::TestWithParam<Damage> { };

TEST_P(BmpHostile, IsRefusedWithAMessage)
{
    ScratchFolder folder;
    auto file = Encode(kVariants[GetParam().variant]);
    GetParam().apply(file);
    WriteAll(folder.File("bad.bmp"), file);
    std::string error;
    EXPECT_FALSE(ReadBmp(folder.File("bad.bmp"), &error));
    EXPECT_NE(error.find("bad.bmp"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Damages, BmpHostile,
    ::testing::Values(Damage { "WrongMagic", 0, [](auto& f) { f[0] = 'P'; } },
        Damage { "ZeroWidth", 0, [](auto& f) { PutLE(f, 18, 0); } },
        Damage { "NegativeWidth", 0, [](auto& f) { PutLE(f, 18, uint32_t(-3)); } },
        Damage { "ZeroHeight", 0, [](auto& f) { PutLE(f, 22, 0); } },
        Damage { "SmallestHeight", 0, [](auto& f) { PutLE(f, 22, 0x80000000u); } },
        Damage { "HugeSize", 4, [](auto& f) { PutLE(f, 18, 0x7FFFFFFF), PutLE(f, 22, 0x7FFFFFFF); } },
        Damage { "RowsBeyondFile", 2, [](auto& f) { PutLE(f, 22, 200); } },
        Damage { "PixelOffsetBeyondFile", 2, [](auto& f) { PutLE(f, 10, 0xFFFFFFF0u); } },
        Damage { "PixelOffsetInsideHeader", 2, [](auto& f) { PutLE(f, 10, 20); } },
        Damage { "TwoPlanes", 2, [](auto& f) { PutLE(f, 26, 2, 2); } },
        Damage { "SixteenBits", 2, [](auto& f) { PutLE(f, 28, 16, 2); } },
        Damage { "RunLengthCompressed", 0, [](auto& f) { PutLE(f, 30, 1); } },
        Damage { "CoreHeader", 0, [](auto& f) { PutLE(f, 14, 12); } },
        Damage { "HeaderLargerThanFile", 0, [](auto& f) { PutLE(f, 14, 0xFFFFFFF0u); } },
        Damage { "OverlongPalette", 0, [](auto& f) { PutLE(f, 46, 300); } },
        Damage { "IndexBeyondPalette", 0, [](auto& f) { PutLE(f, 46, 2); } },
        Damage { "EmptyMask", 6, [](auto& f) { PutLE(f, 54, 0); } },
        Damage { "GappedMask", 6, [](auto& f) { PutLE(f, 54, 0xF0F00000u); } }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zarn
