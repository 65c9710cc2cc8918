#pragma once
// The one rule by which the viewer turns typed or stored text into an integer: the ini values
// and the connect dialog's port field both go through it, so "0x170C" means the same in both.

#include <cstdint>
#include <optional>
#include <string_view>

namespace zarn {

// Leading spaces, then an optional "-" or "+", then either decimal digits within the signed
// 32-bit range, or "$", "x", "X", "0x" or "0X" and one to eight hexadecimal digits, taken as a
// 32-bit pattern read as signed (so "0xFFFFFFFF" is -1). Nothing may follow the digits.
// Text that breaks the rule gives no value.
std::optional<int32_t> TryTextToInt(std::string_view text);

// TryTextToInt, with defaultValue for text that breaks the rule.
int32_t TextToIntDef(std::string_view text, int32_t defaultValue);

} // namespace zarn
