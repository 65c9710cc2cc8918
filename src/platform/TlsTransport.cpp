#include "platform/TlsTransport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

namespace zarn {

namespace {

// Every TLS version GnuTLS finds safe; the anonymous key exchanges come in only for the sub-types
// that ask for them (they exist in TLS 1.2 and earlier, so such a session is TLS 1.2).
constexpr const char* kCertificatePriority = "NORMAL";
constexpr const char* kAnonymousPriority = "NORMAL:+ANON-ECDH:+ANON-DH";

ssize_t PullCallback(gnutls_transport_ptr_t self, void* dst, size_t n)
{
    return static_cast<TlsTransport*>(self)->Pull(dst, n);
}

ssize_t PushCallback(gnutls_transport_ptr_t self, const void* data, size_t n)
{
    return static_cast<TlsTransport*>(self)->Push(data, n);
}

int PullTimeoutCallback(gnutls_transport_ptr_t self, unsigned int milliseconds)
{
    return static_cast<TlsTransport*>(self)->PullTimeout(milliseconds);
}

std::string Datum(const gnutls_datum_t& d)
{
    std::string text(reinterpret_cast<const char*>(d.data), d.size);
    gnutls_free(d.data);
    return text;
}

bool IsAddress(const std::string& host)
{
    unsigned char address[16];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 || ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

std::string HexOf(const unsigned char* bytes, size_t n)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < n; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

} // namespace

struct TlsTransport::Session {
    gnutls_session_t session = nullptr;
    gnutls_anon_client_credentials_t anon = nullptr;
    gnutls_certificate_credentials_t certificates = nullptr;

    ~Session()
    {
        if (session)
            gnutls_deinit(session);
        if (anon)
            gnutls_anon_free_client_credentials(anon);
        if (certificates)
            gnutls_certificate_free_credentials(certificates);
    }
};

TlsTransport::TlsTransport(std::unique_ptr<ITransport> inner)
    : FInner(std::move(inner))
    , FSession(std::make_unique<Session>())
{
    // A close noticed below is this connection's close.
    FInner->OnDisconnected = [this] {
        if (OnDisconnected)
            OnDisconnected();
    };
}

TlsTransport::~TlsTransport()
{
    if (FInner)
        FInner->OnDisconnected = nullptr;
}

std::unique_ptr<ITransport> TlsTransport::ReleaseInner()
{
    FSession.reset();
    FHead = FTail = 0;
    if (FInner)
        FInner->OnDisconnected = nullptr;
    return std::move(FInner);
}

void TlsTransport::Handshake(const TlsOptions& options)
{
    FAnonymous = options.Anonymous;
    FServerName = options.ServerName;
    Session& s = *FSession;
    auto check = [this](int rc, const char* what) {
        if (rc < 0) {
            FInner->Disconnect();
            throw TlsError(std::string("TLS set-up failed: ") + what + ": " + gnutls_strerror(rc));
        }
    };
    check(gnutls_init(&s.session, GNUTLS_CLIENT), "cannot start a session");
    const char* errorAt = nullptr;
    check(gnutls_priority_set_direct(s.session, FAnonymous ? kAnonymousPriority : kCertificatePriority, &errorAt),
        "cannot set the cipher priorities");
    if (FAnonymous) {
        check(gnutls_anon_allocate_client_credentials(&s.anon), "no memory for credentials");
        check(gnutls_credentials_set(s.session, GNUTLS_CRD_ANON, s.anon), "cannot use anonymous credentials");
    } else {
        check(gnutls_certificate_allocate_credentials(&s.certificates), "no memory for credentials");
        // A machine without a system store still accepts authorities from CaFile, or a
        // certificate the user trusts by its fingerprint.
        gnutls_certificate_set_x509_system_trust(s.certificates);
        if (!options.CaFile.empty()) {
            const int added = gnutls_certificate_set_x509_trust_file(
                s.certificates, options.CaFile.c_str(), GNUTLS_X509_FMT_PEM);
            if (added <= 0) {
                FInner->Disconnect();
                throw TlsError("cannot read the certificate authorities in " + options.CaFile
                    + (added < 0 ? std::string(": ") + gnutls_strerror(added) : std::string(": none found")));
            }
        }
        check(gnutls_credentials_set(s.session, GNUTLS_CRD_CERTIFICATE, s.certificates),
            "cannot use certificate credentials");
        if (!FServerName.empty() && !IsAddress(FServerName))
            gnutls_server_name_set(s.session, GNUTLS_NAME_DNS, FServerName.data(), FServerName.size());
    }
    gnutls_transport_set_ptr(s.session, this);
    gnutls_transport_set_pull_function(s.session, PullCallback);
    gnutls_transport_set_push_function(s.session, PushCallback);
    gnutls_transport_set_pull_timeout_function(s.session, PullTimeoutCallback);
    // Our own deadlines bound every wait; GnuTLS must not add a limit of its own.
    gnutls_handshake_set_timeout(s.session, GNUTLS_INDEFINITE_TIMEOUT);

    int rc;
    do
        rc = gnutls_handshake(s.session);
    while (rc < 0 && !gnutls_error_is_fatal(rc) && !FPending);
    if (rc < 0)
        Fail(rc, "handshake");
}

void TlsTransport::RethrowPending()
{
    if (!FPending)
        return;
    std::exception_ptr pending = std::exchange(FPending, nullptr);
    std::rethrow_exception(pending);
}

void TlsTransport::Fail(long code, const char* doing)
{
    const bool handshake = std::strcmp(doing, "handshake") == 0;
    if (FPending) {
        std::exception_ptr pending = std::exchange(FPending, nullptr);
        // After a failed pull or push the session's record state is lost: the stream ends here.
        FInner->Disconnect();
        if (!handshake)
            std::rethrow_exception(pending);
        try {
            std::rethrow_exception(pending);
        } catch (const std::exception& e) {
            throw TlsError(std::string("TLS handshake failed: ") + e.what());
        }
    }
    std::string why;
    switch (code) {
    case GNUTLS_E_UNSUPPORTED_VERSION_PACKET:
        why = "protocol version: the server speaks no TLS version we accept";
        break;
    case GNUTLS_E_UNEXPECTED_PACKET_LENGTH:
    case GNUTLS_E_UNEXPECTED_PACKET:
    case GNUTLS_E_UNEXPECTED_HANDSHAKE_PACKET:
    case GNUTLS_E_RECORD_OVERFLOW:
        why = std::string("the server's answer is not valid TLS (") + gnutls_strerror(int(code)) + ")";
        break;
    case GNUTLS_E_NO_CIPHER_SUITES:
    case GNUTLS_E_INSUFFICIENT_CREDENTIALS:
    case GNUTLS_E_UNKNOWN_CIPHER_SUITE:
    case GNUTLS_E_NO_COMMON_KEY_SHARE:
        why = std::string("the server and we share no cipher suite (") + gnutls_strerror(int(code)) + ")";
        break;
    case GNUTLS_E_FATAL_ALERT_RECEIVED: {
        // A server may send an alert number GnuTLS has no name for.
        const int alert = int(gnutls_alert_get(FSession->session));
        const char* name = gnutls_alert_get_name(gnutls_alert_description_t(alert));
        why = name ? std::string("the server sent the alert \"") + name + "\""
                   : "the server sent the unknown alert " + std::to_string(alert);
        break;
    }
    case GNUTLS_E_PREMATURE_TERMINATION:
        why = "connection closed by the server";
        break;
    default:
        why = gnutls_strerror(int(code));
        break;
    }
    // The stream cannot go on after a TLS failure.
    FInner->Disconnect();
    throw TlsError(std::string(handshake ? "TLS handshake failed: " : "TLS connection failed: ") + why);
}

long TlsTransport::Pull(void* dst, size_t n)
{
    auto* out = static_cast<uint8_t*>(dst);
    try {
        std::span<const uint8_t> have = FInner->Buffered();
        if (have.empty()) {
            if (FNonBlocking && FInner->ReceiveBufferEmpty()) {
                gnutls_transport_set_errno(FSession->session, EAGAIN);
                return -1;
            }
            // One byte, waiting within the read deadline; the rest of that receive follows from
            // the buffer below.
            FInner->ReadExact(out, 1);
            have = FInner->Buffered();
            const size_t more = std::min(n - 1, have.size());
            if (more > 0) {
                std::memcpy(out + 1, have.data(), more);
                FInner->Consume(more);
            }
            return long(1 + more);
        }
        const size_t take = std::min(n, have.size());
        std::memcpy(out, have.data(), take);
        FInner->Consume(take);
        return long(take);
    } catch (...) {
        FPending = std::current_exception();
        gnutls_transport_set_errno(FSession->session, EIO);
        return -1;
    }
}

long TlsTransport::Push(const void* data, size_t n)
{
    try {
        FInner->Write(static_cast<const uint8_t*>(data), n);
        return long(n);
    } catch (...) {
        FPending = std::current_exception();
        gnutls_transport_set_errno(FSession->session, EIO);
        return -1;
    }
}

int TlsTransport::PullTimeout(unsigned int milliseconds)
{
    if (!FInner->ReceiveBufferEmpty())
        return 1;
    if (milliseconds == 0 || FNonBlocking) {
        // A closed connection is "ready": the next pull reports the close.
        if (!FInner->Connected())
            return 1;
        return FInner->ReceiveBufferEmpty() ? 0 : 1;
    }
    // The pull itself waits, bounded by the read deadline.
    return 1;
}

size_t TlsTransport::ReceiveRecord(bool wait)
{
    if (!FSession || !FSession->session)
        throw TransportError("not connected");
    if (FHead > 0 && FBuffer.size() - FTail < kRecordSize) {
        std::memmove(FBuffer.data(), FBuffer.data() + FHead, FTail - FHead);
        FTail -= FHead;
        FHead = 0;
    }
    if (FBuffer.size() < FTail + kRecordSize)
        FBuffer.resize(FTail + kRecordSize);
    for (;;) {
        FNonBlocking = !wait;
        const ssize_t got = gnutls_record_recv(FSession->session, FBuffer.data() + FTail, FBuffer.size() - FTail);
        FNonBlocking = false;
        if (got > 0) {
            FTail += size_t(got);
            return size_t(got);
        }
        if (got == 0) {
            // The server ended the session properly (close_notify).
            FInner->Disconnect();
            throw TransportError("connection closed by the server");
        }
        if (FPending)
            Fail(got, "receive");
        if (got == GNUTLS_E_AGAIN && !wait)
            return 0;
        // Renegotiation is refused by simply going on; a warning alert changes nothing.
        if (!gnutls_error_is_fatal(int(got)))
            continue;
        Fail(got, "receive");
    }
}

void TlsTransport::ReceiveInto(uint8_t* dst, size_t n)
{
    while (n > 0) {
        const ssize_t got = gnutls_record_recv(FSession->session, dst, n);
        if (got > 0) {
            dst += got;
            n -= size_t(got);
            continue;
        }
        if (got == 0) {
            FInner->Disconnect();
            throw TransportError("connection closed by the server");
        }
        if (FPending || gnutls_error_is_fatal(int(got)))
            Fail(got, "receive");
    }
}

void TlsTransport::Take(uint8_t* dst, size_t n)
{
    if (n > 0)
        std::memcpy(dst, FBuffer.data() + FHead, n);
    FHead += n;
    if (FHead == FTail)
        FHead = FTail = 0;
}

void TlsTransport::ReadExact(uint8_t* dst, size_t n)
{
    if (!FInner || !FSession)
        throw TransportError("not connected");
    const size_t buffered = FTail - FHead;
    if (n > buffered && n - buffered >= kRecordSize) {
        // A large block is decrypted straight into the caller's memory.
        Take(dst, buffered);
        ReceiveInto(dst + buffered, n - buffered);
        return;
    }
    while (FTail - FHead < n)
        ReceiveRecord(true);
    Take(dst, n);
}

std::string TlsTransport::ReadLine(size_t maxLength)
{
    size_t scanned = 0;
    for (;;) {
        if (auto line = CompleteLine(Buffered(), scanned, maxLength)) {
            Consume(line->Bytes);
            return std::move(line->Text);
        }
        ReceiveRecord(true);
    }
}

const uint8_t* TlsTransport::PeekBuffered(size_t n)
{
    return FTail - FHead >= n ? FBuffer.data() + FHead : nullptr;
}

std::span<const uint8_t> TlsTransport::Buffered()
{
    return { FBuffer.data() + FHead, FTail - FHead };
}

void TlsTransport::Consume(size_t n)
{
    FHead += std::min(n, FTail - FHead);
    if (FHead == FTail)
        FHead = FTail = 0;
}

void TlsTransport::Write(const uint8_t* data, size_t n)
{
    if (!FInner || !FSession || !FSession->session || !FInner->HasSocket())
        throw TransportError("not connected");
    size_t sent = 0;
    while (sent < n) {
        const ssize_t rc = gnutls_record_send(FSession->session, data + sent, n - sent);
        if (rc > 0) {
            sent += size_t(rc);
            continue;
        }
        if (FPending || rc == 0 || gnutls_error_is_fatal(int(rc)))
            Fail(rc == 0 ? GNUTLS_E_PUSH_ERROR : rc, "send");
    }
}

bool TlsTransport::Connected()
{
    try {
        if (!FInner || !FInner->HasSocket() || !FInner->Connected())
            return false;
        if (!FSession || !FSession->session)
            return true;
        while (!FInner->ReceiveBufferEmpty() || gnutls_record_check_pending(FSession->session) > 0) {
            if (ReceiveRecord(false) == 0)
                break;
        }
        return FInner->HasSocket() && FInner->Connected();
    } catch (...) {
        // The failure closed the connection; the next read reports it.
        return false;
    }
}

bool TlsTransport::ReceiveBufferEmpty() const
{
    if (FTail > FHead)
        return false;
    return !FSession || !FSession->session || gnutls_record_check_pending(FSession->session) == 0;
}

std::string TlsTransport::Description() const
{
    if (!FSession || !FSession->session)
        return {};
    const char* version = gnutls_protocol_get_name(gnutls_protocol_get_version(FSession->session));
    const char* suite = gnutls_ciphersuite_get(FSession->session);
    return std::string(version ? version : "TLS") + ", " + (suite ? suite : "unknown cipher suite");
}

TlsPeerCertificate TlsTransport::PeerCertificate() const
{
    TlsPeerCertificate peer;
    if (!FSession || !FSession->session || FAnonymous)
        return peer;
    unsigned int count = 0;
    const gnutls_datum_t* chain = gnutls_certificate_get_peers(FSession->session, &count);
    if (!chain || count == 0) {
        peer.Problem = "the server sent no certificate";
        return peer;
    }
    peer.Present = true;
    unsigned char digest[32];
    size_t digestSize = sizeof digest;
    if (gnutls_fingerprint(GNUTLS_DIG_SHA256, &chain[0], digest, &digestSize) == 0)
        peer.Sha256 = HexOf(digest, digestSize);

    gnutls_x509_crt_t certificate = nullptr;
    if (gnutls_x509_crt_init(&certificate) == 0) {
        if (gnutls_x509_crt_import(certificate, &chain[0], GNUTLS_X509_FMT_DER) == 0) {
            gnutls_datum_t dn {};
            if (gnutls_x509_crt_get_dn3(certificate, &dn, 0) == 0)
                peer.Subject = Datum(dn);
            if (gnutls_x509_crt_get_issuer_dn3(certificate, &dn, 0) == 0)
                peer.Issuer = Datum(dn);
            peer.NotBefore = gnutls_x509_crt_get_activation_time(certificate);
            peer.NotAfter = gnutls_x509_crt_get_expiration_time(certificate);
        }
        gnutls_x509_crt_deinit(certificate);
    }

    unsigned int status = 0;
    const int rc = gnutls_certificate_verify_peers3(
        FSession->session, FServerName.empty() ? nullptr : FServerName.c_str(), &status);
    if (rc < 0) {
        peer.Problem = std::string("the certificate could not be checked: ") + gnutls_strerror(rc);
        return peer;
    }
    if (status == 0) {
        peer.Verified = true;
        return peer;
    }
    gnutls_datum_t text {};
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) == 0) {
        peer.Problem = Datum(text);
        while (!peer.Problem.empty() && (peer.Problem.back() == ' ' || peer.Problem.back() == '\0'))
            peer.Problem.pop_back();
    }
    else
        peer.Problem = "the certificate is not trusted";
    return peer;
}

void TlsTransport::SetHost(const std::string& host)
{
    FInner->SetHost(host);
}

void TlsTransport::SetPort(int port)
{
    FInner->SetPort(port);
}

void TlsTransport::SetConnectTimeout(int milliseconds)
{
    FInner->SetConnectTimeout(milliseconds);
}

void TlsTransport::Connect()
{
    throw TransportError("a TLS session cannot be reconnected; connect the transport below it");
}

void TlsTransport::Disconnect()
{
    FHead = FTail = 0;
    if (FInner)
        FInner->Disconnect();
}

void TlsTransport::ReleaseSocket()
{
    FHead = FTail = 0;
    if (FInner)
        FInner->ReleaseSocket();
}

bool TlsTransport::HasSocket() const
{
    return FInner && FInner->HasSocket();
}

void TlsTransport::SetReadDeadline(const Deadline& deadline)
{
    FInner->SetReadDeadline(deadline);
}

void TlsTransport::SetWriteTimeout(int milliseconds)
{
    FInner->SetWriteTimeout(milliseconds);
}

std::string NormaliseSha256(std::string_view text)
{
    std::string hex;
    for (const char c : text) {
        if (c == ':' || c == ' ' || c == '\t')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
        hex += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return hex.size() == 64 ? hex : std::string();
}

std::string ColonSha256(std::string_view hex)
{
    std::string text;
    for (size_t i = 0; i < hex.size(); ++i) {
        if (i > 0 && i % 2 == 0)
            text += ':';
        text += char(std::toupper(static_cast<unsigned char>(hex[i])));
    }
    return text;
}

} // namespace zarn
