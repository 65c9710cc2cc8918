#include "platform/TempFile.h"

#include <cstdlib>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace zarn {

TTempFile::TTempFile(const std::string& prefix, const std::string& suffix)
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error)
        return;
    const std::string pattern = (folder / (prefix + "XXXXXX" + suffix)).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        return;
    close(fd);
    FPath = name.data();
}

TTempFile::~TTempFile()
{
    if (Created()) {
        std::error_code ignored; // nothing useful can be done about a file that will not go
        std::filesystem::remove(FPath, ignored);
    }
}

} // namespace zarn
