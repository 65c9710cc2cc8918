#include "imaging/GifWriter.h"

#include "ImagingTestSupport.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <optional>
#include <set>

namespace zarn {
namespace {

using namespace imagingtest;

// What giflib itself reads back from the file.
struct DecodedGif {
    int width = 0;
    int height = 0;
    int imageCount = 0;
    std::vector<Rgb> palette;
    std::vector<uint8_t> indices;

    Rgb At(int x, int y) const { return palette.at(indices.at(size_t(y) * width + x)); }
};

std::optional<DecodedGif> Slurp(const std::string& path)
{
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr)
        return std::nullopt;
    std::optional<DecodedGif> result;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount >= 1) {
        const SavedImage& image = gif->SavedImages[0];
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        DecodedGif decoded;
        decoded.width = image.ImageDesc.Width;
        decoded.height = image.ImageDesc.Height;
        decoded.imageCount = gif->ImageCount;
        if (map)
            for (int i = 0; i < map->ColorCount; ++i)
                decoded.palette.push_back({ map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue });
        decoded.indices.assign(image.RasterBits, image.RasterBits + size_t(decoded.width) * decoded.height);
        result = decoded;
    }
    DGifCloseFile(gif, &error);
    return result;
}

DecodedGif WriteAndRead(const ScratchFolder& folder, const TestPicture& picture)
{
    std::string error;
    EXPECT_TRUE(WriteGif(folder.File("shot.gif"), picture.view, &error)) << error;
    const auto decoded = Slurp(folder.File("shot.gif"));
    EXPECT_TRUE(decoded);
    if (!decoded)
        return {};
    EXPECT_EQ(decoded->imageCount, 1);
    EXPECT_EQ(decoded->width, picture.view.width);
    EXPECT_EQ(decoded->height, picture.view.height);
    EXPECT_LE(decoded->palette.size(), 256u);
    for (uint8_t index : decoded->indices)
        EXPECT_LT(index, decoded->palette.size());
    return *decoded;
}

void ExpectExactColours(const DecodedGif& gif, const TestPicture& picture)
{
    for (int y = 0; y < picture.view.height; ++y)
        for (int x = 0; x < picture.view.width; ++x)
            ASSERT_EQ(gif.At(x, y), picture.At(x, y)) << x << "," << y;
}

struct ColourError {
    double mean = 0;
    int worst = 0;
};

ColourError Compare(const DecodedGif& gif, const TestPicture& picture)
{
    ColourError error;
    uint64_t sum = 0;
    for (int y = 0; y < picture.view.height; ++y) {
        for (int x = 0; x < picture.view.width; ++x) {
            const Rgb a = gif.At(x, y), b = picture.At(x, y);
            for (int d : { a.r - b.r, a.g - b.g, a.b - b.b }) {
                sum += std::abs(d);
                error.worst = std::max(error.worst, std::abs(d));
            }
        }
    }
    error.mean = double(sum) / (3.0 * picture.view.width * picture.view.height);
    return error;
}

// n distinct colours spread over the picture.
Rgb ColourNumber(int n)
{
    return { uint8_t(n * 7), uint8_t(n * 13 + 1), uint8_t(255 - n) };
}

TEST(WriteGif, KeepsUpToTwoHundredFiftySixColoursExactly)
{
    for (int colours : { 1, 2, 3, 200, 256 }) {
        ScratchFolder folder;
        const TestPicture picture = TrueColourPicture(
            37, 29, [colours](int x, int y) { return ColourNumber((x + 37 * y) % colours); });
        const DecodedGif gif = WriteAndRead(folder, picture);
        ExpectExactColours(gif, picture);
        EXPECT_GE(gif.palette.size(), size_t(std::max(colours, 2))) << colours << " colours";
    }
}

TEST(WriteGif, IndexedPictureKeepsTheColoursOfTheEntriesItUses)
{
    ScratchFolder folder;
    // Uses entries 10, 20, ..., 250 only; the unused entries must not crowd the palette.
    const TestPicture picture = IndexedPicture(
        41, 23, [](int x, int y) { return uint8_t(10 * (1 + (x + y) % 25)); },
        [](int i) {
            return Rgb { uint8_t(i), uint8_t(i ^ 0x55), uint8_t(200 - i / 2) };
        });
    const DecodedGif gif = WriteAndRead(folder, picture);
    ExpectExactColours(gif, picture);
    EXPECT_EQ(gif.palette.size(), 32u); // 25 used entries, rounded up to a power of two
}

TEST(WriteGif, ReducesARichPictureWithSmallError)
{
    ScratchFolder folder;
    // A smooth photo-like gradient of about 65000 colours, with a white band as screens have.
    const TestPicture picture = TrueColourPicture(256, 256, [](int x, int y) {
        if (y < 16)
            return Rgb { 255, 255, 255 };
        return Rgb { uint8_t(x), uint8_t(y), uint8_t((x + y) / 2) };
    });
    const DecodedGif gif = WriteAndRead(folder, picture);
    const ColourError error = Compare(gif, picture);
    EXPECT_LT(error.mean, 5.0);
    EXPECT_LE(error.worst, 32);
    EXPECT_EQ(gif.At(100, 5), (Rgb { 255, 255, 255 })) << "white stays white";
}

TEST(WriteGif, TwoHundredFiftySevenColoursAreReducedNotRefused)
{
    ScratchFolder folder;
    const TestPicture picture = TrueColourPicture(257, 3, [](int x, int) { return ColourNumber(x); });
    const DecodedGif gif = WriteAndRead(folder, picture);
    std::set<int> used(gif.indices.begin(), gif.indices.end());
    EXPECT_LE(used.size(), 256u);
    EXPECT_LT(Compare(gif, picture).mean, 4.0);
}

} // namespace
} // namespace zarn
