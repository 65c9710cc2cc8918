#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "settings/IniFile.h"
#include "settings/RecentHosts.h"
#include "settings/RegSettings.h"

namespace zarn {
namespace {

using test::ReadFile;
using test::WriteFile;
using Lines = std::vector<std::string>;

// The entries as the connect dialog lists them.
Lines Entries(const TRecentHosts& hosts)
{
    Lines lines;
    for (int i = 0; i < hosts.Count(); ++i) {
        THostItem item;
        hosts.GetItem(i, item);
        lines.push_back(item.Host + ":" + std::to_string(item.Port));
    }
    return lines;
}

// Adds each in turn, so the last one given ends up first.
void AddAll(TRecentHosts& hosts, std::initializer_list<THostItem> items)
{
    for (const THostItem& item : items)
        hosts.Add(item.Host, item.Port);
}

// What the main window does after a successful connection.
void FileConnection(TRecentHosts& hosts, const std::string& host, int32_t port)
{
    const int index = hosts.IndexOf(host, port);
    if (index < 0)
        hosts.Add(host, port);
    else
        hosts.Move(index, 0);
}

TEST(RecentHosts, FilingAConnectionKeepsTheStoredLetterCase)
{
    TRecentHosts hosts;
    AddAll(hosts, { { "office-pc", 5900 }, { "d", 1 }, { "c", 2 }, { "b", 3 } });
    FileConnection(hosts, "OFFICE-PC", 5900);
    EXPECT_EQ(Entries(hosts), (Lines { "office-pc:5900", "b:3", "c:2", "d:1" }));
    FileConnection(hosts, "office-pc", 5901);
    EXPECT_EQ(Entries(hosts), (Lines { "office-pc:5901", "office-pc:5900", "b:3", "c:2", "d:1" }));
}

TEST(RecentHosts, IndexOfFoldsOnlyAsciiLetters)
{
    TRecentHosts hosts;
    EXPECT_EQ(hosts.IndexOf("x", 5900), -1);
    AddAll(hosts, { { "\303\251cole", 1 }, { "Host-A", 2 }, { "host-a", 2 } });
    EXPECT_EQ(hosts.IndexOf("HOST-A", 2), 0);
    EXPECT_EQ(hosts.IndexOf("host-a", 3), -1);
    EXPECT_EQ(hosts.IndexOf("\303\211COLE", 1), -1); // an accented capital is not folded
    EXPECT_EQ(hosts.IndexOf("\303\251COLE", 1), 2);
}

TEST(RecentHosts, MoveDeleteAndGetItemIgnoreIndicesOutsideTheList)
{
    const Lines unchanged { "a:0", "b:0", "c:0", "d:0" };
    const std::tuple<int, int, Lines> cases[] = { { 3, 0, { "d:0", "a:0", "b:0", "c:0" } },
        { 2, 1, { "a:0", "c:0", "b:0", "d:0" } }, { 0, 3, { "b:0", "c:0", "d:0", "a:0" } },
        { 0, 0, unchanged }, { -1, 0, unchanged }, { 4, 0, unchanged }, { 1, 4, unchanged } };
    for (const auto& [from, to, expected] : cases) {
        SCOPED_TRACE(std::to_string(from) + "->" + std::to_string(to));
        TRecentHosts hosts;
        AddAll(hosts, { { "d", 0 }, { "c", 0 }, { "b", 0 }, { "a", 0 } });
        hosts.Move(from, to);
        EXPECT_EQ(Entries(hosts), expected);
    }

    TRecentHosts hosts;
    AddAll(hosts, { { "c", 0 }, { "b", 0 }, { "a", 0 } });
    hosts.Delete(3);
    hosts.Delete(-1);
    hosts.Delete(1);
    EXPECT_EQ(Entries(hosts), (Lines { "a:0", "c:0" }));
    THostItem item { "kept", 7 };
    hosts.GetItem(2, item);
    EXPECT_EQ(item.Host + ":" + std::to_string(item.Port), "kept:7");
}

class RecentHostsFile : public testing::Test {
protected:
    test::TempDir folder;
    std::filesystem::path path = folder / "ZarnVNC.ini";
};

TEST_F(RecentHostsFile, SavesCountThenPortBeforeHost)
{
    TRecentHosts hosts(path);
    hosts.SaveToIni(); // an empty list still writes its section
    EXPECT_EQ(ReadFile(path), "[RecentHosts]\nCount=0\n");
    AddAll(hosts, { { "192.168.0.20", 5901 }, { "office-pc", 5900 } });
    hosts.SaveToIni();
    EXPECT_EQ(ReadFile(path),
        "[RecentHosts]\nCount=2\nPort0=5900\nHost0=office-pc\nPort1=5901\nHost1=192.168.0.20\n");
}

TEST_F(RecentHostsFile, AShrunkenListLeavesStaleKeysThatLoadingIgnores)
{
    TRecentHosts hosts(path);
    AddAll(hosts, { { "e", 5900 }, { "d", 5900 }, { "c", 5900 }, { "b", 5900 }, { "a", 5900 } });
    hosts.SaveToIni();
    hosts.Delete(4);
    hosts.Delete(0);
    hosts.SaveToIni();

    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("RecentHosts", "Count", -1), 3);
    EXPECT_EQ(ini.ReadString("RecentHosts", "Host3", "") + ini.ReadString("RecentHosts", "Host4", ""), "de");
    TRecentHosts reloaded(path);
    reloaded.LoadFromIni();
    EXPECT_EQ(Entries(reloaded), (Lines { "b:5900", "c:5900", "d:5900" }));
}

TEST_F(RecentHostsFile, LoadingReplacesTheListWithinBounds)
{
    const std::pair<std::string, Lines> cases[]
        = { { "count=2\nhost0=office-pc\nPort1=5901\n", { "office-pc:5900", ":5901" } },
              { "Count=-3\nHost0=a\n", {} }, { "Count=abc\nHost0=a\n", {} } };
    for (const auto& [section, expected] : cases) {
        SCOPED_TRACE(section);
        WriteFile(path, "[recenthosts]\n" + section);
        TRecentHosts hosts(path);
        hosts.Add("dropped", 1);
        hosts.LoadFromIni();
        EXPECT_EQ(Entries(hosts), expected);
    }
    WriteFile(path, "[RecentHosts]\nCount=0x7FFFFFFF\nHost0=a\n");
    TRecentHosts huge(path);
    huge.LoadFromIni();
    EXPECT_EQ(huge.Count(), TRecentHosts::kMaxLoadedHosts);
    EXPECT_EQ(Entries(huge)[1], ":5900");
}

TEST_F(RecentHostsFile, HandEditedFileKeepsEveryLineNeitherOwnerWrote)
{
    WriteFile(path,
        "[Display]\nScale = 2\n\n[vncclient]\n  targetfps =20\n; colours\nUnknown = 1\n\n; hosts I use\n"
        "[RecentHosts]\n Count = 1\nHost0 = \"old\"\n; note about host 0\nPort0=5900\n\n[Z]\nCursor=3");
    TRecentHosts hosts(path);
    hosts.LoadFromIni();
    TVNCRegSettings settings(path);
    settings.Load();
    settings.SetTargetFPS(25);
    settings.Save();
    hosts.Add("new", 5901);
    hosts.SaveToIni();
    EXPECT_EQ(ReadFile(path),
        "[Display]\nScale = 2\n\n[vncclient]\ntargetfps=25\n; colours\nUnknown = 1\nCursor=0\nEncCopyRect=1\n"
        "EncRRE=1\nEncHextile=1\nTrueColor=1\nSharedClipboard=1\n\n; hosts I use\n[RecentHosts]\nCount=2\n"
        "Host0=new\n; note about host 0\nPort0=5901\nPort1=5900\nHost1=old\n\n[Z]\nCursor=3");
}

} // namespace
} // namespace zarn
