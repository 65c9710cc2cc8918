#pragma once
// Where the viewer keeps its settings. A copy of the program in a folder the user may write to
// (a build folder, an unpacked archive, a removable drive) keeps ZarnVNC.ini beside its
// executable, so it can be carried around with its settings. An installed copy, whose folder
// belongs to the system, keeps it in the user's configuration folder instead:
// $XDG_CONFIG_HOME/zarnvnc/ZarnVNC.ini, by default ~/.config/zarnvnc/ZarnVNC.ini. ZARNVNC_INI
// (read by main) overrides both.

#include <filesystem>
#include <string>

namespace zarn {

inline constexpr char kIniFileName[] = "ZarnVNC.ini";
inline constexpr char kIniFolderName[] = "zarnvnc";

// The folder of the running executable, from /proc/self/exe; the current folder if that link
// cannot be read.
std::filesystem::path ExecutableFolder();

// What the choice of the ini file depends on, gathered by DefaultIniPath.
struct TIniLocationFacts {
    std::filesystem::path executableFolder;
    bool executableFolderWritable = false;
    // True for folders that hold installed programs (/usr/bin, the configured install folder):
    // root can write there, but settings do not belong there.
    bool executableFolderInstalled = false;
    std::string xdgConfigHome; // $XDG_CONFIG_HOME; ignored unless an absolute path
    std::string home;          // $HOME, else the account's home folder
};

// The ini file those facts lead to. Without any usable configuration folder the executable's
// folder is the last resort (a save there then reports that it cannot write).
std::filesystem::path ChooseIniPath(const TIniLocationFacts& facts);

// ChooseIniPath for this process, computed afresh on each call.
std::filesystem::path DefaultIniPath();

// ChooseIniPath(facts), with its folder created (owner only) when it is the configuration folder
// and does not exist yet; for the moment of a save. A folder that cannot be made is left to the
// save to report.
std::filesystem::path IniPathForSaving(const TIniLocationFacts& facts);

// IniPathForSaving for this process.
std::filesystem::path DefaultIniPathForSaving();

} // namespace zarn
