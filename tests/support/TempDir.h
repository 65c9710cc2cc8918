#pragma once
// A private directory under the system's temporary folder, removed with everything in it
// when the object goes.

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

private:
    std::filesystem::path FPath;
};

} // namespace zarn::test
