#include "settings/FileAccess.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
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
    // Closes now, reporting a failure (a deferred write error can surface only here).
    void Close()
    {
        const int fd = FFd;
        FFd = -1;
        if (close(fd) != 0)
            ThrowLastError("close");
    }

private:
    int FFd;
};

// The permission bits open(2) would give a new file: 0666 less the umask. The umask is
// read from /proc rather than set and restored, which would race other threads.
mode_t NewFileMode()
{
    std::ifstream status("/proc/self/status");
    mode_t mask = 022;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Umask:")) {
            mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

fs::path FollowLink(const fs::path& path)
{
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error)))
        return path;
    fs::path target = fs::canonical(path, error);
    return error ? path : target;
}

fs::path FolderOf(const fs::path& path)
{
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

void WriteAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t n = write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowLastError("write");
        content.remove_prefix(static_cast<size_t>(n));
    }
}

void TakeOwnerAndMode(int fd, const fs::path& target)
{
    struct stat existing { };
    if (stat(target.c_str(), &existing) != 0) {
        if (fchmod(fd, NewFileMode()) != 0)
            ThrowLastError("fchmod");
        return;
    }
    // Only root may give a file away; anyone else already owns what they create.
    [[maybe_unused]] const int ignored = fchown(fd, existing.st_uid, existing.st_gid);
    if (fchmod(fd, existing.st_mode & 07777) != 0)
        ThrowLastError("fchmod");
}

// Makes the rename itself durable; a failure here cannot undo it and is not reported.
void SyncFolder(const fs::path& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

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
    const fs::path target = FollowLink(path);
    const fs::path folder = FolderOf(target);
    std::string tempName = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(mkostemp(tempName.data(), O_CLOEXEC));
    if (fd.Get() < 0)
        ThrowLastError("mkostemp");
    try {
        WriteAll(fd.Get(), content);
        TakeOwnerAndMode(fd.Get(), target);
        // The data must be on disk before the rename makes it the file.
        if (fsync(fd.Get()) != 0)
            ThrowLastError("fsync");
        fd.Close();
        if (rename(tempName.c_str(), target.c_str()) != 0)
            ThrowLastError("rename");
    } catch (...) {
        unlink(tempName.c_str());
        throw;
    }
    SyncFolder(folder);
}

} // namespace zarn
