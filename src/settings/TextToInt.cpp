#include "settings/TextToInt.h"

#include <limits>

namespace zarn {

namespace {

constexpr size_t kMaxHexDigits = 8;

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Length of a hexadecimal prefix at the start of text, 0 when there is none.
size_t HexPrefixLength(std::string_view text)
{
    if (text.starts_with("0x") || text.starts_with("0X"))
        return 2;
    if (!text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X'))
        return 1;
    return 0;
}

std::optional<int32_t> HexPattern(std::string_view digits, bool negative)
{
    if (digits.empty() || digits.size() > kMaxHexDigits)
        return std::nullopt;
    uint32_t pattern = 0;
    for (char c : digits) {
        const int value = HexDigitValue(c);
        if (value < 0)
            return std::nullopt;
        pattern = (pattern << 4) | static_cast<uint32_t>(value);
    }
    if (negative)
        pattern = 0u - pattern; // unsigned wrap-around: "-$80000000" stays the lowest value
    return static_cast<int32_t>(pattern);
}

std::optional<int32_t> Decimal(std::string_view digits, bool negative)
{
    if (digits.empty())
        return std::nullopt;
    // The magnitude may reach 2^31 for the lowest value; int64_t holds it without overflow.
    const int64_t limit = negative ? -int64_t { std::numeric_limits<int32_t>::min() }
                                   : int64_t { std::numeric_limits<int32_t>::max() };
    int64_t magnitude = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

} // namespace

std::optional<int32_t> TryTextToInt(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (const size_t prefix = HexPrefixLength(text))
        return HexPattern(text.substr(prefix), negative);
    return Decimal(text, negative);
}

int32_t TextToIntDef(std::string_view text, int32_t defaultValue)
{
    return TryTextToInt(text).value_or(defaultValue);
}

} // namespace zarn
