// Decoder benchmark: one full-screen FramebufferUpdate per encoding, pixel mode and kind of
// content, decoded by the engine again and again from memory. bytes_per_second is wire input;
// px/s the framebuffer pixels written. Each case first decodes once over a scrambled
// framebuffer and compares the result with a reference built without the decoders.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "BenchStreams.h"
#include "CompressedEncode.h"
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

// ZRLE and Tight updates the way servers shape them: ZRLE as one full-screen rectangle with the
// shortest form per tile; Tight in rectangles of 128 x 64 (servers keep theirs under 64 Ki
// pixels), each a fill, a palette, or the pixels (copy, or a JPEG of quality 80 when `jpeg`).
enum class Compressed { Zrle, Tight, TightJpeg };

const char* CompressedName(Compressed kind)
{
    return kind == Compressed::Zrle ? "ZRLE" : kind == Compressed::Tight ? "Tight" : "TightJPEG";
}

template <typename Pixel> Bytes CompressedBody(Compressed kind, const Picture<Pixel>& picture)
{
    auto blockAt = [&](int x, int y, int w, int h) {
        return PixelBlock<Pixel> { picture.pixels.data() + ptrdiff_t(y) * picture.width + x, picture.width, w, h };
    };
    auto header = [](Bytes& out, int x, int y, int w, int h, int32_t encoding) {
        const uint8_t bytes[12] = { uint8_t(x >> 8), uint8_t(x), uint8_t(y >> 8), uint8_t(y), uint8_t(w >> 8),
            uint8_t(w), uint8_t(h >> 8), uint8_t(h), uint8_t(encoding >> 24), uint8_t(encoding >> 16),
            uint8_t(encoding >> 8), uint8_t(encoding) };
        out.insert(out.end(), bytes, bytes + 12);
    };
    if (kind == Compressed::Zrle) {
        ZrleEncoder encoder;
        Bytes body { 0, 0, 1 };
        header(body, 0, 0, picture.width, picture.height, 16);
        const Bytes data = encoder.Encode(blockAt(0, 0, picture.width, picture.height), ZrleForm::Best);
        body.insert(body.end(), data.begin(), data.end());
        return body;
    }
    TightEncoder encoder(1); // compression level 1 a server uses for its fast modes
    constexpr int kRectWidth = 128, kRectHeight = 64;
    const int rects = ((picture.width + kRectWidth - 1) / kRectWidth) * ((picture.height + kRectHeight - 1) / kRectHeight);
    Bytes body { 0, uint8_t(rects >> 8), uint8_t(rects) };
    for (int y = 0; y < picture.height; y += kRectHeight)
        for (int x = 0; x < picture.width; x += kRectWidth) {
            const int w = std::min(kRectWidth, picture.width - x), h = std::min(kRectHeight, picture.height - y);
            const PixelBlock<Pixel> block = blockAt(x, y, w, h);
            std::vector<Pixel> colours;
            for (int j = 0; j < h && colours.size() <= 24; ++j)
                for (int i = 0; i < w && colours.size() <= 24; ++i)
                    if (std::find(colours.begin(), colours.end(), block.at(i, j)) == colours.end())
                        colours.push_back(block.at(i, j));
            TightForm form = colours.size() == 1 ? TightForm::Fill
                : colours.size() <= 24       ? TightForm::Palette
                : kind == Compressed::TightJpeg ? TightForm::Jpeg
                                                : TightForm::Copy;
            header(body, x, y, w, h, 7);
            // Every rectangle restarts its stream, so the update decodes the same each time.
            const int stream = form == TightForm::Palette ? 1 : 0;
            const Bytes data = encoder.Encode(block, form, stream, uint8_t(1u << stream), 80);
            body.insert(body.end(), data.begin(), data.end());
        }
    return body;
}

// The mean difference of the colour components: a JPEG is judged by how close it comes.
template <typename Pixel> double MeanError(const std::vector<Pixel>& a, const std::vector<Pixel>& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < int(sizeof(Pixel)) * 8 && shift < 24; shift += 8)
            sum += std::abs(int(a[i] >> shift & 255) - int(b[i] >> shift & 255));
    return sum / double(a.size()) / (sizeof(Pixel) == 4 ? 3 : 1);
}

// A session of the benchmark's size whose transport holds one FramebufferUpdate (its type
// byte first: the update goes through the engine's own message loop). All of it counts as
// received, so decoders parse in place as from a full receive buffer.
MemoryTransport& AdoptUpdate(TVNCProto& proto, const Bytes& body, bool trueColour)
{
    Bytes message { 0 };
    message.insert(message.end(), body.begin(), body.end());
    auto owned = std::make_unique<MemoryTransport>(std::move(message));
    MemoryTransport& wire = *owned;
    wire.SetBufferWindow(SIZE_MAX);
    wire.Open();
    proto.AdoptSession(kWidth, kHeight, trueColour, std::move(owned));
    return wire;
}

template <typename Pixel> void DecodeCompressed(benchmark::State& state, Compressed kind, Content content)
{
    const Picture<Pixel> picture = PictureIn<Pixel>(content);
    const Bytes body = CompressedBody(kind, picture);
    TVNCProto proto;
    MemoryTransport& wire = AdoptUpdate(proto, body, sizeof(Pixel) == 4);
    // ZRLE's one stream continues from update to update: each replay starts a fresh session
    // (outside the timing), as the bytes were encoded for one.
    auto decodeOnce = [&](bool timed) {
        wire.Rewind();
        if (kind == Compressed::Zrle) {
            if (timed)
                state.PauseTiming();
            proto.AdoptSession(kWidth, kHeight, sizeof(Pixel) == 4);
            if (timed)
                state.ResumeTiming();
        }
        if (!proto.HandleArrivedMessages())
            state.SkipWithError(proto.CycleError.c_str());
    };
    Framebuffer<Pixel>(proto) = Scrambled<Pixel>();
    decodeOnce(false);
    const double error = MeanError(Framebuffer<Pixel>(proto), picture.pixels);
    if (kind == Compressed::TightJpeg ? error > 8 : error != 0) {
        state.SkipWithError("the update does not decode to its reference");
        return;
    }
    for (auto _ : state) {
        decodeOnce(true);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
    state.counters["px/s"]
        = benchmark::Counter(double(state.iterations()) * kWidth * kHeight, benchmark::Counter::kIsRate);
    state.counters["wire_KB"] = double(body.size()) / 1000;
}

template <typename Pixel> void DecodeUpdate(benchmark::State& state, Encoding encoding, Content content)
{
    const Picture<Pixel> picture = PictureIn<Pixel>(content);
    const Bytes body
        = encoding == Encoding::CopyRect ? CopyRectBody<Pixel>() : MakeFullUpdateBody(encoding, picture);
    TVNCProto proto;
    MemoryTransport& wire = AdoptUpdate(proto, body, sizeof(Pixel) == 4);
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
    for (const Compressed kind : { Compressed::Zrle, Compressed::Tight, Compressed::TightJpeg }) {
        for (const int bits : { 32, 8 }) {
            if (kind == Compressed::TightJpeg && bits == 8)
                continue; // no JPEG in 256 colours
            for (const Content content : { Content::Text, Content::Photo, Content::Ui }) {
                const std::string name
                    = std::string(CompressedName(kind)) + "/" + std::to_string(bits) + "/" + ContentName(content);
                if (bits == 32)
                    benchmark::RegisterBenchmark(name.c_str(), DecodeCompressed<uint32_t>, kind, content);
                else
                    benchmark::RegisterBenchmark(name.c_str(), DecodeCompressed<uint8_t>, kind, content);
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
