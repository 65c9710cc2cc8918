#include "settings/IniLocation.h"

#include <system_error>

namespace zarn {

std::filesystem::path ExecutableFolder()
{
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !executable.has_parent_path())
        return std::filesystem::current_path(error);
    return executable.parent_path();
}

std::filesystem::path DefaultIniPath()
{
    return ExecutableFolder() / kIniFileName;
}

} // namespace zarn
