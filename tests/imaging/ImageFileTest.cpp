#include "imaging/ImageFile.h"

#include "ImagingTestSupport.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

using namespace imagingtest;

struct FormatCase {
    const char* name;
    std::vector<uint8_t> signature; // the first bytes of the expected format
};

class SaveImageByExtension : public ::testing::TestWithParam<FormatCase> { };

TEST_P(SaveImageByExtension, WritesTheFormatTheExtensionNames)
{
    ScratchFolder folder;
    const TestPicture picture = TrueColourPicture(9, 7, Distinctive);
    std::string error;
    ASSERT_TRUE(SaveImage(folder.File(GetParam().name), picture.view, &error)) << error;
    const auto bytes = ReadAll(folder.File(GetParam().name));
    const auto& signature = GetParam().signature;
    ASSERT_GE(bytes.size(), signature.size());
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), bytes.begin()));
    EXPECT_EQ(folder.Names(), std::vector<std::string> { GetParam().name });
}

const std::vector<uint8_t> kBmp = { 'B', 'M' };
const std::vector<uint8_t> kJpeg = { 0xFF, 0xD8, 0xFF };
const std::vector<uint8_t> kGif = { 'G', 'I', 'F', '8' };

INSTANTIATE_TEST_SUITE_P(Extensions, SaveImageByExtension,
    ::testing::Values(FormatCase { "a.bmp", kBmp }, FormatCase { "a.BMP", kBmp },
        FormatCase { "a.jpg", kJpeg }, FormatCase { "a.JPG", kJpeg }, FormatCase { "a.jpeg", kJpeg },
        FormatCase { "a.JpEg", kJpeg }, FormatCase { "a.gif", kGif }, FormatCase { "a.GIF", kGif },
        FormatCase { "two.dots.gif", kGif }),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

TEST(SaveImage, RefusesOtherExtensionsByName)
{
    ScratchFolder folder;
    const TestPicture picture = TrueColourPicture(4, 4, Distinctive);
    for (const char* name : { "shot.png", "shot.tiff", "shot.bmp.txt" }) {
        std::string error;
        EXPECT_FALSE(SaveImage(folder.File(name), picture.view, &error)) << name;
        const std::string extension = std::string(name).substr(std::string(name).rfind('.'));
        EXPECT_NE(error.find("\"" + extension + "\""), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(SaveImage(folder.File("noextension"), picture.view, &error));
    EXPECT_NE(error.find("no extension"), std::string::npos) << error;
    EXPECT_TRUE(folder.Names().empty());
}

TEST(SaveImage, EveryFormatFailsCleanlyWhereNoFileCanBeMade)
{
    ScratchFolder folder;
    WriteAll(folder.File("plain-file"), { 1 });
    const TestPicture picture = TrueColourPicture(16, 16, Distinctive);
    for (const char* name : { "shot.bmp", "shot.jpg", "shot.gif" }) {
        for (const std::string& path :
            { folder.File(std::string("missing/") + name), folder.File(std::string("plain-file/") + name) }) {
            std::string error;
            EXPECT_FALSE(SaveImage(path, picture.view, &error));
            EXPECT_NE(error.find(path), std::string::npos) << error;
        }
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string> { "plain-file" });
}

// A full disk halfway through must neither report success nor damage the file it was to
// replace.
TEST(SaveImage, EveryFormatKeepsTheOldFileWhenTheDiskFillsUp)
{
    ScratchFolder folder;
    const TestPicture picture = TrueColourPicture(300, 300, Distinctive);
    const std::vector<uint8_t> old = { 'o', 'l', 'd' };
    for (const char* name : { "shot.bmp", "shot.jpg", "shot.gif" }) {
        WriteAll(folder.File(name), old);
        std::string error;
        {
            FileSizeLimit limit(2000);
            EXPECT_FALSE(SaveImage(folder.File(name), picture.view, &error)) << name;
        }
        EXPECT_NE(error.find("File too large"), std::string::npos) << error;
        EXPECT_EQ(ReadAll(folder.File(name)), old) << name;
    }
    EXPECT_EQ(folder.Names(), (std::vector<std::string> { "shot.bmp", "shot.gif", "shot.jpg" }));
}

TEST(SaveImage, EveryFormatRefusesViewsItCannotReadSafely)
{
    ScratchFolder folder;
    TestPicture picture = TrueColourPicture(4, 4, Distinctive, 0);
    ImageView noPixels = picture.view;
    noPixels.bits = nullptr;
    ImageView shortStride = picture.view;
    shortStride.stride = 15;
    TestPicture indexed = IndexedPicture(
        4, 4, [](int, int) { return 0; }, [](int) { return Rgb {}; });
    ImageView noTable = indexed.view;
    noTable.colorTable = nullptr;
    for (const char* name : { "bad.bmp", "bad.jpg", "bad.gif" }) {
        for (const ImageView& view : { noPixels, shortStride, noTable }) {
            std::string error;
            EXPECT_FALSE(SaveImage(folder.File(name), view, &error));
            EXPECT_NE(error.find(name), std::string::npos) << error;
        }
    }
    EXPECT_TRUE(folder.Names().empty());
}

} // namespace
} // namespace zarn
