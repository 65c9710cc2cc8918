#include "support/TestCertificates.h"

#include <algorithm>
#include <cctype>

#include "support/ChildProcess.h"

namespace zarn::test {

std::string TestCertificates::MissingTools()
{
    return ChildProcess::InPath("certtool") ? std::string() : std::string("certtool (gnutls-bin) is not installed");
}

bool TestCertificates::Make(std::string* error)
{
    WriteFile(FDir / "ca.tmpl", "cn = \"Zarn Test CA\"\nca\ncert_signing_key\nexpiration_days = 30\n");
    WriteFile(FDir / "server.tmpl",
        "cn = \"127.0.0.1\"\nip_address = \"127.0.0.1\"\ntls_www_server\nsigning_key\nencryption_key\n"
        "expiration_days = 30\n");
    const std::string dir = FDir.Path().string() + "/";
    const std::vector<std::vector<std::string>> steps {
        { "certtool", "--generate-privkey", "--key-type=ecdsa", "--outfile", dir + "ca.key" },
        { "certtool", "--generate-self-signed", "--load-privkey", dir + "ca.key", "--template", dir + "ca.tmpl",
            "--outfile", CaFile() },
        { "certtool", "--generate-privkey", "--key-type=ecdsa", "--outfile", KeyFile() },
        { "certtool", "--generate-certificate", "--load-privkey", KeyFile(), "--load-ca-certificate", CaFile(),
            "--load-ca-privkey", dir + "ca.key", "--template", dir + "server.tmpl", "--outfile", CertFile() },
    };
    std::string output;
    for (const auto& step : steps) {
        if (ChildProcess::Run(step, "", &output) != 0) {
            *error = "certtool failed: " + step[1];
            return false;
        }
    }
    if (ChildProcess::Run({ "certtool", "--fingerprint", "--hash", "sha256", "--infile", CertFile() }, "", &output)
        != 0) {
        *error = "certtool could not print the fingerprint";
        return false;
    }
    output.erase(std::remove_if(output.begin(), output.end(), [](unsigned char c) { return !std::isxdigit(c); }),
        output.end());
    FSha256 = output;
    return FSha256.size() == 64;
}

} // namespace zarn::test
