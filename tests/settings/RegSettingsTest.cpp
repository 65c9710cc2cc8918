#include <gtest/gtest.h>

#include <memory>

#include "support/TempDir.h"
#include "settings/IniFile.h"
#include "settings/IniLocation.h"
#include "settings/RegSettings.h"

namespace zarn {
namespace {

using test::ReadFile;
using test::WriteFile;

class RegSettingsTest : public testing::Test {
protected:
    test::TempDir folder;
    std::filesystem::path path = folder / "ZarnVNC.ini";
};

TEST_F(RegSettingsTest, DefaultsWithoutAFileAndLoadingCreatesNone)
{
    TVNCRegSettings settings(path);
    settings.Load();
    EXPECT_EQ(settings.TargetFPS(), 20);
    EXPECT_EQ(settings.Cursor(), 0);
    EXPECT_TRUE(settings.EncCopyRect() && settings.EncRRE() && settings.EncHextile());
    EXPECT_TRUE(settings.TrueColor() && settings.SharedClipboard());
    EXPECT_TRUE(settings.DesktopResize());
    EXPECT_FALSE(settings.RemoteResize());
    EXPECT_FALSE(settings.Modified());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RegSettingsTest, LoadClampsAndConvertsStoredValues)
{
    struct Case {
        const char* line;
        int32_t targetFPS, cursor;
        bool encRRE;
        bool desktopResize = true, remoteResize = false;
    };
    const Case cases[] = { { "TargetFPS=0", 1, 0, true }, { "TargetFPS=-5", 1, 0, true },
        { "TargetFPS=51", 50, 0, true }, { "TargetFPS=1000", 50, 0, true }, { "TargetFPS=abc", 20, 0, true },
        { "TargetFPS=", 20, 0, true }, { "TargetFPS=0x1E", 30, 0, true }, { "Cursor=9", 20, 4, true },
        { "Cursor=-1", 20, 0, true }, { "Cursor=4", 20, 4, true }, { "EncRRE=0", 20, 0, false },
        { "EncRRE=2", 20, 0, true }, { "EncRRE=false", 20, 0, true }, { "EncRRE=no", 20, 0, true },
        { "EncRRE=$0", 20, 0, false }, { "DesktopResize=0", 20, 0, true, false, false },
        { "RemoteResize=1", 20, 0, true, true, true }, { "RemoteResize=yes", 20, 0, true, true, false } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WriteFile(path, std::string("[VNCClient]\n") + c.line + "\n");
        TVNCRegSettings settings(path);
        settings.Load();
        EXPECT_EQ(settings.TargetFPS(), c.targetFPS);
        EXPECT_EQ(settings.Cursor(), c.cursor);
        EXPECT_EQ(settings.EncRRE(), c.encRRE);
        EXPECT_EQ(settings.DesktopResize(), c.desktopResize);
        EXPECT_EQ(settings.RemoteResize(), c.remoteResize);
    }
}

TEST_F(RegSettingsTest, ExtensionKeysLoadClampedAndSettersKeepTheirRanges)
{
    struct Case {
        const char* lines;
        int32_t jpeg, compress;
        bool tight, zrle, autoQuality;
    };
    const Case cases[] = { { "", 8, 2, true, true, true }, { "JPEGQuality=-1", -1, 2, true, true, true },
        { "JPEGQuality=-7", -1, 2, true, true, true }, { "JPEGQuality=10", 9, 2, true, true, true },
        { "JPEGQuality=x", 8, 2, true, true, true }, { "CompressLevel=-1", 8, 0, true, true, true },
        { "CompressLevel=12", 8, 9, true, true, true },
        { "EncTight=0\nEncZRLE=0\nAutoQuality=0", 8, 2, false, false, false } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        WriteFile(path, std::string("[VNCClient]\n") + c.lines + "\n");
        TVNCRegSettings settings(path);
        settings.Load();
        EXPECT_EQ(settings.JPEGQuality(), c.jpeg);
        EXPECT_EQ(settings.CompressLevel(), c.compress);
        EXPECT_EQ(settings.EncTight(), c.tight);
        EXPECT_EQ(settings.EncZRLE(), c.zrle);
        EXPECT_EQ(settings.AutoQuality(), c.autoQuality);
    }

    TVNCRegSettings settings(path);
    settings.Load();
    for (const int32_t refused : { -2, 10 })
        settings.SetJPEGQuality(refused);
    for (const int32_t refused : { -1, 10 })
        settings.SetCompressLevel(refused);
    EXPECT_FALSE(settings.Modified());
    settings.SetJPEGQuality(-1);
    settings.SetCompressLevel(9);
    settings.Save();
    TVNCRegSettings reloaded(path);
    reloaded.Load();
    EXPECT_EQ(reloaded.JPEGQuality(), -1);
    EXPECT_EQ(reloaded.CompressLevel(), 9);
}

TEST_F(RegSettingsTest, SettersIgnoreOutOfRangeValuesAndMarkAcceptedOnes)
{
    TVNCRegSettings settings(path);
    settings.Load();
    settings.SetTargetFPS(0);
    settings.SetTargetFPS(51);
    settings.SetCursor(-1);
    settings.SetCursor(5);
    EXPECT_EQ(settings.TargetFPS(), 20);
    EXPECT_EQ(settings.Cursor(), 0);
    EXPECT_FALSE(settings.Modified());

    settings.SetTargetFPS(50);
    EXPECT_EQ(settings.TargetFPS(), 50);
    EXPECT_TRUE(settings.Modified());
    settings.Load();
    settings.SetEncRRE(true); // the same value still counts as a change
    EXPECT_TRUE(settings.Modified());
}

TEST_F(RegSettingsTest, SaveWritesTheKeysInOrderAndClearsModified)
{
    TVNCRegSettings settings(path);
    settings.Load();
    settings.SetCursor(4);
    settings.SetEncHextile(false);
    settings.SetSharedClipboard(false);
    settings.SetRemoteResize(true);
    settings.Save();
    EXPECT_FALSE(settings.Modified());
    EXPECT_EQ(ReadFile(path),
        "[VNCClient]\nTargetFPS=20\nCursor=4\nEncCopyRect=1\nEncRRE=1\nEncHextile=0\nTrueColor=1\n"
        "SharedClipboard=0\nRemoteResize=1\n");

    TVNCRegSettings unloaded(path); // all zero before Load: TargetFPS is brought into range
    unloaded.Save();
    EXPECT_EQ(TIniFile(path).ReadString("VNCClient", "TargetFPS", ""), "1");
}

// Never used, it is not written (the test above); once there, it keeps its place; new, it follows the seven.
TEST_F(RegSettingsTest, ScaleToWindowLoadsAndIsWrittenOnlyOnceUsed)
{
    const std::string seven = "TargetFPS=20\nCursor=0\nEncCopyRect=1\nEncRRE=1\nEncHextile=1\nTrueColor=1\nSharedClipboard=1\n";
    for (const bool present : { true, false }) {
        WriteFile(path, present ? "[VNCClient]\nScaleToWindow=1\n" : "");
        TVNCRegSettings settings(path);
        settings.Load();
        EXPECT_EQ(settings.ScaleToWindow(), present);
        settings.SetScaleToWindow(!present);
        settings.Save();
        EXPECT_EQ(ReadFile(path), present ? "[VNCClient]\nScaleToWindow=0\n" + seven : "[VNCClient]\n" + seven + "ScaleToWindow=1\n");
    }
}

TEST_F(RegSettingsTest, DestructionSavesOnlyWhenModified)
{
    TVNCRegSettings(path).Load();
    EXPECT_FALSE(std::filesystem::exists(path));
    {
        TVNCRegSettings changed(path);
        changed.Load();
        changed.SetTargetFPS(25);
    }
    EXPECT_EQ(TIniFile(path).ReadInteger("VNCClient", "TargetFPS", 0), 25);
}

TEST_F(RegSettingsTest, RefusedSaveRaisesThePathAndKeepsModified)
{
    WriteFile(path, "[VNCClient]\nCursor=1\n");
    const auto refused = path / "ZarnVNC.ini"; // its folder is a file
    const std::string message = "Unable to write to " + refused.string();
    auto settings = std::make_unique<TVNCRegSettings>(refused);
    settings->Load();
    settings->SetCursor(2);
    try {
        settings->Save();
        ADD_FAILURE() << "Save should have been refused";
    } catch (const EIniWriteError& error) {
        EXPECT_EQ(error.what(), message);
    }
    EXPECT_TRUE(settings->Modified());
    EXPECT_EQ(ReadFile(path), "[VNCClient]\nCursor=1\n");

    // The final save in the destructor fails the same way and is reported, not thrown.
    std::string reported;
    settings->OnFinalSaveError = [&](const std::string& text) { reported = text; };
    settings.reset();
    EXPECT_EQ(reported, message);
}

TEST(RegSettings, DefaultFileLiesBesideTheExecutable)
{
    const std::filesystem::path defaultPath = TVNCRegSettings().IniPath();
    EXPECT_EQ(defaultPath, DefaultIniPath());
    EXPECT_EQ(defaultPath.filename(), "ZarnVNC.ini");
    EXPECT_TRUE(std::filesystem::exists(defaultPath.parent_path() / "test_settings"));
}

} // namespace
} // namespace zarn
