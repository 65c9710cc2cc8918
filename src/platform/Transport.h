#pragma once
// The byte stream the protocol engine speaks over. TcpClient is the real one; tests and the
// fuzzer feed the engine from memory through the same interface.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <span>
#include <string>
#include <vector>

#include "platform/Deadline.h"
#include "platform/EngineError.h"

namespace zarn {

// Every transport failure (refused connect, closed connection, time-out, socket error,
// over-long line) travels as this exception; the engine catches it where its work is entered.
class TransportError : public EngineError {
public:
    using EngineError::EngineError;
};

class ITransport {
public:
    ITransport() = default;
    virtual ~ITransport() = default;
    // A transport stands for one connection: a copy would share or duplicate it.
    ITransport(const ITransport&) = delete;
    ITransport& operator=(const ITransport&) = delete;

    virtual void SetHost(const std::string& host) = 0;
    virtual void SetPort(int port) = 0;

    // Bounds the next Connect, in milliseconds; 0 leaves it to the system. Transports that
    // cannot wait ignore it.
    virtual void SetConnectTimeout(int /*milliseconds*/) {}
    // Opens the connection, blocking (bounded by the connect time-out); throws TransportError.
    virtual void Connect() = 0;
    // If a connection is open: closes it, then calls OnDisconnected. Otherwise does nothing.
    virtual void Disconnect() = 0;
    // Frees the socket object; afterwards HasSocket() is false.
    virtual void ReleaseSocket() = 0;

    virtual bool HasSocket() const = 0;
    // The "connected test": when bytes are waiting on the socket, performs one receive (of at
    // most one receive chunk) into the receive buffer without waiting; then reports whether the
    // connection is open. Never throws.
    virtual bool Connected() = 0;
    // True when no received byte is buffered; never touches the socket.
    virtual bool ReceiveBufferEmpty() const = 0;

    // Bounds every read from now until the next call (every byte received counts towards its
    // progress); a fresh connection starts with none. A read that would have to wait past it
    // throws TransportError naming it. Transports that cannot wait only keep it.
    virtual void SetReadDeadline(const Deadline& deadline) = 0;
    // Each Write fails once it has made no progress for this long; 0 waits without limit.
    virtual void SetWriteTimeout(int milliseconds) = 0;

    // Exactly n bytes into dst, waiting as needed; throws TransportError past the read
    // deadline or on close.
    virtual void ReadExact(uint8_t* dst, size_t n) = 0;
    // Up to and including the next line feed; returns the text before it with a carriage
    // return right before the line feed removed. More than maxLength bytes without a line
    // feed fails the read.
    virtual std::string ReadLine(size_t maxLength) = 0;
    // The next n received bytes if they are already buffered, without copying; nullptr when
    // fewer are buffered. The pointer stays valid until the next call on the transport.
    virtual const uint8_t* PeekBuffered(size_t /*n*/) { return nullptr; }
    // Every byte received and not yet taken, without copying; empty when none (or when the
    // transport keeps no buffer). Valid, like PeekBuffered's pointer, until the next call.
    virtual std::span<const uint8_t> Buffered() { return {}; }
    // Bytes received by the system or buffered here and not yet taken, without waiting: what a
    // read could take at once. Never throws.
    virtual size_t BytesAvailable() { return Buffered().size(); }
    // Takes n bytes that PeekBuffered or Buffered has just shown.
    virtual void Consume(size_t /*n*/) {}
    // Sends the whole buffer; throws TransportError on failure.
    virtual void Write(const uint8_t* data, size_t n) = 0;

    // A line at the start of received bytes whose line feed has arrived: its text (a carriage
    // return right before the line feed removed) and how many bytes it takes, line feed included.
    struct TLine {
        std::string Text;
        size_t Bytes = 0;
    };
    // The first `scanned` bytes of `buffered` are known to hold no line feed; `scanned` is moved
    // on. More than maxLength bytes without a line feed fail the read.
    static std::optional<TLine> CompleteLine(std::span<const uint8_t> buffered, size_t& scanned, size_t maxLength);

    // Called by Disconnect (and by a transport that notices its peer closed) after closing
    // an open connection.
    std::function<void()> OnDisconnected;

    // Convenience reads over ReadExact. Integers are big-endian unless named LE.
    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    uint32_t ReadU32LE();
    // n < 1 reads nothing and gives the empty string.
    std::string ReadText(int64_t n);
    void Write(const std::vector<uint8_t>& bytes) { Write(bytes.data(), bytes.size()); }
    void Write(const std::string& text);
};

} // namespace zarn
