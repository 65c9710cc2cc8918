#include "imaging/AtomicFileWriter.h"

#include "imaging/ImagingError.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace zarn {
namespace {

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

// "shot.bmp.<random>.tmp" says whose it is; a target name already near the system's limit
// gets a short "ZVC<random>.tmp" in the same folder instead, so the rename stays within one
// file system.
std::string TemporaryName(const std::string& target)
{
    const std::filesystem::path path(target);
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

} // namespace

AtomicFileWriter::~AtomicFileWriter()
{
    Discard();
}

bool AtomicFileWriter::Open(const std::string& path, std::string* error)
{
    Discard();
    target_ = path;
    writeErrno_ = 0;
    const int fd = CreateExclusive(path, temporary_);
    if (fd < 0) {
        const int reason = errno;
        temporary_.clear();
        return Fail(error, "cannot create " + path + ": " + SystemErrorText(reason));
    }
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        const int reason = errno;
        ::close(fd);
        Discard();
        return Fail(error, "cannot create " + path + ": " + SystemErrorText(reason));
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
        writeErrno_ = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

std::string AtomicFileWriter::WriteErrorText() const
{
    return SystemErrorText(writeErrno_);
}

bool AtomicFileWriter::Close(int& errorNumber)
{
    errorNumber = 0;
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_))
        errorNumber = errno != 0 ? errno : EIO;
    else if (::fsync(::fileno(file_)) != 0)
        errorNumber = errno;
    if (std::fclose(file_) != 0 && errorNumber == 0)
        errorNumber = errno;
    file_ = nullptr;
    return errorNumber == 0;
}

bool AtomicFileWriter::Commit(std::string* error)
{
    if (file_ == nullptr)
        return Fail(error, "cannot write " + target_ + ": the file is not open");
    int reason = writeErrno_;
    if (reason == 0)
        Close(reason);
    if (reason == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0)
        reason = errno;
    if (reason != 0) {
        Discard();
        return Fail(error, "cannot write " + target_ + ": " + SystemErrorText(reason));
    }
    temporary_.clear();
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
