#include "crypto/ZarnMD5Funcs.h"

#include <cstring>

namespace zarn {
namespace {

uint32_t F(uint32_t x, uint32_t y, uint32_t z)
{
    return (x & y) | (~x & z);
}
uint32_t G(uint32_t x, uint32_t y, uint32_t z)
{
    return (x & z) | (y & ~z);
}
uint32_t H(uint32_t x, uint32_t y, uint32_t z)
{
    return x ^ y ^ z;
}
uint32_t I(uint32_t x, uint32_t y, uint32_t z)
{
    return y ^ (x | ~z);
}

uint32_t RotateLeft(uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

using RoundFunction = uint32_t (*)(uint32_t, uint32_t, uint32_t);

// One step: a = b + ((a + fn(b, c, d) + word + constant) <<< shift).
void Step(RoundFunction fn, uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, int shift,
    uint32_t constant)
{
    a = b + RotateLeft(a + fn(b, c, d) + word + constant, shift);
}

// clang-format off
// T[i] = floor(2^32 * |sin(i + 1)|), the table of RFC 1321.
constexpr uint32_t kSineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
// clang-format on

constexpr int kShifts[4][4] = { { 7, 12, 17, 22 }, { 5, 9, 14, 20 }, { 4, 11, 16, 23 }, { 6, 10, 15, 21 } };

// Which message word each step of a round reads: start + step * stride (mod 16).
struct WordOrder {
    int start;
    int stride;
};
constexpr WordOrder kWordOrder[4] = { { 0, 1 }, { 1, 5 }, { 5, 3 }, { 0, 7 } };
constexpr RoundFunction kRoundFunctions[4] = { F, G, H, I };

void DecodeWords(const uint8_t* bytes, uint32_t* words, size_t wordCount)
{
    for (size_t i = 0; i < wordCount; ++i) {
        const uint8_t* b = bytes + 4 * i;
        words[i] = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    }
}

void EncodeWords(const uint32_t* words, uint8_t* bytes, size_t wordCount)
{
    for (size_t i = 0; i < wordCount; ++i) {
        for (int shift = 0; shift < 4; ++shift)
            bytes[4 * i + shift] = static_cast<uint8_t>(words[i] >> (8 * shift));
    }
}

size_t BufferIndex(const TMD5Context& context)
{
    return (context.Count[0] >> 3) & 0x3F;
}

void AddToBitCount(TMD5Context& context, size_t byteCount)
{
    const uint64_t bits = (uint64_t(context.Count[1]) << 32 | context.Count[0]) + (uint64_t(byteCount) << 3);
    context.Count[0] = static_cast<uint32_t>(bits);
    context.Count[1] = static_cast<uint32_t>(bits >> 32);
}

} // namespace

void MD5Init(TMD5Context& context)
{
    context.State[0] = 0x67452301;
    context.State[1] = 0xefcdab89;
    context.State[2] = 0x98badcfe;
    context.State[3] = 0x10325476;
    context.Count[0] = 0;
    context.Count[1] = 0;
    std::memset(context.Buffer, 0, sizeof(context.Buffer));
}

void MD5Transform(const uint8_t* block, uint32_t* state)
{
    uint32_t words[16];
    DecodeWords(block, words, 16);

    // Rotating the roles of a, b, c, d after each step is the same as the RFC's spelled-out
    // sequence [abcd], [dabc], [cdab], [bcda].
    uint32_t v[4] = { state[0], state[1], state[2], state[3] };
    for (int round = 0; round < 4; ++round) {
        for (int step = 0; step < 16; ++step) {
            const int index = round * 16 + step;
            const int word = (kWordOrder[round].start + step * kWordOrder[round].stride) % 16;
            uint32_t& a = v[(64 - index) % 4];
            const uint32_t b = v[(65 - index) % 4];
            const uint32_t c = v[(66 - index) % 4];
            const uint32_t d = v[(67 - index) % 4];
            Step(
                kRoundFunctions[round], a, b, c, d, words[word], kShifts[round][step % 4], kSineTable[index]);
        }
    }
    for (int i = 0; i < 4; ++i)
        state[i] += v[i];
    std::memset(words, 0, sizeof(words));
}

void MD5Update(TMD5Context& context, const uint8_t* data, size_t count)
{
    size_t index = BufferIndex(context);
    AddToBitCount(context, count);

    const size_t partLength = 64 - index;
    size_t consumed = 0;
    if (count >= partLength) {
        std::memcpy(&context.Buffer[index], data, partLength);
        MD5Transform(context.Buffer, context.State);
        for (consumed = partLength; consumed + 63 < count; consumed += 64)
            MD5Transform(data + consumed, context.State);
        index = 0;
    }
    if (count > consumed)
        std::memcpy(&context.Buffer[index], data + consumed, count - consumed);
}

void MD5Final(TMD5Context& context, TMD5Digest& digest)
{
    uint8_t bitCount[8];
    EncodeWords(context.Count, bitCount, 2);

    const size_t index = BufferIndex(context);
    const size_t paddingLength = index < 56 ? 56 - index : 120 - index;
    static const uint8_t kPadding[64] = { 0x80 };
    MD5Update(context, kPadding, paddingLength);
    MD5Update(context, bitCount, sizeof(bitCount));

    EncodeWords(context.State, digest.data(), 4);
    std::memset(&context, 0, sizeof(context));
}

void MD5String(const std::string& text, TMD5Digest& digest)
{
    TMD5Context context;
    MD5Init(context);
    MD5Update(context, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    MD5Final(context, digest);
}

TMD5Digest MD5String(const std::string& text)
{
    TMD5Digest digest {};
    MD5String(text, digest);
    return digest;
}

} // namespace zarn
