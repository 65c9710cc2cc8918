#pragma once
// Where the viewer keeps its settings: ZarnVNC.ini in the folder that holds the executable, and
// nowhere else (no per-user folder), so the viewer can run from a removable drive.

#include <filesystem>

namespace zarn {

inline constexpr char kIniFileName[] = "ZarnVNC.ini";

// The folder of the running executable, from /proc/self/exe; the current folder if that link
// cannot be read.
std::filesystem::path ExecutableFolder();

// ExecutableFolder() / "ZarnVNC.ini", computed afresh on each call.
std::filesystem::path DefaultIniPath();

} // namespace zarn
