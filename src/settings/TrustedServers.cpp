#include "settings/TrustedServers.h"

#include <algorithm>
#include <stdexcept>

#include "platform/TlsTransport.h"
#include "settings/IniFile.h"
#include "settings/IniLocation.h"

namespace zarn {

TTrustedServers::TTrustedServers(std::filesystem::path iniPath)
    : FIniPath(std::move(iniPath))
{
}

std::filesystem::path TTrustedServers::IniPath() const
{
    return FIniPath.empty() ? DefaultIniPath() : FIniPath;
}

std::string TTrustedServers::Key(std::string_view host, int32_t port)
{
    std::string name(host);
    // "[::1]" and "::1" are one server; a key may not start with "[" (it would read as a section).
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    std::transform(name.begin(), name.end(), name.begin(),
        [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
    return name + ":" + std::to_string(port);
}

std::string TTrustedServers::Fingerprint(std::string_view host, int32_t port) const
{
    TIniFile file(IniPath());
    return NormaliseSha256(file.ReadString(kTrustedServersSection, Key(host, port), ""));
}

void TTrustedServers::Trust(std::string_view host, int32_t port, std::string_view sha256)
{
    const std::string fingerprint = NormaliseSha256(sha256);
    if (fingerprint.empty())
        throw std::invalid_argument("not a SHA-256 fingerprint: " + std::string(sha256));
    TIniFile file(IniPath());
    file.WriteString(kTrustedServersSection, Key(host, port), fingerprint);
    file.Flush();
}

} // namespace zarn
