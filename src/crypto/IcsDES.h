#pragma once
// The Data Encryption Standard (FIPS 46) on one 64-bit block, in either direction. VNC
// Authentication encrypts the two halves of the server's challenge with it. Stateless; neither
// allocates nor fails.

#include <cstdint>

namespace zarn {

// Writes into output[0..7] the DES encryption (encrypt true) or decryption of input[0..7] under
// key[0..7]. Bits use the standard's numbering: bit 1 is the most significant bit of byte 0. The
// parity bits 8, 16, ..., 64 of the key play no part. input and output must not overlap.
void DesBlock(const uint8_t* input, uint8_t* output, const uint8_t* key, bool encrypt);

} // namespace zarn
