#pragma once
// TZlibStream: one of a session's zlib streams (ZRLE has one, Tight four). A server compresses a
// rectangle's data as a block of a known compressed length that continues the stream of the
// rectangles before it, so the inflate state lives as long as the session and is reset only
// when a new connection starts (or, for Tight, when the server says so).
//
// Reading is bounded on both sides: the compressed block is read from the transport in pieces
// of at most kInputPiece bytes (never past the block), and inflated output is handed out in the
// exact amounts the decoder asks for. A block that runs out before the rectangle is complete, a
// broken or finished stream, and a block that inflates to more than the rectangle needs all
// throw ProtocolViolation. The pieces are the same whether the bytes were already received or
// not, so a stream ends the same way however the transport delivers it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Transport.h"
#include "protocol/Inflater.h"

namespace zarn {

class TZlibStream {
public:
    static constexpr size_t kInputPiece = 32 * 1024;

    explicit TZlibStream(EInflateBackend backend = InflateBackends().front());
    ~TZlibStream();
    TZlibStream(const TZlibStream&) = delete;
    TZlibStream& operator=(const TZlibStream&) = delete;

    // Forgets the stream: the next block starts a new one.
    void Reset();
    // Starts a block of `compressedBytes` that follows on `input`; every byte taken from it is
    // added to `bytesReceived`. Both must stay valid until End.
    void Begin(ITransport& input, uint64_t& bytesReceived, uint64_t compressedBytes);
    // The next n inflated bytes of the block, valid until the next Take or End.
    const uint8_t* Take(size_t n)
    {
        if (size_t(FEnd - FPos) < n)
            Refill(n);
        const uint8_t* at = FPos;
        FPos += n;
        return at;
    }
    // Takes what is left of the block; throws when it would inflate to anything more.
    void End();

private:
    struct State;
    void Refill(size_t n);
    // Inflates into [dst, dst + room); returns how many bytes came out (0: the block is used up).
    size_t InflateSome(uint8_t* dst, size_t room);

    std::unique_ptr<State> FState;
    ITransport* FInput = nullptr;
    uint64_t* FBytesReceived = nullptr;
    uint64_t FBlockLeft = 0;          // compressed bytes of the block not yet read
    std::vector<uint8_t> FIn;         // the piece being inflated: [FInPos, FInPos + FInLeft)
    const uint8_t* FInPos = nullptr;
    size_t FInLeft = 0;
    std::vector<uint8_t> FOut;        // inflated, not yet taken: [FPos, FEnd)
    const uint8_t* FPos = nullptr;
    const uint8_t* FEnd = nullptr;
};

} // namespace zarn
