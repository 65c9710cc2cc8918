#include "protocol/ZlibStream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "protocol/EngineErrors.h"

namespace zarn {

namespace {
// The output buffer's least size: large enough that a refill is one inflate call for most
// tiles and rows.
constexpr size_t kOutputChunk = 64 * 1024;
} // namespace

// The stream is inflated raw, its two-byte zlib header checked here: the checksum an inflater
// would otherwise keep over every inflated byte is of no use for a stream that never ends (its
// trailer never comes), and costs a pass over all the pixels.
struct TZlibStream::State {
    explicit State(EInflateBackend backend)
        : inflater(MakeInflater(backend))
    {
    }
    std::unique_ptr<IInflater> inflater;
    uint8_t header[2] {};
    int headerLeft = 2;
};

namespace {
void CheckZlibHeader(const uint8_t header[2])
{
    constexpr unsigned kDeflated = 8, kLargestWindow = 7, kPresetDictionary = 0x20;
    const unsigned method = header[0] & 0x0F, window = header[0] >> 4;
    if (method != kDeflated || window > kLargestWindow || ((header[0] << 8) | header[1]) % 31 != 0
        || (header[1] & kPresetDictionary) != 0)
        throw ProtocolViolation("broken zlib data: not a zlib stream header");
}
} // namespace

TZlibStream::TZlibStream(EInflateBackend backend)
    : FState(std::make_unique<State>(backend))
{
}

TZlibStream::~TZlibStream() = default;

void TZlibStream::Reset()
{
    FState->inflater->Reset();
    FState->headerLeft = 2;
    FPos = FEnd = nullptr;
}

void TZlibStream::Begin(ITransport& input, uint64_t& bytesReceived, uint64_t compressedBytes)
{
    FInput = &input;
    FBytesReceived = &bytesReceived;
    FBlockLeft = compressedBytes;
    FInLeft = 0;
    FPos = FEnd = FOut.data();
}

size_t TZlibStream::InflateSome(uint8_t* dst, size_t room)
{
    State& state = *FState;
    for (;;) {
        if (FInLeft == 0 && FBlockLeft > 0) {
            const size_t piece = size_t(std::min<uint64_t>(FBlockLeft, kInputPiece));
            if (FIn.size() < piece)
                FIn.resize(kInputPiece);
            FInput->ReadExact(FIn.data(), piece);
            *FBytesReceived += piece;
            FBlockLeft -= piece;
            FInPos = FIn.data();
            FInLeft = piece;
        }
        while (state.headerLeft > 0 && FInLeft > 0) {
            state.header[2 - state.headerLeft--] = *FInPos++;
            --FInLeft;
            if (state.headerLeft == 0)
                CheckZlibHeader(state.header);
        }
        if (state.headerLeft > 0) {
            if (FBlockLeft == 0)
                return 0;
            continue;
        }
        TInflateIo io { FInPos, FInLeft, dst, room };
        if (!state.inflater->Inflate(io))
            throw ProtocolViolation("a zlib stream of the session ended");
        const size_t produced = room - io.outLeft;
        const bool progress = io.inLeft != FInLeft;
        FInPos = io.in;
        FInLeft = io.inLeft;
        if (produced > 0)
            return produced;
        if (FInLeft == 0 && FBlockLeft == 0)
            return 0;
        if (!progress && FInLeft > 0)
            throw ProtocolViolation("broken zlib data: no progress");
    }
}

void TZlibStream::Refill(size_t n)
{
    const size_t have = size_t(FEnd - FPos);
    if (FOut.size() < n || FOut.empty()) {
        // Grows to the largest single request a decoder makes (a tile, a row), once.
        std::vector<uint8_t> bigger(std::max(n, kOutputChunk));
        if (have > 0)
            std::memcpy(bigger.data(), FPos, have);
        FOut.swap(bigger);
    } else if (have > 0 && FPos != FOut.data()) {
        std::memmove(FOut.data(), FPos, have);
    }
    uint8_t* begin = FOut.data();
    size_t filled = have;
    while (filled < n) {
        const size_t produced = InflateSome(begin + filled, FOut.size() - filled);
        if (produced == 0)
            throw ProtocolViolation("the compressed data of a rectangle ends before its pixels do");
        filled += produced;
    }
    FPos = begin;
    FEnd = begin + filled;
}

void TZlibStream::End()
{
    if (FPos != FEnd)
        throw ProtocolViolation("the compressed data of a rectangle holds more than its pixels");
    // What is left (typically the empty block of a flush) must inflate to nothing.
    uint8_t sink[256];
    do {
        if (InflateSome(sink, sizeof sink) > 0)
            throw ProtocolViolation("the compressed data of a rectangle holds more than its pixels");
    } while (FBlockLeft > 0 || FInLeft > 0);
    FInput = nullptr;
    FBytesReceived = nullptr;
}

} // namespace zarn
