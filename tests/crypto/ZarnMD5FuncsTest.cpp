#include "crypto/ZarnMD5Funcs.h"

#include "HexTestUtil.h"

#include <gtest/gtest.h>
#include <vector>

namespace zarn {
namespace {

using hex::ToHex;

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
    EXPECT_EQ(ToHex(MD5String(GetParam().text)), GetParam().digest) << GetParam().text.size() << " bytes";
}

TEST_P(MD5KnownDigest, OutParameterFormAgrees)
{
    TMD5Digest digest {};
    MD5String(GetParam().text, digest);
    EXPECT_EQ(ToHex(digest), GetParam().digest);
}

// The test suite of RFC 1321.
INSTANTIATE_TEST_SUITE_P(Rfc1321Suite, MD5KnownDigest,
    ::testing::Values(DigestCase { "", "d41d8cd98f00b204e9800998ecf8427e" },
        DigestCase { "a", "0cc175b9c0f1b6a831c399e269772661" },
        DigestCase { "abc", "900150983cd24fb0d6963f7d28e17f72" },
        DigestCase { "message digest", "f96b697d7cb7938d525a2f31aaf161d0" },
        DigestCase { "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b" },
        DigestCase { "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
            "d174ab98d277d9f5a5611c2c9f419d9f" },
        DigestCase { "1234567890123456789012345678901234567890123456789012345678901234567890123456"
                     "7890",
            "57edf4a22be3c955ac49da2e2107b67a" }));

// Lengths around the 56-byte point where the length no longer fits the last block, and around
// whole blocks.
INSTANTIATE_TEST_SUITE_P(BlockBoundaries, MD5KnownDigest,
    ::testing::Values(DigestCase { std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65" },
        DigestCase { std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218" },
        DigestCase { std::string(63, 'a'), "b06521f39153d618550606be297466d5" },
        DigestCase { std::string(64, 'a'), "014842d480b571495a4a0363793f7367" },
        DigestCase { std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435" },
        DigestCase { std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70" },
        DigestCase { std::string(1000, 'a'), "cabe45dcc9ae5b66ba86600cca6b8ba8" }));

// A NUL inside the text is a byte like any other, not a terminator.
INSTANTIATE_TEST_SUITE_P(EmbeddedNul, MD5KnownDigest,
    ::testing::Values(DigestCase { std::string("a\0b", 3), "70350f6027bce3713f6b76473084309b" }));

std::vector<uint8_t> EveryByteValueFourTimes()
{
    std::vector<uint8_t> bytes;
    for (int repeat = 0; repeat < 4; ++repeat)
        for (int value = 0; value < 256; ++value)
            bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

TEST(MD5Update, PiecesOfAnySizeGiveTheSameDigestAsOneCall)
{
    const auto bytes = EveryByteValueFourTimes();
    const std::string expected = "b2ea9f7fcea831a4a63b213f41a8855b";
    for (size_t piece : { 1u, 3u, 7u, 55u, 56u, 63u, 64u, 65u, 127u, 1024u }) {
        TMD5Context context;
        MD5Init(context);
        for (size_t offset = 0; offset < bytes.size(); offset += piece)
            MD5Update(context, bytes.data() + offset, std::min(piece, bytes.size() - offset));
        TMD5Digest digest {};
        MD5Final(context, digest);
        EXPECT_EQ(ToHex(digest), expected) << "pieces of " << piece;
    }
}

TEST(MD5Update, EmptyPiecesChangeNothing)
{
    const auto bytes = EveryByteValueFourTimes();
    TMD5Context context;
    MD5Init(context);
    for (size_t offset = 0; offset < bytes.size(); offset += 100) {
        MD5Update(context, bytes.data() + offset, 0);
        MD5Update(context, bytes.data() + offset, std::min<size_t>(100, bytes.size() - offset));
    }
    TMD5Digest digest {};
    MD5Final(context, digest);
    EXPECT_EQ(ToHex(digest), "b2ea9f7fcea831a4a63b213f41a8855b");
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
    EXPECT_EQ(std::count(raw, raw + sizeof(context), 0), static_cast<long>(sizeof(context)));
    EXPECT_EQ(digest, MD5String(secret));
}

} // namespace
} // namespace zarn
