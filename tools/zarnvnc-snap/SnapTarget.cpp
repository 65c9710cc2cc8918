#include "SnapTarget.h"

#include <algorithm>
#include <cctype>

namespace zarn::snap {

namespace {

// Decimal digits only, at most five of them: anything else is not a number here.
std::optional<int> SmallNumber(const std::string& text)
{
    if (text.empty() || text.size() > 5
        || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    return std::stoi(text);
}

std::optional<Target> Fail(std::string* error, std::string why)
{
    if (error)
        *error = std::move(why);
    return std::nullopt;
}

} // namespace

std::optional<Target> ParseTarget(const std::string& text, std::string* error)
{
    std::string host;
    std::string rest;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos)
            return Fail(error, "missing ']' after the IPv6 address");
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':')
            return Fail(error, "unexpected text after ']'");
    } else {
        const size_t colon = text.find(':');
        host = text.substr(0, colon);
        rest = colon == std::string::npos ? "" : text.substr(colon);
    }
    if (host.empty())
        return Fail(error, "no host given");

    Target target { host, kDisplayBasePort };
    if (rest.empty())
        return target;
    const bool isPort = rest.rfind("::", 0) == 0;
    const auto number = SmallNumber(rest.substr(isPort ? 2 : 1));
    if (!number)
        return Fail(error, "'" + rest + "' is neither :DISPLAY nor ::PORT");
    target.port = isPort ? *number : kDisplayBasePort + *number;
    if (target.port < 1 || target.port > 65535)
        return Fail(error, "port " + std::to_string(target.port) + " is outside 1 to 65535");
    return target;
}

} // namespace zarn::snap
