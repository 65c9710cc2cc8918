#pragma once
// Hexadecimal text to bytes and back, for known-answer tables.

#include <cstdint>
#include <string>
#include <vector>

namespace zarn::hex {

inline std::vector<uint8_t> FromHex(const std::string& hex)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

template <typename Bytes> std::string ToHex(const Bytes& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

} // namespace zarn::hex
