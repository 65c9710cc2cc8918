#pragma once
// The real transport: a blocking POSIX TCP socket (IPv4 or IPv6 by name) with a receive
// buffer filled in chunks of up to 32 KiB and poll()-based time-outs.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Transport.h"

namespace zarn {

class TcpClient final : public ITransport {
public:
    // Receives are made in chunks of this size.
    static constexpr size_t kReceiveChunk = 32768;

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
    void SetReadTimeout(int milliseconds) override;
    int ReadTimeout() const override;
    void ReadExact(uint8_t* dst, size_t n) override;
    std::string ReadLine(size_t maxLength) override;
    void Write(const uint8_t* data, size_t n) override;
    using ITransport::Write;

    // Bounds the blocking connect; 0 means the system's own limit.
    void SetConnectTimeout(int milliseconds);

private:
    struct Impl;
    Impl* FImpl;
};

} // namespace zarn
