#pragma once
// The real transport: a POSIX TCP socket (IPv4 or IPv6 by name) with a receive buffer filled
// in chunks of up to 32 KiB. Reads and writes block the caller: each tries the socket first and
// waits in poll() only when it would block, so the connect time-out, the read deadline and the
// write time-out bound every wait.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/RfbConstants.h"
#include "platform/Transport.h"

namespace zarn {

class TcpClient final : public ITransport {
public:
    // Receives are made in chunks of this size.
    static constexpr size_t kReceiveChunk = 65536;
    // A large block is received into the reader's memory at most this much per receive.
    static constexpr size_t kDirectPiece = 256 * 1024;

    TcpClient();
    ~TcpClient() override;

    void SetHost(const std::string& host) override;
    void SetPort(int port) override;
    void Connect() override;
    void Disconnect() override;
    void ReleaseSocket() override;
    bool HasSocket() const override;
    bool Connected() override;
    bool ReceiveBufferEmpty() const override;
    void SetReadDeadline(const Deadline& deadline) override;
    void SetWriteTimeout(int milliseconds) override;
    void ReadExact(uint8_t* dst, size_t n) override;
    std::string ReadLine(size_t maxLength) override;
    void Write(const uint8_t* data, size_t n) override;
    const uint8_t* PeekBuffered(size_t n) override;
    std::span<const uint8_t> Buffered() override;
    void Consume(size_t n) override;
    size_t BytesAvailable() override;
    using ITransport::Write;

    // A connect that has not completed by then fails (all resolved addresses together).
    static constexpr int kDefaultConnectTimeoutMs = kDefaultTimeoutMs;

    // Bounds the blocking connect; 0 means the system's own limit.
    void SetConnectTimeout(int milliseconds) override;
    int ConnectTimeout() const;

private:
    enum class ReceiveResult { Data, NothingYet, Closed, Failed };

    // One receive of at most kReceiveChunk bytes appended to the buffer; never waits.
    ReceiveResult ReceiveChunk();
    // At least one more byte into the buffer, waiting (within the read deadline) only when
    // none has arrived yet; throws past the deadline, on close or error.
    void ReceiveMore(const char* waitingFor);
    [[noreturn]] void ThrowReadExpired(const char* waitingFor) const;
    // Exactly n bytes straight from the socket into dst (the receive buffer must be empty).
    void ReceiveInto(uint8_t* dst, size_t n);
    // The peer closed (or the socket failed): close our end and notify.
    void PeerClosed();

    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

} // namespace zarn
