#pragma once
// Little-endian values from bytes, built with shifts so that they read the
// same on any host. The caller has checked that the bytes are there.

#include <cstdint>

inline uint16_t ReadU16Le(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline uint32_t ReadU32Le(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

inline int32_t ReadI32Le(const uint8_t* bytes) {
    return static_cast<int32_t>(ReadU32Le(bytes));
}
