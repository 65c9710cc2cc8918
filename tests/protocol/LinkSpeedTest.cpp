#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "protocol/Decoders.h"
#include "protocol/LinkSpeed.h"
#include "protocol/VNCProto.h"
#include "support/RfbBytes.h"
#include "support/RfbScripts.h"

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

// The engine's measurement on a real socket: an update that arrives in four pieces 100 ms apart
// was mostly waited for, for about the 300 ms between its first and last piece.
TEST(LinkSpeedWire, AnUpdateThatTrickledInIsMeasuredAsWaitedFor)
{
    constexpr uint16_t kW = 64, kH = 64;
    test::ByteWriter update;
    update.Update(1).Rect(0, 0, kW, kH, kEncodingRaw);
    for (uint32_t i = 0; i < uint32_t(kW) * kH; ++i)
        update.Px<uint32_t>(i);
    const std::vector<uint8_t>& bytes = update.bytes();
    const size_t piece = bytes.size() / 4;

    test::ScriptedServer server;
    test::ScriptNoneHandshake(server, { .width = kW, .height = kH });
    server.Expect(8 + 20 + 6 * 8 + 10);
    for (size_t at = 0; at < bytes.size(); at += piece)
        server.Send(std::vector<uint8_t>(bytes.begin() + ptrdiff_t(at),
                        bytes.begin() + ptrdiff_t(std::min(bytes.size(), at + piece))))
            .Pause(100);
    server.Pause(2000).Close();
    server.Start();

    TVNCProto proto;
    ASSERT_TRUE(proto.Connect("127.0.0.1", server.Port())) << proto.LastError;
    ASSERT_TRUE(proto.StartSession(true)) << proto.LastError;
    ASSERT_TRUE(proto.RequestUpdate(0, 0, kW, kH, false));
    while (proto.FramesReceived == 0) {
        ASSERT_TRUE(proto.HandleArrivedMessages()) << proto.CycleError;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const TVNCProto::TArrival arrival = proto.TakeArrival();
    EXPECT_GE(arrival.Bytes, bytes.size() / 2);
    EXPECT_LE(arrival.Bytes, bytes.size());
    EXPECT_GE(arrival.Micros, 250'000u);
    EXPECT_LT(arrival.Micros, 1'000'000u);
    EXPECT_EQ(proto.TakeArrival().Bytes, 0u); // taken
}

} // namespace
} // namespace zarn
