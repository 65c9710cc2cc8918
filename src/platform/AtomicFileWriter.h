#pragma once
// Writes a file so that the target name only ever holds a complete file: the bytes go to a fresh
// file beside the target, which is synced and renamed over it once everything is written. Until
// Commit succeeds an existing file of that name is untouched; a failed or abandoned write
// removes the temporary file. A new file gets the permissions any new file would (0666 less the
// umask); a replaced one keeps its owner and permission bits, and a symbolic link keeps pointing
// at the file it named, which is the one replaced.

#include <cstddef>
#include <cstdio>
#include <string>

namespace zarn {

class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False, with "cannot create <path>: <reason>" in *error, when no temporary file could be made.
    bool Open(const std::string& path, std::string* error);
    // False once any write has failed; later writes are skipped.
    bool Write(const void* data, size_t size);
    bool Failed() const { return writeErrno_ != 0; }
    // The reason of the first failed write, in words.
    std::string WriteErrorText() const;
    // Flushes, syncs and renames onto the target. False, with "cannot write <path>: <reason>"
    // in *error and the temporary file removed, when any write failed or the file could not be
    // completed.
    bool Commit(std::string* error);
    void Discard();
    // The system's error number behind the last failure of Open, Write or Commit.
    int ErrorNumber() const { return errorNumber_; }

    const std::string& TargetPath() const { return target_; }
    const std::string& TemporaryPath() const { return temporary_; }

private:
    bool Close(int& errorNumber);
    bool Fail(std::string* error, const std::string& what, int errorNumber);

    std::string target_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    int writeErrno_ = 0;
    int errorNumber_ = 0;
};

} // namespace zarn
