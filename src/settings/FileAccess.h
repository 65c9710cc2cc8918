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

// Replaces the file at path with content through AtomicFileWriter, so a crash or a full disk
// leaves the old file or the new one, never a half-written one. Throws std::system_error
// ("cannot write <path>: <reason>"); the temporary file is removed then.
void ReplaceFileAtomically(const std::filesystem::path& path, std::string_view content);

} // namespace zarn
