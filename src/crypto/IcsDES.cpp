#include "crypto/IcsDES.h"

#include <array>
#include <cstddef>

namespace zarn {
namespace {

// clang-format off
// Every table holds the 1-based bit positions (the S-boxes: the values) of FIPS 46 in the
// standard's own order, so each can be compared with the printed one entry by entry.
constexpr std::array<uint8_t, 64> kInitialPermutation = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9, 1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7,
};

constexpr std::array<uint8_t, 64> kFinalPermutation = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9, 49, 17, 57, 25,
};

constexpr std::array<uint8_t, 48> kExpansion = {
    32, 1, 2, 3, 4, 5, 4, 5, 6, 7, 8, 9, 8, 9, 10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1,
};

constexpr std::array<uint8_t, 32> kPermutation = {
    16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10,
    2, 8, 24, 14, 32, 27, 3, 9, 19, 13, 30, 6, 22, 11, 4, 25,
};

// The first 28 entries select C, the last 28 select D.
constexpr std::array<uint8_t, 56> kPermutedChoice1 = {
    57, 49, 41, 33, 25, 17, 9, 1, 58, 50, 42, 34, 26, 18,
    10, 2, 59, 51, 43, 35, 27, 19, 11, 3, 60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22,
    14, 6, 61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4,
};

constexpr std::array<uint8_t, 48> kPermutedChoice2 = {
    14, 17, 11, 24, 1, 5, 3, 28, 15, 6, 21, 10,
    23, 19, 12, 4, 26, 8, 16, 7, 27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32,
};

constexpr std::array<uint8_t, 16> kLeftShifts = { 1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1 };

// S1 to S8, each 4 rows of 16 values, row-major.
constexpr uint8_t kSBoxes[8][64] = {
    { 14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7,
      0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8,
      4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0,
      15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13 },
    { 15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10,
      3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
      0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15,
      13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9 },
    { 10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8,
      13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1,
      13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7,
      1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12 },
    { 7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15,
      13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9,
      10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4,
      3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14 },
    { 2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9,
      14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6,
      4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14,
      11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3 },
    { 12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11,
      10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8,
      9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6,
      4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13 },
    { 4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1,
      13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6,
      1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2,
      6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12 },
    { 13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7,
      1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2,
      7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8,
      2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11 },
};

// clang-format on

// Working form: one byte (0 or 1) per bit, index 0 holding the standard's bit 1.
using Block = std::array<uint8_t, 64>;
using Half = std::array<uint8_t, 32>;
using KeyHalf = std::array<uint8_t, 28>;
using Subkey = std::array<uint8_t, 48>;

uint8_t GetBit(const uint8_t* data, int n)
{
    const int index = n - 1;
    return (data[index / 8] >> (7 - index % 8)) & 1;
}

void SetBit(uint8_t* data, int n, uint8_t value)
{
    const int index = n - 1;
    const auto mask = static_cast<uint8_t>(0x80 >> (index % 8));
    if (value)
        data[index / 8] |= mask;
    else
        data[index / 8] &= static_cast<uint8_t>(~mask);
}

// Selects source bits by a table of 1-based positions; source must hold the largest position.
template <size_t N, size_t M>
std::array<uint8_t, N> Select(const std::array<uint8_t, N>& table, const uint8_t (&source)[M])
{
    std::array<uint8_t, N> result {};
    for (size_t i = 0; i < N; ++i)
        result[i] = source[table[i] - 1];
    return result;
}

void RotateHalf(KeyHalf& half)
{
    const uint8_t first = half[0];
    for (size_t i = 0; i + 1 < half.size(); ++i)
        half[i] = half[i + 1];
    half[half.size() - 1] = first;
}

// round is 0-based; C and D keep the rotations of earlier rounds.
void NextSubkey(KeyHalf& c, KeyHalf& d, int round, Subkey& k)
{
    for (int shift = 0; shift < kLeftShifts[round]; ++shift) {
        RotateHalf(c);
        RotateHalf(d);
    }
    uint8_t cd[56];
    for (size_t i = 0; i < 28; ++i) {
        cd[i] = c[i];
        cd[28 + i] = d[i];
    }
    k = Select(kPermutedChoice2, cd);
}

std::array<Subkey, 16> KeySchedule(const uint8_t* key)
{
    uint8_t keyBits[64];
    for (int n = 1; n <= 64; ++n)
        keyBits[n - 1] = GetBit(key, n);
    const auto cd = Select(kPermutedChoice1, keyBits);
    KeyHalf c {};
    KeyHalf d {};
    for (size_t i = 0; i < 28; ++i) {
        c[i] = cd[i];
        d[i] = cd[28 + i];
    }
    std::array<Subkey, 16> subkeys {};
    for (int round = 0; round < 16; ++round)
        NextSubkey(c, d, round, subkeys[round]);
    return subkeys;
}

Half CipherFunction(const Half& r, const Subkey& k)
{
    uint8_t rBits[32];
    for (size_t i = 0; i < 32; ++i)
        rBits[i] = r[i];
    auto mixed = Select(kExpansion, rBits);
    for (size_t i = 0; i < 48; ++i)
        mixed[i] ^= k[i];

    uint8_t substituted[32];
    for (int box = 0; box < 8; ++box) {
        const uint8_t* b = &mixed[box * 6];
        const int row = 2 * b[0] + b[5];
        const int column = 8 * b[1] + 4 * b[2] + 2 * b[3] + b[4];
        const uint8_t value = kSBoxes[box][row * 16 + column];
        for (int bit = 0; bit < 4; ++bit)
            substituted[box * 4 + bit] = (value >> (3 - bit)) & 1;
    }
    return Select(kPermutation, substituted);
}

} // namespace

void DesBlock(const uint8_t* input, uint8_t* output, const uint8_t* key, bool encrypt)
{
    uint8_t inputBits[64];
    for (int n = 1; n <= 64; ++n)
        inputBits[n - 1] = GetBit(input, n);

    const auto subkeys = KeySchedule(key);
    const Block permuted = Select(kInitialPermutation, inputBits);
    Half l {};
    Half r {};
    for (size_t i = 0; i < 32; ++i) {
        l[i] = permuted[i];
        r[i] = permuted[32 + i];
    }

    for (int round = 0; round < 16; ++round) {
        const Subkey& k = subkeys[encrypt ? round : 15 - round];
        const Half f = CipherFunction(r, k);
        Half newR {};
        for (size_t i = 0; i < 32; ++i)
            newR[i] = l[i] ^ f[i];
        l = r;
        r = newR;
    }

    uint8_t preOutput[64];
    for (size_t i = 0; i < 32; ++i) {
        preOutput[i] = r[i];
        preOutput[32 + i] = l[i];
    }
    const Block outputBits = Select(kFinalPermutation, preOutput);
    for (int n = 1; n <= 64; ++n)
        SetBit(output, n, outputBits[n - 1]);
}

} // namespace zarn
