#pragma once
// A uniquely named, empty file in the user's temporary folder ($TMPDIR when set, else /tmp),
// created at once so no other program can take the name, and removed when the object goes,
// whatever happened in between. Paths of any length are accepted.

#include <filesystem>
#include <string>

namespace zarn {

class TTempFile {
public:
    // Creates <temporary folder>/<prefix>XXXXXX<suffix>; Path() is empty when that failed
    // (no temporary folder, no space, no permission).
    TTempFile(const std::string& prefix, const std::string& suffix);
    ~TTempFile();
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    bool Created() const { return !FPath.empty(); }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

} // namespace zarn
