#include "SnapConnect.h"

#include <cstdlib>
#include <ostream>

#include "SnapPassword.h"
#include "platform/RfbConstants.h"
#include "protocol/VNCProto.h"

namespace zarn::snap {

namespace {

const char* VersionText(uint8_t version)
{
    switch (version) {
    case kRfb33:
        return "3.3";
    case kRfb37:
        return "3.7";
    default:
        return "3.8";
    }
}

std::string SecurityTypeName(const TVNCProto& proto)
{
    const uint8_t type = proto.SecurityType;
    if (type == kSecVeNCrypt)
        return std::string("VeNCrypt ") + VeNCryptSubTypeName(proto.VeNCryptSubType);
    switch (type) {
    case kSecurityNone:
        return "None";
    case kSecurityVncAuth:
        return "VNC Authentication";
    case kSecurityMd5Challenge:
        return "MD5 challenge authentication";
    default:
        return "unknown";
    }
}

} // namespace

bool ArrangePassword(const SnapOptions& options, TVNCProto& proto, std::string* error)
{
    if (options.passwordFile) {
        auto password = ReadPasswordFile(*options.passwordFile, error);
        if (!password)
            return false;
        proto.Password = ToLatin1(*password);
    } else if (auto password = PasswordFromEnvironment()) {
        proto.Password = ToLatin1(*password);
    } else if (CanPrompt()) {
        proto.OnPasswordRequest = [&proto] {
            return ToLatin1(
                PromptPassword("Password for " + proto.Host + ":" + std::to_string(proto.Port) + ": "));
        };
    }
    return true;
}

bool ConnectToServer(TVNCProto& proto, const SnapOptions& options, std::ostream& err)
{
    if (options.caFile)
        proto.CaFile = *options.caFile;
    if (options.user)
        proto.UserName = *options.user;
    else if (const char* user = std::getenv("ZARNVNC_USER"))
        proto.UserName = user;
    // No one to ask: a certificate that does not verify is taken only by the fingerprint given.
    const std::string accepted = options.acceptCertificate.value_or(std::string());
    proto.Hooks.OnCertificateCheck = [accepted](const TCertificateInfo& certificate) {
        return !accepted.empty() && certificate.Sha256 == accepted ? TCertificateDecision::ConnectOnce
                                                                   : TCertificateDecision::Cancel;
    };
    if (proto.Connect(options.target.host, options.target.port))
        return true;
    const TCertificateInfo& certificate = proto.ServerCertificate;
    if (!certificate.Sha256.empty() && proto.LastError.find("certificate") != std::string::npos) {
        err << "certificate not trusted: SHA256:" << certificate.Sha256 << '\n';
        if (!certificate.Problem.empty())
            err << "zarnvnc-snap: " << certificate.Problem << '\n';
        if (certificate.Changed)
            err << "zarnvnc-snap: the certificate differs from the one trusted before\n";
        return false;
    }
    err << "zarnvnc-snap: cannot connect to " << options.target.host << " port " << options.target.port
        << ": " << (proto.LastError.empty() ? "set-up failed" : proto.LastError) << '\n';
    if (!proto.FailureReason.empty())
        err << "zarnvnc-snap: the server's reason: " << proto.FailureReason << '\n';
    return false;
}

void DescribeSession(const TVNCProto& proto, std::ostream& out)
{
    out << "Protocol version: " << VersionText(proto.ProtocolVersion) << '\n'
        << "Security type: " << int(proto.SecurityType) << " (" << SecurityTypeName(proto) << ")\n"
        << "Encryption: " << (proto.EncryptionInfo.empty() ? std::string("none") : proto.EncryptionInfo) << '\n'
        << "Desktop name: " << proto.DesktopName << '\n'
        << "Size: " << proto.FramebufferWidth << " x " << proto.FramebufferHeight << '\n'
        << "Pixel format: " << proto.BitsPerPixel << " bits per pixel, depth " << proto.Depth << ", "
        << (proto.BigEndian ? "big-endian" : "little-endian") << ", "
        << (proto.TrueColor ? "true colour" : "colour map") << ", max red " << proto.RedMax << " green "
        << proto.GreenMax << " blue " << proto.BlueMax << ", shift red " << proto.RedShift << " green "
        << proto.GreenShift << " blue " << proto.BlueShift << '\n';
}

} // namespace zarn::snap
