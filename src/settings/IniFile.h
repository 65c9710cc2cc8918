#pragma once
// Per-key access to a profile file: "[Section]" lines open sections, "key=value" lines follow.
// Section and key names match without regard to ASCII letter case. Only the keys written are
// touched: every other line (unknown sections and keys, comments, blank lines, odd spacing,
// line endings) is written back byte for byte. The file is replaced atomically (temporary file
// beside it, then rename), so a crash or a full disk never leaves it half-written or empty.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace zarn {

class TIniDocument;

// A write the system refused. what() is exactly "Unable to write to <path>"; the window shows
// it as it stands. Cause() keeps the system's reason for diagnosis.
class EIniWriteError : public std::runtime_error {
public:
    EIniWriteError(const std::filesystem::path& path, std::error_code cause);
    const std::error_code& Cause() const { return FCause; }

private:
    std::error_code FCause;
};

// A value is read into a buffer of this many characters, terminator included: at most 2047 count.
inline constexpr size_t kIniValueBufferSize = 2048;

// One open profile file. Opening touches nothing on disk; the file is read on the first access
// and that snapshot serves later reads. Writes go to the snapshot and reach the disk, all at
// once, through Flush; a file object dropped without Flush leaves the disk as it was.
class TIniFile {
public:
    explicit TIniFile(std::filesystem::path path);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::filesystem::path& Path() const { return FPath; }

    // The value under the key, with surrounding blanks and one pair of matching quotes removed,
    // cut to 2047 characters; defaultValue when the file, the section or the key is missing
    // or the file cannot be read.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue);
    // The value by TryTextToInt; defaultValue when it is missing, empty or breaks the rule.
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue);
    // An integer whose default is 1 or 0; every integer other than 0 reads as true.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue);

    // Sets the key's value, creating the section (at the end of the file) and the key (after
    // the section's last key) when missing. An existing key keeps its spelling and line ending.
    // Throws EIniWriteError when the file exists but cannot be read (writing it back would lose
    // its contents), and std::invalid_argument for names or values that would break the layout
    // (a line break anywhere, "=" in a key, "]" in a section, an empty name).
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Decimal, with a leading "-" when negative.
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    // "1" or "0".
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Replaces the file with the snapshot when something was written since the last Flush;
    // creates the file when it does not exist. Throws EIniWriteError and leaves the file as it
    // was when the system refuses any step; the writes stay pending then.
    void Flush();
    bool HasPendingWrites() const { return FPending; }

private:
    TIniDocument& Loaded();

    std::filesystem::path FPath;
    std::unique_ptr<TIniDocument> FDocument;
    bool FUnreadable = false; // the file exists but could not be read: writing would lose it
    std::error_code FLoadError;
    bool FPending = false;
};

} // namespace zarn
