#include "platform/AtomicFileWriter.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn {
namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 64;

std::string RandomSuffix()
{
    static thread_local std::mt19937_64 generator { std::random_device {}() };
    static const char kDigits[] = "0123456789abcdef";
    std::string suffix;
    uint64_t value = generator();
    for (int i = 0; i < 12; ++i, value >>= 4)
        suffix += kDigits[value & 15];
    return suffix;
}

// A symbolic link is written through: the file it names is replaced, the link stays.
std::string FollowLink(const std::string& path)
{
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error)))
        return path;
    const fs::path target = fs::canonical(path, error);
    return error ? path : target.string();
}

// "shot.bmp.<random>.tmp" says whose it is; a target name already near the system's limit
// gets a short "ZVC<random>.tmp" in the same folder instead, so the rename stays within one
// file system.
std::string TemporaryName(const std::string& target)
{
    const fs::path path(target);
    const std::string suffix = RandomSuffix() + ".tmp";
    if (path.filename().string().size() + 1 + suffix.size() <= NAME_MAX)
        return target + "." + suffix;
    return (path.parent_path() / ("ZVC" + suffix)).string();
}

// O_EXCL guarantees the name is ours; 0666 lets the umask decide the final permissions the
// way any newly created file would get them.
int CreateExclusive(const std::string& target, std::string& temporary)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary = TemporaryName(target);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// A replaced file keeps its owner and permission bits. 0 or an error number.
int TakeOwnerAndMode(int fd, const std::string& target)
{
    struct stat existing { };
    if (::stat(target.c_str(), &existing) != 0)
        return 0;
    // Only root may give a file away; anyone else already owns what they create.
    [[maybe_unused]] const int ignored = ::fchown(fd, existing.st_uid, existing.st_gid);
    return ::fchmod(fd, existing.st_mode & 07777) == 0 ? 0 : errno;
}

// Makes the rename itself durable; a failure here cannot undo it and is not reported.
void SyncFolderOf(const std::string& path)
{
    const fs::path parent = fs::path(path).parent_path();
    const int fd = ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

AtomicFileWriter::~AtomicFileWriter()
{
    Discard();
}

bool AtomicFileWriter::Fail(std::string* error, const std::string& what, int errorNumber)
{
    errorNumber_ = errorNumber;
    if (error)
        *error = what + " " + target_ + ": " + std::strerror(errorNumber);
    return false;
}

bool AtomicFileWriter::Open(const std::string& path, std::string* error)
{
    Discard();
    target_ = FollowLink(path);
    writeErrno_ = errorNumber_ = 0;
    const int fd = CreateExclusive(target_, temporary_);
    if (fd < 0) {
        const int reason = errno;
        temporary_.clear();
        return Fail(error, "cannot create", reason);
    }
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        const int reason = errno;
        ::close(fd);
        Discard();
        return Fail(error, "cannot create", reason);
    }
    return true;
}

bool AtomicFileWriter::Write(const void* data, size_t size)
{
    if (file_ == nullptr || Failed())
        return false;
    if (size == 0)
        return true;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) {
        writeErrno_ = errorNumber_ = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

std::string AtomicFileWriter::WriteErrorText() const
{
    return std::strerror(writeErrno_);
}

bool AtomicFileWriter::Close(int& errorNumber)
{
    errorNumber = 0;
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_))
        errorNumber = errno != 0 ? errno : EIO;
    if (errorNumber == 0)
        errorNumber = TakeOwnerAndMode(::fileno(file_), target_);
    // The data must be on disk before the rename makes it the file.
    if (errorNumber == 0 && ::fsync(::fileno(file_)) != 0)
        errorNumber = errno;
    if (std::fclose(file_) != 0 && errorNumber == 0)
        errorNumber = errno;
    file_ = nullptr;
    return errorNumber == 0;
}

bool AtomicFileWriter::Commit(std::string* error)
{
    if (file_ == nullptr)
        return Fail(error, "cannot write", EBADF);
    int reason = writeErrno_;
    if (reason == 0)
        Close(reason);
    if (reason == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0)
        reason = errno;
    if (reason != 0) {
        Discard();
        return Fail(error, "cannot write", reason);
    }
    temporary_.clear();
    SyncFolderOf(target_);
    return true;
}

void AtomicFileWriter::Discard()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

} // namespace zarn
