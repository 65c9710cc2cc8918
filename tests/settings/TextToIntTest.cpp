#include <gtest/gtest.h>

#include <climits>

#include "settings/TextToInt.h"

namespace zarn {
namespace {

TEST(TextToInt, AcceptsDecimalAndEveryHexPrefix)
{
    const std::pair<const char*, int32_t> cases[] = { { "20", 20 }, { "   20", 20 }, { "+7", 7 },
        { "-5", -5 }, { "0020", 20 }, { "2147483647", INT32_MAX }, { "-2147483648", INT32_MIN },
        { "0x1E", 30 }, { "0X1e", 30 }, { "$1E", 30 }, { "x1e", 30 }, { "X1E", 30 }, { "-0x10", -16 },
        { "0xFFFFFFFF", -1 }, { "$80000000", INT32_MIN }, { "-$80000000", INT32_MIN }, { "0x00000001", 1 } };
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(TryTextToInt(text), std::optional<int32_t>(value));
    }
}

TEST(TextToInt, RejectsTextThatBreaksTheRule)
{
    const char* cases[] = { "", "   ", "abc", "false", "2147483648", "-2147483649", "99999999999999999999",
        "0x", "$", "-", "0x123456789", "12 ", "1.5", "- 5", "\t5", "5x", "0x1G", "++5", "0x-1" };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(TryTextToInt(text), std::nullopt);
        EXPECT_EQ(TextToIntDef(text, 5900), 5900);
    }
}

} // namespace
} // namespace zarn
