#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "support/TempDir.h"
#include "settings/IniFile.h"

namespace zarn {
namespace {

using test::ReadFile;
using test::WriteFile;

class IniFileTest : public testing::Test {
protected:
    test::TempDir folder;
    std::filesystem::path path = folder / "ZarnVNC.ini";

    // Writes one key and flushes; the write must be refused with the path in its message.
    static void ExpectWriteRefused(TIniFile& ini)
    {
        try {
            ini.WriteString("VNCClient", "TargetFPS", "30");
            ini.Flush();
            ADD_FAILURE() << "the write should have been refused";
        } catch (const EIniWriteError& error) {
            EXPECT_EQ(error.what(), "Unable to write to " + ini.Path().string());
        }
    }
};

TEST_F(IniFileTest, ReadsKeysAsTheProfileFunctionsDo)
{
    WriteFile(path,
        "TopLevel=1\r\n[vncclient]\r\n  TargetFPS = 25  \r\nQuoted=\"a b\"\r\nSingle='x'\r\nHalf=\"x\r\n"
        "Bare\r\nEmpty=\r\nLong="
            + std::string(3000, 'v')
            + "\r\n[Other]\r\nTargetFPS=99\r\n"
              "[VNCCLIENT]\r\nLater=1\r\n");
    const std::tuple<const char*, const char*, std::string> cases[] = { { "VNCClient", "targetfps", "25" },
        { "VNCClient", "Quoted", "a b" }, { "VNCClient", "Single", "x" }, { "VNCClient", "Half", "\"x" },
        { "VNCClient", "Bare", "" }, { "VNCClient", "Empty", "" },
        { "VNCClient", "Long", std::string(2047, 'v') }, { "Other", "TargetFPS", "99" },
        { "VNCClient", "Later", "default" }, // only the first section of a name counts
        { "VNCClient", "Missing", "default" }, { "Missing", "TargetFPS", "default" },
        { "", "TopLevel", "default" } };
    TIniFile ini(path);
    for (const auto& [section, key, expected] : cases) {
        SCOPED_TRACE(std::string(section) + "/" + key);
        EXPECT_EQ(ini.ReadString(section, key, "default"), expected);
    }
    EXPECT_EQ(ini.ReadInteger("VNCClient", "Empty", 20), 20);
    EXPECT_FALSE(ini.ReadBool("VNCClient", "Missing", false));
    EXPECT_TRUE(ini.ReadBool("Other", "TargetFPS", false));
}

TEST_F(IniFileTest, WritingKeepsEveryOtherLineByteForByte)
{
    const std::string original = "; my settings\n\n[RecentHosts]\ncount = 7 ; hand-typed\n\n"
                                 "[VNCClient]\n  targetfps = 5\n; keep me\nUnknown=x=y\n\n"
                                 "# trailing comment of the section\n[Tail]\nLast=1";
    WriteFile(path, original);
    TIniFile ini(path);
    ini.WriteInteger("VNCCLIENT", "TargetFPS", 30);
    ini.WriteBool("VNCClient", "EncRRE", false);
    ini.WriteString("NewSection", "Host0", "office-pc");
    EXPECT_EQ(ReadFile(path), original) << "nothing reaches the disk before Flush";
    ini.Flush();
    EXPECT_EQ(ReadFile(path),
        "; my settings\n\n[RecentHosts]\ncount = 7 ; hand-typed\n\n[VNCClient]\ntargetfps=30\n; keep me\n"
        "Unknown=x=y\nEncRRE=0\n\n# trailing comment of the section\n[Tail]\nLast=1\n\n"
        "[NewSection]\nHost0=office-pc\n");

    WriteFile(path, "[A]\r\nK=1\r\n");
    TIniFile crlf(path);
    crlf.WriteString("A", "New", "2");
    crlf.WriteString("B", "K", "3");
    crlf.Flush();
    EXPECT_EQ(ReadFile(path), "[A]\r\nK=1\r\nNew=2\r\n\r\n[B]\r\nK=3\r\n");
}

TEST_F(IniFileTest, CreatesTheFileOnlyWhenAWriteIsFlushed)
{
    TIniFile reader(path);
    EXPECT_EQ(reader.ReadString("A", "K", "d"), "d");
    reader.Flush();
    TIniFile(path).WriteString("A", "K", "dropped without Flush");
    EXPECT_FALSE(std::filesystem::exists(path));

    TIniFile writer(path);
    writer.WriteInteger("A", "K", -12);
    writer.Flush();
    EXPECT_FALSE(writer.HasPendingWrites());
    EXPECT_EQ(ReadFile(path), "[A]\nK=-12\n");
    EXPECT_EQ(folder.EntryCount(), 1u) << "no temporary file is left beside it";
}

TEST_F(IniFileTest, RefusesNamesAndValuesThatWouldBreakTheLayout)
{
    TIniFile ini(path);
    EXPECT_THROW(ini.WriteString("A", "Host0", "evil\n[VNCClient]\nTargetFPS=1"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A", "K=V", "1"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A]", "K", "1"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A", "", "1"), std::invalid_argument);
    EXPECT_FALSE(ini.HasPendingWrites());
}

TEST_F(IniFileTest, ReplacingKeepsPermissionsAndSymbolicLinks)
{
    const auto real = folder / "real.ini";
    WriteFile(real, "[A]\nK=1\n");
    chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, path);
    TIniFile ini(path);
    ini.WriteString("A", "K", "2");
    ini.Flush();
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadFile(real), "[A]\nK=2\n");
    struct stat info { };
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(IniFileTest, RefusedWritesChangeNothing)
{
    WriteFile(folder / "plain-file", "untouched");
    std::filesystem::create_directory(folder / "a-folder");
    // A file that exists but cannot be read must not be replaced by the keys written alone.
    ASSERT_EQ(mkfifo((folder / "a-fifo").c_str(), 0600), 0);
    for (const auto& target : { folder / "no-such-folder" / "x.ini", folder / "plain-file" / "x.ini",
             folder / "a-folder", folder / "a-fifo" }) {
        SCOPED_TRACE(target);
        TIniFile ini(target);
        ExpectWriteRefused(ini);
    }
    EXPECT_EQ(ReadFile(folder / "plain-file"), "untouched");
    EXPECT_TRUE(std::filesystem::is_empty(folder / "a-folder"));
    EXPECT_TRUE(std::filesystem::is_fifo(folder / "a-fifo"));
    EXPECT_EQ(folder.EntryCount(), 3u) << "no temporary file is left behind";
}

// A file size limit makes the temporary file's write fail the way a full disk does.
TEST_F(IniFileTest, AFullDiskLeavesTheOldFileWhole)
{
    const std::string original = "[VNCClient]\nTargetFPS=20\n" + std::string(100, ';') + "\n";
    WriteFile(path, original);
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    TIniFile ini(path);
    ExpectWriteRefused(ini);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(folder.EntryCount(), 1u);
    EXPECT_TRUE(ini.HasPendingWrites());
}

} // namespace
} // namespace zarn
