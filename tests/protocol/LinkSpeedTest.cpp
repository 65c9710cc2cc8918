#include <gtest/gtest.h>

#include <vector>

#include "protocol/LinkSpeed.h"

namespace zarn {
namespace {

// A stretch of cycles, one every `everyMs` from `fromMs` up to (not including) `toMs`, each
// measuring `bytes` that took `micros` to arrive.
struct Phase {
    uint64_t fromMs, toMs, everyMs, bytes, micros;
};

// The times at which the verdict changed, on the fake clock.
std::vector<uint64_t> Changes(const std::vector<Phase>& phases)
{
    TLinkSpeed speed;
    speed.Reset();
    std::vector<uint64_t> changes;
    for (const Phase& p : phases)
        for (uint64_t t = p.fromMs; t < p.toMs; t += p.everyMs)
            if (speed.AddSample(t, p.bytes, p.micros))
                changes.push_back(t);
    return changes;
}

TEST(LinkSpeed, VerdictFollowsTheLinkWithHysteresisAndAGap)
{
    // At 10 Mbit/s a lossless first picture of 1 MB takes 0.8 s; JPEG updates then carry 28 KB
    // of which about half is waited for.
    const Phase fullPictureAt10 { 1000, 1001, 1, 1'000'000, 800'000 };
    const Phase jpegAt10 { 1100, 8000, 66, 14'000, 11'200 };
    const Phase jpegAt50 { 8000, 20000, 66, 14'000, 2'240 };
    const struct {
        const char* what;
        std::vector<Phase> phases;
        // Each change lies in its [earliest, latest] span.
        std::vector<std::pair<uint64_t, uint64_t>> want;
    } cases[] = {
        { "loopback stays lossless", { { 0, 10000, 50, 4'000'000, 8'000 } }, {} },
        { "a slow link turns lossy at its first large update", { fullPictureAt10, jpegAt10 }, { { 1000, 1000 } } },
        // The old samples age out of the window before the verdict turns.
        { "the link speeds up: lossless again once the gap has passed",
            { fullPictureAt10, jpegAt10, jpegAt50 }, { { 1000, 1000 }, { 9000, 11000 } } },
        { "a change waits for the gap after the last one",
            { fullPictureAt10, { 1100, 9000, 66, 14'000, 2'240 } }, { { 1000, 1000 }, { 6000, 6066 } } },
        { "between the thresholds the first verdict stays", { { 0, 20000, 50, 30'000, 10'000 } }, {} },
        { "between the thresholds a slow verdict stays",
            { fullPictureAt10, { 1100, 20000, 50, 30'000, 10'000 } }, { { 1000, 1000 } } },
        { "short waits measure latency, not rate", { { 0, 20000, 50, 2'000, 10'000 } }, {} },
        { "samples too far apart never add up", { { 0, 40000, 4000, 100'000, 100'000 } }, {} },
        // 10 and 40 Mbit/s taking turns every second average between the thresholds.
        { "an unsteady link does not flap",
            { { 0, 1000, 100, 62'500, 50'000 }, { 1000, 2000, 100, 250'000, 50'000 },
                { 2000, 3000, 100, 62'500, 50'000 }, { 3000, 4000, 100, 250'000, 50'000 },
                { 4000, 5000, 100, 62'500, 50'000 }, { 5000, 6000, 100, 250'000, 50'000 },
                { 6000, 7000, 100, 62'500, 50'000 }, { 7000, 8000, 100, 250'000, 50'000 } },
            { { 300, 300 } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint64_t> changes = Changes(c.phases);
        ASSERT_EQ(changes.size(), c.want.size());
        for (size_t i = 0; i < changes.size(); ++i) {
            EXPECT_GE(changes[i], c.want[i].first);
            EXPECT_LE(changes[i], c.want[i].second);
        }
    }
}

TEST(LinkQuality, AnnouncedLevelFollowsTheSettingsAndTheVerdict)
{
    const struct {
        bool autoQuality;
        int quality;
        bool slowLink;
        int want;
    } rows[] = {
        { true, 8, false, -1 }, { true, 8, true, 8 }, { false, 6, false, 6 }, { false, 6, true, 6 },
        { true, -1, true, -1 }, { false, -1, false, -1 }, { false, 12, false, -1 },
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.autoQuality << " " << r.quality << " " << r.slowLink);
        TLinkQuality quality;
        quality.Configure(r.autoQuality, r.quality);
        // 1 MB in 0.8 s: 10 Mbit/s.
        const bool changed = r.slowLink && quality.Judge(1000, 1'000'000, 800'000);
        EXPECT_EQ(changed, r.autoQuality && r.quality >= 0 && r.slowLink);
        EXPECT_EQ(quality.JpegQuality(), r.want);
        quality.Restart();
        EXPECT_EQ(quality.JpegQuality(), r.autoQuality ? -1 : r.want);
    }
}

} // namespace
} // namespace zarn
