#pragma once
// A certificate authority and a server certificate for 127.0.0.1 signed by it, made with
// GnuTLS' certtool in a private folder, for servers the tests start with X.509.

#include <string>

#include "support/TempDir.h"

namespace zarn::test {

class TestCertificates {
public:
    // Empty when certtool is installed, else what is missing.
    static std::string MissingTools();
    // Makes the files; false with the reason in `error`.
    bool Make(std::string* error);

    std::string CaFile() const { return FDir.File("ca.pem").string(); }
    std::string CertFile() const { return FDir.File("server.pem").string(); }
    std::string KeyFile() const { return FDir.File("server.key").string(); }
    // SHA-256 of the server certificate, 64 lower-case hex digits, as certtool reports it.
    const std::string& Sha256() const { return FSha256; }

private:
    TempDir FDir { "zarn-certs" };
    std::string FSha256;
};

} // namespace zarn::test
