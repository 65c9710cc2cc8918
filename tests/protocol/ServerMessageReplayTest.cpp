// Replays the fuzzers' seed corpora and every input they ever failed on through the same
// harnesses, so the regular (and sanitizer) test runs keep them fixed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../../fuzzing/ServerMessageHarness.h"
#include "../../fuzzing/SetupHarness.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

const fs::path kFuzzingFolder = fs::path(ZARN_SOURCE_DIR) / "fuzzing";

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

std::vector<fs::path> FilesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ServerMessageReplay, EverySeedIsAValidStreamThatTheEngineReadsToItsEnd)
{
    const auto seeds = FilesIn(kFuzzingFolder / "corpus");
    ASSERT_GE(seeds.size(), 8u) << "one seed per encoding and pixel mode";
    for (const auto& seed : seeds) {
        const auto bytes = ReadFile(seed);
        const auto outcome = fuzzing::RunServerMessages(bytes.data(), bytes.size());
        EXPECT_EQ(outcome.violation, "") << seed.filename();
        EXPECT_TRUE(outcome.consumedCleanly) << seed.filename() << " was not read as a valid stream";
    }
}

TEST(ServerMessageReplay, InputsTheFuzzerOnceFailedOnHoldEveryCheck)
{
    for (const auto& input : FilesIn(kFuzzingFolder / "regressions")) {
        const auto bytes = ReadFile(input);
        EXPECT_EQ(fuzzing::RunServerMessages(bytes.data(), bytes.size()).violation, "") << input.filename();
    }
}

TEST(ServerMessageReplay, TheHarnessNoticesAnEngineThatStopsInTheMiddleOfAStream)
{
    // A FramebufferUpdate announcing a rectangle that never comes: the cycle must fail, and the
    // harness must report that rather than call the stream clean.
    const std::vector<uint8_t> truncated { 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00 };
    const auto outcome = fuzzing::RunServerMessages(truncated.data(), truncated.size());
    EXPECT_EQ(outcome.violation, "");
    EXPECT_FALSE(outcome.consumedCleanly);
}

TEST(SetupReplay, EverySeedEndsAsItsNameSays)
{
    const auto seeds = FilesIn(kFuzzingFolder / "setup-corpus");
    ASSERT_GE(seeds.size(), 10u) << "every version, security type, refusal and hostile claim";
    for (const auto& seed : seeds) {
        const std::string name = seed.filename().string();
        const bool mustFail = name.find("failed") != std::string::npos || name.starts_with("refused")
            || name.starts_with("hostile") || name.starts_with("unknown")
            || name.starts_with("vencrypt"); // no input can complete a TLS handshake
        const auto bytes = ReadFile(seed);
        const auto outcome = fuzzing::RunSetup(bytes.data(), bytes.size());
        EXPECT_EQ(outcome.violation, "") << name;
        EXPECT_EQ(outcome.connected, !mustFail) << name;
    }
    for (const auto& input : FilesIn(kFuzzingFolder / "setup-regressions")) {
        const auto bytes = ReadFile(input);
        EXPECT_EQ(fuzzing::RunSetup(bytes.data(), bytes.size()).violation, "") << input.filename();
    }
}

} // namespace
} // namespace zarn
