#pragma once
// TTrustedServers: the certificates the user chose to trust although they did not verify, kept in
// section "TrustedServers" of ZarnVNC.ini as one key per host and port ("host:port", an IPv6
// address bare, so its last colon is the port's; letter case folded) whose value is the certificate's SHA-256 fingerprint
// in hex. Every other line of the file stays as it is; writes replace the file atomically.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zarn {

inline constexpr char kTrustedServersSection[] = "TrustedServers";

class TTrustedServers {
public:
    // Kept in ZarnVNC.ini beside the executable.
    TTrustedServers() = default;
    // Kept in the given file instead (tests, or a window that knows its own folder).
    explicit TTrustedServers(std::filesystem::path iniPath);

    // The stored fingerprint (64 lower-case hex digits), read from the file as it is now; empty
    // when none is stored or the stored text is not a fingerprint.
    std::string Fingerprint(std::string_view host, int32_t port) const;
    // Stores the fingerprint for the host and port, replacing an older one. Throws
    // EIniWriteError when the system refuses (the file is then unchanged), std::invalid_argument
    // for a fingerprint that is not 64 hex digits or a host that cannot be a key.
    void Trust(std::string_view host, int32_t port, std::string_view sha256);

    // The key of a host and port: "example.org:5901", "fe80::1:5900".
    static std::string Key(std::string_view host, int32_t port);
    std::filesystem::path IniPath() const;

private:
    std::filesystem::path FIniPath; // empty: ZarnVNC.ini beside the executable
};

} // namespace zarn
