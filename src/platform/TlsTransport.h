#pragma once
// TlsTransport: a TLS session (GnuTLS) over another, already open transport. It offers the same
// operations as the transport below it, so the engine and the decoders read and write exactly as
// before: decrypted bytes land in a receive buffer that PeekBuffered, Buffered and Consume show;
// every wait is a wait of the transport below, so the read deadline (its progress rule counts the
// encrypted bytes as they arrive), the write time-out and the set-up deadline hold unchanged.
//
// Failures are TransportErrors; those of TLS itself are TlsErrors whose text says what failed
// (the handshake, the protocol version, a record, the certificate check) in words.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Transport.h"

namespace zarn {

class TlsError : public TransportError {
public:
    using TransportError::TransportError;
};

struct TlsOptions {
    // Anonymous Diffie-Hellman key exchange, no certificate (the server cannot be identified);
    // otherwise X.509 certificates.
    bool Anonymous = false;
    // The name or address the user typed: sent as the server name (not for an address) and
    // matched against the certificate.
    std::string ServerName;
    // A PEM bundle of authorities trusted besides the system's store; empty for none.
    std::string CaFile;
};

// The server's certificate as the user needs to judge it.
struct TlsPeerCertificate {
    bool Present = false;
    // Signed by a trusted authority, valid now, and issued for ServerName.
    bool Verified = false;
    // Why it did not verify, in words; empty when it did.
    std::string Problem;
    std::string Subject;
    std::string Issuer;
    std::time_t NotBefore = 0;
    std::time_t NotAfter = 0;
    // SHA-256 of the DER certificate, 64 lower-case hex digits.
    std::string Sha256;
};

class TlsTransport final : public ITransport {
public:
    // Takes over an open transport; nothing is encrypted until Handshake succeeds.
    explicit TlsTransport(std::unique_ptr<ITransport> inner);
    ~TlsTransport() override;
    TlsTransport(const TlsTransport&) = delete;
    TlsTransport& operator=(const TlsTransport&) = delete;

    // Runs the TLS handshake over the inner transport within its current read deadline and
    // write time-out. Throws TlsError naming what failed; the inner connection is closed then.
    void Handshake(const TlsOptions& options);
    // After Handshake with certificates: the server's certificate, checked against the trusted
    // authorities and options.ServerName.
    TlsPeerCertificate PeerCertificate() const;
    // "TLS1.3, TLS_AES_256_GCM_SHA384": the protocol version and the cipher suite in use.
    std::string Description() const;
    // Gives the inner transport back (the session's state is dropped); this object is spent.
    std::unique_ptr<ITransport> ReleaseInner();

    // The inner transport's own: a new connection starts below this layer.
    void SetHost(const std::string& host) override;
    void SetPort(int port) override;
    void SetConnectTimeout(int milliseconds) override;
    // A TLS session cannot survive a new connection: unwrap the inner transport first.
    void Connect() override;
    void Disconnect() override;
    void ReleaseSocket() override;
    bool HasSocket() const override;
    // One receive below without waiting, then every complete record decrypted into the buffer.
    bool Connected() override;
    bool ReceiveBufferEmpty() const override;
    void SetReadDeadline(const Deadline& deadline) override;
    void SetWriteTimeout(int milliseconds) override;
    void ReadExact(uint8_t* dst, size_t n) override;
    std::string ReadLine(size_t maxLength) override;
    const uint8_t* PeekBuffered(size_t n) override;
    std::span<const uint8_t> Buffered() override;
    void Consume(size_t n) override;
    void Write(const uint8_t* data, size_t n) override;
    using ITransport::Write;

    // Largest plaintext of one TLS record.
    static constexpr size_t kRecordSize = 16384;

    // GnuTLS' transport callbacks (internal).
    long Pull(void* dst, size_t n);
    long Push(const void* data, size_t n);
    int PullTimeout(unsigned int milliseconds);

private:
    // Decrypts into the receive buffer: one record, waiting for it when `wait`; without waiting
    // only what has arrived. Returns the bytes added (0: nothing complete yet, never when waiting).
    size_t ReceiveRecord(bool wait);
    // Decrypts straight into dst, waiting, until n bytes have come.
    void ReceiveInto(uint8_t* dst, size_t n);
    // A failure below (kept by a callback) or of TLS: closes the connection and throws.
    [[noreturn]] void Fail(long code, const char* doing);
    void RethrowPending();
    void Take(uint8_t* dst, size_t n);

    std::unique_ptr<ITransport> FInner;
    struct Session;
    std::unique_ptr<Session> FSession;
    std::string FServerName;
    bool FAnonymous = false;
    bool FNonBlocking = false; // the callbacks must not wait (the connected test)
    std::exception_ptr FPending; // what a callback caught, raised once GnuTLS returns

    std::vector<uint8_t> FBuffer; // decrypted bytes not yet taken: [FHead, FTail)
    size_t FHead = 0;
    size_t FTail = 0;
};

// "ab:CD 01…" → "abcd01…": the digits of a fingerprint as the user may type them; empty when the
// text is not 64 hex digits once colons and blanks are dropped.
std::string NormaliseSha256(std::string_view text);
// "AB:CD:01:…": a fingerprint as people compare it by eye.
std::string ColonSha256(std::string_view hex);

} // namespace zarn
