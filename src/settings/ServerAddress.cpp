#include "settings/ServerAddress.h"

#include <algorithm>
#include <cctype>

namespace zarn {

namespace {

constexpr std::string_view kScheme = "vnc://";

std::optional<TServerAddress> Fail(std::string* error, std::string why)
{
    if (error)
        *error = std::move(why);
    return std::nullopt;
}

// Decimal digits only, at most five of them: anything else is not a number here.
std::optional<int> SmallNumber(std::string_view text)
{
    if (text.empty() || text.size() > 5
        || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    return std::stoi(std::string(text));
}

bool StartsWithScheme(std::string_view text)
{
    return text.size() >= kScheme.size()
        && std::equal(kScheme.begin(), kScheme.end(), text.begin(),
            [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::optional<std::string> PercentDecoded(std::string_view text)
{
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low < 0)
            return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

} // namespace

std::optional<TServerAddress> ParseServerAddress(std::string_view text, std::string* error)
{
    std::string owned(text);
    if (StartsWithScheme(text)) {
        std::string_view rest = text.substr(kScheme.size());
        if (!rest.empty() && rest.back() == '/')
            rest.remove_suffix(1);
        if (rest.find_first_of("/?#") != std::string_view::npos)
            return Fail(error, "a vnc:// link names only [USER@]HOST[:DISPLAY | ::PORT]");
        const auto decoded = PercentDecoded(rest);
        if (!decoded)
            return Fail(error, "a '%' in the link is not followed by two hexadecimal digits");
        owned = *decoded;
    }

    TServerAddress address;
    std::string_view hostPort = owned;
    // A user name may itself hold an "@" (an e-mail address); the host never does.
    if (const size_t at = hostPort.rfind('@'); at != std::string_view::npos) {
        address.User = std::string(hostPort.substr(0, at));
        if (address.User.empty())
            return Fail(error, "an empty user name before '@'");
        hostPort.remove_prefix(at + 1);
    }

    std::string_view rest;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const size_t close = hostPort.find(']');
        if (close == std::string_view::npos)
            return Fail(error, "missing ']' after the IPv6 address");
        address.Host = std::string(hostPort.substr(1, close - 1));
        rest = hostPort.substr(close + 1);
        if (!rest.empty() && rest.front() != ':')
            return Fail(error, "unexpected text after ']'");
    } else {
        const size_t colon = hostPort.find(':');
        address.Host = std::string(hostPort.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : hostPort.substr(colon);
    }
    if (address.Host.empty())
        return Fail(error, "no host given");
    if (std::any_of(address.Host.begin(), address.Host.end(),
            [](unsigned char c) { return std::isspace(c) || std::iscntrl(c); }))
        return Fail(error, "the host name holds a space or a control character");
    if (rest.empty())
        return address;

    const bool isPort = rest.substr(0, 2) == "::";
    const auto number = SmallNumber(rest.substr(isPort ? 2 : 1));
    if (!number)
        return Fail(error, "'" + std::string(rest) + "' is neither :DISPLAY nor ::PORT");
    address.Port = isPort ? *number : kDefaultRfbPort + *number;
    if (address.Port < 1 || address.Port > 65535)
        return Fail(error, "port " + std::to_string(address.Port) + " is outside 1 to 65535");
    return address;
}

} // namespace zarn
