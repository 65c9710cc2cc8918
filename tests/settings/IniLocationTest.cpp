#include <gtest/gtest.h>

#include <sys/stat.h>

#include "settings/IniLocation.h"
#include "settings/RecentHosts.h"
#include "support/TempDir.h"

namespace zarn {
namespace {

TEST(IniLocationTest, PortableBesideAWritableCopyElseTheUsersConfigurationFolder)
{
    struct Case {
        const char* what;
        bool writable, installed;
        const char *xdg, *home, *expected;
    };
    const Case cases[] = {
        { "build folder", true, false, "/x", "/home/u", "/opt/z/ZarnVNC.ini" },
        { "read-only copy", false, false, "", "/home/u", "/home/u/.config/zarnvnc/ZarnVNC.ini" },
        { "root in the install folder", true, true, "", "/root", "/root/.config/zarnvnc/ZarnVNC.ini" },
        { "XDG_CONFIG_HOME set", false, true, "/cfg", "/home/u", "/cfg/zarnvnc/ZarnVNC.ini" },
        { "relative XDG_CONFIG_HOME ignored", false, true, "cfg", "/home/u",
            "/home/u/.config/zarnvnc/ZarnVNC.ini" },
        { "no home at all", false, true, "", "", "/opt/z/ZarnVNC.ini" },
    };
    for (const Case& c : cases) {
        const TIniLocationFacts facts { "/opt/z", c.writable, c.installed, c.xdg, c.home };
        EXPECT_EQ(ChooseIniPath(facts), std::filesystem::path(c.expected)) << c.what;
    }
}

TEST(IniLocationTest, TheConfigurationFolderIsMadePrivateAtTheFirstSave)
{
    const test::TempDir temp;
    const TIniLocationFacts facts { temp / "bin", false, true, (temp / "cfg").string(), "/nowhere" };
    const std::filesystem::path path = IniPathForSaving(facts);
    EXPECT_EQ(path, temp / "cfg" / "zarnvnc" / "ZarnVNC.ini");
    struct stat status {};
    ASSERT_EQ(stat(path.parent_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    TRecentHosts hosts(path);
    hosts.Add("saved-here", 5901);
    EXPECT_NO_THROW(hosts.SaveToIni());
}

} // namespace
} // namespace zarn
