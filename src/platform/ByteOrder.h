#pragma once
// The wire's big-endian integers, loaded from and stored into byte arrays. Byte by byte, so
// neither alignment nor the host's byte order matters; compilers turn these into one load or
// store with a byte swap.

#include <cstdint>

namespace zarn {

inline uint16_t LoadU16(const uint8_t* bytes)
{
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

inline uint32_t LoadU32(const uint8_t* bytes)
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

inline uint32_t LoadU32LE(const uint8_t* bytes)
{
    return (uint32_t(bytes[3]) << 24) | (uint32_t(bytes[2]) << 16) | (uint32_t(bytes[1]) << 8) | bytes[0];
}

inline void StoreU16(uint8_t* at, uint16_t value)
{
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
}

inline void StoreU32(uint8_t* at, uint32_t value)
{
    StoreU16(at, uint16_t(value >> 16));
    StoreU16(at + 2, uint16_t(value));
}

} // namespace zarn
