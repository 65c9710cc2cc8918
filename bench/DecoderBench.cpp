// Decoder benchmark: one full-screen FramebufferUpdate per encoding, pixel mode and kind of
// content, decoded by the engine again and again from memory. bytes_per_second is wire input;
// px/s the framebuffer pixels written. Each case first checks that it decodes to the picture
// it was made from.

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "BenchStreams.h"
#include "ReplayTransport.h"
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

template <typename Pixel>
bool DecodesToItsPicture(const std::vector<Pixel>& decoded, const Picture<Pixel>& picture, Encoding encoding)
{
    if (encoding != Encoding::CopyRect)
        return decoded == picture.pixels;
    const size_t moved = size_t(kWidth) * size_t(kHeight - kTextLineHeight);
    return std::equal(decoded.begin(), decoded.begin() + ptrdiff_t(moved),
        picture.pixels.begin() + ptrdiff_t(size_t(kWidth) * kTextLineHeight));
}

template <typename Pixel> void DecodeUpdate(benchmark::State& state, Encoding encoding, Content content)
{
    const Picture<Pixel> picture = PictureIn<Pixel>(content);
    const Bytes body
        = encoding == Encoding::CopyRect ? CopyRectBody<Pixel>() : MakeFullUpdateBody(encoding, picture);
    auto owned = std::make_unique<ReplayTransport>(body);
    ReplayTransport& wire = *owned;
    TVNCProto proto(std::move(owned));
    proto.TrueColor = sizeof(Pixel) == 4;
    proto.BitsPerPixel = sizeof(Pixel) * 8;
    proto.FramebufferWidth = kWidth;
    proto.FramebufferHeight = kHeight;
    proto.AllocateFramebuffer();
    auto decodeOnce = [&] {
        wire.Rewind();
        if constexpr (sizeof(Pixel) == 4)
            proto.HandleFramebufferUpdate32();
        else
            proto.HandleFramebufferUpdate8();
    };

    Framebuffer<Pixel>(proto) = picture.pixels;
    decodeOnce();
    if (!DecodesToItsPicture(Framebuffer<Pixel>(proto), picture, encoding)) {
        state.SkipWithError("the update does not decode to its picture");
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
