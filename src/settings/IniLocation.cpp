#include "settings/IniLocation.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace zarn {

namespace fs = std::filesystem;

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string AccountHome()
{
    if (std::string home = Environment("HOME"); !home.empty())
        return home;
    const passwd* account = getpwuid(geteuid());
    return account && account->pw_dir ? std::string(account->pw_dir) : std::string();
}

bool IsInstalledFolder(const fs::path& folder)
{
    std::error_code error;
    for (const char* installed : { ZARN_INSTALLED_BINDIR, "/usr/bin", "/usr/local/bin", "/bin" }) {
        if (fs::equivalent(folder, installed, error))
            return true;
    }
    return false;
}

TIniLocationFacts ThisProcess()
{
    TIniLocationFacts facts;
    facts.executableFolder = ExecutableFolder();
    facts.executableFolderWritable = access(facts.executableFolder.c_str(), W_OK) == 0;
    facts.executableFolderInstalled = IsInstalledFolder(facts.executableFolder);
    facts.xdgConfigHome = Environment("XDG_CONFIG_HOME");
    facts.home = AccountHome();
    return facts;
}

} // namespace

fs::path ExecutableFolder()
{
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error || !executable.has_parent_path())
        return fs::current_path(error);
    return executable.parent_path();
}

fs::path ChooseIniPath(const TIniLocationFacts& facts)
{
    if (facts.executableFolderWritable && !facts.executableFolderInstalled)
        return facts.executableFolder / kIniFileName;
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
    if (!facts.xdgConfigHome.empty() && fs::path(facts.xdgConfigHome).is_absolute())
        return fs::path(facts.xdgConfigHome) / kIniFolderName / kIniFileName;
    if (!facts.home.empty() && fs::path(facts.home).is_absolute())
        return fs::path(facts.home) / ".config" / kIniFolderName / kIniFileName;
    return facts.executableFolder / kIniFileName;
}

fs::path DefaultIniPath()
{
    return ChooseIniPath(ThisProcess());
}

fs::path DefaultIniPathForSaving()
{
    return IniPathForSaving(ThisProcess());
}

fs::path IniPathForSaving(const TIniLocationFacts& facts)
{
    const fs::path path = ChooseIniPath(facts);
    const fs::path folder = path.parent_path();
    if (folder != facts.executableFolder) {
        std::error_code error;
        // ~/.config itself may be missing on a fresh account; only our own folder is private.
        fs::create_directories(folder.parent_path(), error);
        if (fs::create_directory(folder, error))
            fs::permissions(folder, fs::perms::owner_all, error);
    }
    return path;
}

} // namespace zarn
