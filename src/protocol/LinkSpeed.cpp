#include "protocol/LinkSpeed.h"

#include <chrono>

#include "protocol/VNCProto.h"

namespace zarn {

void TLinkSpeed::Reset()
{
    FSamples.clear();
    FBytes = FMicros = 0;
    FSlow = false;
    FChanged = false;
    FLastChangeMs = 0;
}

void TLinkSpeed::DropOlderThan(uint64_t nowMs)
{
    while (!FSamples.empty() && nowMs - FSamples.front().AtMs > kWindowMs) {
        FBytes -= FSamples.front().Bytes;
        FMicros -= FSamples.front().Micros;
        FSamples.pop_front();
    }
}

bool TLinkSpeed::Enough() const
{
    return FMicros >= kEnoughMicros || (FSamples.size() >= kMinSamples && FMicros >= kMinFewSamplesMicros);
}

double TLinkSpeed::Mbps() const
{
    // Bits per microsecond are megabits per second.
    return FMicros == 0 ? 0.0 : double(FBytes) * 8.0 / double(FMicros);
}

bool TLinkSpeed::AddSample(uint64_t nowMs, uint64_t bytes, uint64_t micros)
{
    DropOlderThan(nowMs);
    if (bytes >= kMinSampleBytes && micros > 0) {
        FSamples.push_back({ nowMs, bytes, micros });
        FBytes += bytes;
        FMicros += micros;
    }
    if (!Enough() || (FChanged && nowMs - FLastChangeMs < kMinChangeGapMs))
        return false;
    const double mbps = Mbps();
    const bool slow = FSlow ? mbps <= kFastMbps : mbps < kSlowMbps;
    if (slow == FSlow)
        return false;
    FSlow = slow;
    FChanged = true;
    FLastChangeMs = nowMs;
    // What was measured under the old announcement judged it; the new one starts fresh.
    FSamples.clear();
    FBytes = FMicros = 0;
    return true;
}

void TLinkQuality::Configure(bool autoQuality, int jpegQuality)
{
    FAuto = autoQuality;
    FQuality = jpegQuality >= 0 && jpegQuality <= 9 ? jpegQuality : -1;
}

void TLinkQuality::Restart()
{
    FSpeed.Reset();
}

int TLinkQuality::JpegQuality() const
{
    if (FQuality < 0)
        return -1;
    return !FAuto || FSpeed.Slow() ? FQuality : -1;
}

bool TLinkQuality::Judge(uint64_t nowMs, uint64_t bytes, uint64_t micros)
{
    // Without a choice to make nothing is judged, so a later switch to automatic starts fresh.
    if (!FAuto || FQuality < 0)
        return false;
    return FSpeed.AddSample(nowMs, bytes, micros);
}

bool TLinkQuality::FollowLink(TVNCProto& proto, uint64_t nowMs)
{
    const TVNCProto::TArrival arrival = proto.TakeArrival();
    if (!Judge(nowMs, arrival.Bytes, arrival.Micros))
        return false;
    const int wanted = JpegQuality();
    if (proto.JpegQuality == wanted || !proto.UseTight)
        return false;
    proto.JpegQuality = wanted;
    return proto.SendSetEncodings();
}

bool TLinkQuality::FollowLink(TVNCProto& proto)
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return FollowLink(proto, uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
}

} // namespace zarn
