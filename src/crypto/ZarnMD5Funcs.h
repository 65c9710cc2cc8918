#pragma once
// The MD5 message digest (RFC 1321). MD5 challenge authentication answers with the digest of the
// server's challenge followed by the password.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zarn {

// The four state words, each least significant byte first.
using TMD5Digest = std::array<uint8_t, 16>;

struct TMD5Context {
    uint32_t State[4]; // A, B, C, D
    uint32_t Count[2]; // message length in bits, low word first
    uint8_t Buffer[64]; // the block being filled
};

void MD5Init(TMD5Context& context);
void MD5Update(TMD5Context& context, const uint8_t* data, size_t count);
// Writes the digest, then wipes the whole context so no trace of the input stays behind.
void MD5Final(TMD5Context& context, TMD5Digest& digest);
void MD5Transform(const uint8_t* block, uint32_t* state);

// The digest of exactly the text's bytes, without a terminator.
void MD5String(const std::string& text, TMD5Digest& digest);
TMD5Digest MD5String(const std::string& text);

} // namespace zarn
