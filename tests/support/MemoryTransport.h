#pragma once
// A transport over bytes in memory, for tests, the fuzzers and the benchmarks: the whole script counts as
// already received, every write is recorded, and reading past the end fails as a closed
// connection would.

#include <string>
#include <vector>

#include "platform/Transport.h"

namespace zarn {

class MemoryTransport final : public ITransport {
public:
    MemoryTransport() = default;
    explicit MemoryTransport(std::vector<uint8_t> incoming);

    // Appends bytes the "server" has sent.
    void Feed(const std::vector<uint8_t>& bytes);
    void Feed(const uint8_t* data, size_t n);
    // Everything the client wrote, in order.
    const std::vector<uint8_t>& Written() const { return FWritten; }
    void ClearWritten() { FWritten.clear(); }
    size_t Remaining() const { return FIncoming.size() - FPos; }
    // Starts the incoming bytes over (the decoder benchmark plays one update again and again).
    void Rewind() { FPos = 0; }
    // Makes the transport look like an open connection (as after Connect).
    void Open() { FOpen = true; FHasSocket = true; }
    int ConnectCalls() const { return FConnectCalls; }
    // Shows up to `bytes` of the unread input through PeekBuffered and Buffered, as a socket's
    // receive buffer would, so that readers parsing in place meet its edge anywhere. 0 (the
    // default) shows nothing: every read goes through ReadExact.
    void SetBufferWindow(size_t bytes) { FWindow = bytes; }

    void SetHost(const std::string&) override {}
    void SetPort(int) override {}
    void Connect() override;
    void Disconnect() override;
    void ReleaseSocket() override;
    bool HasSocket() const override { return FHasSocket; }
    bool Connected() override { return FOpen; }
    bool ReceiveBufferEmpty() const override { return FPos >= FIncoming.size(); }
    void SetReadDeadline(const Deadline& deadline) override { FReadDeadline = deadline; }
    void SetWriteTimeout(int) override {}
    const Deadline& ReadDeadline() const { return FReadDeadline; }
    void ReadExact(uint8_t* dst, size_t n) override;
    std::string ReadLine(size_t maxLength) override;
    void Write(const uint8_t* data, size_t n) override;
    using ITransport::Write;
    const uint8_t* PeekBuffered(size_t n) override;
    std::span<const uint8_t> Buffered() override;
    void Consume(size_t n) override;

private:
    std::vector<uint8_t> FIncoming;
    size_t FPos = 0;
    std::vector<uint8_t> FWritten;
    bool FOpen = false;
    bool FHasSocket = false;
    Deadline FReadDeadline;
    int FConnectCalls = 0;
    size_t FWindow = 0;
};

} // namespace zarn
