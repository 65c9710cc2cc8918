#include "protocol/ZlibStream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <zlib.h>

#include "protocol/EngineErrors.h"

namespace zarn {

namespace {
// The output buffer's least size: large enough that a refill is one inflate call for most
// tiles and rows.
constexpr size_t kOutputChunk = 64 * 1024;
} // namespace

// The stream is inflated raw, its two-byte zlib header checked here: the checksum zlib would
// otherwise keep over every inflated byte is of no use for a stream that never ends (its
// trailer never comes), and costs a pass over all the pixels.
struct TZlibStream::State {
    z_stream z {};
    bool initialised = false;
    uint8_t header[2] {};
    int headerLeft = 2;
    ~State()
    {
        if (initialised)
            inflateEnd(&z);
    }
};

TZlibStream::TZlibStream()
    : FState(std::make_unique<State>())
{
}

TZlibStream::~TZlibStream() = default;

void TZlibStream::Reset()
{
    if (FState->initialised)
        inflateReset(&FState->z);
    FState->headerLeft = 2;
    FPos = FEnd = nullptr;
}

void TZlibStream::Begin(ITransport& input, uint64_t& bytesReceived, uint64_t compressedBytes)
{
    if (!FState->initialised) {
        FState->z = {};
        if (inflateInit2(&FState->z, -MAX_WBITS) != Z_OK)
            throw ProtocolViolation("could not start a zlib stream");
        FState->initialised = true;
    }
    FInput = &input;
    FBytesReceived = &bytesReceived;
    FBlockLeft = compressedBytes;
    FState->z.avail_in = 0;
    FPos = FEnd = FOut.data();
}

size_t TZlibStream::InflateSome(uint8_t* dst, size_t room)
{
    z_stream& z = FState->z;
    for (;;) {
        if (z.avail_in == 0 && FBlockLeft > 0) {
            const size_t piece = size_t(std::min<uint64_t>(FBlockLeft, kInputPiece));
            if (FIn.size() < piece)
                FIn.resize(kInputPiece);
            FInput->ReadExact(FIn.data(), piece);
            *FBytesReceived += piece;
            FBlockLeft -= piece;
            z.next_in = FIn.data();
            z.avail_in = uInt(piece);
        }
        State& state = *FState;
        while (state.headerLeft > 0 && z.avail_in > 0) {
            state.header[2 - state.headerLeft--] = *z.next_in++;
            --z.avail_in;
            if (state.headerLeft == 0) {
                const unsigned method = state.header[0] & 0x0F, window = state.header[0] >> 4;
                if (method != Z_DEFLATED || window > 7 || ((state.header[0] << 8) | state.header[1]) % 31 != 0
                    || (state.header[1] & 0x20) != 0)
                    throw ProtocolViolation("broken zlib data: not a zlib stream header");
            }
        }
        if (state.headerLeft > 0) {
            if (FBlockLeft == 0)
                return 0;
            continue;
        }
        const uInt inBefore = z.avail_in;
        z.next_out = dst;
        z.avail_out = uInt(room);
        const int result = inflate(&z, Z_SYNC_FLUSH);
        const size_t produced = room - z.avail_out;
        if (result == Z_STREAM_END)
            throw ProtocolViolation("a zlib stream of the session ended");
        if (result != Z_OK && result != Z_BUF_ERROR)
            throw ProtocolViolation(std::string("broken zlib data: ") + (z.msg ? z.msg : "inflate failed"));
        if (produced > 0)
            return produced;
        if (z.avail_in == 0 && FBlockLeft == 0)
            return 0;
        if (z.avail_in == inBefore && z.avail_in > 0)
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
    } while (FBlockLeft > 0 || FState->z.avail_in > 0);
    FInput = nullptr;
    FBytesReceived = nullptr;
}

} // namespace zarn
