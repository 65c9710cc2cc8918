#pragma once
// Writes a file so that the target name only ever holds a complete file: the bytes go to a fresh
// file beside the target, which is renamed over it once everything is on disk. Until Commit
// succeeds, an existing file of that name is untouched; a failed or abandoned write removes the
// temporary file.

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

    bool Open(const std::string& path, std::string* error);
    // False once any write has failed; later writes are skipped.
    bool Write(const void* data, size_t size);
    bool Failed() const { return writeErrno_ != 0; }
    // The reason of the first failed write, in words.
    std::string WriteErrorText() const;
    // Flushes, syncs and renames onto the target. False, with the temporary file removed, when
    // any write failed or the file could not be completed.
    bool Commit(std::string* error);
    void Discard();

    const std::string& TargetPath() const { return target_; }
    const std::string& TemporaryPath() const { return temporary_; }

private:
    bool Close(int& errorNumber);

    std::string target_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    int writeErrno_ = 0;
};

} // namespace zarn
