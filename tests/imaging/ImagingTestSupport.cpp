#include "ImagingTestSupport.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/resource.h>

namespace zarn::imagingtest {

ScratchFolder::ScratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zarn-imaging-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchFolder::Names() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

FileSizeLimit::FileSizeLimit(uint64_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG instead
    rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    previousSoftLimit_ = limit.rlim_cur;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = previousSoftLimit_;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

} // namespace zarn::imagingtest
