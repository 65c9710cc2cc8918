#include "crypto/IcsDES.h"

#include "support/Hex.h"

#include <array>
#include <gtest/gtest.h>
#include <random>

namespace zarn {
namespace {

using Block = std::array<uint8_t, 8>;

Block BlockFromHex(const std::string& hex)
{
    const auto bytes = hex::FromHex(hex);
    Block block {};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

Block Des(const Block& input, const Block& key, bool encrypt)
{
    Block output {};
    DesBlock(input.data(), output.data(), key.data(), encrypt);
    return output;
}

struct KnownAnswer {
    const char* key;
    const char* plaintext;
    const char* ciphertext;
};

void PrintTo(const KnownAnswer& v, std::ostream* os)
{
    *os << "key " << v.key << ", plaintext " << v.plaintext;
}

// Published answers: the textbook worked example, NBS validation vectors (variable plaintext,
// variable key, S-box tests) and the classic "Now is t" block.
const KnownAnswer kKnownAnswers[] = {
    { "133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405" },
    { "0101010101010101", "8000000000000000", "95f8a5e5dd31d900" },
    { "0101010101010101", "0000000000000001", "166b40b44aba4bd6" },
    { "0000000000000000", "0000000000000000", "8ca64de9c1b123a7" },
    { "ffffffffffffffff", "ffffffffffffffff", "7359b2163e4edc58" },
    { "8001010101010101", "0000000000000000", "95a8d72813daa94d" },
    { "0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815" },
    { "0e329232ea6d0d73", "8787878787878787", "0000000000000000" },
    { "752878397493cb70", "1122334455667788", "b5219ee81aa7499d" },
    { "10316e028c8f3b4a", "0000000000000000", "82dcbafbdeab6602" },
    { "7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b" },
    { "0131d9619dc1376e", "5cd54ca83def57da", "7a389d10354bd271" },
};

class DesKnownAnswer : public ::testing::TestWithParam<KnownAnswer> { };

TEST_P(DesKnownAnswer, MatchesInBothDirections)
{
    const auto& v = GetParam();
    EXPECT_EQ(hex::ToHex(Des(BlockFromHex(v.plaintext), BlockFromHex(v.key), true)), v.ciphertext);
    EXPECT_EQ(hex::ToHex(Des(BlockFromHex(v.ciphertext), BlockFromHex(v.key), false)), v.plaintext);
}

// The least significant bit of each key byte is a parity bit and must be ignored; every
// other key bit must matter.
TEST_P(DesKnownAnswer, OnlyTheFiftySixKeyBitsMatter)
{
    const auto& v = GetParam();
    const Block plaintext = BlockFromHex(v.plaintext);
    const Block key = BlockFromHex(v.key);
    for (int byte = 0; byte < 8; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            Block changed = key;
            changed[byte] ^= static_cast<uint8_t>(1 << bit);
            const std::string result = hex::ToHex(Des(plaintext, changed, true));
            if (bit == 0)
                EXPECT_EQ(result, v.ciphertext) << "parity bit of key byte " << byte;
            else
                EXPECT_NE(result, v.ciphertext) << "key byte " << byte << " bit " << bit;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PublishedVectors, DesKnownAnswer, ::testing::ValuesIn(kKnownAnswers));

TEST(DesBlock, DecryptionUndoesEncryptionForRandomBlocksAndKeys)
{
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> byteValue(0, 255);
    for (int trial = 0; trial < 200; ++trial) {
        Block input {}, key {};
        for (auto* block : { &input, &key })
            for (auto& b : *block)
                b = static_cast<uint8_t>(byteValue(random));
        const Block encrypted = Des(input, key, true);
        EXPECT_NE(encrypted, input);
        EXPECT_EQ(Des(encrypted, key, false), input) << "trial " << trial;
    }
}

} // namespace
} // namespace zarn
