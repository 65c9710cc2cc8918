// The engine's VeNCrypt steps: the version and sub-type exchange in clear, the TLS session that
// replaces the plain transport, the certificate check, and Plain's user name and password.

#include "protocol/VeNCrypt.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "platform/ByteOrder.h"
#include "platform/TlsTransport.h"
#include "protocol/EngineErrors.h"
#include "protocol/VNCProto.h"

namespace zarn {

namespace {

// Servers we can identify first; among them the inner authentication that proves most.
constexpr std::array<uint32_t, 6> kSubTypePreference {
    vcX509Vnc, vcX509Plain, vcX509None, vcTLSVnc, vcTLSPlain, vcTLSNone,
};

// The only version we speak: 0.2 lists sub-types as 32-bit numbers.
constexpr uint8_t kMajor = 0;
constexpr uint8_t kMinor = 2;

} // namespace

const char* VeNCryptSubTypeName(uint32_t subType)
{
    switch (subType) {
    case vcPlain:
        return "Plain";
    case vcTLSNone:
        return "TLSNone";
    case vcTLSVnc:
        return "TLSVnc";
    case vcTLSPlain:
        return "TLSPlain";
    case vcX509None:
        return "X509None";
    case vcX509Vnc:
        return "X509Vnc";
    case vcX509Plain:
        return "X509Plain";
    default:
        return "unknown";
    }
}

uint32_t ChooseVeNCryptSubType(std::span<const uint32_t> offered)
{
    for (const uint32_t preferred : kSubTypePreference) {
        if (std::find(offered.begin(), offered.end(), preferred) != offered.end())
            return preferred;
    }
    return 0;
}

bool IsAnonymousSubType(uint32_t subType)
{
    return subType == vcTLSNone || subType == vcTLSVnc || subType == vcTLSPlain;
}

bool IsPlainSubType(uint32_t subType)
{
    return subType == vcPlain || subType == vcTLSPlain || subType == vcX509Plain;
}

uint32_t TVNCProto::SelectVeNCryptSubType()
{
    uint8_t version[2];
    Client->ReadExact(version, sizeof version);
    if (version[0] != kMajor || version[1] != kMinor)
        throw ProtocolViolation("the server's VeNCrypt version " + std::to_string(version[0]) + "."
            + std::to_string(version[1]) + " is not the version 0.2 we speak");
    const uint8_t ours[2] = { kMajor, kMinor };
    Client->Write(ours, sizeof ours);
    BytesSent += sizeof ours;
    if (Client->ReadU8() != 0)
        throw SessionRefused("the server refused VeNCrypt version 0.2");

    const uint8_t count = Client->ReadU8();
    if (count == 0)
        throw SessionRefused("the server offers no VeNCrypt sub-type");
    std::array<uint8_t, 255 * 4> raw {};
    Client->ReadExact(raw.data(), size_t(count) * 4);
    BytesReceived += 4 + size_t(count) * 4;
    std::array<uint32_t, 255> offered {};
    for (size_t i = 0; i < count; ++i)
        offered[i] = LoadU32(raw.data() + 4 * i);
    const uint32_t chosen = ChooseVeNCryptSubType(std::span(offered.data(), count));
    if (chosen == 0)
        throw ProtocolViolation("the server offers no VeNCrypt sub-type with TLS that we support");

    uint8_t choice[4];
    StoreU32(choice, chosen);
    Client->Write(choice, sizeof choice);
    BytesSent += sizeof choice;
    if (Client->ReadU8() != 1)
        throw SessionRefused(std::string("the server refused the VeNCrypt sub-type ") + VeNCryptSubTypeName(chosen));
    BytesReceived += 1;
    return chosen;
}

void TVNCProto::NegotiateVeNCrypt()
{
    const uint32_t subType = SelectVeNCryptSubType();
    VeNCryptSubType = subType;
    StartTls(subType);
    // From here on every byte, both ways, goes through the TLS session.
    if (subType == vcTLSVnc || subType == vcX509Vnc)
        VncAuthenticate();
    else if (IsPlainSubType(subType))
        PlainAuthenticate();
}

void TVNCProto::StartTls(uint32_t subType)
{
    TlsOptions options;
    options.Anonymous = IsAnonymousSubType(subType);
    options.ServerName = Host;
    options.CaFile = CaFile;
    auto tls = std::make_unique<TlsTransport>(std::move(Client));
    FTls = tls.get();
    Client = std::move(tls);
    Client->OnDisconnected = [this] { ClientDisconnected(); };
    FTls->Handshake(options);
    EncryptionInfo = FTls->Description();
    if (!options.Anonymous)
        CheckCertificate();
}

void TVNCProto::CheckCertificate()
{
    const TlsPeerCertificate peer = FTls->PeerCertificate();
    TCertificateInfo& info = ServerCertificate;
    info.Host = Host;
    info.Port = Port;
    info.Subject = peer.Subject;
    info.Issuer = peer.Issuer;
    info.NotBefore = peer.NotBefore;
    info.NotAfter = peer.NotAfter;
    info.Sha256 = peer.Sha256;
    info.Problem = peer.Problem;
    if (!peer.Present)
        throw TlsError("certificate check failed: " + peer.Problem);
    if (peer.Verified)
        return;
    info.StoredSha256 = Hooks.OnTrustedFingerprint ? NormaliseSha256(Hooks.OnTrustedFingerprint(Host, Port)) : std::string();
    if (!info.StoredSha256.empty() && info.StoredSha256 == info.Sha256)
        return;
    info.Changed = !info.StoredSha256.empty();

    TCertificateDecision decision = TCertificateDecision::Cancel;
    if (Hooks.OnCertificateCheck) {
        // The user's reading is not the server's delay.
        const auto opened = Deadline::Clock::now();
        decision = Hooks.OnCertificateCheck(info);
        FSetupDeadline.Extend(Deadline::Clock::now() - opened);
        Client->SetReadDeadline(FSetupDeadline);
    }
    if (decision == TCertificateDecision::Cancel) {
        if (info.Changed)
            throw TlsError("certificate CHANGED since it was trusted for this server, not trusted: SHA256:" + info.Sha256
                + " (the trusted one is SHA256:" + info.StoredSha256 + ")");
        throw TlsError("certificate not trusted: SHA256:" + info.Sha256 + " (" + info.Problem + ")");
    }
    if (!ClientOpen())
        throw SessionRefused("connection closed while the certificate was being checked");
    if (decision == TCertificateDecision::AlwaysTrust && Hooks.OnTrustCertificate)
        Hooks.OnTrustCertificate(Host, Port, info.Sha256);
}

void TVNCProto::PlainAuthenticate()
{
    if (UserName.empty() || Password.empty()) {
        const auto opened = Deadline::Clock::now();
        bool given = true;
        if (Hooks.OnCredentialsRequest)
            given = Hooks.OnCredentialsRequest(UserName, Password);
        else if (Password.empty() && OnPasswordRequest)
            Password = OnPasswordRequest();
        FSetupDeadline.Extend(Deadline::Clock::now() - opened);
        Client->SetReadDeadline(FSetupDeadline);
        if (!given || !ClientOpen())
            throw SessionRefused("authentication cancelled");
    }
    if (UserName.size() > limits::kMaxSetupText || Password.size() > limits::kMaxSetupText)
        throw LimitExceeded("user name or password too long");
    std::vector<uint8_t> message(8);
    StoreU32(message.data(), uint32_t(UserName.size()));
    StoreU32(message.data() + 4, uint32_t(Password.size()));
    message.insert(message.end(), UserName.begin(), UserName.end());
    message.insert(message.end(), Password.begin(), Password.end());
    Client->Write(message);
    BytesSent += message.size();
    std::fill(message.begin(), message.end(), 0);
}

void TVNCProto::UnwrapTls()
{
    if (!FTls)
        return;
    TlsTransport* tls = FTls;
    FTls = nullptr;
    std::unique_ptr<ITransport> inner = tls->ReleaseInner();
    Client = std::move(inner); // destroys the spent TLS layer
    Client->OnDisconnected = [this] { ClientDisconnected(); };
}

} // namespace zarn
