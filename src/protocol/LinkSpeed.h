#pragma once
// Picture quality that follows the link. A session on a LAN or on loopback stays lossless (pixel
// exact); on a slow link the JPEG quality level is announced, so the server may send Tight
// rectangles as JPEG pictures a tenth of their lossless size.
//
// TLinkSpeed judges the link from what the engine measures: update data that had not yet
// arrived when its message began, and how long those messages took to read (TVNCProto's
// TakeArrival). That is the rate at which the link delivers while the viewer is waiting for
// it, which does not depend on how much the picture changes: an idle desktop sends little but
// says nothing about the link. Samples are kept for a few seconds and summed; a verdict needs
// enough measured time behind it. Below kSlowMbps the link is slow, above kFastMbps it is fast;
// between the two the verdict stays (hysteresis), and it changes at most once per
// kMinChangeGapMs, so a link near a threshold never flaps. The time source is the caller's
// (milliseconds of a steady clock), so tests drive it by hand.

#include <cstdint>
#include <cstddef>
#include <deque>

namespace zarn {

class TVNCProto;

class TLinkSpeed {
public:
    static constexpr double kSlowMbps = 16.0;
    static constexpr double kFastMbps = 32.0;
    static constexpr uint64_t kWindowMs = 3000;        // samples older than this are dropped
    static constexpr uint64_t kMinChangeGapMs = 5000;  // between two verdict changes
    // Evidence a verdict needs: this much measured time, or kMinSamples samples with at
    // least kMinFewSamplesMicros between them (small updates on a fast link).
    static constexpr uint64_t kEnoughMicros = 200'000;
    static constexpr size_t kMinSamples = 4;
    static constexpr uint64_t kMinFewSamplesMicros = 20'000;
    // A message that waited for less than this is not a sample: its time is the link's
    // latency, not its rate.
    static constexpr uint64_t kMinSampleBytes = 4096;

    // Starts a judgement afresh: fast link, no samples, the next change allowed at once.
    void Reset();
    // Adds what one cycle measured at nowMs; true when the verdict changed with it.
    bool AddSample(uint64_t nowMs, uint64_t bytes, uint64_t micros);
    bool Slow() const { return FSlow; }
    // The rate of the samples kept, in Mbit/s; 0 without samples.
    double Mbps() const;

private:
    struct TSample {
        uint64_t AtMs;
        uint64_t Bytes;
        uint64_t Micros;
    };
    void DropOlderThan(uint64_t nowMs);
    bool Enough() const;

    std::deque<TSample> FSamples;
    uint64_t FBytes = 0;
    uint64_t FMicros = 0;
    bool FSlow = false;
    bool FChanged = false;          // a verdict change has happened (the gap applies)
    uint64_t FLastChangeMs = 0;
};

// What a session announces as JPEG quality, and when it changes that. With AutoQuality the
// level is announced only while the link is slow; without it always; with quality -1 never.
class TLinkQuality {
public:
    // Takes the settings' choice. Keeps the link's verdict (a live change of settings does not
    // forget what was measured); Restart drops it.
    void Configure(bool autoQuality, int jpegQuality);
    // A new connection: lossless again until the link proves slow.
    void Restart();
    // The JPEG quality level to announce now: 0..9, or -1 for none.
    int JpegQuality() const;
    // Takes one cycle's measurement at nowMs; true when the level to announce changed with it.
    bool Judge(uint64_t nowMs, uint64_t bytes, uint64_t micros);
    // The step after every update cycle (GUI thread): takes what the engine measured and, when
    // the verdict changes, sets the engine's JpegQuality and sends one SetEncodings. True when
    // it sent one.
    bool FollowLink(TVNCProto& proto, uint64_t nowMs);
    // The same at the steady clock's present.
    bool FollowLink(TVNCProto& proto);

    const TLinkSpeed& Speed() const { return FSpeed; }

private:
    TLinkSpeed FSpeed;
    bool FAuto = true;
    int FQuality = -1;
};

} // namespace zarn
