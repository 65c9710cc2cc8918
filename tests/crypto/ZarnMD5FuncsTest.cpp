#include "crypto/ZarnMD5Funcs.h"

#include "support/Hex.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace zarn {
namespace {

struct DigestCase {
    std::string text;
    const char* digest;
};

void PrintTo(const DigestCase& c, std::ostream* os)
{
    *os << c.text.size() << "-byte text";
}

class MD5KnownDigest : public ::testing::TestWithParam<DigestCase> { };

TEST_P(MD5KnownDigest, MatchesPublishedDigest)
{
    TMD5Digest digest {};
    MD5String(GetParam().text, digest);
    EXPECT_EQ(hex::ToHex(digest), GetParam().digest);
    EXPECT_EQ(MD5String(GetParam().text), digest);
}

INSTANTIATE_TEST_SUITE_P(Rfc1321Suite, MD5KnownDigest,
    ::testing::Values(DigestCase { "", "d41d8cd98f00b204e9800998ecf8427e" },
        DigestCase { "a", "0cc175b9c0f1b6a831c399e269772661" },
        DigestCase { "abc", "900150983cd24fb0d6963f7d28e17f72" },
        DigestCase { "message digest", "f96b697d7cb7938d525a2f31aaf161d0" },
        DigestCase { "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b" },
        DigestCase { "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
            "d174ab98d277d9f5a5611c2c9f419d9f" },
        DigestCase { "1234567890123456789012345678901234567890"
                     "1234567890123456789012345678901234567890",
            "57edf4a22be3c955ac49da2e2107b67a" }));

// Lengths around 56 bytes, where the length field no longer fits the last block, and around
// whole blocks; and a NUL, which is a byte like any other.
INSTANTIATE_TEST_SUITE_P(Boundaries, MD5KnownDigest,
    ::testing::Values(DigestCase { std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65" },
        DigestCase { std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218" },
        DigestCase { std::string(63, 'a'), "b06521f39153d618550606be297466d5" },
        DigestCase { std::string(64, 'a'), "014842d480b571495a4a0363793f7367" },
        DigestCase { std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435" },
        DigestCase { std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70" },
        DigestCase { std::string(1000, 'a'), "cabe45dcc9ae5b66ba86600cca6b8ba8" },
        DigestCase { std::string("a\0b", 3), "70350f6027bce3713f6b76473084309b" }));

TEST(MD5Update, PiecesOfAnySizeGiveTheSameDigestAsOneCall)
{
    std::vector<uint8_t> bytes; // every byte value, four times: 1024 bytes
    for (int i = 0; i < 1024; ++i)
        bytes.push_back(static_cast<uint8_t>(i));
    for (size_t piece : { 1u, 3u, 7u, 55u, 56u, 63u, 64u, 65u, 127u, 1024u }) {
        TMD5Context context;
        MD5Init(context);
        for (size_t offset = 0; offset < bytes.size(); offset += piece) {
            MD5Update(context, bytes.data() + offset, 0); // empty pieces change nothing
            MD5Update(context, bytes.data() + offset, std::min(piece, bytes.size() - offset));
        }
        TMD5Digest digest {};
        MD5Final(context, digest);
        EXPECT_EQ(hex::ToHex(digest), "b2ea9f7fcea831a4a63b213f41a8855b") << "pieces of " << piece;
    }
}

TEST(MD5Final, WipesTheWholeContext)
{
    TMD5Context context;
    MD5Init(context);
    const std::string secret = "challenge bytes followed by a password";
    MD5Update(context, reinterpret_cast<const uint8_t*>(secret.data()), secret.size());
    TMD5Digest digest {};
    MD5Final(context, digest);

    const auto* raw = reinterpret_cast<const uint8_t*>(&context);
    EXPECT_TRUE(std::all_of(raw, raw + sizeof(context), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(digest, MD5String(secret));
}

} // namespace
} // namespace zarn
