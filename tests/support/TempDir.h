#pragma once
// A private directory under the system's temporary folder, removed with everything in it
// when the object goes, and whole-file helpers.

#include <filesystem>
#include <string>

namespace zarn::test {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "zarn-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path File(const std::string& name) const { return FPath / name; }
    std::filesystem::path operator/(const std::string& name) const { return File(name); }
    // Files and folders directly inside.
    size_t EntryCount() const;

private:
    std::filesystem::path FPath;
};

// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);

} // namespace zarn::test
