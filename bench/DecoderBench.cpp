// Decoder benchmark: one full-screen FramebufferUpdate per encoding, pixel mode and kind of
// content, decoded by the engine again and again from memory. bytes_per_second is wire input;
// px/s the framebuffer pixels written. Each case first decodes once over a scrambled
// framebuffer and compares the result with a reference built without the decoders.

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "BenchStreams.h"
#include "support/MemoryTransport.h"
#include "protocol/VNCProto.h"

namespace zarn::bench {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

template <typename Pixel> Picture<Pixel> PictureIn(Content content)
{
    Picture32 picture = MakePicture(content, kWidth, kHeight, 0);
    if constexpr (sizeof(Pixel) == 4)
        return picture;
    else
        return ToColourIndices(picture);
}

template <typename Pixel> std::vector<Pixel>& Framebuffer(TVNCProto& proto)
{
    if constexpr (sizeof(Pixel) == 4)
        return proto.Pixels32;
    else
        return proto.Pixels8;
}

// CopyRect scrolls the picture up by a text line: the data is the 4-byte source position,
// the work is moving nearly the whole framebuffer.
template <typename Pixel> Bytes CopyRectBody()
{
    Bytes body { 0, 0, 1 };
    AppendCopyRect(body, 0, 0, kWidth, kHeight - kTextLineHeight, 0, kTextLineHeight);
    return body;
}

// What the framebuffer holds before the checking decode: a pattern no test picture shares and
// that never repeats along a column, so a decoder that writes nothing, too little or to the
// wrong place cannot pass.
template <typename Pixel> std::vector<Pixel> Scrambled()
{
    std::vector<Pixel> pixels(size_t(kWidth) * size_t(kHeight));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = Pixel(uint32_t(i * 2654435761u) >> 5);
    return pixels;
}

// The reference: what the update must leave behind over `before`. The CopyRect update moves
// everything below the first text line up by one line; the rest draw the picture.
template <typename Pixel>
std::vector<Pixel> Expected(const std::vector<Pixel>& before, const Picture<Pixel>& picture, Encoding encoding)
{
    if (encoding != Encoding::CopyRect)
        return picture.pixels;
    std::vector<Pixel> after = before;
    std::copy(before.begin() + ptrdiff_t(size_t(kWidth) * kTextLineHeight), before.end(), after.begin());
    return after;
}

template <typename Pixel> void DecodeUpdate(benchmark::State& state, Encoding encoding, Content content)
{
    const Picture<Pixel> picture = PictureIn<Pixel>(content);
    const Bytes body
        = encoding == Encoding::CopyRect ? CopyRectBody<Pixel>() : MakeFullUpdateBody(encoding, picture);
    // The message type byte first: the update goes through the engine's own message loop.
    Bytes message { 0 };
    message.insert(message.end(), body.begin(), body.end());
    auto owned = std::make_unique<MemoryTransport>(std::move(message));
    MemoryTransport& wire = *owned;
    // All of it counts as received, so decoders parse in place as from a full receive buffer.
    wire.SetBufferWindow(SIZE_MAX);
    wire.Open();
    TVNCProto proto;
    proto.AdoptSession(kWidth, kHeight, sizeof(Pixel) == 4, std::move(owned));
    auto decodeOnce = [&] {
        wire.Rewind();
        if (!proto.HandleArrivedMessages())
            state.SkipWithError(proto.CycleError.c_str());
    };

    const std::vector<Pixel> before = Scrambled<Pixel>();
    Framebuffer<Pixel>(proto) = before;
    decodeOnce();
    if (Framebuffer<Pixel>(proto) != Expected(before, picture, encoding)) {
        state.SkipWithError("the update does not decode to its reference");
        return;
    }
    for (auto _ : state) {
        decodeOnce();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
    state.counters["px/s"]
        = benchmark::Counter(double(state.iterations()) * kWidth * kHeight, benchmark::Counter::kIsRate);
    state.counters["wire_KB"] = double(body.size()) / 1000;
}

void RegisterAll()
{
    for (const Encoding encoding : { Encoding::Raw, Encoding::CopyRect, Encoding::RRE, Encoding::Hextile }) {
        for (const int bits : { 32, 8 }) {
            for (const Content content : { Content::Text, Content::Photo, Content::Ui }) {
                const std::string name = std::string(EncodingName(encoding)) + "/" + std::to_string(bits)
                    + "/" + ContentName(content);
                if (bits == 32)
                    benchmark::RegisterBenchmark(name.c_str(), DecodeUpdate<uint32_t>, encoding, content);
                else
                    benchmark::RegisterBenchmark(name.c_str(), DecodeUpdate<uint8_t>, encoding, content);
            }
        }
    }
}

} // namespace
} // namespace zarn::bench

int main(int argc, char** argv)
{
    zarn::bench::RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
