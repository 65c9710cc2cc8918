#pragma once
// Whole-file reads and atomic whole-file replacement for the settings file. Failures travel
// as std::system_error carrying the system's reason.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zarn {

// The bytes of a regular file; nullopt when nothing exists at path. Throws std::system_error
// when something exists there but cannot be read as a regular file.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path);

// Replaces the file at path with content: a temporary file in the same folder is written,
// synced and renamed over it, so a crash or a full disk leaves the old file or the new one,
// never a half-written one. An existing file keeps its owner and permission bits; a new one
// gets 0666 less the umask. A symbolic link keeps pointing at the file it named, which is the
// one replaced. Throws std::system_error; the temporary file is removed then.
void ReplaceFileAtomically(const std::filesystem::path& path, std::string_view content);

} // namespace zarn
