#include "platform/AtomicFileWriter.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <vector>

#include "support/TempDir.h"

namespace zarn::test {
namespace {

std::vector<std::string> Names(const TempDir& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicFileWriter, TargetHoldsTheOldFileUntilCommitAndAfterAnAbandonedWrite)
{
    TempDir folder;
    const std::string target = folder.File("out.bin").string();
    WriteFile(target, "old");
    {
        AtomicFileWriter abandoned;
        ASSERT_TRUE(abandoned.Open(target, nullptr));
        abandoned.Write("new!", 4);
    }
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(Names(folder), std::vector<std::string> { "out.bin" });

    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(target, nullptr));
    ASSERT_TRUE(writer.Write("new!", 4));
    EXPECT_EQ(ReadFile(target), "old");
    std::string error;
    ASSERT_TRUE(writer.Commit(&error)) << error;
    EXPECT_EQ(ReadFile(target), "new!");
    EXPECT_EQ(Names(folder), std::vector<std::string> { "out.bin" });
}

TEST(AtomicFileWriter, TargetNamesAtTheSystemLimitCanStillBeWritten)
{
    TempDir folder;
    const std::string name = std::string(NAME_MAX - 4, 'n') + ".bmp";
    AtomicFileWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(folder.File(name).string(), &error)) << error;
    EXPECT_EQ(std::filesystem::path(writer.TemporaryPath()).parent_path(), folder.Path());
    ASSERT_TRUE(writer.Commit(&error)) << error;
    EXPECT_EQ(Names(folder), std::vector<std::string> { name });
}

// A screenshot gets the permissions any new file would, not the owner-only ones of a private
// temporary file; a file written over keeps the ones its owner gave it.
TEST(AtomicFileWriter, NewFilesFollowTheUmaskReplacedOnesKeepTheirMode)
{
    TempDir folder;
    const mode_t previous = ::umask(022);
    AtomicFileWriter writer;
    const bool created = writer.Open(folder.File("new.bin").string(), nullptr) && writer.Commit(nullptr);
    WriteFile(folder.File("kept.bin"), "x");
    ::chmod(folder.File("kept.bin").c_str(), 0600);
    const bool replaced = writer.Open(folder.File("kept.bin").string(), nullptr) && writer.Commit(nullptr);
    ::umask(previous);
    ASSERT_TRUE(created && replaced);
    struct stat info { };
    ASSERT_EQ(::stat(folder.File("new.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    ASSERT_EQ(::stat(folder.File("kept.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AtomicFileWriter, FailuresNameTheTargetAndTheReason)
{
    TempDir folder;
    AtomicFileWriter writer;
    std::string error;
    EXPECT_FALSE(writer.Open(folder.File("missing/out.bin").string(), &error));
    EXPECT_EQ(writer.ErrorNumber(), ENOENT);
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_NE(error.find("missing/out.bin"), std::string::npos) << error;

    std::filesystem::create_directory(folder.File("a-folder"));
    ASSERT_TRUE(writer.Open(folder.File("a-folder").string(), &error));
    EXPECT_FALSE(writer.Commit(&error));
    EXPECT_EQ(writer.ErrorNumber(), EISDIR);
    EXPECT_EQ(Names(folder), std::vector<std::string> { "a-folder" }) << "the temporary file is removed";
}

} // namespace
} // namespace zarn::test
