#pragma once
// Security type 19, VeNCrypt: a version exchange, a list of sub-types, then (for all but Plain) a
// TLS session over the connection, inside which the inner authentication and every later byte
// of the session travel. The engine (VeNCrypt.cpp holds its steps) chooses the sub-type; what
// the user decides about a certificate reaches it through the hooks declared here.

#include <cstdint>
#include <ctime>
#include <span>
#include <string>

namespace zarn {

enum : uint8_t { kSecVeNCrypt = 19 };

// The engine's Encryption setting.
enum : int {
    kEncryptionOff = 0,     // the classic choice only (None, then 21, then 2): the classic bytes
    kEncryptionPrefer = 1,  // VeNCrypt when the server offers it, else the classic choice
    kEncryptionRequire = 2, // VeNCrypt or no connection
};

enum TVeNCryptSubType : uint32_t {
    vcPlain = 256,
    vcTLSNone = 257,
    vcTLSVnc = 258,
    vcTLSPlain = 259,
    vcX509None = 260,
    vcX509Vnc = 261,
    vcX509Plain = 262,
};

// "TLSVnc" for 258; "unknown" for a value that is none of ours.
const char* VeNCryptSubTypeName(uint32_t subType);
// The sub-type we take from those offered, by our preference (identified servers first, then
// the strongest inner authentication); 0 when none is acceptable. Plain without TLS is never
// taken: it would send the password in clear.
uint32_t ChooseVeNCryptSubType(std::span<const uint32_t> offered);
bool IsAnonymousSubType(uint32_t subType);
bool IsPlainSubType(uint32_t subType);

// A server certificate that did not verify, as the user is asked about it.
struct TCertificateInfo {
    std::string Host;
    int32_t Port = 0;
    std::string Subject;
    std::string Issuer;
    std::time_t NotBefore = 0;
    std::time_t NotAfter = 0;
    std::string Sha256;            // 64 lower-case hex digits
    std::string Problem;           // why it did not verify, in words
    // A fingerprint is stored for this host and port and this certificate is not the one.
    bool Changed = false;
    std::string StoredSha256;
};

enum class TCertificateDecision { ConnectOnce, AlwaysTrust, Cancel };

} // namespace zarn
