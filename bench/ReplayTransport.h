#pragma once
// A transport that plays the same bytes again and again: each Rewind starts them over. Writes
// are dropped. All of it counts as received, so decoders parse in place as they do from a
// full receive buffer. The decoder benchmarks use it so that only decoding is measured.

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/Transport.h"

namespace zarn::bench {

class ReplayTransport final : public ITransport {
public:
    explicit ReplayTransport(std::vector<uint8_t> bytes)
        : FBytes(std::move(bytes))
    {
    }
    void Rewind() { FPos = 0; }
    size_t Remaining() const { return FBytes.size() - FPos; }

    void SetHost(const std::string&) override { }
    void SetPort(int) override { }
    void Connect() override { }
    void Disconnect() override { }
    void ReleaseSocket() override { }
    bool HasSocket() const override { return true; }
    bool Connected() override { return true; }
    bool ReceiveBufferEmpty() const override { return FPos >= FBytes.size(); }
    void SetReadDeadline(const Deadline&) override { }
    void SetWriteTimeout(int) override { }
    void ReadExact(uint8_t* dst, size_t n) override
    {
        if (n > Remaining())
            throw TransportError("replay ran out of bytes");
        std::memcpy(dst, FBytes.data() + FPos, n);
        FPos += n;
    }
    std::string ReadLine(size_t) override { throw TransportError("no lines in a replay"); }
    void Write(const uint8_t*, size_t) override { }
    using ITransport::Write;
    const uint8_t* PeekBuffered(size_t n) override { return n <= Remaining() ? FBytes.data() + FPos : nullptr; }
    std::span<const uint8_t> Buffered() override { return { FBytes.data() + FPos, Remaining() }; }
    void Consume(size_t n) override { FPos += std::min(n, Remaining()); }

private:
    std::vector<uint8_t> FBytes;
    size_t FPos = 0;
};

} // namespace zarn::bench
