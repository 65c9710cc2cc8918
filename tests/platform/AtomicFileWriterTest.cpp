#include "imaging/AtomicFileWriter.h"

#include "ImagingTestSupport.h"

#include <climits>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zarn {
namespace {

using namespace imagingtest;

TEST(AtomicFileWriter, TargetHoldsTheOldFileUntilCommitAndAfterAnAbandonedWrite)
{
    ScratchFolder folder;
    const std::string target = folder.File("out.bin");
    const std::vector<uint8_t> old = { 'o', 'l', 'd' }, fresh = { 'n', 'e', 'w', '!' };
    WriteAll(target, old);
    {
        AtomicFileWriter abandoned;
        ASSERT_TRUE(abandoned.Open(target, nullptr));
        abandoned.Write(fresh.data(), fresh.size());
    }
    EXPECT_EQ(ReadAll(target), old);
    EXPECT_EQ(folder.Names(), std::vector<std::string> { "out.bin" });

    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(target, nullptr));
    ASSERT_TRUE(writer.Write(fresh.data(), fresh.size()));
    EXPECT_EQ(ReadAll(target), old);
    std::string error;
    ASSERT_TRUE(writer.Commit(&error)) << error;
    EXPECT_EQ(ReadAll(target), fresh);
    EXPECT_EQ(folder.Names(), std::vector<std::string> { "out.bin" });
}

TEST(AtomicFileWriter, TargetNamesAtTheSystemLimitCanStillBeWritten)
{
    ScratchFolder folder;
    const std::string target = folder.File(std::string(NAME_MAX - 4, 'n') + ".bmp");
    AtomicFileWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(target, &error)) << error;
    EXPECT_EQ(std::filesystem::path(writer.TemporaryPath()).parent_path(), folder.Path());
    ASSERT_TRUE(writer.Commit(&error)) << error;
    EXPECT_EQ(folder.Names(), std::vector<std::string> { std::filesystem::path(target).filename().string() });
}

// A screenshot gets the permissions any new file would, not the owner-only ones of a
// private temporary file.
TEST(AtomicFileWriter, NewFileFollowsTheUmask)
{
    ScratchFolder folder;
    const mode_t previous = ::umask(022);
    AtomicFileWriter writer;
    const bool committed = writer.Open(folder.File("out.bin"), nullptr) && writer.Commit(nullptr);
    ::umask(previous);
    ASSERT_TRUE(committed);
    struct stat info { };
    ASSERT_EQ(::stat(folder.File("out.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

} // namespace
} // namespace zarn
