#include "settings/FileAccess.h"

#include "platform/AtomicFileWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace zarn {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowLastError(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// Closes a descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : FFd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (FFd >= 0)
            close(FFd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

} // namespace

std::optional<std::string> ReadRegularFile(const fs::path& path)
{
    // Non-blocking, so that a FIFO put in the file's place cannot hang the viewer.
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        ThrowLastError("open");
    }
    struct stat info { };
    if (fstat(fd.Get(), &info) != 0)
        ThrowLastError("fstat");
    if (!S_ISREG(info.st_mode))
        throw std::system_error(std::make_error_code(std::errc::invalid_argument), "not a regular file");
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowLastError("read");
        if (n == 0)
            return content;
        content.append(buffer, static_cast<size_t>(n));
    }
}

void ReplaceFileAtomically(const fs::path& path, std::string_view content)
{
    AtomicFileWriter writer;
    if (!writer.Open(path.string(), nullptr) || !writer.Write(content.data(), content.size())
        || !writer.Commit(nullptr))
        throw std::system_error(writer.ErrorNumber(), std::generic_category(), "cannot write " + path.string());
}

} // namespace zarn
